# One test program per source file. The file name says what a test needs:
#   test_*.cpp  fast unit test (label "unit"), no display, no sound server
#   gui_*.cpp   drives real windows on an X display (label "gui")
#   e2e_*.cpp   end to end on an X display and the sound rig (label "e2e")
#   wl_*.cpp    end to end on a Wayland desktop through its screen cast portal (label "wayland"): run by
#               scripts/with-wayland-rig.sh, not by the X11 rig
# Tests labelled gui or e2e fail (never skip) when the display or the sound server is missing;
# scripts/with-rig.sh starts both.
function(quolva_add_tests)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/test_*.cpp
                                      ${CMAKE_CURRENT_SOURCE_DIR}/gui_*.cpp
                                      ${CMAKE_CURRENT_SOURCE_DIR}/e2e_*.cpp
                                      ${CMAKE_CURRENT_SOURCE_DIR}/wl_*.cpp)
  get_filename_component(folder ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  foreach(src ${sources})
    get_filename_component(stem ${src} NAME_WE)
    set(name ${folder}_${stem})
    if(stem MATCHES "^gui_")
      set(label gui)
    elseif(stem MATCHES "^e2e_")
      set(label e2e)
    elseif(stem MATCHES "^wl_")
      set(label wayland)
    else()
      set(label unit)
    endif()
    add_executable(${name} ${src})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS})
    quolva_warnings(${name})
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES LABELS "${label};${folder}"
      ENVIRONMENT "QUOLVA_TEST_LABEL=${label};QUOLVA_SOURCE_DIR=${PROJECT_SOURCE_DIR};QUOLVA_BIN_DIR=${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")
    if(label STREQUAL "unit")
      set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
      set_tests_properties(${name} PROPERTIES TIMEOUT 300)
    else()
      set_tests_properties(${name} PROPERTIES TIMEOUT 600 RUN_SERIAL TRUE)
    endif()
  endforeach()
endfunction()

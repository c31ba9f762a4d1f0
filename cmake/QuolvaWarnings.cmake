# Warnings for the project's own targets; third-party headers come in as system includes.
function(quolva_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wnon-virtual-dtor
                                           -Wcast-qual -Wformat=2 -Wimplicit-fallthrough)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -Wshadow=local)
    # GCC 12 at -O3 warns about std::string's own memcpy when strings are joined (its bug 105329): noise
    # in every release build that says nothing about our code.
    if(CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
      target_compile_options(${target} PRIVATE -Wno-restrict)
    endif()
  endif()
  if(QUOLVA_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  if(QUOLVA_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer
                                             -fno-sanitize-recover=undefined)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
endfunction()

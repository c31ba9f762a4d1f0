#pragma once
#include <QString>

namespace quolva::app {

// Which window system the program runs on. Screen grabs, the pointer's place and the global hotkeys are
// X11's, so under a Wayland session the program runs through XWayland (Qt's "xcb"), unless the user chose
// a platform (QT_QPA_PLATFORM) himself. Call before the application object exists.
enum class DisplayChoice {
    AsIs,       // an X11 session, or a platform chosen by the user
    XWayland,   // a Wayland session: QT_QPA_PLATFORM was set to "xcb"
    NoDisplay,  // neither DISPLAY nor a platform: nothing to show windows on
};
DisplayChoice chooseDisplayPlatform();

// When Qt is about to use X11 (after chooseDisplayPlatform) and the display DISPLAY names cannot be
// reached, what to tell the user; empty otherwise. Qt itself would abort there.
QString unreachableXDisplay();

// What the user is told once, at start-up, when the program runs through XWayland: without the desktop's
// screen sharing, and with it.
QString xwaylandNote();
QString screenCastNote();

} // namespace quolva::app

#pragma once
// The X11 connection Qt has opened, shared by the screen grabber and the global hotkeys.

#include <xcb/xcb.h>

namespace quolva::platform {

// Qt's connection to the X server; null without one (offscreen, Wayland) or without a QGuiApplication.
xcb_connection_t* qtX11Connection();

// The X screen the application runs on (the one $DISPLAY names); null when the connection has none.
const xcb_screen_t* defaultXScreen(xcb_connection_t* connection);

}  // namespace quolva::platform

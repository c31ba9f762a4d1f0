#include "platform/ScreenX11.h"

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include <cstdlib>

namespace quolva::platform {

xcb_connection_t* qtX11Connection()
{
    auto* app = qGuiApp;
    if (!app)
        return nullptr;
    auto* x11 = app->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

const xcb_screen_t* defaultXScreen(xcb_connection_t* connection)
{
    if (!connection)
        return nullptr;
    int screenNumber = 0;
    char* host = nullptr;
    int display = 0;
    if (xcb_parse_display(nullptr, &host, &display, &screenNumber))
        std::free(host);
    else
        screenNumber = 0;
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; it.rem && i < screenNumber; ++i)
        xcb_screen_next(&it);
    return it.rem ? it.data : nullptr;
}

}  // namespace quolva::platform

// Quolva start-up: the application, its title and the window set, then the event loop until the main
// window closes.
#include "app/Application.h"
#include "app/Artwork.h"
#include "app/Startup.h"

#include <QtGlobal>

#include <cstdio>
#include <memory>

namespace {

// Qt aborts when it cannot reach a display; say clearly what is missing instead.
bool displayAvailable()
{
    return qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY")
           || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

} // namespace

int main(int argc, char** argv)
{
    if (!displayAvailable()) {
        std::fprintf(stderr, "quolva: no graphical display: DISPLAY is not set.\n"
                             "Quolva is a desktop program; start it inside an X11 session "
                             "(or set QT_QPA_PLATFORM=offscreen for a headless run).\n");
        return 2;
    }

    quolva::app::QuolvaApplication application(argc, argv);
    application.setWindowIcon(QIcon(quolva::app::programIcon()));

    const std::unique_ptr<quolva::app::WindowSet> windows = quolva::app::startUp();
    if (!windows)
        return 1;
    return application.exec();
}

// Quolva start-up: the application, its title and the window set, then the event loop until the main
// window closes.
#include "app/Application.h"
#include "app/Artwork.h"
#include "app/Startup.h"

#include <QStringList>
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

    // `quolva REC.avi` opens that recording (the first one named, as the open dialog does).
    QString recording;
    const QStringList arguments = application.arguments().mid(1);
    for (const QString& argument : arguments) {
        if (!argument.startsWith(QLatin1Char('-'))) {
            recording = argument;
            break;
        }
    }

    const std::unique_ptr<quolva::app::WindowSet> windows = quolva::app::startUp(recording);
    if (!windows)
        return 1;
    return application.exec();
}

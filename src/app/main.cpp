// Quolva start-up: the application, its title and the window set, then the event loop until the main
// window closes.
#include "app/Application.h"
#include "app/Artwork.h"
#include "app/DisplayPlatform.h"
#include "app/Startup.h"
#include "platform/Failures.h"
#include "platform/ProcessEnd.h"
#include "platform/Prompts.h"
#include "platform/Screen.h"

#include <QStringList>
#include <QTimer>
#include <QtGlobal>

#include <cstdio>
#include <memory>

int main(int argc, char** argv)
{
    // Qt aborts when it cannot reach a display; say clearly what is missing instead.
    const quolva::app::DisplayChoice display = quolva::app::chooseDisplayPlatform();
    if (display == quolva::app::DisplayChoice::NoDisplay) {
        std::fprintf(stderr, "quolva: no X11 display: DISPLAY is not set.\n"
                             "Quolva records X11 screens; start it inside an X11 session or a Wayland session "
                             "with XWayland (or set QT_QPA_PLATFORM=offscreen for a headless run).\n");
        return 2;
    }
    if (const QString unreachable = quolva::app::unreachableXDisplay(); !unreachable.isEmpty()) {
        std::fprintf(stderr, "quolva: %s.\nQuolva records X11 screens; start it inside an X11 session or a Wayland "
                             "session with XWayland.\n",
                     qPrintable(unreachable));
        return 2;
    }

    int status = 0;
    {
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
            quolva::platform::EndProcess(1);
        if (display == quolva::app::DisplayChoice::XWayland) {
            // Told once, when the main window is up: through the desktop's screen sharing every window is
            // recorded but the hotkeys work only while the program has the focus; without it, only X11
            // programs' windows are recorded.
            QTimer::singleShot(0, &windows->mainWindow(), [&windows] {
                quolva::platform::runGuarded([&] {
                    const bool portal = quolva::platform::Screen::recordingMethod() == quolva::platform::Screen::GrabMethod::Portal;
                    quolva::platform::prompts().message(&windows->mainWindow(),
                                                        portal ? quolva::app::screenCastNote() : quolva::app::xwaylandNote(),
                                                        QStringLiteral("提示"), quolva::platform::MessageIcon::Information);
                });
            });
        }
        status = application.exec();
    } // the windows, and with them the open recording's files, are closed here
    quolva::platform::EndProcess(status);
}

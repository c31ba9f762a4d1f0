#include "app/Application.h"

#include "platform/Failures.h"

namespace quolva::app {

QuolvaApplication::QuolvaApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QString::fromUtf8(Title));
    setOrganizationName(QStringLiteral("Quolvaer"));
    setApplicationVersion(QStringLiteral("4.1"));
    // The program ends when the main window closes, not when the last window does: the recording
    // panel alone may be visible while the main window is hidden.
    setQuitOnLastWindowClosed(false);
}

bool QuolvaApplication::notify(QObject* receiver, QEvent* event)
{
    bool handled = false;
    platform::runGuarded([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

} // namespace quolva::app

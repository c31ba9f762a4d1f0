#include "app/Application.h"

#include "platform/Failures.h"
#include "platform/StandardTexts.h"

namespace quolva::app {

QuolvaApplication::QuolvaApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QString::fromUtf8(Title));
    setOrganizationName(QStringLiteral("Quolvaer"));
    setApplicationVersion(QStringLiteral("4.1"));
    // The program ends when the main window closes, not when the last window does: the recording
    // panel alone may be visible while the main window is hidden.
    setQuitOnLastWindowClosed(false);
    platform::useChineseStandardTexts(*this);
}

bool QuolvaApplication::notify(QObject* receiver, QEvent* event)
{
    bool handled = false;
    platform::runGuarded([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

} // namespace quolva::app

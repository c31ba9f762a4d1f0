#pragma once
// The desktop's screen cast portal (org.freedesktop.portal.ScreenCast on the session bus), the way a
// program records the screen on a Wayland desktop: a session that shares one monitor, with the pointer
// as metadata, read as a PipeWire stream.

#include <QPoint>
#include <QSize>
#include <QString>

#include <chrono>
#include <cstdint>
#include <stdexcept>

namespace quolva::platform {

// The user refused the desktop's chooser, or did not answer it in time.
class ScreenCastRefused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ScreenCastPortal {
public:
    // Whether the session bus has a screen cast portal that can share monitors.
    static bool available();

    struct Cast {
        int pipeWireFd = -1;     // the PipeWire remote to read the stream from (ours to close)
        std::uint32_t node = 0;  // the stream's node on that remote
        QPoint position;         // the monitor's place on the desktop, in its logical pixels
        QSize size;              // its size, the same way (the stream's pixels may differ by the scale)
        QString restoreToken;    // hand back next time to start without asking
    };

    // Shares one monitor: the desktop asks the user with its chooser unless `restoreToken` names an
    // approval the user asked it to remember. Throws ScreenCastRefused when the user refuses or does
    // not answer within `answerTimeout`, std::runtime_error when the portal fails.
    ScreenCastPortal(const QString& restoreToken, std::chrono::milliseconds answerTimeout);
    // Ends the session: the desktop stops sharing.
    ~ScreenCastPortal();
    ScreenCastPortal(const ScreenCastPortal&) = delete;
    ScreenCastPortal& operator=(const ScreenCastPortal&) = delete;

    // Taken over by the caller: the descriptor is no longer closed here.
    Cast takeCast();

private:
    void close();

    QString session_;
    Cast cast_;
};

} // namespace quolva::platform

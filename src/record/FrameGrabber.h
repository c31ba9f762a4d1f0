#pragma once
#include "record/CaptureSettings.h"
#include "record/FrameAppender.h"
#include "record/RecordingSession.h"
#include "record/TutorialMarks.h"

#include <QPoint>

#include <memory>

namespace quolva::platform { class Screen; }

namespace quolva::record {

class TForm2;

// The capture tick: copies the screen under the viewfinder's client area, draws the arrow pointer into
// the copy, JPEG-encodes it and appends it to the frame store (a copy equal to the last is not encoded
// again: its record is repeated). When the follow-cursor switch is on it
// first moves the viewfinder so that the pointer stays inside.
class FrameGrabber {
public:
    FrameGrabber(TForm2& viewfinder, const CaptureSettings& settings);
    ~FrameGrabber();

    // A recording starts: the screen is opened the way recordings read it (on a Wayland desktop a screen
    // cast, which may ask the user first). Throws when the screen cannot be read.
    void Begin();
    // The recording stopped: a screen cast ends.
    void End();

    // One tick (Timer1Timer); adds 1 to the session's frame counter.
    void Tick(RecordingSession& session);

    // The grabber state, refreshed on every tick.
    QPoint pointerOnScreen;
    QPoint pointerInClient;
    // Clicks and shortcuts drawn into the frames, when the recording's options ask for them.
    TutorialMarks marks;

private:
    platform::Screen& screen();

    TForm2& viewfinder_;
    const CaptureSettings& settings_;
    std::unique_ptr<platform::Screen> screen_;
    FrameAppender appender_;
};

} // namespace quolva::record

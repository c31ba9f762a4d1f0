#include "record/FrameGrabber.h"

#include "platform/ArrowPointer.h"
#include "platform/Screen.h"
#include "record/Unit2.h"
#include "record/Unit4.h"

#include <stdexcept>

namespace quolva::record {

FrameGrabber::FrameGrabber(TForm2& viewfinder, const CaptureSettings& settings)
    : viewfinder_(viewfinder), settings_(settings)
{
}

FrameGrabber::~FrameGrabber() = default;

platform::Screen& FrameGrabber::screen()
{
    if (!screen_)
        screen_ = std::make_unique<platform::Screen>(platform::Screen::recordingMethod());
    return *screen_;
}

void FrameGrabber::Begin()
{
    appender_.Reset();
    screen();
}

void FrameGrabber::End()
{
    screen_.reset();
}

void FrameGrabber::Tick(RecordingSession& session)
{
    if (!session.frameStore)
        throw std::logic_error("the capture tick ran without an open frame store");

    // 1, 2: the pointer on the screen and in the viewfinder's client area, in screen pixels.
    pointerOnScreen = screen().getCursorPos();
    pointerInClient = pointerOnScreen - viewfinder_.captureRect().topLeft();

    // 3: follow the pointer. The client point is not recomputed: on a tick that moves the viewfinder the
    // arrow is drawn where the pointer was relative to the old place.
    if (settings_.followCursor) {
        const QRect frame = viewfinder_.frameRectOnScreen();
        const QPoint moved = FollowCursorStep({pointerOnScreen, frame.topLeft(), frame.size(),
                                               viewfinder_.clientSizeOnScreen(), screen().size(),
                                               viewfinder_.clientTopInFrame()});
        if (moved != frame.topLeft())
            viewfinder_.moveFrameOnScreen(moved);
    }

    // 4 to 6: the capture rectangle of the viewfinder's client area, copied into the capture bitmap.
    const QRect source(viewfinder_.captureRect().topLeft(), QSize(settings_.width, settings_.height));
    screen().grab(source, session.captureBitmap);

    // 7: the standard arrow, its picture's top-left corner 8 pixels up and left of the pointer.
    marks.DrawUnderPointer(session.captureBitmap, pointerInClient);
    platform::drawArrowPointer(session.captureBitmap, pointerInClient);
    marks.DrawOver(session.captureBitmap);

    // 8: one record more.
    appender_.Append(*session.frameStore, session.captureBitmap);
    ++session.frameCounter;
}

} // namespace quolva::record

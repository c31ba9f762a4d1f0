#pragma once
#include <QWidget>

namespace quolva::app { class WindowSet; }

namespace quolva::record {

// The viewfinder: its client area is the capture region. While the capture is set up the user sees the
// screen through it and moves and sizes it by its frame; while recording it is hidden, and the frame
// grabber copies whatever the screen shows under its client area.
class TForm2 : public QWidget {
    Q_OBJECT
public:
    explicit TForm2(app::WindowSet& windows);
    // A viewfinder of its own, outside the window set (quolvactl).
    TForm2();

    // Sizes and places are in screen pixels, the pixels of the frames: with a scale factor other than 1
    // (QT_SCALE_FACTOR, a high Xft.dpi) the window's own units differ from them.
    qreal screenScale() const;

    // The client size is the frame size of the recording.
    void setClientSize(int width, int height);
    QSize clientSizeOnScreen() const;
    // Borderless and maximised: the client area is the whole screen from (0, 0).
    void setFullScreenMode();
    // Sizeable and not maximised.
    void setRegionMode();
    bool isFullScreenMode() const { return fullScreen_; }
    // Normal state, see-through client area, shown.
    void showForPositioning();
    // Client area no longer see-through, hidden.
    void hideForRecording();
    bool isSeeThrough() const { return seeThrough_; }

    // The capture region on the screen: the client area, in screen pixels. Taken from the window's own
    // geometry, which follows every move also while the window is hidden (the native window's place,
    // which mapToGlobal reads, is not updated then).
    QRect captureRect() const;
    // The whole window with its frame, in screen pixels; and moving that frame to a screen point.
    QRect frameRectOnScreen() const;
    void moveFrameOnScreen(QPoint topLeft);
    // Places a window that has not been shown yet (no frame known) with its client area at a screen point.
    void placeClientOnScreen(QPoint topLeft);

signals:
    // Every resize reports the client width and height in screen pixels (the wizard's rows and edit boxes
    // take them).
    void clientResized(int width, int height);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void updateSeeThrough();

    bool fullScreen_ = false;
    bool seeThrough_ = false;
    QSize askedOnScreen_; // the last client size asked for, in screen pixels
    QSize askedSize_;     // the same in the window's units, as it came out
};

} // namespace quolva::record

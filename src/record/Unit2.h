#pragma once
#include <QMargins>
#include <QWidget>

#include <optional>

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
    // Sizeable and not maximised; back from full screen, at the place and size the region had.
    void setRegionMode();
    bool isFullScreenMode() const { return fullScreen_; }
    // Normal state, see-through client area, shown.
    void showForPositioning();
    // Client area no longer see-through, hidden.
    void hideForRecording();
    bool isSeeThrough() const { return seeThrough_; }

    // The capture region on the screen: the client area, in screen pixels. While shown, where the window
    // system shows it. Once hidden, where the user last saw it: a window manager takes the frame away
    // from a hidden window and leaves it at the frame's corner, so the window's own place no longer
    // tells. Only moveFrameOnScreen (the follow-cursor step) moves it then.
    QRect captureRect() const;
    // The whole window with its frame, in screen pixels; and moving that frame to a screen point.
    QRect frameRectOnScreen() const;
    void moveFrameOnScreen(QPoint topLeft);
    // Places a window that is never shown (no frame) with its client area at a screen point.
    void placeClientOnScreen(QPoint topLeft);
    // The client area's top within the window: the frame's top edge and the title bar.
    int clientTopInFrame() const;

signals:
    // Every resize reports the client width and height in screen pixels (the wizard's rows and edit boxes
    // take them).
    void clientResized(int width, int height);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void updateSeeThrough();

    // Where the client area's top-left corner and the frame around it are on the screen, in screen pixels.
    struct Place {
        QPoint client;
        QMargins frame;
    };
    // While shown, where the window system shows it; while hidden, where it was last seen (or placed).
    // None in full-screen mode, and while hidden before it was first shown or placed.
    std::optional<Place> knownPlace() const;

    std::optional<Place> hidden_;
    // Kept while in full-screen mode, for the way back to a region.
    std::optional<Place> hiddenRegion_;
    QRect regionGeometry_;
    bool fullScreen_ = false;
    bool seeThrough_ = false;
    QSize askedOnScreen_; // the last client size asked for, in screen pixels
    QSize askedSize_;     // the same in the window's units, as it came out
};

} // namespace quolva::record

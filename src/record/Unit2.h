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

    // The client size is the frame size of the recording.
    void setClientSize(int width, int height);
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

    // The capture region on the screen: the client area.
    QRect captureRect() const;

signals:
    // Every resize reports the client width and height (the wizard's rows and edit boxes take them).
    void clientResized(int width, int height);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void updateSeeThrough();

    bool fullScreen_ = false;
    bool seeThrough_ = false;
};

} // namespace quolva::record

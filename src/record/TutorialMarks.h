#pragma once
#include "record/RecordingOptions.h"
#include "record/ShortcutCaption.h"

#include <QElapsedTimer>
#include <QImage>
#include <QPoint>
#include <QString>

#include <memory>

namespace quolva::platform { class InputWatch; }

namespace quolva::record {

// The marks a tutorial recording draws into its frames: a ring around the pointer's hot spot while a
// mouse button is down (under the arrow), and the caption of the last shortcut at the bottom. Off by
// default: then it watches nothing and draws nothing.
class TutorialMarks {
public:
    TutorialMarks();
    ~TutorialMarks();

    // A recording starts with these options: the mouse and keyboard are watched when a mark is on.
    // Returns why they cannot be watched (no XInput 2), or nothing.
    QString Begin(const RecordingOptions& options);
    void End();

    // Before the arrow is drawn: the ring, when a button is down or went down since the last tick.
    void DrawUnderPointer(QImage& frame, QPoint hotSpot);
    // After it: the shortcut caption.
    void DrawOver(QImage& frame);

private:
    bool showClicks_ = false;
    bool showKeys_ = false;
    std::unique_ptr<platform::InputWatch> watch_;
    ShortcutCaption caption_;
    QElapsedTimer clock_;
};

// The ring of a click: a light ring inside a dark one over a half-transparent yellow disc, so that it shows
// on light and dark screens alike.
void drawClickRing(QImage& frame, QPoint centre);
// A caption in a dark, half-transparent box centred near the bottom edge.
void drawShortcutCaption(QImage& frame, const QString& caption);

} // namespace quolva::record

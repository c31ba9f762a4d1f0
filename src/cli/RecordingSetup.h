#pragma once
#include <QRect>
#include <QSize>
#include <QString>

#include <optional>

namespace quolva::record {
class Recorder;
class TForm2;
} // namespace quolva::record

namespace quolva::cli {

// What a recording without the wizard is to capture.
struct RecordingTarget {
    QString path;
    std::optional<QRect> region; // none: the full screen (or, when continuing, the recording's own size)
    bool followCursor = false;
    bool continueTarget = false;
};

// What the setup wizard does before Record, done without the wizard: the target file created or
// continued, the viewfinder placed over the region (or full screen) and hidden, the capture settings,
// the frame counter at 0 and the ready mark. Returns the frame size. Failures are thrown with the file's
// name.
QSize PrepareLikeTheWizard(record::Recorder& recorder, record::TForm2& viewfinder, const RecordingTarget& target);

} // namespace quolva::cli

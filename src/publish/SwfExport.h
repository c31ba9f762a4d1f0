#pragma once
#include "publish/PublishError.h"

#include <QImage>
#include <QString>

#include <cstdint>
#include <functional>

namespace quolva::editor { class OpenRecording; }

namespace quolva::publish {

// The SWF export: the frames of the open recording, read forward from its cursor, and its first sound
// track, as an uncompressed SWF movie of version 5 with streaming PCM sound, one bitmap shape per frame
// at one depth. Headless: the publish dialog and quolvactl run the same object.
class SwfExport {
public:
    // `frameCount` is N, the frame store header's count handed over when the recording was opened.
    SwfExport(editor::OpenRecording& recording, std::int32_t frameCount);
    ~SwfExport();
    SwfExport(const SwfExport&) = delete;
    SwfExport& operator=(const SwfExport&) = delete;

    // Called for each frame once it has been read and decoded (k from 0): the dialog shows it in the main
    // window and advances its progress bar.
    std::function<void(std::int32_t k, const QImage& frame)> onFrame;

    // Writes the whole movie to `outputPath`. Throws PublishError, with nothing written, when the output
    // cannot be created or the movie would exceed the format's limits.
    void Run(const QString& outputPath);

    std::int32_t framesWritten() const { return framesWritten_; }

private:
    editor::OpenRecording& recording_;
    std::int32_t frameCount_;
    std::int32_t framesWritten_ = 0;
};

} // namespace quolva::publish

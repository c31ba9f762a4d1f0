#pragma once
#include <QString>

namespace quolva::editor { class OpenRecording; }

namespace quolva::cli {

struct PublishOptions {
    QString recording;
    bool avi = false;
    QString codec;      // --codec: a compressor's name; empty: uncompressed
    int quality = -1;   // --quality 0-100; -1: the compressor's default
    QString swfOutput;  // --swf OUT.swf
};

// The two exports on a recording opened as the editor opens it, with a progress line; 0 on success,
// 1 with a message on standard error on failure.
int PublishAvi(editor::OpenRecording& recording, const PublishOptions& options);
int PublishSwf(editor::OpenRecording& recording, const PublishOptions& options);

} // namespace quolva::cli

#pragma once
#include "publish/WebExport.h"

#include <QString>

#include <optional>

namespace quolva::editor { class OpenRecording; }

namespace quolva::cli {

struct PublishOptions {
    QString recording;
    bool avi = false;
    QString codec;      // --codec: a compressor's name; empty: uncompressed
    int quality = -1;   // --quality 0-100; -1: the compressor's default
    QString swfOutput;  // --swf OUT.swf
    std::optional<publish::WebFormat> web; // --mp4, --webm or --gif OUT
    QString webOutput;
    int track = publish::WebSettings::kOwnSound; // --track N (0 the recording's own sound) or none
};

// The exports on a recording opened as the editor opens it, with a progress line; 0 on success,
// 1 with a message on standard error on failure.
int PublishAvi(editor::OpenRecording& recording, const PublishOptions& options);
int PublishSwf(editor::OpenRecording& recording, const PublishOptions& options);
int PublishWeb(editor::OpenRecording& recording, const PublishOptions& options);

} // namespace quolva::cli

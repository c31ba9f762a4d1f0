#include "cli/Commands.h"
#include "cli/ProgressLine.h"
#include "cli/PublishCommands.h"
#include "editor/OpenRecording.h"
#include "publish/SwfExport.h"

#include <algorithm>

namespace quolva::cli {

int PublishSwf(editor::OpenRecording& recording, const PublishOptions& options)
{
    publish::SwfExport swf(recording, recording.frameCount);
    const qint64 total = std::max(0, recording.frameCount - 1);
    ProgressLine progress(QStringLiteral("publish --swf"));
    swf.onFrame = [&](std::int32_t k, const QImage&) { progress.Update(k + 1, total); };
    try {
        swf.Run(options.swfOutput);
    } catch (const publish::PublishError& failure) {
        progress.Finish();
        err(QStringLiteral("quolvactl publish: ") + QString::fromStdString(failure.what()));
        return 1;
    }
    progress.Finish();
    const publish::SwfPacing& pacing = swf.pacing();
    out(QStringLiteral("wrote %1: %2 frames at %3 frames a second%4")
            .arg(options.swfOutput)
            .arg(swf.framesWritten())
            .arg(pacing.frameRate, 0, 'f', 2)
            .arg(pacing.soundFrames > 0 ? QStringLiteral(", sound at %1 Hz").arg(pacing.rate) : QString()));
    return 0;
}

} // namespace quolva::cli

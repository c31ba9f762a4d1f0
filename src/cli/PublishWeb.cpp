// quolvactl publish REC.avi --mp4/--webm/--gif OUT: the publish dialog's web export without the dialog.
#include "cli/Commands.h"
#include "cli/ProgressLine.h"
#include "cli/PublishCommands.h"
#include "editor/OpenRecording.h"
#include "publish/WebExport.h"

namespace quolva::cli {

int PublishWeb(editor::OpenRecording& recording, const PublishOptions& options)
{
    publish::WebSettings settings;
    settings.format = *options.web;
    settings.track = options.track;
    settings.quality = options.quality;
    publish::WebExport web(recording, settings);
    ProgressLine progress(QStringLiteral("publish --") + publish::WebFormatExtension(settings.format));
    try {
        web.Run(options.webOutput, [&](std::int64_t done, std::int64_t total) { progress.Update(done, total); });
    } catch (const publish::PublishError& failure) {
        progress.Finish();
        err(QStringLiteral("quolvactl publish: ") + QString::fromStdString(failure.what()));
        return 1;
    }
    progress.Finish();
    const publish::VideoTimeBase& timeBase = web.TimeBase();
    QString sound;
    if (settings.format != publish::WebFormat::Gif)
        sound = web.SoundSeconds() > 0 ? QStringLiteral(", %1 s of sound").arg(web.SoundSeconds(), 0, 'f', 3)
                                       : QStringLiteral(", no sound");
    out(QStringLiteral("wrote %1: %2, %3 frames at %4 frames a second%5")
            .arg(options.webOutput, publish::WebFormatName(settings.format))
            .arg(web.FramesWritten())
            .arg(static_cast<double>(timeBase.rate) / timeBase.scale, 0, 'f', 2)
            .arg(sound));
    return 0;
}

} // namespace quolva::cli

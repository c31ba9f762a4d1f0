// quolvactl publish REC.avi --avi [--codec NAME] [--quality Q]: the publish dialog's AVI export without
// the dialog. The compressor is named instead of chosen; everything else is the same export.
#include "cli/Commands.h"
#include "cli/ProgressLine.h"
#include "cli/PublishCommands.h"
#include "editor/OpenRecording.h"
#include "platform/VideoCompressor.h"
#include "publish/AviExport.h"
#include "store/AviFileServices.h"
#include "store/FrameStore.h"

#include <QStringList>

namespace quolva::cli {
namespace {

QString compressorNames()
{
    QStringList names;
    for (const platform::VideoCompressorInfo& info : platform::InstalledVideoCompressors())
        names << info.key;
    return names.join(QStringLiteral(", "));
}

QString failureText(const std::exception& failure)
{
    return QString::fromUtf8(failure.what());
}

} // namespace

int PublishAvi(editor::OpenRecording& recording, const PublishOptions& options)
{
    const QString& path = options.recording;
    const platform::VideoCompressorInfo* compressor = nullptr;
    if (!options.codec.isEmpty()) {
        compressor = platform::FindVideoCompressor(options.codec);
        if (!compressor) {
            err(QStringLiteral("quolvactl publish: no compressor named \"%1\"; there are: %2")
                    .arg(options.codec, compressorNames()));
            return 2;
        }
    } else if (options.quality >= 0) {
        err(QStringLiteral("quolvactl publish: --quality needs --codec (frames without a compressor have no quality)"));
        return 2;
    }

    // Publishing twice would add a second video stream that players never show.
    store::PAVISTREAM published;
    if (store::AVIFileGetStream(recording.aviFile, &published, store::streamtypeVIDEO, 0) == store::AVIERR_OK) {
        store::AVIStreamRelease(published);
        err(QStringLiteral("quolvactl publish: \"%1\" already holds a video stream (it was published before)").arg(path));
        return 1;
    }

    const editor::PublishHandOver handOver = recording.HandOver();
    publish::AviExport avi(recording);
    avi.frameCount = handOver.frameCount;
    avi.soundLength = handOver.soundLength;
    avi.soundRate = handOver.soundRate;
    if (avi.frameCount <= 0) {
        err(QStringLiteral("quolvactl publish: \"%1\" holds no frames to publish").arg(path));
        return 1;
    }

    // As the dialog's "打开文件": the first frame gives the size. The export reads from the first frame with
    // a reader of its own.
    const std::optional<QSize> size = recording.FirstFrameSize();
    if (!size) {
        err(QStringLiteral("quolvactl publish: the frame store of \"%1\" holds no readable first frame").arg(path));
        return 1;
    }
    avi.SetFrameSize(size->width(), size->height());

    QString what = QStringLiteral("uncompressed 24-bit frames");
    try {
        if (compressor) {
            avi.compVars.dwFlags = platform::ICMF_COMPVARS_VALID;
            avi.compVars.hic = platform::ICOpen(platform::ICTYPE_VIDEO, compressor->fccHandler, platform::ICMODE_COMPRESS);
            avi.compVars.fccType = platform::ICTYPE_VIDEO;
            avi.compVars.fccHandler = compressor->fccHandler;
            avi.compVars.lQ = options.quality >= 0 && compressor->quality ? options.quality * 100 : platform::ICQUALITY_DEFAULT;
            avi.compVars.lKey = compressor->defaultKeyFrameRate;
            if (!avi.StartCompressed()) {
                err(QStringLiteral("quolvactl publish: the compressor %1 cannot take frames of %2 × %3 pixels: %4")
                        .arg(compressor->description)
                        .arg(avi.inputFormat.biWidth)
                        .arg(avi.inputFormat.biHeight)
                        .arg(avi.CompressorRefusal()));
                return 1;
            }
            what = QStringLiteral("%1 (%2)").arg(compressor->description, platform::FourccText(avi.outputFormat.biCompression));
        } else {
            avi.StartUncompressed();
        }
    } catch (const std::exception& failure) {
        err(QStringLiteral("quolvactl publish: %1").arg(failureText(failure)));
        return 1;
    }

    ProgressLine progress(QStringLiteral("publish"));
    try {
        avi.Run([&](std::int32_t given) { progress.Update(given, avi.frameCount); });
    } catch (const std::exception& failure) {
        progress.Finish();
        err(QStringLiteral("quolvactl publish: %1").arg(failureText(failure)));
        return 1;
    }
    progress.Finish();
    avi.Release();

    const publish::VideoTimeBase timeBase = publish::ExactVideoTimeBase(avi.frameCount, avi.soundLength, avi.soundRate);
    out(QStringLiteral("published %1 frames of %2 × %3 as %4 into \"%5\"")
            .arg(avi.framesWritten)
            .arg(avi.inputFormat.biWidth)
            .arg(avi.inputFormat.biHeight)
            .arg(what, path));
    out(QStringLiteral("time base: %1/%2 frames per second (%3)%4")
            .arg(timeBase.rate)
            .arg(timeBase.scale)
            .arg(double(timeBase.rate) / timeBase.scale, 0, 'f', 3)
            .arg(timeBase.capturePace ? QStringLiteral(", the capture pace: no sound to spread the frames over")
                                      : QString()));
    return 0;
}

} // namespace quolva::cli

#pragma once
// Checks of what long work (exports, update runs, dubbing) leaves behind, made with readers of their own
// while the program may still hold the files open: the recording's files pass the checks, an AVI export's
// video stream holds one frame per record, an SWF movie holds the frames in order with the sound in step.
#include "../publish/SwfExportSupport.h"
#include "../store/test_avi_support.h"
#include "RecordingFixture.h"
#include "store/AviCheck.h"
#include "store/FrameStore.h"
#include "store/FrameStoreWalk.h"
#include "store/Jpeg.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <zlib.h>

#include <cmath>
#include <vector>

namespace quolva::test::longwork {

inline std::filesystem::path fsPath(const QString& path)
{
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

// The frame store's records (their JPEG bytes), read-only.
inline std::vector<QByteArray> StoreRecords(const QString& recording)
{
    store::FrameStore frames = store::FrameStore::OpenFrameStoreReadOnly(fsPath(recording + ".xxx"));
    frames.Seek(store::kFrameStoreHeaderSize);
    std::vector<QByteArray> records;
    while (frames.Position() < frames.Size()) {
        const store::FrameRecord record = frames.ReadNextFrame();
        records.emplace_back(reinterpret_cast<const char*>(record.jpeg.data()), qsizetype(record.jpeg.size()));
    }
    return records;
}

inline std::vector<QImage> Decode(const std::vector<QByteArray>& records)
{
    std::vector<QImage> pictures;
    for (const QByteArray& jpeg : records) {
        // As the program decodes them: the same decoder, into 32-bit pixels.
        QImage picture;
        const std::vector<std::uint8_t> bytes(jpeg.begin(), jpeg.end());
        store::DecodeJpegInto(bytes, "a record", store::PixelLayout::Xrgb32, [&](int width, int height) {
            picture = QImage(width, height, QImage::Format_RGB32);
            return store::PixelTarget{picture.bits(), picture.bytesPerLine()};
        });
        pictures.push_back(picture);
    }
    return pictures;
}

// Empty when the recording's files are whole: the AVI file complete with consistent indexes, the frame
// store walkable to its end with the header counting every record. Otherwise what is wrong.
inline QString CheckRecordingFiles(const QString& recording)
{
    const store::AviCheckReport avi = store::CheckAviFile(fsPath(recording));
    if (!avi.Clean())
        return QString::fromStdString(avi.message);
    store::FrameStore frames = store::FrameStore::OpenFrameStoreReadOnly(fsPath(recording + ".xxx"));
    const std::int32_t counted = frames.ReadFrameCount();
    const store::FrameStoreWalk walk = store::WalkFramesForwards(frames);
    if (!walk.Clean())
        return QStringLiteral("frame store: %1 at %2").arg(QString::fromStdString(walk.fault)).arg(walk.faultOffset);
    if (static_cast<std::size_t>(counted) != walk.recordStarts.size())
        return QStringLiteral("frame store header counts %1 frames, it holds %2").arg(counted).arg(walk.recordStarts.size());
    return {};
}

inline int VideoStreamCount(const QString& path)
{
    int count = 0;
    for (const QJsonValue stream : avitest::probeStreams(path))
        count += stream.toObject().value("codec_type").toString() == QLatin1String("video");
    return count;
}

inline double PsnrOf(const QImage& a, const QImage& b)
{
    double squares = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            for (const int d : {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q)})
                squares += double(d) * d;
        }
    const double mean = squares / (3.0 * a.width() * a.height());
    return mean == 0 ? INFINITY : 10 * std::log10(255.0 * 255.0 / mean);
}

// Empty when video stream `index` of the AVI file holds exactly `expected`, one decodable frame per
// record, in order: equal to them when uncompressed, close to them when compressed.
inline QString CheckAviExport(const QString& path, int index, const std::vector<QImage>& expected, bool uncompressed)
{
    if (expected.empty())
        return QStringLiteral("no frames expected");
    const int width = expected.front().width(), height = expected.front().height();
    const avitest::ToolRun run = avitest::runTool(
        "ffmpeg", {"-v", "error", "-i", path, "-map", QStringLiteral("0:v:%1").arg(index), "-f", "rawvideo", "-pix_fmt",
                   "bgr24", "-vsync", "passthrough", "-"});
    if (run.exitCode != 0 || !run.err.trimmed().isEmpty())
        return QStringLiteral("ffmpeg on video stream %1: %2").arg(index).arg(QString::fromUtf8(run.err));
    const qsizetype frameBytes = qsizetype(width) * height * 3;
    if (run.out.size() != frameBytes * qsizetype(expected.size()))
        return QStringLiteral("video stream %1 holds %2 frames of %3×%4, expected %5")
            .arg(index)
            .arg(double(run.out.size()) / double(frameBytes))
            .arg(width)
            .arg(height)
            .arg(expected.size());
    for (std::size_t k = 0; k < expected.size(); ++k) {
        const QImage decoded(reinterpret_cast<const uchar*>(run.out.constData() + qsizetype(k) * frameBytes), width,
                             height, width * 3, QImage::Format_BGR888);
        const QImage want = expected[k].convertToFormat(QImage::Format_RGB32);
        const QImage got = decoded.convertToFormat(QImage::Format_RGB32);
        const double psnr = PsnrOf(want, got);
        if (uncompressed ? !std::isinf(psnr) : psnr < 30)
            return QStringLiteral("video stream %1, frame %2 differs from the record (%3 dB)").arg(index).arg(k + 1).arg(psnr);
    }
    return {};
}

// Empty when the SWF movie holds the records `expected` but the last, in order, each the record's
// picture, with the sound in step from its first sample: frame k's block is the part of `sound` (the
// first audio stream's bytes, `blockAlign` bytes a sample frame at `rate`) the pacing gives frame k.
inline QString CheckSwfExport(const QString& swfPath, const std::vector<QImage>& expected, const QByteArray& sound,
                              int blockAlign, std::uint32_t rate)
{
    const SwfFile swf = ParseSwf(ReadFile(swfPath));
    if (swf.tags.isEmpty())
        return QStringLiteral("%1 is not an SWF movie").arg(swfPath);
    const std::size_t frames = expected.empty() ? 0 : expected.size() - 1;
    const QList<swftest::ParsedTag> bitmaps = swf.tagsOf(36);
    if (swf.frameCount != frames || std::size_t(bitmaps.size()) != frames)
        return QStringLiteral("the movie holds %1 frames (%2 bitmaps), expected %3")
            .arg(swf.frameCount)
            .arg(bitmaps.size())
            .arg(frames);
    for (std::size_t k = 0; k < frames; ++k) {
        const QByteArray& body = bitmaps[qsizetype(k)].body;
        const int width = swftest::readU16(body, 3), height = swftest::readU16(body, 5);
        const std::vector<std::uint8_t> want = ArgbOf(expected[k]);
        if (width != expected[k].width() || height != expected[k].height())
            return QStringLiteral("movie frame %1 is %2×%3").arg(k + 1).arg(width).arg(height);
        std::vector<std::uint8_t> pixels(want.size());
        uLongf size = static_cast<uLongf>(pixels.size());
        if (uncompress(pixels.data(), &size, reinterpret_cast<const Bytef*>(body.constData() + 7),
                       static_cast<uLong>(body.size() - 7)) != Z_OK ||
            size != pixels.size() || pixels != want)
            return QStringLiteral("movie frame %1 is not record %1").arg(k + 1);
    }
    const publish::SwfPacing pacing =
        publish::SwfPacing::For(std::int32_t(expected.size()), sound.size() / blockAlign, rate);
    const QByteArray wanted = sound.mid(qsizetype(pacing.BlockStart(0)) * blockAlign,
                                        qsizetype(pacing.BlockStart(std::int64_t(frames)) - pacing.BlockStart(0)) * blockAlign);
    if (swf.sound() != wanted)
        return QStringLiteral("the movie's sound (%1 bytes) is not the track in step from its start (%2 bytes)")
            .arg(swf.sound().size())
            .arg(wanted.size());
    return {};
}

} // namespace quolva::test::longwork

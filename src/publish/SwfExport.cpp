#include "publish/SwfExport.h"

#include "Flash.h"
#include "editor/OpenRecording.h"
#include "publish/OrderedWorkers.h"
#include "publish/SwfMovieFile.h"
#include "publish/SwfSoundTrack.h"
#include "store/AviFileServices.h"
#include "store/FrameStore.h"

#include <QFileInfo>

#include <algorithm>
#include <deque>
#include <memory>
#include <sstream>

namespace quolva::publish {
namespace {

constexpr std::uint8_t kBitmapFormatArgb = 5;
// What every frame adds to the body at the least, besides its sound: the tag headers, the bitmap's
// fields and the smallest zlib stream, the shape, the display list tags. For the check before a run.
constexpr std::uint64_t kLeastFrameBytes = 80;

std::string quoted(const QString& path)
{
    return "\"" + path.toStdString() + "\"";
}

template <class Tag>
void put(std::string& out, Tag&& tag)
{
    std::ostringstream bytes;
    bytes << tag;
    out += bytes.view();
}

std::uint32_t HeaderLengthFor(int width, int height)
{
    return FlashHeader(SwfExport::SwfVersion, 0, (width + 1) * SwfExport::TwipsPerPixel,
                       (height + 1) * SwfExport::TwipsPerPixel, 0, 0)
        .GetHeaderLength();
}

// The shape that shows a frame: a rectangle from (0, 0), one pixel narrower and lower than the frame,
// filled with the frame's bitmap at one bitmap pixel per 20 twips, clipped.
std::unique_ptr<FlashTagDefineShape3> FrameShape(std::uint16_t bitmapId, int width, int height)
{
    FlashMatrix matrix;
    matrix.SetScale(FlashFixed(20.0), FlashFixed(20.0));
    matrix.SetTranslate(0, 0);
    FlashFillStyleBitmap fill(bitmapId, matrix, false);
    FlashFillStyleArray fills;
    fills.AddStyle(&fill);
    FlashShapeWithStyle shape;
    shape.SetFillStyles(fills);
    FlashShapeRecordChange selectFill;
    selectFill.SetFillStyle1(1);
    shape.AddRecord(selectFill);
    shape.AddRecord(FlashShapeRecordChange(0, 0));
    const std::vector<std::int16_t> across = SwfExport::SplitEdge((width - 1) * SwfExport::TwipsPerPixel);
    const std::vector<std::int16_t> down = SwfExport::SplitEdge((height - 1) * SwfExport::TwipsPerPixel);
    for (std::int16_t dx : across)
        shape.AddRecord(FlashShapeRecordStraight(dx, 0));
    for (std::int16_t dy : down)
        shape.AddRecord(FlashShapeRecordStraight(0, dy));
    for (std::int16_t dx : across)
        shape.AddRecord(FlashShapeRecordStraight(static_cast<std::int16_t>(-dx), 0));
    for (std::int16_t dy : down)
        shape.AddRecord(FlashShapeRecordStraight(0, static_cast<std::int16_t>(-dy)));
    // The tag copies the shape and its fill: the locals may go.
    return std::make_unique<FlashTagDefineShape3>(shape);
}

// One frame's bitmap on its way through a compressing thread. The tag is made (and takes its id) on
// the export's thread; the pixels are converted and compressed by the worker.
struct FrameJob {
    QImage frame;
    std::unique_ptr<std::uint8_t[]> pixels;
    std::unique_ptr<FlashTagDefineBitsLossless2> bitmap;
};

} // namespace

SwfPacing SwfPacing::For(std::int32_t frames, std::int64_t soundFrames, std::uint32_t rate)
{
    SwfPacing pacing;
    pacing.frames = frames;
    pacing.soundFrames = std::max<std::int64_t>(0, soundFrames);
    pacing.rate = rate;
    if (frames > 0 && soundFrames > 0 && rate > 0) {
        const double r = static_cast<double>(frames) * static_cast<double>(rate) / static_cast<double>(soundFrames);
        if (r >= 1.0 && r <= 60.0) {
            pacing.frameRate = r;
            pacing.byCapturePace = false;
            pacing.samplesPerBlock = static_cast<std::uint16_t>(std::min<std::int64_t>(soundFrames / frames, 65535));
            return pacing;
        }
    }
    pacing.frameRate = 10;
    pacing.byCapturePace = true;
    pacing.samplesPerBlock = static_cast<std::uint16_t>(std::min<std::uint32_t>(rate / 10, 65535));
    return pacing;
}

std::int64_t SwfPacing::BlockStart(std::int64_t k) const
{
    if (!byCapturePace)
        return k * soundFrames / frames;
    return std::min(k * static_cast<std::int64_t>(rate) / 10, soundFrames);
}

SwfExport::SwfExport(editor::OpenRecording& recording, std::int32_t frameCount)
    : recording_(recording), frameCount_(frameCount)
{
}

SwfExport::~SwfExport() = default;

SwfSoundHead SwfExport::SoundHead(const store::WAVEFORMATEX& format, std::uint32_t rate, std::uint16_t samplesPerBlock)
{
    SwfSoundHead head;
    if (rate < 6000)
        head.playbackRate = 0;
    else if (rate == 11025)
        head.playbackRate = 1;
    else if (rate == 22050)
        head.playbackRate = 2;
    else if (rate == 44100)
        head.playbackRate = 3;
    head.playback16Bit = format.wBitsPerSample == 16 ? 1 : 0;
    head.playbackStereo = format.nChannels == 2 ? 1 : 0;
    head.compression = 0;
    head.streamRate = head.playbackRate;
    head.stream16Bit = head.playback16Bit;
    head.streamStereo = head.playbackStereo;
    head.samplesPerBlock = samplesPerBlock;
    return head;
}

void SwfExport::ConvertFrame(const QImage& frame, std::uint8_t* out)
{
    const int width = frame.width();
    for (int y = 0; y < frame.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(frame.constScanLine(y));
        std::uint8_t* row = out + static_cast<std::size_t>(y) * static_cast<std::size_t>(width) * 4;
        for (int x = 0; x < width; ++x) {
            const QRgb pixel = in[x];
            row[4 * x] = 255;
            row[4 * x + 1] = static_cast<std::uint8_t>(qRed(pixel));
            row[4 * x + 2] = static_cast<std::uint8_t>(qGreen(pixel));
            row[4 * x + 3] = static_cast<std::uint8_t>(qBlue(pixel));
        }
    }
}

std::vector<std::int16_t> SwfExport::SplitEdge(std::int32_t length)
{
    const std::int32_t pieces = std::max(1, (length + MaxEdgeTwips - 1) / MaxEdgeTwips);
    std::vector<std::int16_t> edges;
    for (std::int32_t i = 0; i < pieces; ++i)
        edges.push_back(static_cast<std::int16_t>(length / pieces + (i < length % pieces ? 1 : 0)));
    return edges;
}

const QString SwfExport::kActivity = QStringLiteral("发布 SWF 文件");

void SwfExport::Run(const QString& outputPath)
{
    if (!recording_.IsOpen())
        throw PublishError("没有打开的录制，无法发布 SWF 文件");
    const bool taking = !recording_.IsHeldBy(kActivity);
    if (taking) {
        try {
            recording_.Hold(kActivity);
        } catch (const editor::RecordingBusy&) {
            throw PublishError(recording_.BusyMessage().toStdString());
        }
    }
    const auto finish = [&] {
        if (taking && recording_.IsHeldBy(kActivity))
            recording_.Release();
    };
    try {
        RunToFile(outputPath);
    } catch (const PublishError&) {
        finish();
        throw;
    } catch (const store::StoreError& failure) {
        finish();
        throw PublishError(failure.what());
    } catch (const std::bad_alloc&) {
        finish();
        throw PublishError("内存不足，无法发布 SWF 文件 " + quoted(outputPath));
    } catch (...) {
        finish();
        throw;
    }
    finish();
}

void SwfExport::RunToFile(const QString& outputPath)
{
    framesWritten_ = 0;
    editor::FrameReader frames = recording_.OpenReader();

    // Button6Click: the sound format, the read position and the head.
    const store::WAVEFORMATEX& format = recording_.audioFormat.format;
    const store::PAVISTREAM& stream = recording_.audioStream;
    store::LONG soundReadPosition = 0;
    if (stream)
        soundReadPosition = std::max<store::LONG>(
            0, store::AVIStreamTimeToSample(stream, store::AVIStreamSampleToTime(stream, store::AVIStreamStart(stream))));
    SwfSoundTrack track(stream, format, soundReadPosition, recording_.TargetPath().toStdString());
    pacing_ = SwfPacing::For(frameCount_, track.Frames(), track.Rate());
    soundHead_ = SoundHead(format, track.Rate(), pacing_.samplesPerBlock);

    // The limits of the format, before anything is written.
    const std::int64_t movieFrames = std::max<std::int64_t>(0, std::int64_t{frameCount_} - 1);
    if (movieFrames > MaxMovieFrames)
        throw PublishError("无法发布 SWF 文件：SWF 影片最多 " + std::to_string(MaxMovieFrames) + " 帧，此录制要写入 " +
                           std::to_string(movieFrames) + " 帧");
    if (2 * movieFrames > FlashIDEnabled::RemainingIDs())
        throw PublishError("无法发布 SWF 文件：每帧要用 2 个字符编号，程序运行期间所有 SWF 影片共用 65535 个，现只剩 " +
                           std::to_string(FlashIDEnabled::RemainingIDs()) + " 个，够 " +
                           std::to_string(FlashIDEnabled::RemainingIDs() / 2) + " 帧，此录制要写入 " +
                           std::to_string(movieFrames) + " 帧；请重新启动程序后再发布");
    const std::string tooLong = "无法发布 SWF 文件：SWF 文件最大 4 GiB（" + std::to_string(fileLengthLimit) +
                                " 字节），此影片超过了这个大小";
    const std::uint64_t leastSound =
        static_cast<std::uint64_t>(pacing_.BlockStart(movieFrames) - pacing_.BlockStart(0)) * track.BlockAlign();
    if (leastSound + movieFrames * kLeastFrameBytes > fileLengthLimit)
        throw PublishError(tooLong);

    // The movie replaces its output at the end: an output that is the recording itself would lose it.
    const QFileInfo output(outputPath);
    for (const QString& part : {recording_.TargetPath(), recording_.FrameStorePath()})
        if (output.exists() && output.canonicalFilePath() == QFileInfo(part).canonicalFilePath())
            throw PublishError("无法发布 SWF 文件：输出文件 " + quoted(outputPath) + " 是正在发布的录制文件本身");

    SwfMovieFile file(outputPath);
    std::string head;
    put(head, FlashTagBackgroundColor(255, 255, 255));
    put(head, FlashTagSoundStreamHead2(soundHead_.playbackRate, soundHead_.playback16Bit, soundHead_.playbackStereo,
                                       soundHead_.compression, soundHead_.streamRate, soundHead_.stream16Bit,
                                       soundHead_.streamStereo, soundHead_.samplesPerBlock));

    OrderedWorkers workers(threads);
    std::deque<std::string> tails; // what follows each bitmap still being compressed
    const auto checkLength = [&] {
        if (HeaderLengthFor(65535, 65535) + file.BodyLength() + 2 > fileLengthLimit)
            throw PublishError(tooLong);
    };
    const auto writeOldest = [&] {
        file.Append(workers.TakeOldest());
        file.Append(tails.front());
        tails.pop_front();
        checkLength();
    };

    int width = 0, height = 0; // of the frame converted last
    std::vector<std::uint8_t> slice;
    for (std::int64_t k = 0; k < movieFrames; ++k) {
        track.Read(pacing_.BlockStart(k), pacing_.BlockStart(k + 1), slice);
        std::optional<QImage> frame = frames.Next();
        if (!frame)
            break; // the store holds fewer records than its header counts: a movie of what was read
        if (frame->format() != QImage::Format_RGB32)
            *frame = frame->convertToFormat(QImage::Format_RGB32);
        width = frame->width();
        height = frame->height();
        const std::uint64_t pixelBytes = std::uint64_t(width) * std::uint64_t(height) * 4;
        if (width > 65535 || height > 65535 || pixelBytes > 0xFFFFFFFFull)
            throw PublishError("无法发布 SWF 文件：帧 " + std::to_string(k + 1) + " 的大小 " + std::to_string(width) +
                               "×" + std::to_string(height) + " 超出了 SWF 位图的范围");
        if (onFrame)
            onFrame(static_cast<std::int32_t>(k), *frame);
        if (k == 0) {
            file.ReserveHeader(HeaderLengthFor(width, height));
            file.Append(head);
        }

        auto job = std::make_shared<FrameJob>();
        job->frame = std::move(*frame);
        job->pixels.reset(new std::uint8_t[pixelBytes]);
        job->bitmap = std::make_unique<FlashTagDefineBitsLossless2>(
            kBitmapFormatArgb, static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height),
            FlashZLibBitmapData(job->pixels.get(), static_cast<std::uint32_t>(pixelBytes)));
        const std::unique_ptr<FlashTagDefineShape3> shape = FrameShape(job->bitmap->GetID(), width, height);

        std::string tail;
        put(tail, *shape);
        if (k > 0)
            put(tail, FlashTagRemoveObject2(SwfFrameDepth));
        put(tail, FlashTagPlaceObject2(SwfFrameDepth, shape->GetID()));
        put(tail, FlashTagShowFrame());
        put(tail, FlashTagSoundStreamBlock(slice.data(), static_cast<std::uint32_t>(slice.size())));

        while (workers.Full())
            writeOldest();
        tails.push_back(std::move(tail));
        workers.Submit([job] {
            ConvertFrame(job->frame, job->pixels.get());
            job->frame = QImage();
            std::ostringstream bytes;
            bytes << *job->bitmap;
            job->pixels.reset();
            return std::move(bytes).str();
        });
        framesWritten_ = static_cast<std::int32_t>(k + 1);
    }
    while (!workers.Empty())
        writeOldest();

    if (framesWritten_ == 0) {
        file.ReserveHeader(HeaderLengthFor(0, 0));
        file.Append(head);
    }
    std::string end;
    put(end, FlashTagEnd());
    file.Append(end);

    std::ostringstream header;
    header << FlashHeader(SwfVersion, static_cast<std::uint32_t>(file.BodyLength()), (width + 1) * TwipsPerPixel,
                          (height + 1) * TwipsPerPixel, pacing_.frameRate, static_cast<std::uint16_t>(framesWritten_));
    if (header.view().size() + file.BodyLength() > fileLengthLimit)
        throw PublishError(tooLong);
    file.Commit(header.view());
}

} // namespace quolva::publish

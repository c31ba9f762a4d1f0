#include "publish/AviExport.h"

#include "editor/OpenRecording.h"
#include "store/AviFileServices.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>

namespace quolva::publish {
namespace {

using u64 = std::uint64_t;
__extension__ typedef unsigned __int128 u128; // products of two 64-bit terms

constexpr u64 kLargestTerm = 0x7FFFFFFF;

// The nearest fraction to a ÷ b whose terms are both at most kLargestTerm: the last convergent of the
// continued fraction that fits, or the semiconvergent after it when that lies nearer.
std::pair<u64, u64> nearestFittingRatio(u64 a, u64 b)
{
    u128 p0 = 0, p1 = 1; // numerators of the two latest convergents
    u128 q0 = 1, q1 = 0; // their denominators
    u64 x = a, y = b;
    while (y != 0) {
        const u64 k = x / y;
        const u128 p2 = k * p1 + p0;
        const u128 q2 = k * q1 + q0;
        if (p2 > kLargestTerm || q2 > kLargestTerm) {
            // The largest t with t·p1 + p0 and t·q1 + q0 still fitting.
            u128 t = k;
            if (p1 != 0)
                t = std::min<u128>(t, (kLargestTerm - p0) / p1);
            if (q1 != 0)
                t = std::min<u128>(t, (kLargestTerm - q0) / q1);
            const u128 ps = t * p1 + p0;
            const u128 qs = t * q1 + q0;
            const long double value = static_cast<long double>(a) / static_cast<long double>(b);
            const auto distance = [value](u128 p, u128 q) {
                return q == 0 ? INFINITY : std::fabs(static_cast<long double>(p) / static_cast<long double>(q) - value);
            };
            if (t > 0 && distance(ps, qs) < distance(p1, q1))
                return {static_cast<u64>(ps), static_cast<u64>(qs)};
            return {static_cast<u64>(p1), static_cast<u64>(q1)};
        }
        p0 = p1;
        p1 = p2;
        q0 = q1;
        q1 = q2;
        const u64 rest = x - k * y;
        x = y;
        y = rest;
    }
    return {static_cast<u64>(p1), static_cast<u64>(q1)};
}

} // namespace

VideoTimeBase ExactVideoTimeBase(std::int32_t frameCount, std::int32_t soundLength, std::int32_t soundRate)
{
    if (frameCount <= 0 || soundLength <= 0 || soundRate <= 0)
        return {kCaptureFramesPerSecond, 1, true};
    u64 rate = static_cast<u64>(frameCount) * static_cast<u64>(soundRate);
    u64 scale = static_cast<u64>(soundLength);
    const u64 divisor = std::gcd(rate, scale);
    rate /= divisor;
    scale /= divisor;
    if (rate > kLargestTerm || scale > kLargestTerm) {
        std::tie(rate, scale) = nearestFittingRatio(rate, scale);
        if (rate == 0 || scale == 0) { // not reachable for counts of 31 bits; kept so the stream is valid
            rate = 1;
            scale = kLargestTerm;
        }
    }
    return {static_cast<store::DWORD>(rate), static_cast<store::DWORD>(scale), false};
}

void PictureToDib(const QImage& picture, std::int32_t width, std::int32_t height, std::vector<std::uint8_t>& dib)
{
    const std::int32_t rowBytes = DibRowBytes(width);
    const QImage source = picture.format() == QImage::Format_RGB32 || picture.format() == QImage::Format_ARGB32
                              ? picture
                              : picture.convertToFormat(QImage::Format_RGB32);
    const int copyWidth = std::min(width, source.width());
    const int copyHeight = std::min(height, source.height());
    const std::size_t size = static_cast<std::size_t>(rowBytes) * static_cast<std::size_t>(height);
    if (copyWidth == width && copyHeight == height && dib.size() == size) {
        // Every pixel is written below: only the fill at the end of each row needs zeros.
        for (int y = 0; y < height; ++y)
            std::memset(dib.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(rowBytes) + width * 3, 0,
                        static_cast<std::size_t>(rowBytes - width * 3));
    } else {
        dib.assign(size, 0);
    }
    for (int y = 0; y < copyHeight; ++y) {
        // 32-bit pixels lie in memory as blue, green, red, 255; the DIB takes the first three, its
        // bottom row first.
        const std::uint8_t* from = source.constScanLine(y);
        std::uint8_t* to = dib.data() + static_cast<std::size_t>(height - 1 - y) * static_cast<std::size_t>(rowBytes);
        for (int x = 0; x < copyWidth; ++x) {
            to[0] = from[0];
            to[1] = from[1];
            to[2] = from[2];
            to += 3;
            from += 4;
        }
    }
}

const QString AviExport::kActivity = QStringLiteral("导出AVI文件");

AviExport::AviExport(editor::OpenRecording& recording) : recording_(recording)
{
    ResetFormats();
}

AviExport::~AviExport()
{
    Release();
    LetGo();
}

void AviExport::ResetFormats()
{
    platform::ICCompressorFree(&compVars);
    compVars = platform::COMPVARS{};
    compVars.cbSize = platform::kCompVarsSize;
    const std::int32_t width = inputFormat.biWidth;
    const std::int32_t height = inputFormat.biHeight;
    inputFormat = store::BITMAPINFOHEADER{};
    inputFormat.biSize = sizeof inputFormat;
    inputFormat.biWidth = width;
    inputFormat.biHeight = height;
    inputFormat.biPlanes = 1;
    inputFormat.biBitCount = 24;
    inputFormat.biCompression = store::BI_RGB;
    videoStreamInfo = store::AVISTREAMINFOA{};
    videoStreamInfo.fccType = store::streamtypeVIDEO;
}

void AviExport::SetFrameSize(std::int32_t width, std::int32_t height)
{
    frameIndex = 0;
    inputFormat.biWidth = width;
    inputFormat.biHeight = height;
}

void AviExport::Take()
{
    if (holding_)
        return;
    // Closing the recording meanwhile ends the export first: what the compressor holds is written.
    recording_.Hold(kActivity, [this] {
        if (started_ && !finished_)
            Finish();
        LetGo();
    });
    holding_ = true;
    try {
        reader_.emplace(recording_.OpenReader());
    } catch (...) {
        LetGo();
        throw;
    }
}

void AviExport::GiveBack()
{
    if (!started_)
        LetGo();
}

std::optional<QImage> AviExport::ReadNextPicture()
{
    if (!reader_)
        throw std::logic_error("AviExport::ReadNextPicture before Take");
    return reader_->Next();
}

void AviExport::CreateStream(const void* format, store::LONG formatSize, std::int32_t width, std::int32_t height)
{
    Take();
    const VideoTimeBase timeBase = ExactVideoTimeBase(frameCount, soundLength, soundRate);
    videoStreamInfo.dwScale = timeBase.scale;
    videoStreamInfo.dwRate = timeBase.rate;
    videoStreamInfo.rcFrame = store::RECT{0, 0, width, height};
    frames_.emplace(
        recording_.OpenReader(), frameCount,
        [path = recording_.FrameStorePath(), width = inputFormat.biWidth, height = inputFormat.biHeight,
         &spare = spareFrames_](
            const store::FrameRecord& record) { return DecodeToDib(record, path, width, height, spare.Take()); },
        decodeThreads);
    try {
        videoStream = recording_.AddStream(videoStreamInfo, format, formatSize);
    } catch (const store::StoreError& failure) {
        throw PublishError(failure.what());
    }
    frameIndex = 0;
    framesWritten = 0;
    started_ = true;
    finished_ = false;
}

void AviExport::StartUncompressed()
{
    if (!HasFrameSize())
        throw PublishError("没有可以导出的帧");
    CreateStream(&inputFormat, sizeof inputFormat, inputFormat.biWidth, inputFormat.biHeight);
}

bool AviExport::StartCompressed()
{
    if (!HasFrameSize())
        throw PublishError("没有可以导出的帧");
    // The compressor spreads a data rate over the stream's own frame rate.
    const VideoTimeBase timeBase = ExactVideoTimeBase(frameCount, soundLength, soundRate);
    if (!platform::ICSeqCompressFrameStart(&compVars, &inputFormat, timeBase.rate, timeBase.scale))
        return false;
    outputFormatBytes = compVars.lpbiOut;
    std::memcpy(&outputFormat, outputFormatBytes.data(), sizeof outputFormat);
    frameSize = static_cast<std::int32_t>(outputFormat.biSizeImage);
    CreateStream(outputFormatBytes.data(), static_cast<store::LONG>(outputFormatBytes.size()), outputFormat.biWidth,
                 outputFormat.biHeight);
    compressorActive = true;
    return true;
}

void AviExport::WriteChunk(const void* data, std::int32_t size, bool keyFrame)
{
    if (store::AVIStreamWrite(videoStream, framesWritten, 1, data, size, keyFrame ? store::AVIIF_KEYFRAME : 0, nullptr,
                              nullptr) != store::AVIERR_OK)
        throw PublishError("无法写入第 " + std::to_string(framesWritten + 1) + " 帧：" + store::AviLastError());
    ++framesWritten;
}

void AviExport::WriteNextFrame()
{
    if (!started_ || finished_ || !frames_)
        throw std::logic_error("AviExport::WriteNextFrame outside an export");
    std::optional<DibFrame> frame = frames_->Next();
    if (!frame)
        throw editor::RecordingError("帧文件 \"" + recording_.FrameStorePath().toStdString() + "\" 在此之前已经结束");
    if (lastFrame_.bytes)
        spareFrames_.Give(std::move(lastFrame_));
    lastFrame_ = std::move(*frame);
    if (compressorActive) {
        bool key = false;
        store::LONG size = frameSize;
        const void* data = platform::ICSeqCompressFrame(&compVars, 0, lastFrame_.bytes.get(), &key, &size);
        ++frameIndex;
        if (data) {
            frameSize = size;
            WriteChunk(data, size, key);
        }
    } else {
        frameSize = static_cast<std::int32_t>(lastFrame_.size);
        ++frameIndex;
        WriteChunk(lastFrame_.bytes.get(), frameSize, true);
    }
}

QImage AviExport::LastFramePicture() const
{
    if (!lastFrame_.bytes)
        return {};
    return DibToPicture(lastFrame_, inputFormat.biWidth, inputFormat.biHeight);
}

void AviExport::Finish()
{
    if (!started_ || finished_)
        return;
    finished_ = true;
    try {
        if (compressorActive) {
            for (;;) {
                bool key = false;
                store::LONG size = 0;
                const void* data = platform::ICSeqCompressFrameFlush(&compVars, &key, &size);
                if (!data)
                    break;
                frameSize = size;
                WriteChunk(data, size, key);
            }
        }
    } catch (...) {
        LetGo();
        throw;
    }
    LetGo();
}

void AviExport::LetGo()
{
    reader_.reset();
    frames_.reset();
    if (holding_) {
        holding_ = false;
        if (recording_.IsHeldBy(kActivity))
            recording_.Release();
    }
}

void AviExport::Release()
{
    if (compressorActive) {
        platform::ICSeqCompressFrameEnd(&compVars);
        platform::ICCompressorFree(&compVars);
        compressorActive = false;
    }
    store::AVIStreamRelease(videoStream);
}

QString AviExport::FrameFailureMessage(const QString& failure) const
{
    return QStringLiteral("第 %1 帧无法读取，AVI导出在此结束（视频流保存了前 %2 帧）：%3")
        .arg(frameIndex + 1)
        .arg(framesWritten)
        .arg(failure);
}

void AviExport::Run(const std::function<void(std::int32_t given)>& onFrame)
{
    while (!AllFramesGiven()) {
        try {
            WriteNextFrame();
        } catch (const editor::RecordingError& failure) {
            Finish();
            throw PublishError(FrameFailureMessage(QString::fromUtf8(failure.what())).toStdString());
        }
        if (onFrame)
            onFrame(frameIndex);
    }
    Finish();
}

} // namespace quolva::publish

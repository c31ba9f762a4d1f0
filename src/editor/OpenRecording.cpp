#include "editor/OpenRecording.h"

#include "store/AviFileServices.h"
#include "store/DecimalText.h"
#include "store/Jpeg.h"

#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <exception>
#include <stdexcept>
#include <utility>

namespace quolva::editor {
namespace {

std::filesystem::path toPath(const QString& path)
{
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

std::string quoted(const QString& path)
{
    return "\"" + path.toStdString() + "\"";
}

} // namespace

OpenRecording::OpenRecording()
{
    audioFormat = DefaultAudioFormat();
    audioStreamInfo = DefaultAudioStreamInfo();
}

OpenRecording::~OpenRecording()
{
    // The work's owners are gone or going: each lets go of the recording as it is destroyed.
    endWork_ = nullptr;
    onTaken = nullptr;
    onGivenBack = nullptr;
    try {
        ReleaseAll();
    } catch (...) {
        // Nothing to report to at exit; the AVI file stays as it was written, which repair can finish.
    }
}

store::SoundFormatArea OpenRecording::DefaultAudioFormat()
{
    store::SoundFormatArea format{};
    format.format.wFormatTag = store::WAVE_FORMAT_PCM;
    format.format.nChannels = 1;
    format.format.nSamplesPerSec = 11025;
    format.format.nAvgBytesPerSec = 11025;
    format.format.nBlockAlign = 1;
    format.format.wBitsPerSample = 8;
    format.format.cbSize = 0;
    return format;
}

store::AVISTREAMINFOA OpenRecording::DefaultAudioStreamInfo()
{
    store::AVISTREAMINFOA info{};
    info.fccType = store::streamtypeAUDIO;
    info.dwScale = 1;
    info.dwRate = 11025;
    info.dwQuality = static_cast<store::DWORD>(-1);
    info.dwSampleSize = 1;
    return info;
}

QString OpenRecording::FrameStorePathOf(const QString& targetPath)
{
    return targetPath + QStringLiteral(".xxx");
}

void OpenRecording::Reset()
{
    std::exception_ptr failure;
    try {
        ReleaseAll();
    } catch (...) {
        failure = std::current_exception();
    }
    open_ = false;
    frameCount = 0;
    frameCounter = 1;
    lastDigitCount = 0;
    lastJpegSize = 0;
    displayedFrameStart = 0;
    cursorBeforeView = false;
    numberOnView_ = 0;
    audioFormat = DefaultAudioFormat();
    audioStreamInfo = DefaultAudioStreamInfo();
    audioSamples = 0;
    audioDuration = 0;
    framePeriod = 0;
    audioStreamLength = 0;
    rewriteBuffer.clear();
    if (failure)
        std::rethrow_exception(failure);
}

void OpenRecording::Open(const QString& targetPath)
{
    Reset();
    try {
        if (!QFileInfo(targetPath).isFile())
            throw RecordingError("录制文件 " + quoted(targetPath) + " 不存在");
        const QString framesPath = FrameStorePathOf(targetPath);
        if (!QFileInfo(framesPath).isFile())
            throw RecordingError("录制文件 " + quoted(targetPath) + " 没有帧文件 " + quoted(framesPath));

        if (store::AVIFileOpen(&aviFile, toPath(targetPath), store::OF_READWRITE | store::OF_SHARE_DENY_NONE) !=
            store::AVIERR_OK)
            throw RecordingError("无法打开录制文件：" + store::AviLastError());

        // The first audio stream, with its description and format; where they cannot be read the
        // defaults stay in force, and a recording without sound opens all the same.
        if (store::AVIFileGetStream(aviFile, &audioStream, store::streamtypeAUDIO, 0) == store::AVIERR_OK) {
            store::AVISTREAMINFOA info{};
            if (store::AVIStreamInfo(audioStream, &info, sizeof info) == store::AVIERR_OK)
                audioStreamInfo = info;
            store::SoundFormatArea format{};
            store::LONG formatSize = sizeof format;
            if (store::AVIStreamReadFormat(audioStream, 0, &format, &formatSize) == store::AVIERR_OK &&
                formatSize >= static_cast<store::LONG>(sizeof(store::WAVEFORMATEX) - sizeof(store::WORD)))
                audioFormat = format;
            audioStreamLength = std::max<store::LONG>(0, store::AVIStreamLength(audioStream));
        }

        // The sound's arithmetic, in whole numbers, with a 64-bit product so that long tracks do not wrap.
        const std::uint64_t length = static_cast<std::uint64_t>(audioStreamLength);
        const std::uint64_t blockAlign = audioFormat.format.nBlockAlign;
        const std::uint64_t bytesPerSecond = audioFormat.format.nAvgBytesPerSec;
        audioSamples = blockAlign != 0 ? static_cast<float>(length / blockAlign) : 0.0f;
        audioDuration = bytesPerSecond != 0 ? static_cast<float>(length * 1000u / bytesPerSecond) : 0.0f;

        frames_.emplace(store::FrameStore::OpenFrameStore(toPath(framesPath)));
        const std::vector<std::uint8_t> header = frames_->Read(store::kFrameStoreHeaderSize);
        frameCount = store::ParseDecimalInt32(
            std::string_view(reinterpret_cast<const char*>(header.data()), header.size()),
            "the frame count of " + quoted(framesPath));
        framePeriod = frameCount > 0 ? audioDuration / static_cast<float>(frameCount) : 0.0f;

        frames_->Seek(store::kFrameStoreHeaderSize);
        targetPath_ = targetPath;
        open_ = true;
    } catch (const store::StoreError& failure) {
        try {
            ReleaseAll();
        } catch (...) {
        }
        Reset();
        if (dynamic_cast<const RecordingError*>(&failure) != nullptr)
            throw;
        throw RecordingError(failure.what());
    }
}

bool OpenRecording::Close()
{
    if (!open_)
        return false;
    open_ = false;
    std::exception_ptr failure;
    try {
        ReleaseAll();
    } catch (...) {
        failure = std::current_exception();
    }
    rewriteBuffer.clear();
    rewriteBuffer.shrink_to_fit();
    if (failure)
        std::rethrow_exception(failure);
    return true;
}

void OpenRecording::EndHoldingWork()
{
    if (!IsHeld())
        return;
    const std::function<void()> endWork = std::exchange(endWork_, nullptr);
    if (endWork)
        endWork();
    if (IsHeld())
        Release();
}

void OpenRecording::ReleaseAll()
{
    std::exception_ptr failure;
    try {
        EndHoldingWork();
    } catch (...) {
        failure = std::current_exception();
    }
    holder_.clear();
    endWork_ = nullptr;

    // Every stream, then the file. The file is completed here, explicitly: a handle someone else still
    // holds must never keep it open, to be finished later with headers that no longer describe it.
    for (store::PAVISTREAM& stream : dubbingStreams)
        store::AVIStreamRelease(stream);
    dubbingStreams.clear();
    for (store::PAVISTREAM& stream : addedStreams_)
        store::AVIStreamRelease(stream);
    addedStreams_.clear();
    store::AVIStreamRelease(audioStream);
    if (aviFile) {
        try {
            aviFile->close(); // a failure (a full disk) is worth telling
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
        aviFile.reset();
    }
    if (frames_) {
        frames_->Close();
        frames_.reset();
    }
    if (failure)
        std::rethrow_exception(failure);
}

store::PAVISTREAM OpenRecording::AddStream(const store::AVISTREAMINFOA& info, const void* format,
                                           store::LONG formatSize)
{
    RequireOpen();
    store::PAVISTREAM stream;
    if (store::AVIFileCreateStream(aviFile, &stream, info) != store::AVIERR_OK)
        throw RecordingError("无法在录制文件 " + quoted(targetPath_) + " 中加入流：" + store::AviLastError());
    if (store::AVIStreamSetFormat(stream, 0, format, formatSize) != store::AVIERR_OK)
        throw RecordingError("无法设置录制文件 " + quoted(targetPath_) + " 中新流的格式：" + store::AviLastError());
    addedStreams_.push_back(stream);
    return stream;
}

FrameReader OpenRecording::OpenReader() const
{
    if (!open_ || !frames_)
        throw std::logic_error("no recording is open");
    try {
        return FrameReader(frames_->OpenReader(), FrameStorePath());
    } catch (const RecordingError&) {
        throw;
    } catch (const store::StoreError& failure) {
        throw RecordingError(failure.what());
    }
}

QImage OpenRecording::PictureOnView()
{
    RequireOpen();
    if (numberOnView_ < 1 || displayedFrameStart < store::kFrameStoreHeaderSize)
        return {};
    const std::int64_t cursor = frames_->Position();
    store::FrameRecord record;
    try {
        frames_->Seek(displayedFrameStart);
        record = frames_->ReadNextFrame();
    } catch (const store::StoreError& failure) {
        frames_->Seek(cursor);
        throw RecordingError(failure.what());
    }
    frames_->Seek(cursor);
    return Decode(record);
}

void OpenRecording::RequireOpen() const
{
    if (!open_ || !frames_)
        throw std::logic_error("no recording is open");
}

store::FrameStore& OpenRecording::Frames()
{
    RequireOpen();
    return *frames_;
}

void OpenRecording::ReplaceFrameStore(store::FrameStore replacement)
{
    RequireOpen();
    if (!replacement.IsOpen())
        throw std::logic_error("the replacing frame store is not open");
    frames_->Close();
    *frames_ = std::move(replacement);
}

std::int64_t OpenRecording::Cursor() const
{
    return frames_ ? frames_->Position() : 0;
}

void OpenRecording::SetCursor(std::int64_t position)
{
    RequireOpen();
    frames_->Seek(position);
}

std::int64_t OpenRecording::FrameStoreSize() const
{
    return frames_ ? frames_->Size() : 0;
}

bool OpenRecording::AtEnd() const
{
    RequireOpen();
    return frames_->Position() >= frames_->Size();
}

void OpenRecording::Rewind()
{
    RequireOpen();
    frameCounter = 1;
    frames_->Seek(store::kFrameStoreHeaderSize);
}

QImage OpenRecording::Decode(const store::FrameRecord& record) const
{
    return DecodeFramePicture(record, FrameStorePath());
}

store::FrameRecord OpenRecording::ReadForward()
{
    store::FrameRecord record;
    try {
        record = frames_->ReadNextFrame();
    } catch (const store::StoreError& failure) {
        throw RecordingError(failure.what());
    }
    lastJpegSize = record.jpegSize;
    lastDigitCount = record.digitCount;
    numberOnView_ = frameCounter;
    ++frameCounter;
    return record;
}

store::FrameRecord OpenRecording::ReadBackward()
{
    store::FrameRecord record;
    try {
        record = frames_->ReadPreviousFrame();
    } catch (const store::StoreError& failure) {
        throw RecordingError(failure.what());
    }
    lastJpegSize = record.jpegSize;
    --frameCounter;
    numberOnView_ = frameCounter;
    return record;
}

QImage OpenRecording::ForwardStep()
{
    RequireOpen();
    return Decode(ReadForward());
}

QImage OpenRecording::PlayStep()
{
    RequireOpen();
    const store::FrameRecord record = ReadForward();
    cursorBeforeView = false;
    displayedFrameStart = record.offset;
    return Decode(record);
}

// The bookkeeping of each step is done before its picture is decoded, so that a frame that cannot be
// decoded is still passed over by the next step.
QImage OpenRecording::NextFrame()
{
    RequireOpen();
    if (AtEnd()) {
        // A store without records has no frame 1 to wrap to.
        if (frames_->Size() <= store::kFrameStoreHeaderSize)
            return {};
        Rewind();
    }
    const store::FrameRecord record = ReadForward();
    cursorBeforeView = false;
    displayedFrameStart = frames_->Position() - 2 * (std::int64_t{lastDigitCount} + 1) - lastJpegSize;
    return Decode(record);
}

QImage OpenRecording::PreviousFrame()
{
    RequireOpen();
    if (frames_->Position() > store::kFrameStoreHeaderSize) {
        const store::FrameRecord record = ReadBackward();
        displayedFrameStart = frames_->Position();
        cursorBeforeView = true;
        return Decode(record);
    }
    Rewind();
    QImage picture = NextFrame();
    if (!picture.isNull())
        displayedFrameStart = frames_->Position() - 2 * std::int64_t{lastDigitCount} - lastJpegSize - 2;
    return picture;
}

std::optional<QImage> OpenRecording::ReadNextPicture()
{
    RequireOpen();
    if (AtEnd())
        return std::nullopt;
    store::FrameRecord record;
    try {
        record = frames_->ReadNextFrame();
    } catch (const store::StoreError& failure) {
        throw RecordingError(failure.what());
    }
    displayedFrameStart = record.offset;
    cursorBeforeView = false;
    return Decode(record);
}

std::optional<QSize> OpenRecording::FirstFrameSize()
{
    RequireOpen();
    const std::int64_t cursor = frames_->Position();
    std::optional<QSize> size;
    try {
        frames_->Seek(store::kFrameStoreHeaderSize);
        const store::FrameRecord first = frames_->ReadNextFrame();
        const store::JpegDimensions dimensions = store::ReadJpegDimensions(first.jpeg);
        size = QSize(dimensions.width, dimensions.height);
    } catch (const store::StoreError&) {
    }
    frames_->Seek(cursor);
    return size;
}

int OpenRecording::PlaybackIntervalMs() const
{
    if (!std::isfinite(framePeriod) || framePeriod < 1.0f || framePeriod > 3.6e6f)
        return kCapturePaceMs;
    return static_cast<int>(framePeriod);
}

PublishHandOver OpenRecording::HandOver() const
{
    PublishHandOver handOver;
    handOver.frameStorePath = FrameStorePath();
    handOver.frameCount = frameCount;
    handOver.soundLength = static_cast<std::int32_t>(std::min(audioSamples, 2147483520.0f));
    handOver.soundRate = static_cast<std::int32_t>(audioFormat.format.nSamplesPerSec);
    return handOver;
}

void OpenRecording::Hold(const QString& activity, std::function<void()> endWork)
{
    if (IsHeld())
        throw RecordingBusy(BusyMessage().toStdString());
    if (activity.isEmpty())
        throw std::logic_error("long work needs a name");
    holder_ = activity;
    endWork_ = std::move(endWork);
    if (onTaken)
        onTaken();
}

void OpenRecording::Release()
{
    if (!IsHeld())
        return;
    holder_.clear();
    endWork_ = nullptr;
    if (onGivenBack)
        onGivenBack();
}

QString OpenRecording::BusyMessage() const
{
    return QStringLiteral("正在%1，请等它结束后再操作").arg(holder_);
}

} // namespace quolva::editor

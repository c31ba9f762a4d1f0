#include "record/RecordingSession.h"

#include "store/AviFileServices.h"

#include <QFile>


namespace quolva::record {
namespace {

std::filesystem::path toPath(const QString& path)
{
    return std::filesystem::path(path.toStdString());
}

// The AVI services answer with a code; a failure here is told to the user with the service's words.
void check(store::HRESULT result)
{
    if (result != store::AVIERR_OK)
        throw store::StoreError(store::AviLastError());
}

} // namespace

RecordingSession::RecordingSession()
{
    ResetRecordingDefaults();
}

QString RecordingSession::FrameStorePath(const QString& targetPath)
{
    return targetPath + QStringLiteral(".xxx");
}

void RecordingSession::ResetRecordingDefaults()
{
    store::AVIFileInit();

    soundFormat = {};
    soundFormat.format.wFormatTag = store::WAVE_FORMAT_PCM;
    soundFormat.format.nChannels = 1;
    soundFormat.format.nSamplesPerSec = 11025;
    soundFormat.format.nAvgBytesPerSec = 22050;
    soundFormat.format.nBlockAlign = 2;
    soundFormat.format.wBitsPerSample = 16;
    soundFormat.format.cbSize = 0;

    audioStreamInfo = {};
    audioStreamInfo.fccType = store::streamtypeAUDIO;
    audioStreamInfo.dwScale = 1;
    audioStreamInfo.dwRate = 11025;
    audioStreamInfo.dwQuality = static_cast<store::DWORD>(-1);
    audioStreamInfo.dwSampleSize = 1;
}

void RecordingSession::ApplySoundFormatToStreamInfo()
{
    audioStreamInfo.dwScale = 1;
    audioStreamInfo.dwRate = soundFormat.format.nSamplesPerSec;
    audioStreamInfo.dwSampleSize = soundFormat.format.nBlockAlign;
}

void RecordingSession::NewTarget(const QString& path)
{
    ReleaseSoundTrack();
    newMode = true;
    continueMode = false;
    bool created = false;
    try {
        check(store::AVIFileOpen(&soundTrackFile, toPath(path), store::OF_CREATE | store::OF_WRITE | store::OF_SHARE_DENY_NONE));
        created = true;
        check(store::AVIFileCreateStream(soundTrackFile, &audioStream, audioStreamInfo));
    } catch (...) {
        ReleaseSoundTrack();
        // Only a file this session made is removed: one it could not open (read-only, busy) is someone's.
        if (created)
            QFile::remove(path);
        newMode = false;
        throw;
    }
    targetPath = path;
}

QSize RecordingSession::ContinueTarget(const QString& path)
{
    ReleaseSoundTrack();
    newMode = false;
    continueMode = true;
    try {
        check(store::AVIFileOpen(&soundTrackFile, toPath(path), store::OF_READWRITE | store::OF_SHARE_DENY_NONE));
        check(store::AVIFileGetStream(soundTrackFile, &audioStream, store::streamtypeAUDIO, 0));
        store::AVISTREAMINFOA info{};
        check(store::AVIStreamInfo(audioStream, &info, sizeof(info)));

        // The frame size comes from the first record of the frame store.
        store::FrameStore frames = store::FrameStore::OpenFrameStore(toPath(FrameStorePath(path)));
        frames.Seek(store::kFrameStoreHeaderSize);
        const store::FrameRecord first = frames.ReadNextFrame();
        const store::Picture picture = frames.DecodeFrame(first);
        frames.Close();

        store::SoundFormatArea format{};
        store::LONG formatSize = sizeof(format);
        check(store::AVIStreamReadFormat(audioStream, 0, &format, &formatSize));
        if (formatSize < 16 || format.format.nAvgBytesPerSec == 0 || format.format.nBlockAlign == 0)
            throw store::StoreError("AVI file \"" + path.toStdString() + "\": its audio stream has no usable sound format");

        audioStreamInfo = info;
        soundFormat = format;
        targetPath = path;
        return {picture.Width(), picture.Height()};
    } catch (...) {
        ReleaseSoundTrack();
        continueMode = false;
        throw;
    }
}

void RecordingSession::CancelTarget()
{
    const bool deleteTarget = newMode && !targetPath.isEmpty();
    ReleaseSoundTrack();
    if (deleteTarget)
        QFile::remove(targetPath);
    store::AVIFileExit();
    newMode = false;
    continueMode = false;
    ready = false;
    targetPath.clear();
}

void RecordingSession::OpenFrameStoreForRecording(QSize captureSize)
{
    const std::filesystem::path path = toPath(FrameStorePath(targetPath));
    frameStore.emplace(newMode ? store::FrameStore::CreateFrameStore(path)
                               : store::FrameStore::OpenFrameStoreForAppend(path));
    captureBitmap = QImage(captureSize, QImage::Format_RGB32);
    captureBitmap.fill(Qt::black);
}

void RecordingSession::DropFrameStore()
{
    if (frameStore)
        frameStore->Close();
    frameStore.reset();
    captureBitmap = QImage();
}

void RecordingSession::CloseRecordingFiles()
{
    // Every step is tried whatever failed before it: on a full disk the header count still goes in (it is
    // written in place and needs no room) although the AVI file cannot be completed.
    std::string failures;
    const auto attempt = [&](auto&& step) {
        try {
            step();
        } catch (const std::exception& failure) {
            failures += (failures.empty() ? "" : "\n") + std::string(failure.what());
        }
    };
    if (frameStore) {
        attempt([&] { frameStore->AddToFrameCount(frameCounter); });
        attempt([&] { frameStore->Close(); });
        frameStore.reset();
    }
    if (soundTrackFile) {
        // Closing completes the file (index and headers); what it cannot write leaves it as an unfinished
        // recording, which opens by walking its chunks and which quolvactl repair completes.
        attempt([&] {
            try {
                soundTrackFile->close();
            } catch (const std::exception& failure) {
                throw store::StoreError(std::string(failure.what()) + "; the AVI file keeps its sound but is left "
                                        "unfinished: run quolvactl repair on it once there is room");
            }
        });
    }
    ReleaseSoundTrack();
    store::AVIFileExit();
    if (!failures.empty())
        throw store::StoreError(failures);
}

void RecordingSession::ReleaseSoundTrack()
{
    store::AVIStreamRelease(audioStream);
    store::AVIFileRelease(soundTrackFile);
}

QString SoundFormatText(const store::SoundFormatArea& format)
{
    return QStringLiteral("%1Hz,%2Bits%3Channel")
        .arg(format.format.nSamplesPerSec)
        .arg(format.format.wBitsPerSample)
        .arg(format.format.nChannels);
}

} // namespace quolva::record

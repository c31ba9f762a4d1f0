#pragma once
#include "editor/FrameReader.h"
#include "editor/RecordingError.h"
#include "store/AviFile.h"
#include "store/FrameStore.h"
#include "store/StoreError.h"
#include "store/WinTypes.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace quolva::editor {

// What the publish dialog is handed when a recording has been opened.
struct PublishHandOver {
    QString frameStorePath;
    std::int32_t frameCount = 0;  // N, from the frame store's header
    std::int32_t soundLength = 0; // L, the sound track's length in sample frames
    std::int32_t soundRate = 0;   // R, its samples per second
};

// The editor's open recording: the target AVI file with its first audio stream, and the frame store
// beside it, opened once and shared by the browser, the rewriting, the dubbing and both exports. Its
// read position (the cursor) belongs to the browser and always lies on a boundary between two frame
// records; the exports read with readers of their own. It is the one owner of the AVI file: closing
// releases every stream and then completes the file, whoever else still holds a handle. No widgets:
// frames come back as pictures for the windows to show.
class OpenRecording {
public:
    // Playback runs at this pace when no frame period can be computed (no frames counted, no sound):
    // the pace of the capture.
    static constexpr int kCapturePaceMs = 100;

    OpenRecording();
    ~OpenRecording();
    OpenRecording(const OpenRecording&) = delete;
    OpenRecording& operator=(const OpenRecording&) = delete;

    // The sound the editor assumes where a recording's own cannot be read: PCM 11025 Hz, 8 bits, mono.
    static store::SoundFormatArea DefaultAudioFormat();
    static store::AVISTREAMINFOA DefaultAudioStreamInfo();
    // The frame store of a target: its full path with ".xxx" appended.
    static QString FrameStorePathOf(const QString& targetPath);

    // Releases whatever is open (nothing written) and returns to the state of a fresh editor: closed,
    // the default sound format and stream description, counters at their start.
    void Reset();

    // Opens the pair of `targetPath`: the AVI file for reading and writing with its first audio stream
    // (description, format, length), then the frame store and its header count. The cursor is then 16,
    // before the first record; nothing is shown yet (NextFrame shows frame 1). A recording already open is
    // released first. On failure nothing stays open, nothing was written, and RecordingError names the
    // file. A recording without sound, without frames, or with a header count of 0 opens.
    void Open(const QString& targetPath);

    // Ends the long work that holds the recording (which writes what it has), releases every stream
    // (the dubbing streams, those added by exports, the audio stream), completes the AVI file on disk
    // and closes the frame store. False when nothing was open. A failure to complete the AVI file is
    // thrown after everything has been released.
    bool Close();

    bool IsOpen() const { return open_; }
    const QString& TargetPath() const { return targetPath_; }
    QString FrameStorePath() const { return FrameStorePathOf(targetPath_); }

    // --- Browsing. Each call needs an open recording. A record that cannot be read is thrown as
    // RecordingError with the cursor left where it was; a record that is read but cannot be decoded is
    // thrown after the step, so that the next step moves on past it.

    // Next frame: the record after the cursor; from the end of the store it wraps to frame 1. Nothing
    // (a null picture) when the store holds no record.
    QImage NextFrame();
    // Previous frame: the record before the cursor; at the start of the store it shows frame 1.
    QImage PreviousFrame();
    // The forward step of playback and of the update run: reads the record at the cursor and shows it.
    QImage ForwardStep();
    // One tick of playback: a forward step that also clears cursor-before-view and sets the displayed
    // frame start, as next frame does (without wrapping).
    QImage PlayStep();
    // The cursor lies after the last record (a forward step has nothing to read).
    bool AtEnd() const;
    // Frame counter 1, cursor 16: before the first record.
    void Rewind();

    // The record at the cursor, decoded, without the browser's counters and without wrapping; it becomes
    // the record on view. Nothing at the end of the store.
    std::optional<QImage> ReadNextPicture();
    // The record on view read again, without moving the cursor: what the browser shows once work that
    // showed other pictures has ended. A null picture when nothing is on view.
    QImage PictureOnView();
    // A reader of the frame store from its first record, with a position of its own: an export reads
    // every frame through it, whatever the browser does meanwhile.
    FrameReader OpenReader() const;
    // Adds a stream to the AVI file and sets its format. The recording keeps a handle and releases it,
    // before the file is completed, when it closes. Throws RecordingError.
    store::PAVISTREAM AddStream(const store::AVISTREAMINFOA& info, const void* format, store::LONG formatSize);
    // The size of the first frame, read from its JPEG header; the cursor is left where it was. Nothing
    // when the store holds no readable first record.
    std::optional<QSize> FirstFrameSize();

    std::int64_t Cursor() const;
    void SetCursor(std::int64_t position);
    std::int64_t FrameStoreSize() const;
    store::FrameStore& Frames();
    // Puts a rewritten frame store in the place of the open one (the commit of an update run): the old
    // handle is closed and the cursor is the new store's position. The recording stays open.
    void ReplaceFrameStore(store::FrameStore replacement);

    // The number of the frame on view, as the browser shows it (0 before anything was shown).
    std::int32_t NumberOnView() const { return numberOnView_; }
    // How long one frame lasts in playback, in whole milliseconds (the capture pace when unknown).
    int PlaybackIntervalMs() const;
    PublishHandOver HandOver() const;

    // --- Long work (an export, an update run, dubbing) takes the recording when the user starts it,
    // before any dialog it shows, and gives it back when its output is written or abandoned. Meanwhile
    // whatever would move the browser's cursor, close or reopen the recording is refused with
    // BusyMessage(). `endWork` ends the work at once, keeping what it has written, and gives the
    // recording back: Close and Reset run it before anything is released. Throws RecordingBusy when
    // other work holds the recording.
    void Hold(const QString& activity, std::function<void()> endWork = {});
    void Release();
    bool IsHeld() const { return !holder_.isEmpty(); }
    bool IsHeldBy(const QString& activity) const { return !holder_.isEmpty() && holder_ == activity; }
    const QString& Holder() const { return holder_; }
    QString BusyMessage() const;
    // Told when work takes the recording (the main window stops playback then) and gives it back.
    std::function<void()> onTaken;
    std::function<void()> onGivenBack;

    // --- State shared with the rewriting, the dubbing and the exports.
    std::int32_t frameCount = 0;      // the header's count
    std::int32_t frameCounter = 1;    // one more than the records before the cursor (after a forward step)
    std::int32_t lastDigitCount = 0;  // d of the record read last
    std::int32_t lastJpegSize = 0;    // n of the record read last
    std::int64_t displayedFrameStart = 0; // where the record on view begins
    bool cursorBeforeView = false;    // after a backward step the cursor lies before the record on view

    store::PAVIFILE aviFile;
    store::PAVISTREAM audioStream;    // the first audio stream; null when the file has none
    store::AVISTREAMINFOA audioStreamInfo{};
    store::SoundFormatArea audioFormat{};
    float audioSamples = 0;           // stream length ÷ block alignment, whole numbers
    float audioDuration = 0;          // milliseconds: stream length × 1000 ÷ bytes per second
    float framePeriod = 0;            // milliseconds: audio duration ÷ frame count (0 when unknown)
    std::int64_t audioStreamLength = 0; // as the stream reports it (a byte count for our recordings)

    std::vector<std::uint8_t> rewriteBuffer; // records re-encoded by an update run
    std::vector<store::PAVISTREAM> dubbingStreams; // audio streams added by dubbing, in order

private:
    store::FrameRecord ReadForward();
    store::FrameRecord ReadBackward();
    QImage Decode(const store::FrameRecord& record) const;
    void RequireOpen() const;
    // Ends the holding work, releases every stream, completes the AVI file and closes the frame store;
    // the first failure is rethrown once everything is released.
    void ReleaseAll();
    void EndHoldingWork();

    bool open_ = false;
    QString targetPath_;
    std::optional<store::FrameStore> frames_;
    std::int32_t numberOnView_ = 0;
    QString holder_;
    std::function<void()> endWork_;
    std::vector<store::PAVISTREAM> addedStreams_; // streams added by exports and dubbing
};

} // namespace quolva::editor

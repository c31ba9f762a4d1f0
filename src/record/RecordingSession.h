#pragma once
#include "store/AviFile.h"
#include "store/FrameStore.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <optional>

namespace quolva::record {

// The state of one recording: the target AVI file (the sound track), its audio stream, the frame store
// beside it, and the marks that say how far the recording has come. Owned by the recording panel.
//
//   Idle --wizard finished--> Prepared --Record--> Recording --Stop--> Stopping --FinishRecording--> Idle
class RecordingSession {
public:
    RecordingSession();

    // The frame store of a target: its full path with ".xxx" appended.
    static QString FrameStorePath(const QString& targetPath);

    // AVIFileInit, the default sound format (PCM 11025 Hz, 16 bits, 1 channel) and the default
    // audio stream description. Run each time the wizard opens.
    void ResetRecordingDefaults();

    // After the sound-format chooser closed with success or cancel: the stream description follows the
    // format now in the sound format area.
    void ApplySoundFormatToStreamInfo();

    // New target: creates the AVI file (mode 0x1041) with an empty audio stream. The frame store is
    // created only at Record. Throws with the file's name when the file or its stream cannot be created.
    void NewTarget(const QString& path);

    // Continue target: opens the AVI file (mode 0x42) and its first audio stream, takes the stream's
    // description and sound format, and reads the frame size from the first record of the frame store.
    // Throws when the file cannot be opened, has no audio stream, or its frame store has no frame.
    QSize ContinueTarget(const QString& path);

    // Releases the target opened by the wizard; a new target's file is deleted.
    void CancelTarget();

    // Record: the frame store is created (new) or reopened at its end (continue), and the capture
    // bitmap made at the capture size.
    void OpenFrameStoreForRecording(QSize captureSize);

    // The end of a recording: the frames appended since Record are added to the header count, and the
    // frame store, the audio stream and the AVI file are closed. Every step is tried; the failures (a full
    // disk) are thrown together at the end, with both files closed as far as they could be.
    void CloseRecordingFiles();

    // Undoes OpenFrameStoreForRecording after a failed start: the store is closed as it is.
    void DropFrameStore();

    QString targetPath;
    bool newMode = false;
    bool continueMode = false;
    bool ready = false;   // the wizard finished: Record may start
    bool started = false; // a recording runs

    store::PAVIFILE soundTrackFile;
    store::PAVISTREAM audioStream;
    store::AVISTREAMINFOA audioStreamInfo{};
    store::SoundFormatArea soundFormat{};

    std::optional<store::FrameStore> frameStore;
    std::int32_t frameCounter = 0; // frames appended since Record
    QImage captureBitmap;

private:
    void ReleaseSoundTrack();
};

// The wizard's text for a sound format: "11025Hz,16Bits1Channel".
QString SoundFormatText(const store::SoundFormatArea& format);

} // namespace quolva::record

#pragma once
#include "record/SoundCapture.h"
#include "store/AviFile.h"

#include <QObject>
#include <QString>

class QWidget;

namespace quolva::editor {

class OpenRecording;

// Dubbing a new sound track: each start adds one more audio stream to the open recording's AVI file,
// made from the recording's own stream description and sound format, and records the default input
// device into it with the recording panel's capture loop, run for the main window. The recording's first
// audio stream is never touched. The new streams stay in the file and are released with the recording.
//
// Dubbing is long work: from its start to its pause (or the end of playback) it holds the recording, so
// that nothing but its own playback moves the cursor, and closing the recording ends it first.
class Dubbing : public QObject {
    Q_OBJECT
public:
    static const QString kActivity; // "录制背景声音": what the held recording is busy with

    Dubbing(OpenRecording& recording, QWidget* messageOwner);
    ~Dubbing() override;

    // Takes the recording (RecordingBusy when other work holds it) and adds the dubbing stream.
    void Begin();
    // A new audio stream in the recording's AVI file, from its stream description and format; it becomes
    // the dubbing stream (the latest of OpenRecording::dubbingStreams).
    void AddStream();
    // The capture into the dubbing stream (BitBtn1Click). Device failures are told as the recording panel
    // tells them and stop nothing.
    void StartCapture();
    // The capture's stop sequence (BitBtn2Click): the buffers it hands back are written as their events
    // arrive.
    void Stop();
    // The end of the work (pause, the end of playback, closing): stops a running capture, writes its last
    // buffers, lets go of the dubbing stream and gives the recording back. Nothing recorded is lost.
    void Finish();

    bool IsCapturing() const { return capture_.isRunning(); }
    // The recording is held by dubbing: from Begin to Finish.
    bool IsDubbing() const;
    // The capture loop; tests watch its buffers.
    record::SoundCapture& capture() { return capture_; }

private:
    OpenRecording& recording_;
    record::SoundCapture capture_;
};

} // namespace quolva::editor

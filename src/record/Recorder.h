#pragma once
#include "record/CaptureSettings.h"
#include "record/FrameGrabber.h"
#include "record/RecordingClock.h"
#include "record/RecordingOptions.h"
#include "record/RecordingSession.h"
#include "record/SoundCapture.h"
#include "store/FileFlusher.h"

#include <QObject>
#include <QTimer>

class QWidget;

namespace quolva::record {

class TForm2;

// The recording engine the panel runs: the session, the sound capture, the frame grabber and the three
// timers of a recording (Timer1 the capture tick, every 100 ms unless the options choose another rate,
// Timer2 the elapsed seconds, Timer3 the finishing step 20 ms after the stop). quolvactl records through
// the same object.
class Recorder : public QObject {
    Q_OBJECT
public:
    Recorder(TForm2& viewfinder, QWidget* messageOwner);

    // Record. Refused with "请先进行设置" until the wizard has prepared a target; does nothing while a
    // recording starts, runs or is being finished (also when Record comes again from inside one of the
    // start's message boxes). When the frame store cannot be opened the sound capture is undone, the
    // error thrown, and the session stays prepared.
    void luzhi();
    // Stop. Refused with "还没有进行录制" when no recording runs.
    void tingzhi();
    // Pauses a running recording (the capture ticks, the sound input and the seconds stop together), or
    // resumes a paused one into the same files. Does nothing when no recording runs.
    void PauseOrResume();
    bool isPaused() const { return clock.isPaused(); }

    // One capture tick. A frame that cannot be written (a full disk) stops the recording by itself.
    void Timer1Timer();
    void Timer2Timer();
    // The finishing step: waits for the last sound buffers, brings the header count up to date, closes
    // both files and hands the recording over. Whatever fails on the way (a full disk) is told in one
    // message once both files are closed as far as they can be; the session is no longer prepared then,
    // so that Record cannot make the frame store again.
    void FinishRecording();

    // Stops a running recording and finishes it at once (the program is closing): nothing is lost.
    void FinishBeforeExit();

    // From the first step of Record until Stop.
    bool isRecording() const { return session.started || starting_; }
    // From Stop until FinishRecording has closed the files.
    bool isFinishing() const { return finishing_; }
    // What stopped or spoiled the last recording (empty when it ended as asked).
    const QStringList& lastFailures() const { return lastFailures_; }

    RecordingSession session;
    CaptureSettings settings;
    RecordingOptions options; // read at Record
    RecordingClock clock;
    SoundCapture soundCapture;
    FrameGrabber grabber;
    QTimer Timer1;
    QTimer Timer2;
    QTimer Timer3;
    std::int32_t elapsedSeconds = 0;
    std::int32_t framesOfLastRecording = 0; // what the last finished recording added to the store
    QString statusText;

signals:
    void statusTextChanged(const QString& text);
    // A recording started (true) or stopped (false).
    void runningChanged(bool running);
    // FinishRecording closed both files: the recording at targetPath is complete.
    void recordingFinished(const QString& targetPath);

private:
    void setStatus(const QString& text);
    // A file of the recording cannot be written: the recording stops as if Stop was pressed, and the
    // failure is told when it is finished.
    void StopForFailure(const QString& failure);
    void TellFailures(const QStringList& failures, bool stoppedByItself);

    QWidget* messageOwner_;
    QTimer resumeTick_; // after a resume: the first tick, in the spacing of those before the pause
    bool starting_ = false;
    bool finishing_ = false;
    bool stoppedByFailure_ = false;
    QStringList failures_;
    QStringList lastFailures_;
    store::FileFlusher flusher_; // the recording's files reach the disk about once a second
};

} // namespace quolva::record

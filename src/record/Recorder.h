#pragma once
#include "record/CaptureSettings.h"
#include "record/FrameGrabber.h"
#include "record/RecordingSession.h"
#include "record/SoundCapture.h"

#include <QObject>
#include <QTimer>

class QWidget;

namespace quolva::record {

class TForm2;

// The recording engine the panel runs: the session, the sound capture, the frame grabber and the three
// timers of a recording (Timer1 the capture tick every 100 ms, Timer2 the elapsed seconds, Timer3 the
// finishing step 20 ms after the stop). quolvactl records through the same object.
class Recorder : public QObject {
    Q_OBJECT
public:
    Recorder(TForm2& viewfinder, QWidget* messageOwner);

    // Record. Refused with "请先进行设置" until the wizard has prepared a target; does nothing while a
    // recording runs. When the frame store cannot be opened the sound capture is undone, the error
    // thrown, and the session stays prepared.
    void luzhi();
    // Stop. Refused with "还没有进行录制" when no recording runs.
    void tingzhi();

    void Timer1Timer();
    void Timer2Timer();
    // The finishing step: waits for the last sound buffers, brings the header count up to date, closes
    // both files and hands the recording over.
    void FinishRecording();

    // Stops a running recording and finishes it at once (the program is closing): nothing is lost.
    void FinishBeforeExit();

    bool isRecording() const { return session.started; }
    bool isFinishing() const { return Timer3.isActive(); }

    RecordingSession session;
    CaptureSettings settings;
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
    // FinishRecording closed both files: the recording at targetPath is complete.
    void recordingFinished(const QString& targetPath);

private:
    void setStatus(const QString& text);

    QWidget* messageOwner_;
};

} // namespace quolva::record

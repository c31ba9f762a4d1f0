#include "record/Recorder.h"

#include "platform/Failures.h"
#include "platform/Prompts.h"
#include "store/AviFileServices.h"

#include <chrono>

namespace quolva::record {
namespace {

// How long the finishing step waits for the sound buffers handed back by the stop.
constexpr std::chrono::milliseconds kLastBuffersTimeout{3000};

} // namespace

Recorder::Recorder(TForm2& viewfinder, QWidget* messageOwner)
    : soundCapture(messageOwner), grabber(viewfinder, settings), messageOwner_(messageOwner)
{
    Timer1.setObjectName(QStringLiteral("Timer1"));
    Timer1.setInterval(100);
    Timer1.setTimerType(Qt::PreciseTimer); // at most ten frames a second: a coarse timer may fire early
    Timer2.setObjectName(QStringLiteral("Timer2"));
    Timer2.setInterval(1000);
    Timer3.setObjectName(QStringLiteral("Timer3"));
    Timer3.setInterval(20);
    // A failing tick is reported and the next tick tries again.
    connect(&Timer1, &QTimer::timeout, this, platform::guarded([this] { Timer1Timer(); }));
    connect(&Timer2, &QTimer::timeout, this, platform::guarded([this] { Timer2Timer(); }));
    connect(&Timer3, &QTimer::timeout, this, platform::guarded([this] { FinishRecording(); }));
}

void Recorder::setStatus(const QString& text)
{
    statusText = text;
    emit statusTextChanged(text);
}

void Recorder::luzhi()
{
    if (!session.ready) {
        platform::prompts().message(messageOwner_, QStringLiteral("请先进行设置"), QString(), platform::MessageIcon::Error);
        return;
    }
    if (session.started || Timer3.isActive())
        return; // a second Record must not reopen the device or empty the frame store

    store::AVIStreamSetFormat(session.audioStream, 0, &session.soundFormat, sizeof(session.soundFormat));

    soundCapture.StartSoundCapture(session.soundFormat, session.audioStream);
    setStatus(QStringLiteral("Start"));
    session.started = true;
    Timer2.start();

    try {
        session.OpenFrameStoreForRecording(QSize(settings.width, settings.height));
    } catch (...) {
        // Nothing half-started: no sound written, no timers, the target still prepared.
        soundCapture.AbandonSoundCapture();
        Timer2.stop();
        session.started = false;
        elapsedSeconds = 0;
        setStatus(QString());
        throw;
    }
    Timer1.start();
}

void Recorder::tingzhi()
{
    if (!session.started) {
        platform::prompts().message(messageOwner_, QStringLiteral("还没有进行录制"), QStringLiteral("提示"),
                                    platform::MessageIcon::Warning);
        return;
    }
    soundCapture.StopSoundCapture();
    session.captureBitmap = QImage();
    Timer1.stop();
    Timer2.stop();
    session.started = false;
    setStatus(QStringLiteral("ok"));
    Timer3.start();
}

void Recorder::Timer1Timer()
{
    grabber.Tick(session);
}

void Recorder::Timer2Timer()
{
    ++elapsedSeconds;
    setStatus(QStringLiteral("已录%1s").arg(elapsedSeconds));
}

void Recorder::FinishRecording()
{
    Timer3.stop();
    // The stop handed both sound buffers back; their contents go into the sound track before it closes.
    soundCapture.WaitForLastBuffers(kLastBuffersTimeout);
    const QString target = session.targetPath;
    framesOfLastRecording = session.frameCounter;
    session.CloseRecordingFiles();
    setStatus(QStringLiteral("End"));
    session.frameCounter = 0;
    elapsedSeconds = 0;
    session.ready = false;
    emit recordingFinished(target);
}

void Recorder::FinishBeforeExit()
{
    if (session.started)
        tingzhi();
    if (Timer3.isActive())
        FinishRecording();
}

} // namespace quolva::record

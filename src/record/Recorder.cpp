#include "record/Recorder.h"

#include "platform/Failures.h"
#include "platform/Prompts.h"
#include "store/AviFileServices.h"

#include <QFile>
#include <QScopeGuard>

#include <chrono>
#include <utility>

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
    resumeTick_.setSingleShot(true);
    resumeTick_.setTimerType(Qt::PreciseTimer);
    connect(&resumeTick_, &QTimer::timeout, this, platform::guarded([this] {
        Timer1.start();
        Timer1Timer();
    }));
    connect(&soundCapture, &SoundCapture::writeFailed, this, [this](const QString& failure) { StopForFailure(failure); });
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
    if (isRecording() || finishing_)
        return; // a second Record must not reopen the device or empty the frame store
    // Marked before the first message box the start may show: a hotkey pressed while one is open
    // comes back here and must find the start under way.
    starting_ = true;
    const auto startDone = qScopeGuard([this] { starting_ = false; });

    // The screen first: on a Wayland desktop the user may refuse to share it, and nothing is started then.
    grabber.Begin();
    auto screenUnused = qScopeGuard([this] {
        grabber.marks.End();
        grabber.End();
    });
    if (const QString problem = grabber.marks.Begin(options); !problem.isEmpty())
        platform::prompts().message(messageOwner_, QStringLiteral("无法显示鼠标点击和快捷键：%1").arg(problem), QStringLiteral("提示"),
                                    platform::MessageIcon::Warning);
    store::AVIStreamSetFormat(session.audioStream, 0, &session.soundFormat, sizeof(session.soundFormat));

    failures_.clear();
    stoppedByFailure_ = false;
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
    screenUnused.dismiss();
    flusher_.start({QFile::encodeName(session.targetPath).toStdString(),
                    QFile::encodeName(RecordingSession::FrameStorePath(session.targetPath)).toStdString()});
    Timer1.setInterval(options.tickInterval());
    clock.Start(Timer1.interval());
    Timer1.start();
    emit runningChanged(true);
}

void Recorder::tingzhi()
{
    if (!session.started) {
        platform::prompts().message(messageOwner_, QStringLiteral("还没有进行录制"), QStringLiteral("提示"),
                                    platform::MessageIcon::Warning);
        return;
    }
    finishing_ = true;
    soundCapture.StopSoundCapture();
    session.captureBitmap = QImage();
    Timer1.stop();
    resumeTick_.stop();
    clock.Resume();
    grabber.marks.End();
    grabber.End();
    Timer2.stop();
    session.started = false;
    setStatus(QStringLiteral("ok"));
    Timer3.start();
    emit runningChanged(false);
}

void Recorder::PauseOrResume()
{
    if (!session.started)
        return;
    if (!clock.isPaused()) {
        Timer1.stop();
        resumeTick_.stop();
        Timer2.stop();
        soundCapture.PauseSoundCapture();
        clock.Pause();
        setStatus(QStringLiteral("已暂停"));
        return;
    }
    soundCapture.ResumeSoundCapture();
    clock.Resume();
    resumeTick_.start(clock.untilNextTick());
    Timer2.start();
    setStatus(QStringLiteral("已录%1s").arg(elapsedSeconds));
}

void Recorder::StopForFailure(const QString& failure)
{
    if (!failures_.contains(failure))
        failures_ << failure;
    if (!session.started)
        return; // already stopping: told with the rest when finished
    stoppedByFailure_ = true;
    tingzhi();
}

void Recorder::Timer1Timer()
{
    if (!session.started)
        return; // a tick that was due when the recording stopped
    clock.Tick();
    try {
        grabber.Tick(session);
    } catch (const store::StoreWriteError& failure) {
        StopForFailure(QString::fromUtf8(failure.what()));
    }
}

void Recorder::Timer2Timer()
{
    ++elapsedSeconds;
    setStatus(QStringLiteral("已录%1s").arg(elapsedSeconds));
}

void Recorder::FinishRecording()
{
    if (!finishing_)
        return;
    Timer3.stop();
    // The stop handed both sound buffers back; their contents go into the sound track before it closes.
    soundCapture.WaitForLastBuffers(kLastBuffersTimeout);
    const QString target = session.targetPath;
    framesOfLastRecording = session.frameCounter;
    try {
        session.CloseRecordingFiles();
    } catch (const std::exception& failure) {
        failures_ << QString::fromUtf8(failure.what());
    }
    flusher_.stop();
    if (const std::string failure = flusher_.failure(); !failure.empty())
        failures_ << QString::fromStdString(failure);
    setStatus(QStringLiteral("End"));
    session.frameCounter = 0;
    elapsedSeconds = 0;
    session.ready = false;
    finishing_ = false;
    lastFailures_ = std::exchange(failures_, {});
    if (!lastFailures_.isEmpty())
        TellFailures(lastFailures_, std::exchange(stoppedByFailure_, false));
    emit recordingFinished(target);
}

void Recorder::TellFailures(const QStringList& failures, bool stoppedByItself)
{
    const QString what = stoppedByItself ? QStringLiteral("无法继续写入录制文件，录制已自动停止。")
                                         : QStringLiteral("录制结束时无法完整写入录制文件。");
    platform::prompts().message(messageOwner_,
                                what + QStringLiteral("已录下的%1帧及声音均已保留。\n\n").arg(framesOfLastRecording)
                                    + failures.join(QLatin1Char('\n')),
                                QStringLiteral("提示"), platform::MessageIcon::Warning);
}

void Recorder::FinishBeforeExit()
{
    if (session.started)
        tingzhi();
    if (finishing_)
        FinishRecording();
}

} // namespace quolva::record

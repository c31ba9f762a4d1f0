// quolvactl demo: what Quolva does, shown without anyone at the screen. On the display and sound server it
// is given (the README's run command starts private ones on a machine without a display), it records a
// moving scene with a tone playing through the recording panel's engine, lets the main window open the
// finished recording as it does after every recording, burns a rising caption into a run of frames with
// the editor's own commands, publishes the recording as an H.264 AVI, as an SWF movie and as an MP4 a
// browser plays, and says where the files are and what they hold.
#include "app/WindowSet.h"
#include "cli/Commands.h"
#include "cli/ConsolePrompts.h"
#include "cli/DemoScene.h"
#include "cli/PublishCommands.h"
#include "cli/RecordingSetup.h"
#include "editor/EditorControls.h"
#include "editor/Etool.h"
#include "editor/OpenRecording.h"
#include "record/Recorder.h"
#include "record/Unit1.h"
#include "record/Unit2.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>

#include <stdexcept>

namespace quolva::cli {
namespace {

constexpr int kSeconds = 5;
const QRect kScene(80, 80, 640, 360);

// Runs the event loop until `done` holds or `seconds` have passed; false on the time-out.
template <typename Condition>
bool waitFor(Condition done, int seconds)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > seconds * 1000)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// Lets the windows, the timers and the sound run for a while.
void keepRunning(int seconds)
{
    waitFor([] { return false; }, seconds);
}

void step(const QString& text)
{
    out(QStringLiteral("demo: ") + text);
}

// The folder named on the command line (made if missing), or a new one under the current folder.
QDir outputFolder(const QStringList& arguments)
{
    QString path = arguments.value(0);
    if (path.isEmpty())
        path = QStringLiteral("quolva-demo-%1").arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    QDir folder(QFileInfo(path).absoluteFilePath());
    if (!folder.mkpath(QStringLiteral(".")))
        throw std::runtime_error(qPrintable(QStringLiteral("cannot make the folder %1").arg(folder.path())));
    for (const char* name : {"recording.avi", "recording.avi.xxx", "published.avi", "published.swf", "published.mp4"})
        if (folder.exists(QString::fromLatin1(name)))
            throw std::runtime_error(qPrintable(
                QStringLiteral("%1 already holds %2; name another folder").arg(folder.path(), QString::fromLatin1(name))));
    return folder;
}

// Records the scene through the recording panel's engine; the panel's finishing step hands the recording
// to the main window, which opens it.
void recordTheScene(app::WindowSet& windows, const QString& target)
{
    DemoScene scene(kScene);
    scene.show();
    TonePlayer tone(440);
    keepRunning(1); // the scene painted and the tone flowing before the first frame
    if (!tone.Playing())
        err(QStringLiteral("demo: no sound output could be opened: the recording's sound is silent"));
    PointerWalk pointer(kScene);

    record::TForm1& panel = windows.Form1();
    record::Recorder& recorder = panel.recorder();
    PrepareLikeTheWizard(recorder, windows.Form2(), {target, kScene, false, false});
    step(QStringLiteral("recording %1 s of the scene at %2x%3+%4+%5 with a 440 Hz tone into %6")
             .arg(kSeconds)
             .arg(kScene.width())
             .arg(kScene.height())
             .arg(kScene.x())
             .arg(kScene.y())
             .arg(target));
    panel.luzhi();
    if (!recorder.isRecording())
        throw std::runtime_error("the recording did not start");
    keepRunning(kSeconds);
    panel.tingzhi();
    if (!waitFor([&] { return windows.Form7().recording().IsOpen(); }, 20))
        throw std::runtime_error("the main window did not open the finished recording");
    step(QStringLiteral("%1 frames recorded; the main window opened the recording").arg(recorder.framesOfLastRecording));
}

// A caption rising through a run of frames, with the editor's own commands: the edit panel, the text in
// the memo, the rising mode, the speed, the frames to overwrite and the continuous update.
void burnARisingCaption(editor::TForm7& editor)
{
    editor.ToolButton14Click();
    const int frames = editor.recording().frameCount;
    const int from = std::min(10, std::max(1, frames / 5));
    const int run = std::max(1, std::min(30, frames - from));
    for (int i = 1; i < from; ++i)
        editor.ToolButton2Click();
    editor.Memo1->setPlainText(QStringLiteral("Quolva 演示：上升字幕"));
    editor.RadioGroup1->setItemIndex(1);
    editor.RadioGroup1Click();
    editor.Edit4->setText(QStringLiteral("6"));
    editor.SpeedButton12Click();
    editor.Edit3->setText(QString::number(run));
    step(QStringLiteral("burning a rising caption into frames %1 to %2").arg(from).arg(from + run - 1));
    editor.ToolButton27Click();
    if (!waitFor([&] { return !editor.Timer5.isActive(); }, 120))
        throw std::runtime_error("the continuous update did not end");
    editor.ToolButton12Click();
}

int publishAvi(const QDir& folder)
{
    // The AVI export adds the video stream to the recording's own file: it works on a copy, so that the
    // recording stays as recorded.
    const QString copy = folder.filePath(QStringLiteral("published.avi"));
    if (!QFile::copy(folder.filePath(QStringLiteral("recording.avi")), copy) ||
        !QFile::copy(folder.filePath(QStringLiteral("recording.avi.xxx")), copy + QStringLiteral(".xxx")))
        throw std::runtime_error(qPrintable(QStringLiteral("cannot copy the recording to %1").arg(copy)));
    step(QStringLiteral("publishing %1 as H.264").arg(copy));
    editor::OpenRecording recording;
    recording.Open(copy);
    PublishOptions options;
    options.recording = copy;
    options.avi = true;
    options.codec = QStringLiteral("h264");
    const int status = PublishAvi(recording, options);
    recording.Close();
    QFile::remove(copy + QStringLiteral(".xxx"));
    return status;
}

int publishSwf(const QDir& folder)
{
    const QString movie = folder.filePath(QStringLiteral("published.swf"));
    step(QStringLiteral("publishing %1").arg(movie));
    editor::OpenRecording recording;
    recording.Open(folder.filePath(QStringLiteral("recording.avi")));
    recording.SetCursor(store::kFrameStoreHeaderSize);
    PublishOptions options;
    options.recording = recording.TargetPath();
    options.swfOutput = movie;
    const int status = PublishSwf(recording, options);
    recording.Close();
    return status;
}

int publishMp4(const QDir& folder)
{
    const QString movie = folder.filePath(QStringLiteral("published.mp4"));
    step(QStringLiteral("publishing %1").arg(movie));
    editor::OpenRecording recording;
    recording.Open(folder.filePath(QStringLiteral("recording.avi")));
    PublishOptions options;
    options.recording = recording.TargetPath();
    options.web = publish::WebFormat::Mp4;
    options.webOutput = movie;
    const int status = PublishWeb(recording, options);
    recording.Close();
    return status;
}

} // namespace

int DemoCommand(int argc, char** argv, const QStringList& arguments)
{
    if (arguments.size() > 1) {
        err(QStringLiteral("usage: quolvactl demo [DIR]"));
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        err(QStringLiteral("quolvactl demo: no X display (DISPLAY is not set); scripts/run.sh starts a private one"));
        return 1;
    }
    const QDir folder = outputFolder(arguments);

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quolva4.1"));
    auto consolePrompts = std::make_unique<ConsolePrompts>();
    ConsolePrompts& prompts = *consolePrompts;
    platform::installPrompts(std::move(consolePrompts));

    int status = 0;
    {
        app::WindowSet windows;
        recordTheScene(windows, folder.filePath(QStringLiteral("recording.avi")));
        burnARisingCaption(windows.Form7());
    }
    status |= publishAvi(folder);
    status |= publishSwf(folder);
    status |= publishMp4(folder);
    const int errors = prompts.errorCount;
    platform::installPrompts(nullptr);
    if (status != 0 || errors != 0) {
        err(QStringLiteral("quolvactl demo: a step failed (see above)"));
        return 1;
    }

    out(QString());
    out(QStringLiteral("The demonstration's files, in %1:").arg(folder.path()));
    out(QStringLiteral("  %1   the recording: its sound track").arg(folder.filePath(QStringLiteral("recording.avi"))));
    out(QStringLiteral("  %1   its frames, with the rising caption").arg(folder.filePath(QStringLiteral("recording.avi.xxx"))));
    out(QStringLiteral("  %1   the movie: H.264 pictures and the sound").arg(folder.filePath(QStringLiteral("published.avi"))));
    out(QStringLiteral("  %1   the SWF movie with streaming sound").arg(folder.filePath(QStringLiteral("published.swf"))));
    out(QStringLiteral("  %1   the MP4 for the web: H.264 and AAC, plays in a browser").arg(folder.filePath(QStringLiteral("published.mp4"))));
    for (const char* name : {"recording.avi", "published.avi", "published.swf"}) {
        out(QString());
        out(QStringLiteral("$ quolvactl info %1").arg(folder.filePath(QString::fromLatin1(name))));
        if (InfoCommand({folder.filePath(QString::fromLatin1(name))}) != 0)
            return 1;
    }
    return 0;
}

} // namespace quolva::cli

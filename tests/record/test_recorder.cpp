// The recording engine driven tick by tick: Record and Stop with their refusals and guards, the finishing
// step, a recording continued, and starts that cannot open the frame store.
#include "ScriptedPrompts.h"
#include "record/Recorder.h"
#include "record/Unit2.h"
#include "store/AviFileServices.h"
#include "store/FrameStoreWalk.h"

#include <QApplication>
#include <QDir>
#include <QThread>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <QFileInfo>

#include <csignal>
#include <fstream>

#include <sys/resource.h>

using namespace quolva;
using quolva::test::ScriptedPrompts;

namespace {

std::string Header(const QString& framesPath)
{
    std::ifstream in(framesPath.toStdString(), std::ios::binary);
    std::string header(16, '\0');
    in.read(header.data(), 16);
    return header;
}

// The first `length` bytes of the first audio stream of an AVI file.
QByteArray SoundOf(const QString& target, store::LONG length)
{
    store::PAVIFILE file;
    store::PAVISTREAM audio;
    QByteArray sound(length, '\0');
    store::LONG bytes = 0, samples = 0;
    if (store::AVIFileOpen(&file, target.toStdString(), store::OF_READ) != store::AVIERR_OK ||
        store::AVIFileGetStream(file, &audio, store::streamtypeAUDIO, 0) != store::AVIERR_OK ||
        store::AVIStreamRead(audio, 0, length, sound.data(), length, &bytes, &samples) != store::AVIERR_OK)
        return {};
    sound.truncate(bytes);
    store::AVIStreamRelease(audio);
    store::AVIFileRelease(file);
    return sound;
}

std::int64_t RecordsIn(const QString& framesPath)
{
    store::FrameStore frames = store::FrameStore::OpenFrameStoreReadOnly(framesPath.toStdString());
    const store::FrameStoreWalk walk = store::WalkFramesForwards(frames);
    return walk.Clean() ? std::int64_t(walk.recordStarts.size()) : -1;
}

} // namespace

class RecorderTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir;
    std::unique_ptr<record::TForm2> viewfinder;
    std::unique_ptr<record::Recorder> recorder;

    // What the wizard leaves behind for a new target and a 64 × 48 region.
    void prepareNew(const QString& name)
    {
        recorder->session.ResetRecordingDefaults();
        recorder->session.NewTarget(dir.filePath(name));
        prepareRegion(QSize(64, 48));
    }

    void prepareRegion(QSize size)
    {
        viewfinder->setRegionMode();
        viewfinder->setClientSize(size.width(), size.height());
        viewfinder->move(0, 0);
        recorder->settings = {size.width(), size.height(), false};
        recorder->session.frameCounter = 0;
        recorder->session.ready = true;
    }

    // Record, `ticks` capture ticks, Stop, and the finishing step.
    void recordFrames(int ticks)
    {
        recorder->luzhi();
        QVERIFY(recorder->isRecording());
        for (int i = 0; i < ticks; ++i)
            recorder->Timer1Timer();
        recorder->tingzhi();
        QVERIFY(recorder->Timer3.isActive());
        recorder->FinishRecording();
    }

private slots:
    void init()
    {
        qputenv("QUOLVA_SOUND_SOURCE", "tone:440");
        viewfinder = std::make_unique<record::TForm2>();
        recorder = std::make_unique<record::Recorder>(*viewfinder, nullptr);
    }
    void cleanup()
    {
        recorder.reset();
        viewfinder.reset();
    }

    void recordWithoutSetupAndStopWithoutRecordingAreRefused()
    {
        ScriptedPrompts::Installed prompts;
        recorder->luzhi();
        recorder->tingzhi();
        QCOMPARE(prompts->messages.size(), 2);
        QCOMPARE(prompts->messages[0].text, QStringLiteral("请先进行设置"));
        QCOMPARE(prompts->messages[0].caption, QString());
        QCOMPARE(prompts->messages[0].icon, platform::MessageIcon::Error);
        QCOMPARE(prompts->messages[1].text, QStringLiteral("还没有进行录制"));
        QCOMPARE(prompts->messages[1].caption, QStringLiteral("提示"));
        QCOMPARE(prompts->messages[1].icon, platform::MessageIcon::Warning);
        QVERIFY(!recorder->isRecording());
    }

    void aRecordingOfTwentyFiveFramesIsCountedInTheHeader()
    {
        ScriptedPrompts::Installed prompts;
        prepareNew(QStringLiteral("demo.avi"));
        QSignalSpy finished(recorder.get(), &record::Recorder::recordingFinished);
        QStringList statuses;
        connect(recorder.get(), &record::Recorder::statusTextChanged, [&](const QString& s) { statuses << s; });

        recorder->luzhi();
        QCOMPARE(recorder->statusText, QStringLiteral("Start"));
        QVERIFY(recorder->Timer1.isActive());
        QVERIFY(recorder->Timer2.isActive());
        for (int i = 0; i < 25; ++i)
            recorder->Timer1Timer();
        recorder->Timer2Timer();
        recorder->Timer2Timer();
        QCOMPARE(recorder->statusText, QStringLiteral("已录2s"));
        recorder->tingzhi();
        QCOMPARE(recorder->statusText, QStringLiteral("ok"));
        QVERIFY(!recorder->Timer1.isActive());
        QVERIFY(!recorder->Timer2.isActive());
        // Both files stay open until the finishing step.
        QVERIFY(recorder->session.frameStore.has_value());
        QCOMPARE(Header(dir.filePath(QStringLiteral("demo.avi.xxx"))), std::string("0               "));
        recorder->FinishRecording();

        QCOMPARE(statuses, (QStringList{"Start", "已录1s", "已录2s", "ok", "End"}));
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.front().front().toString(), dir.filePath(QStringLiteral("demo.avi")));
        QVERIFY(!recorder->Timer3.isActive());
        QVERIFY(!recorder->session.ready);
        QCOMPARE(recorder->session.frameCounter, 0);
        QCOMPARE(recorder->elapsedSeconds, 0);
        QCOMPARE(Header(dir.filePath(QStringLiteral("demo.avi.xxx"))), std::string("25              "));
        QCOMPARE(RecordsIn(dir.filePath(QStringLiteral("demo.avi.xxx"))), std::int64_t(25));

        // After the recording, Record needs the wizard again.
        recorder->luzhi();
        QCOMPARE(prompts->messages.last().text, QStringLiteral("请先进行设置"));
    }

    void continuingAppendsFramesAndSoundAfterTheOldOnes()
    {
        ScriptedPrompts::Installed prompts;
        const QString target = dir.filePath(QStringLiteral("cont.avi"));
        prepareNew(QStringLiteral("cont.avi"));
        recorder->luzhi();
        recorder->Timer1.stop(); // the test ticks by itself while it waits for the sound
        for (int i = 0; i < 25; ++i)
            recorder->Timer1Timer();
        QTest::qWait(1200); // one sound buffer comes back
        recorder->tingzhi();
        recorder->FinishRecording();
        store::PAVIFILE file;
        store::PAVISTREAM audio;
        QCOMPARE(store::AVIFileOpen(&file, target.toStdString(), store::OF_READWRITE | store::OF_SHARE_DENY_NONE), store::AVIERR_OK);
        QCOMPARE(store::AVIFileGetStream(file, &audio, store::streamtypeAUDIO, 0), store::AVIERR_OK);
        const store::LONG firstLength = store::AVIStreamLength(audio);
        QVERIFY(firstLength >= 22054);
        store::AVIStreamRelease(audio);
        store::AVIFileRelease(file);
        const QByteArray oldSound = SoundOf(target, firstLength);
        QCOMPARE(oldSound.size(), qsizetype(firstLength));

        recorder->session.ResetRecordingDefaults();
        const QSize size = recorder->session.ContinueTarget(target);
        QCOMPARE(size, QSize(64, 48));
        prepareRegion(size);
        recorder->luzhi();
        recorder->Timer1.stop();
        for (int i = 0; i < 10; ++i)
            recorder->Timer1Timer();
        QTest::qWait(1200);
        recorder->tingzhi();
        recorder->FinishRecording();
        QVERIFY(prompts->errors.isEmpty());

        QCOMPARE(Header(target + QStringLiteral(".xxx")), std::string("35              "));
        QCOMPARE(RecordsIn(target + QStringLiteral(".xxx")), std::int64_t(35));
        QCOMPARE(store::AVIFileOpen(&file, target.toStdString(), store::OF_READ), store::AVIERR_OK);
        QCOMPARE(store::AVIFileGetStream(file, &audio, store::streamtypeAUDIO, 0), store::AVIERR_OK);
        const store::LONG length = store::AVIStreamLength(audio);
        QVERIFY(length >= firstLength + 22054);
        QCOMPARE(store::AVIFileGetStream(file, &audio, store::streamtypeAUDIO, 1), store::AVIERR_NODATA);
        store::AVIStreamRelease(audio);
        store::AVIFileRelease(file);
        // The old sound is still at the start, byte for byte, and the new sound follows it.
        const QByteArray sound = SoundOf(target, length);
        QCOMPARE(sound.size(), qsizetype(length));
        QVERIFY(sound.startsWith(oldSound));
        QVERIFY(sound.mid(firstLength).count('\0') < length - firstLength);
    }

    // The capture timer paces the frames: 3.0 s of recording that kept pace gives 30 frames; when every
    // tick takes 150 ms the ticks that fell due meanwhile collapse, and 3.0 s give about 20.
    void framesArePacedByTheCaptureTimer_data()
    {
        QTest::addColumn<int>("tickMs");
        QTest::addColumn<int>("fewest");
        QTest::addColumn<int>("most");
        QTest::newRow("ticks that keep pace") << 0 << 28 << 31;
        QTest::newRow("ticks of 150 ms") << 150 << 18 << 21;
    }
    void framesArePacedByTheCaptureTimer()
    {
        QFETCH(int, tickMs);
        QFETCH(int, fewest);
        QFETCH(int, most);
        ScriptedPrompts::Installed prompts;
        prepareNew(QStringLiteral("paced%1.avi").arg(tickMs));
        recorder->luzhi();
        // A slow tick: after the grabber's own work (a 64 × 48 grab, well under a millisecond) the thread
        // is busy for the rest of it.
        if (tickMs > 0)
            connect(&recorder->Timer1, &QTimer::timeout, recorder.get(), [&] { QThread::msleep(static_cast<unsigned long>(tickMs)); });
        QTest::qWait(3000);
        recorder->tingzhi();
        recorder->FinishRecording();
        const int frames = recorder->framesOfLastRecording;
        QVERIFY2(frames >= fewest && frames <= most, qPrintable(QString::number(frames)));
        QCOMPARE(RecordsIn(dir.filePath(QStringLiteral("paced%1.avi.xxx").arg(tickMs))), std::int64_t(frames));
    }

    void stopRightAfterRecordGivesAConsistentEmptyStore()
    {
        ScriptedPrompts::Installed prompts;
        prepareNew(QStringLiteral("quick.avi"));
        recordFrames(0);
        QCOMPARE(Header(dir.filePath(QStringLiteral("quick.avi.xxx"))), std::string("0               "));
        QCOMPARE(RecordsIn(dir.filePath(QStringLiteral("quick.avi.xxx"))), std::int64_t(0));
        QVERIFY(prompts->messages.isEmpty());
    }

    void recordWhileRecordingDoesNothing()
    {
        ScriptedPrompts::Installed prompts;
        prepareNew(QStringLiteral("twice.avi"));
        recorder->luzhi();
        recorder->Timer1Timer();
        recorder->Timer1Timer();
        const std::int64_t sizeBefore = recorder->session.frameStore->Size();
        const store::FrameStore* storeBefore = &*recorder->session.frameStore;
        recorder->luzhi(); // the hotkey pressed twice
        QCOMPARE(&*recorder->session.frameStore, storeBefore);
        QCOMPARE(recorder->session.frameStore->Size(), sizeBefore);
        QCOMPARE(recorder->session.frameCounter, 2);
        QVERIFY(recorder->soundCapture.isRunning());
        recorder->tingzhi();
        recorder->luzhi(); // while finishing
        QVERIFY(!recorder->isRecording());
        recorder->FinishRecording();
        QCOMPARE(Header(dir.filePath(QStringLiteral("twice.avi.xxx"))), std::string("2               "));
        QVERIFY(prompts->messages.isEmpty());
    }

    // With no input device the start shows its device messages; Shift+Up pressed while one is open (and
    // the capture timer, had anything started it, ticking meanwhile) starts nothing more: the device
    // messages come once and the frame store is made once, so every frame written is counted.
    void aHotkeyDuringTheStartsMessagesStartsNothingMore()
    {
        qputenv("QUOLVA_SOUND_SOURCE", "none");
        ScriptedPrompts::Installed prompts;
        prepareNew(QStringLiteral("reentered.avi"));
        bool pressed = false;
        prompts->whileMessageShown = [&](const ScriptedPrompts::Message&) {
            if (std::exchange(pressed, true))
                return;
            recorder->luzhi();
            for (int i = 0; i < 2 && recorder->Timer1.isActive(); ++i)
                recorder->Timer1Timer();
        };
        recorder->luzhi();
        prompts->whileMessageShown = nullptr;
        QVERIFY(pressed);
        QVERIFY(recorder->isRecording());
        recorder->Timer1.stop();
        for (int i = 0; i < 3; ++i)
            recorder->Timer1Timer();
        recorder->tingzhi();
        recorder->FinishRecording();
        const QString frames = dir.filePath(QStringLiteral("reentered.avi.xxx"));
        QCOMPARE(RecordsIn(frames), std::int64_t(recorder->framesOfLastRecording));
        QCOMPARE(Header(frames), std::string("3               "));
        QStringList texts;
        for (const auto& message : prompts->messages)
            texts << message.text;
        QCOMPARE(texts.count(QStringLiteral("Failed to open waveform input device.")), 1);
    }

    // A full disk while recording (here: a file size limit, which fails writes the same way) stops the
    // recording by itself with one message. The frames written are kept and counted in place in the
    // header, the AVI file is completed or left for repair, and Record afterwards does not make the
    // frame store again.
    void aFullDiskStopsTheRecordingByItself()
    {
        ScriptedPrompts::Installed prompts;
        prepareNew(QStringLiteral("full.avi"));
        const QString frames = dir.filePath(QStringLiteral("full.avi.xxx"));
        recorder->luzhi();
        recorder->Timer1.stop();
        for (int i = 0; i < 3; ++i)
            recorder->Timer1Timer();
        const qint64 record = (QFileInfo(frames).size() - 16) / 3; // the frames are alike: one size
        auto* const formerHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit former{};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &former) == 0);
        rlimit limited = former;
        limited.rlim_cur = static_cast<rlim_t>(QFileInfo(frames).size() + 2 * record + record / 2);
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &limited) == 0);
        int ticks = 0;
        for (; recorder->isRecording() && ticks < 10; ++ticks)
            recorder->Timer1Timer();
        const bool stoppedByItself = !recorder->isRecording();
        if (recorder->Timer3.isActive())
            recorder->FinishRecording();
        ::setrlimit(RLIMIT_FSIZE, &former);
        std::signal(SIGXFSZ, formerHandler);

        QVERIFY(stoppedByItself);
        QCOMPARE(ticks, 3); // two more records fit, the third did not
        QVERIFY2(prompts->errors.isEmpty(), qPrintable(prompts->errors.join('\n')));
        QCOMPARE(prompts->messages.size(), 1);
        QVERIFY2(prompts->messages[0].text.contains(QStringLiteral("录制已自动停止")), qPrintable(prompts->messages[0].text));
        QCOMPARE(Header(frames), std::string("5               "));
        QCOMPARE(RecordsIn(frames), std::int64_t(5));
        QVERIFY(!recorder->Timer3.isActive());
        const store::PAVIFILE avi = store::AviFile::open(dir.filePath(QStringLiteral("full.avi")).toStdString(), store::OF_READ);
        QVERIFY(avi->findStream(store::streamtypeAUDIO, 0));

        recorder->luzhi();
        QVERIFY(!recorder->isRecording());
        QCOMPARE(prompts->messages.size(), 2);
        QCOMPARE(prompts->messages[1].text, QStringLiteral("请先进行设置"));
        QCOMPARE(RecordsIn(frames), std::int64_t(5));
    }

    void aFrameStoreThatCannotBeCreatedLeavesNothingHalfStarted()
    {
        ScriptedPrompts::Installed prompts;
        prepareNew(QStringLiteral("blocked.avi"));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("blocked.avi.xxx"))); // a folder where the store should go
        QVERIFY_THROWS_EXCEPTION(std::exception, recorder->luzhi());
        QVERIFY(!recorder->isRecording());
        QVERIFY(!recorder->soundCapture.isRunning());
        QVERIFY(!recorder->Timer1.isActive());
        QVERIFY(!recorder->Timer2.isActive());
        QVERIFY(recorder->session.ready); // still prepared: the user can free the name and try again
        QTest::qWait(100);
        QCOMPARE(store::AVIStreamLength(recorder->session.audioStream), 0);

        QVERIFY(QDir(dir.path()).rmdir(QStringLiteral("blocked.avi.xxx")));
        recordFrames(3);
        QCOMPARE(Header(dir.filePath(QStringLiteral("blocked.avi.xxx"))), std::string("3               "));
    }

    void closingTheProgramWhileRecordingFinishesTheRecording()
    {
        ScriptedPrompts::Installed prompts;
        prepareNew(QStringLiteral("exit.avi"));
        recorder->luzhi();
        recorder->Timer1.stop();
        for (int i = 0; i < 4; ++i)
            recorder->Timer1Timer();
        QTest::qWait(1300);
        recorder->FinishBeforeExit();
        QVERIFY(!recorder->isRecording());
        QVERIFY(!recorder->Timer3.isActive());
        QCOMPARE(Header(dir.filePath(QStringLiteral("exit.avi.xxx"))), std::string("4               "));
        store::PAVIFILE file;
        store::PAVISTREAM audio;
        QCOMPARE(store::AVIFileOpen(&file, dir.filePath(QStringLiteral("exit.avi")).toStdString(), store::OF_READ), store::AVIERR_OK);
        QCOMPARE(store::AVIFileGetStream(file, &audio, store::streamtypeAUDIO, 0), store::AVIERR_OK);
        // A full second and the partial one the stop handed back.
        QVERIFY2(store::AVIStreamLength(audio) > 22054 + 2000, qPrintable(QString::number(store::AVIStreamLength(audio))));
    }
};

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    RecorderTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_recorder.moc"

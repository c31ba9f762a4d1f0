// Dubbing through the main window on the real sound server: a tone played into the rig is recorded into
// new audio streams while the frames play, each stream starts at time 0 for ffprobe and holds the tone,
// the recording's own sound is left alone, closing while dubbing loses nothing, and the end of playback
// stops the capture.
#include "RecordingFixture.h"
#include "Rig.h"
#include "ScriptedPrompts.h"
#include "SoundAnalysis.h"
#include "app/Startup.h"
#include "editor/Etool.h"

#include <QJsonArray>
#include <QLineEdit>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QToolButton>
#include <QtTest>

using quolva::editor::TForm7;
using quolva::test::ScriptedPrompts;
using namespace quolva;

namespace {

// The audio streams of a file as ffprobe sees them.
QJsonArray audioStreams(const QString& path)
{
    QProcess probe;
    probe.start(QStringLiteral("ffprobe"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"),
                                            QStringLiteral("a"), QStringLiteral("-show_streams"), QStringLiteral("-of"),
                                            QStringLiteral("json"), path});
    probe.waitForFinished(30000);
    return QJsonDocument::fromJson(probe.readAllStandardOutput()).object().value(QStringLiteral("streams")).toArray();
}

// One audio stream decoded by ffmpeg as 16-bit mono PCM.
QByteArray decodeStream(const QString& path, int index)
{
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path,
                                            QStringLiteral("-map"), QStringLiteral("0:a:%1").arg(index), QStringLiteral("-f"),
                                            QStringLiteral("s16le"), QStringLiteral("-ac"), QStringLiteral("1"),
                                            QStringLiteral("-")});
    ffmpeg.waitForFinished(60000);
    return ffmpeg.readAllStandardOutput();
}

} // namespace

class DubbingEndToEndTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QTemporaryFile toneFile;
    QProcess player;

    // Keeps a tone of `hz` playing into the rig's sink.
    void playTone(double hz)
    {
        QVERIFY(toneFile.open());
        toneFile.resize(0);
        toneFile.write(soundtest::toneWav(hz, 11025, 30));
        toneFile.flush();
        player.start(QStringLiteral("paplay"), {QStringLiteral("-d"), qEnvironmentVariable("QUOLVA_RIG_SINK"), toneFile.fileName()});
        QVERIFY(player.waitForStarted());
        QTest::qWait(500);
    }

private slots:
    void initTestCase()
    {
        QUOLVA_REQUIRE_DISPLAY();
        QUOLVA_REQUIRE_SOUND_SERVER();
        qunsetenv("QUOLVA_SOUND_SOURCE"); // the real default input: the rig's microphone
    }
    void cleanup()
    {
        player.kill();
        player.waitForFinished();
    }

    void refusedWithoutARecording()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = app::startUp();
        TForm7& window = windows->Form7();
        window.SpeedButton16->setEnabled(true);
        window.SpeedButton17->setEnabled(true);
        window.SpeedButton16Click();
        window.SpeedButton17Click();
        QCOMPARE(prompts->messages.size(), 2);
        QCOMPARE(prompts->messages[0].text, QStringLiteral("请打开文件"));
        QCOMPARE(prompts->messages[1].text, QStringLiteral("没有文件"));
        for (const auto& message : prompts->messages) {
            QCOMPARE(message.caption, QStringLiteral("提示"));
            QCOMPARE(message.icon, platform::MessageIcon::Warning);
        }
    }

    // Record, pause, record, then close the program while the second capture runs (closing the recording
    // alone is refused meanwhile): three audio streams, the first unchanged, both new ones starting at
    // time 0 and holding the tone, the second one's last partial second kept.
    void recordPauseRecordAndCloseWhileDubbing()
    {
        ScriptedPrompts::Installed prompts;
        const QString path = test::MakeRecording(dir.path(), QStringLiteral("dub.avi"), {.frames = 40, .soundBytes = 4 * 22050});
        const auto windows = app::startUp();
        TForm7& window = windows->Form7();
        window.OpenFromCommandLine(path);
        QVERIFY(window.recording().IsOpen());
        playTone(660);

        window.SpeedButton16->click();
        QVERIFY(window.Timer6.isActive());
        QVERIFY(window.SpeedButton17->isEnabled() && !window.SpeedButton16->isEnabled());
        QTest::qWait(1500);
        window.SpeedButton17->click();
        QVERIFY(!window.Timer6.isActive());
        QVERIFY(window.SpeedButton16->isEnabled() && !window.SpeedButton17->isEnabled());
        window.SpeedButton16->click();
        QTest::qWait(1600);
        window.ToolButton12->click();
        QVERIFY(window.recording().IsOpen());
        QCOMPARE(prompts->messages.size(), 1);
        QCOMPARE(prompts->messages[0].text, QStringLiteral("正在录制背景声音，请等它结束后再操作"));
        window.close(); // the program ends while the capture runs
        QVERIFY(!window.recording().IsOpen());
        QVERIFY(!window.dubbing().IsCapturing());

        const QJsonArray streams = audioStreams(path);
        QCOMPARE(streams.size(), 3);
        const QByteArray original = decodeStream(path, 0);
        QCOMPARE(original.size(), 4 * 22050);
        QVERIFY(original == QByteArray(reinterpret_cast<const char*>(test::FixtureSound({.soundBytes = 4 * 22050}).data()), 4 * 22050));
        for (int i = 1; i <= 2; ++i) {
            const QJsonObject stream = streams[i].toObject();
            QCOMPARE(stream.value(QStringLiteral("start_time")).toString().toDouble(), 0.0);
            const QByteArray pcm = decodeStream(path, i);
            const double seconds = pcm.size() / 22050.0;
            // 1.5 and 1.6 s of capture; the partial second at the pause or the close is in the stream.
            QVERIFY2(seconds > 1.25 && seconds < 2.0, qPrintable(QString::number(seconds)));
            const double hz = soundtest::dominantFrequency(soundtest::samples16(pcm), 11025);
            QVERIFY2(std::abs(hz - 660) < 660 * 0.01, qPrintable(QString::number(hz)));
        }
    }

    // Dubbing is long work: while it runs, other long work (an update run, an export) is refused with the
    // busy message and playback goes on; its pause gives the recording back with the sound written.
    void otherLongWorkWaitsForDubbing()
    {
        ScriptedPrompts::Installed prompts;
        const QString path = test::MakeRecording(dir.path(), QStringLiteral("held.avi"), {.frames = 40, .soundBytes = 4 * 22050});
        const auto windows = app::startUp();
        TForm7& window = windows->Form7();
        window.OpenFromCommandLine(path);
        window.SpeedButton16->click();
        QTest::qWait(300);
        QCOMPARE(window.recording().Holder(), QStringLiteral("录制背景声音"));
        QVERIFY_THROWS_EXCEPTION(editor::RecordingBusy, window.recording().Hold(QStringLiteral("导出AVI文件")));
        window.ToolButton27->click();
        QCOMPARE(prompts->messages.last().text, QStringLiteral("正在录制背景声音，请等它结束后再操作"));
        QVERIFY(!window.Timer5.isActive());
        const qint64 cursor = window.recording().Cursor();
        window.Timer6Timer();
        QVERIFY(window.recording().Cursor() > cursor); // playback goes on: it is dubbing's own
        QVERIFY(window.dubbing().IsCapturing());
        window.SpeedButton17->click();
        QVERIFY(!window.recording().IsHeld());
        QVERIFY(window.SpeedButton16->isEnabled() && !window.SpeedButton17->isEnabled());
        window.ToolButton12->click();
        QCOMPARE(audioStreams(path).size(), 2);
    }

    // Playing to the end while dubbing stops the capture; both buttons stay disabled and record reads "结束".
    void theEndOfPlaybackStopsTheCapture()
    {
        ScriptedPrompts::Installed prompts;
        const QString path = test::MakeRecording(dir.path(), QStringLiteral("end.avi"), {.frames = 12, .soundBytes = 22050});
        const auto windows = app::startUp();
        TForm7& window = windows->Form7();
        window.OpenFromCommandLine(path);
        window.SpeedButton16->click();
        QVERIFY(window.dubbing().IsCapturing());
        QTRY_VERIFY_WITH_TIMEOUT(!window.Timer6.isActive(), 5000); // 12 frames of 83 ms
        QVERIFY(!window.dubbing().IsCapturing());
        QVERIFY(!window.SpeedButton16->isEnabled() && !window.SpeedButton17->isEnabled());
        QCOMPARE(window.SpeedButton16->text(), QStringLiteral("结束"));
        QCOMPARE(window.Edit1->text(), QStringLiteral("1"));
        window.ToolButton12->click();
        QCOMPARE(audioStreams(path).size(), 2);
    }
};

QTEST_MAIN(DubbingEndToEndTest)
#include "e2e_dubs_a_sound_track.moc"

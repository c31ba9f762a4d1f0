// A user pauses a recording for two seconds and resumes it into the same files, then pauses twice more:
// the frames and the sound both cover only the recorded time, and a flash on the screen with a beep in the
// sound made after the resumes lines up as one made before the pauses does, within one frame period.
#include "Rig.h"
#include "ScriptedPrompts.h"
#include "SoundAnalysis.h"
#include "record/Recorder.h"
#include "record/Unit2.h"
#include "store/FrameStore.h"

#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <numbers>

using namespace quolva;
using quolva::test::ScriptedPrompts;

namespace {

const QRect kRegion(100, 100, 320, 240);

class FilledWindow : public QWidget {
public:
    explicit FilledWindow(QColor colour) : QWidget(nullptr, Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint), colour_(colour)
    {
        setGeometry(kRegion);
    }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), colour_); }

private:
    QColor colour_;
};

// Sound played into the rig's sink with little delay: pacat fed in real time (silence, or a beep when
// asked), so that nothing piles up in front of the beep.
class BeepStream : public QObject {
public:
    static constexpr int kRate = 11025;

    BeepStream()
    {
        pacat_.start(QStringLiteral("pacat"), {"-p", "--raw", "--format=s16le", "--rate=11025", "--channels=1",
                                               "--latency-msec=20", "-d", qEnvironmentVariable("QUOLVA_RIG_SINK")});
        pacat_.waitForStarted();
        clock_.start();
        feeder_.setInterval(5);
        feeder_.setTimerType(Qt::PreciseTimer);
        connect(&feeder_, &QTimer::timeout, this, [this] { feed(); });
        feeder_.start();
    }
    ~BeepStream() override
    {
        feeder_.stop();
        pacat_.closeWriteChannel();
        pacat_.waitForFinished(3000);
    }

    // A 1000 Hz beep of 0.25 s from now.
    void beep()
    {
        feed();
        beepLeft_ = kRate / 4;
        feed();
    }

private:
    void feed()
    {
        const qint64 due = clock_.elapsed() * kRate / 1000 + kRate / 100; // 10 ms ahead
        QByteArray samples;
        for (; written_ < due; ++written_) {
            const auto v = beepLeft_ > 0 ? static_cast<std::int16_t>(12000 * std::sin(2 * std::numbers::pi * 1000 * written_ / kRate)) : std::int16_t(0);
            beepLeft_ = std::max(0, beepLeft_ - 1);
            samples.append(char(v & 0xff)).append(char((v >> 8) & 0xff));
        }
        pacat_.write(samples);
    }

    QProcess pacat_;
    QElapsedTimer clock_;
    QTimer feeder_;
    qint64 written_ = 0;
    int beepLeft_ = 0;
};

QByteArray decodedSound(const QString& avi)
{
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), {"-v", "error", "-i", avi, "-map", "0:a:0", "-f", "s16le", "-acodec", "pcm_s16le", "-"});
    ffmpeg.waitForFinished(60000);
    return ffmpeg.readAllStandardOutput();
}

// Where each beep of `hz` starts, in seconds: the 10 ms windows whose power at hz rises above a third of
// the loudest window's, after a quiet one.
QList<double> beepStarts(const std::vector<double>& samples, double hz, double rate)
{
    const std::size_t window = static_cast<std::size_t>(rate / 100);
    std::vector<double> power;
    for (std::size_t at = 0; at + window <= samples.size(); at += window)
        power.push_back(soundtest::powerAt(std::vector<double>(samples.begin() + at, samples.begin() + at + window), hz, rate));
    const double loudest = power.empty() ? 0 : *std::max_element(power.begin(), power.end());
    QList<double> starts;
    for (std::size_t i = 1; i < power.size(); ++i)
        if (power[i] > loudest / 3 && power[i - 1] <= loudest / 3)
            starts << double(i) / 100;
    return starts;
}

} // namespace

class PausesAndResumesARecording : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir;
    std::unique_ptr<BeepStream> sound;

    // The flash and the beep, together.
    void flashAndBeep()
    {
        FilledWindow flash(Qt::white);
        flash.show();
        sound->beep();
        QTest::qWait(300);
    }

private slots:
    void initTestCase()
    {
        QUOLVA_REQUIRE_DISPLAY();
        QUOLVA_REQUIRE_SOUND_SERVER();
        qunsetenv("QUOLVA_SOUND_SOURCE");
        sound = std::make_unique<BeepStream>();
        QTest::qWait(500);
    }

    void cleanupTestCase() { sound.reset(); }

    void framesAndSoundCoverOnlyTheRecordedTimeAndStayInStep()
    {
        ScriptedPrompts::Installed prompts;
        FilledWindow scene(QColor(40, 40, 40));
        scene.show();
        QVERIFY(QTest::qWaitForWindowExposed(&scene));
        QProcess::execute(QStringLiteral("xdotool"), {"mousemove", "20", "20"});

        record::TForm2 viewfinder;
        record::Recorder recorder(viewfinder, nullptr);
        const QString target = dir.filePath(QStringLiteral("paused.avi"));
        recorder.session.ResetRecordingDefaults();
        recorder.session.NewTarget(target);
        viewfinder.setRegionMode();
        viewfinder.setClientSize(kRegion.width(), kRegion.height());
        viewfinder.move(kRegion.topLeft());
        viewfinder.hideForRecording();
        recorder.settings = {kRegion.width(), kRegion.height(), false};
        recorder.session.ready = true;

        recorder.luzhi();
        QTest::qWait(700);
        flashAndBeep(); // 0.7 s
        QTest::qWait(1000);
        recorder.PauseOrResume(); // at 2.0 s
        QVERIFY(recorder.isPaused());
        QCOMPARE(recorder.statusText, QStringLiteral("已暂停"));
        const std::int32_t frames = recorder.session.frameCounter;
        const std::int32_t seconds = recorder.elapsedSeconds;
        QTest::qWait(2000);
        QCOMPARE(recorder.session.frameCounter, frames);
        QCOMPARE(recorder.elapsedSeconds, seconds);
        recorder.PauseOrResume();
        QVERIFY(!recorder.isPaused());
        // Two short pauses more: whatever a pause costs the sound against the frames adds up.
        for (int i = 0; i < 2; ++i) {
            QTest::qWait(350);
            recorder.PauseOrResume();
            QTest::qWait(300);
            recorder.PauseOrResume();
        }
        QTest::qWait(500);
        flashAndBeep(); // 3.2 s of recording
        QTest::qWait(1000);
        recorder.tingzhi(); // 4.5 s
        QTRY_VERIFY_WITH_TIMEOUT(!recorder.isFinishing(), 5000);
        QVERIFY2(prompts->messages.isEmpty() && prompts->errors.isEmpty(), qPrintable(prompts->errors.join('\n')));

        // Both cover the 4.5 recorded seconds, not the 7 that passed.
        const QByteArray pcm = decodedSound(target);
        const double soundSeconds = pcm.size() / 22050.0;
        QVERIFY2(std::abs(soundSeconds - 4.5) < 0.3, qPrintable(QString::number(soundSeconds)));
        store::FrameStore store = store::FrameStore::OpenFrameStoreReadOnly((target + ".xxx").toStdString());
        const std::int32_t count = store.ReadFrameCount();
        QVERIFY2(count >= 42 && count <= 46, qPrintable(QString::number(count)));

        // Playback shows frame k from k·P, P the sound's length shared among the frames; the flash came
        // on screen between the tick before and the tick of its first frame, at (k + ½)·P on average.
        const double period = soundSeconds / count;
        QList<double> flashes;
        bool lit = false;
        store.Seek(store::kFrameStoreHeaderSize);
        for (std::int32_t k = 0; k < count; ++k) {
            const store::Picture frame = store.DecodeFrame(store.ReadNextFrame());
            const bool white = frame.Row(120)[3 * 160] > 200;
            if (white && !lit)
                flashes << (k + 0.5) * period;
            lit = white;
        }
        const QList<double> beeps = beepStarts(soundtest::samples16(pcm), 1000, 11025);
        QCOMPARE(flashes.size(), 2);
        QCOMPARE(beeps.size(), 2);
        // The beep reaches the sound server a little after the flash reaches the screen: the pair before
        // the pauses shows by how much, and the pair after them must show the same, within a frame period.
        qInfo() << "flashes at" << flashes << "beeps at" << beeps << "frame period" << period << "frames" << count
                << "sound" << soundSeconds << "skipped ticks" << recorder.clock.skippedTicks();
        const double before = beeps[0] - flashes[0];
        const double after = beeps[1] - flashes[1];
        QVERIFY2(std::abs(before) <= 2 * period, qPrintable(QStringLiteral("the beep %1 s after the flash").arg(before)));
        // A tick skipped on a busy machine (ticks are not queued) shifts the frames after it by a period.
        QVERIFY2(std::abs(after - before) <= period * double(1 + recorder.clock.skippedTicks()),
                 qPrintable(QStringLiteral("the beep %1 s after the flash, %2 s before the pauses").arg(after).arg(before)));
    }
};

QTEST_MAIN(PausesAndResumesARecording)
#include "e2e_pauses_and_resumes_a_recording.moc"

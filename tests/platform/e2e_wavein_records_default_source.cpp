// A user records sound: waveIn on the sound server (the rig's PulseAudio) records its default source
// while a tone plays into the sink that source hears; the sound comes back in one-second buffers, on
// time, at the tone's frequency, with nothing lost while the GUI thread was busy.

#include "platform/WaveIn.h"
#include "platform/WaveInQt.h"
#include "SoundAnalysis.h"

#include <QElapsedTimer>
#include <QFile>
#include <QMediaDevices>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <vector>

using namespace quolva::platform;

namespace {

QString run(const QString& program, const QStringList& args, int* status = nullptr)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(10000)) {
        p.kill();
        p.waitForFinished();
    }
    if (status)
        *status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// A 16-bit mono WAV of a sine.
struct Returned {
    WaveHeader* header;
    QByteArray data;
    qint64 atMs;
};

// The recorder's capture loop: buffers A and B of one second and 4 bytes, re-queued as they come back.
class CaptureLoop : public QObject {
public:
    explicit CaptureLoop(const SoundFormat& format)
        : bufferA(static_cast<qsizetype>(format.nAvgBytesPerSec + 4), 0),
          bufferB(static_cast<qsizetype>(format.nAvgBytesPerSec + 4), 0)
    {
        headerA.lpData = bufferA.data();
        headerA.dwBufferLength = format.nAvgBytesPerSec + 4;
        headerB.lpData = bufferB.data();
        headerB.dwBufferLength = format.nAvgBytesPerSec + 4;
    }

    bool event(QEvent* e) override
    {
        if (e->type() != WaveInDataEvent::eventType())
            return QObject::event(e);
        WaveHeader* h = static_cast<WaveInDataEvent*>(e)->header();
        returned.push_back({h, QByteArray(h->lpData, h->dwBytesRecorded), clock.elapsed()});
        device.waveInAddBuffer(h);
        if (returned.size() == blockAfterBuffer)
            QThread::msleep(1000);  // a long handler: the GUI thread does nothing else for a second
        return true;
    }

    WaveIn device;
    QByteArray bufferA, bufferB;
    WaveHeader headerA, headerB;
    std::vector<Returned> returned;
    QElapsedTimer clock;
    std::size_t blockAfterBuffer = 0;
};

}  // namespace

class E2eWaveInRecordsDefaultSource : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(qEnvironmentVariableIsSet("QUOLVA_RIG_SINK"), "needs the sound rig: run under scripts/with-rig.sh");
        int status = -1;
        run(QStringLiteral("pactl"), {QStringLiteral("info")}, &status);
        QVERIFY2(status == 0, "no sound server answers (pactl info failed)");
        qunsetenv("QUOLVA_SOUND_SOURCE");
    }

    void choosesTheServersDefaultSource()
    {
        const QByteArray serverDefault = run(QStringLiteral("pactl"), {QStringLiteral("get-default-source")}).toUtf8();
        QCOMPARE(soundServerDefaultSourceName(), serverDefault);
        QCOMPARE(defaultSoundInputDevice().id(), serverDefault);

        // Another source made the default: Qt's own default stays on the first source it lists, we follow.
        int status = -1;
        const QString module = run(QStringLiteral("pactl"),
                                   {QStringLiteral("load-module"), QStringLiteral("module-null-source"),
                                    QStringLiteral("source_name=quolva_quiet")},
                                   &status);
        QCOMPARE(status, 0);
        run(QStringLiteral("pactl"), {QStringLiteral("set-default-source"), QStringLiteral("quolva_quiet")});
        const bool listed = QTest::qWaitFor([] {
            for (const QAudioDevice& d : QMediaDevices::audioInputs())
                if (d.id() == "quolva_quiet")
                    return true;
            return false;
        }, 5000);
        const QByteArray chosen = defaultSoundInputDevice().id();
        const QByteArray qtDefault = QMediaDevices::defaultAudioInput().id();
        run(QStringLiteral("pactl"), {QStringLiteral("set-default-source"), QString::fromUtf8(serverDefault)});
        run(QStringLiteral("pactl"), {QStringLiteral("unload-module"), module});
        QVERIFY(listed);
        qInfo() << "Qt's default input:" << qtDefault << "ours:" << chosen;
        QCOMPARE(chosen, QByteArray("quolva_quiet"));
    }

    void listsTheSixteenBitFormats()
    {
        const QList<SoundFormat> formats = supportedRecordingFormats();
        QCOMPARE(formats.size(), 10);  // the server resamples: every rate, mono and stereo
    }

    void recordsAToneOnTimeWithoutLosingSound()
    {
        QTemporaryDir dir;
        const QString wav = dir.filePath(QStringLiteral("tone.wav"));
        QFile file(wav);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(soundtest::toneWav(880, 44100, 7.0));
        file.close();

        const SoundFormat format;  // 11025 Hz, 16 bits, mono
        CaptureLoop loop(format);
        loop.blockAfterBuffer = 2;
        loop.clock.start();
        QCOMPARE(loop.device.waveInOpen(format, &loop), MMSYSERR_NOERROR);
        QCOMPARE(loop.device.deviceDescription(), QString::fromUtf8(soundServerDefaultSourceName()));
        loop.device.waveInPrepareHeader(&loop.headerA);
        loop.device.waveInPrepareHeader(&loop.headerB);
        loop.device.waveInAddBuffer(&loop.headerA);
        loop.device.waveInAddBuffer(&loop.headerB);
        QCOMPARE(loop.device.waveInStart(), MMSYSERR_NOERROR);
        const qint64 startedAt = loop.clock.elapsed();

        QProcess player;
        player.start(QStringLiteral("paplay"), {QStringLiteral("-d"), qEnvironmentVariable("QUOLVA_RIG_SINK"), wav});
        QVERIFY(player.waitForStarted());

        QVERIFY(QTest::qWaitFor([&] { return loop.returned.size() >= 5; }, 15000));
        const qint64 stoppedAt = loop.clock.elapsed();
        loop.device.waveInStop();
        loop.device.waveInReset();
        loop.device.waveInUnprepareHeader(&loop.headerA);
        loop.device.waveInUnprepareHeader(&loop.headerB);
        loop.device.waveInClose();
        QTest::qWait(300);
        player.kill();
        player.waitForFinished();

        QString times;
        qsizetype total = 0;
        for (const Returned& r : loop.returned) {
            times += QStringLiteral(" %1ms:%2B").arg(r.atMs - startedAt).arg(r.data.size());
            total += r.data.size();
        }
        qInfo().noquote() << "buffers:" << times;
        QVERIFY(loop.returned.size() >= 6);

        // Queue order, full buffers while running.
        for (std::size_t i = 0; i < 5; ++i) {
            QCOMPARE(loop.returned[i].header, i % 2 == 0 ? &loop.headerA : &loop.headerB);
            QCOMPARE(loop.returned[i].data.size(), qsizetype(format.nAvgBytesPerSec + 4));
        }
        // About once a second: five buffers hold five seconds, and came in no sooner than that.
        const qint64 fifth = loop.returned[4].atMs - startedAt;
        QVERIFY2(fifth >= 4800 && fifth <= 6500, qPrintable(times));
        const qint64 first = loop.returned[0].atMs - startedAt;
        QVERIFY2(first >= 800 && first <= 1700, qPrintable(times));

        // Nothing lost during the busy second: what came back covers the time the recording ran.
        const double recordedSeconds = static_cast<double>(total) / format.nAvgBytesPerSec;
        const double ranSeconds = (stoppedAt - startedAt) / 1000.0;
        qInfo() << "recorded" << recordedSeconds << "s in" << ranSeconds << "s";
        QVERIFY2(recordedSeconds >= ranSeconds - 0.4 && recordedSeconds <= ranSeconds + 0.1,
                 qPrintable(QStringLiteral("%1 s recorded in %2 s").arg(recordedSeconds).arg(ranSeconds)));

        // The tone, at its frequency, in the buffers recorded while it played (the busy second included).
        QByteArray middle = loop.returned[2].data + loop.returned[3].data;
        const auto x = soundtest::samples16(middle);
        const double found = soundtest::dominantFrequency(x, format.nSamplesPerSec);
        const double sineBreak = soundtest::largestSineBreak(x, 880, 11025);
        qInfo() << "dominant frequency" << found << "largest break of the sine" << sineBreak;
        QVERIFY2(std::abs(found - 880) <= 8.8, qPrintable(QString::number(found)));
        // Two buffers of one unbroken sine: no piece of sound went missing between them or in them.
        QVERIFY2(sineBreak < 0.01, qPrintable(QString::number(sineBreak)));
    }
};

QTEST_GUILESS_MAIN(E2eWaveInRecordsDefaultSource)
#include "e2e_wavein_records_default_source.moc"

// Waveform input on the synthetic devices: the buffer cycle the sound capture runs (two buffers queued,
// each handed back full and queued again, stop and reset handing back what is left), the result codes,
// and the sound itself (a tone's frequency, a WAV file's samples).

#include "platform/WaveIn.h"
#include "SoundAnalysis.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <vector>

using namespace quolva::platform;

namespace {

// One buffer the device handed back, as the receiver saw it.
struct Returned {
    WaveHeader* header;
    std::uint32_t bytes;
    QByteArray data;
    qint64 atMs;
};

// Runs the capture loop of the recorder: two buffers, A queued before B, each re-queued when it comes
// back, and the stop sequence stop, reset, unprepare A, unprepare B, close.
class CaptureLoop : public QObject {
public:
    explicit CaptureLoop(std::uint32_t bufferBytes) : bufferA(bufferBytes, 'x'), bufferB(bufferBytes, 'x')
    {
        headerA.lpData = bufferA.data();
        headerA.dwBufferLength = bufferBytes;
        headerB.lpData = bufferB.data();
        headerB.dwBufferLength = bufferBytes;
        clock.start();
    }

    MMResult start(const SoundFormat& format)
    {
        if (MMResult r = device.waveInOpen(format, this))
            return r;
        for (WaveHeader* h : {&headerA, &headerB}) {
            if (MMResult r = device.waveInPrepareHeader(h))
                return r;
        }
        for (WaveHeader* h : {&headerA, &headerB}) {
            if (MMResult r = device.waveInAddBuffer(h))
                return r;
        }
        return device.waveInStart();
    }

    std::vector<MMResult> stop()
    {
        return {device.waveInStop(), device.waveInReset(), device.waveInUnprepareHeader(&headerA),
                device.waveInUnprepareHeader(&headerB), device.waveInClose()};
    }

    bool waitForBuffers(std::size_t count, int timeoutMs)
    {
        return QTest::qWaitFor([&] { return returned.size() >= count; }, timeoutMs);
    }

    QByteArray sound() const
    {
        QByteArray all;
        for (const Returned& r : returned)
            all += r.data;
        return all;
    }

    bool event(QEvent* e) override
    {
        if (e->type() != WaveInDataEvent::eventType())
            return QObject::event(e);
        auto* done = static_cast<WaveInDataEvent*>(e);
        WaveHeader* h = done->header();
        returned.push_back({h, h->dwBytesRecorded, QByteArray(h->lpData, h->dwBytesRecorded), clock.elapsed()});
        requeueResults.push_back(device.waveInAddBuffer(h));
        if (blockOnFirstBufferMs > 0 && returned.size() == 1)
            QThread::msleep(static_cast<unsigned long>(blockOnFirstBufferMs));
        return true;
    }

    WaveIn device;
    QByteArray bufferA, bufferB;
    WaveHeader headerA, headerB;
    std::vector<Returned> returned;
    std::vector<MMResult> requeueResults;
    QElapsedTimer clock;
    int blockOnFirstBufferMs = 0;
};

QByteArray wavFile(const SoundFormat& f, const QByteArray& data)
{
    QByteArray out;
    auto put32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out.append(static_cast<char>(v >> (8 * i)));
    };
    out += "RIFF";
    put32(static_cast<std::uint32_t>(36 + data.size()));
    out += "WAVEfmt ";
    put32(16);
    const SoundFormat::Area area = f.toArea();
    out.append(reinterpret_cast<const char*>(area.data()), 16);
    out += "data";
    put32(static_cast<std::uint32_t>(data.size()));
    out += data;
    return out;
}

}  // namespace

class TestWaveIn : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { qunsetenv("QUOLVA_SOUND_SOURCE"); }

    void soundFormatIsTheTwentyByteArea()
    {
        const SoundFormat f = SoundFormat::pcm(11025, 16, 1);
        const SoundFormat::Area expected{1, 0, 1, 0, 0x11, 0x2B, 0, 0, 0x22, 0x56, 0, 0, 2, 0, 16, 0, 0, 0, 0, 0};
        QCOMPARE(f.toArea(), expected);
        QCOMPARE(SoundFormat::fromArea(expected), f);
        QCOMPARE(f, SoundFormat());  // the recorder's default format
        QVERIFY(f.isConsistentPcm());
        SoundFormat wrongRate = f;
        wrongRate.nAvgBytesPerSec = 11025;
        QVERIFY(!wrongRate.isConsistentPcm());
        QVERIFY(!SoundFormat::pcm(44100, 24, 2).isConsistentPcm());
    }

    void buffersComeBackFullInQueueOrder()
    {
        qputenv("QUOLVA_SOUND_SOURCE", "tone:440");
        // A quarter second and 4 bytes, shaped like the recorder's one second and 4 bytes.
        const SoundFormat format = SoundFormat::pcm(11025, 16, 1);
        CaptureLoop loop(format.nAvgBytesPerSec / 4 + 4);
        QCOMPARE(loop.start(format), MMSYSERR_NOERROR);
        QVERIFY(loop.waitForBuffers(6, 10000));
        const qint64 elapsed = loop.clock.elapsed();
        loop.stop();

        for (std::size_t i = 0; i < 6; ++i) {
            const Returned& r = loop.returned[i];
            QCOMPARE(r.header, i % 2 == 0 ? &loop.headerA : &loop.headerB);
            QCOMPARE(r.bytes, loop.headerA.dwBufferLength);
            QVERIFY(r.header->dwFlags & WHDR_DONE);
        }
        for (std::size_t i = 0; i < 6; ++i)
            QCOMPARE(loop.requeueResults[i], MMSYSERR_NOERROR);
        // Paced like a device: six buffers hold 1.5 s of sound and cannot come back sooner.
        QVERIFY2(elapsed >= 1450, qPrintable(QString::number(elapsed)));
    }

    void aBufferTakesWholeSampleBlocksOnly()
    {
        qputenv("QUOLVA_SOUND_SOURCE", "tone:440");
        const SoundFormat format = SoundFormat::pcm(8000, 16, 2);  // 4-byte blocks
        CaptureLoop loop(1001);
        QCOMPARE(loop.start(format), MMSYSERR_NOERROR);
        QVERIFY(loop.waitForBuffers(3, 5000));
        loop.stop();
        for (std::size_t i = 0; i < 3; ++i)
            QCOMPARE(loop.returned[i].bytes, 1000u);
    }

    void stopAndResetHandBackWhatIsLeft()
    {
        qputenv("QUOLVA_SOUND_SOURCE", "tone:440");
        const SoundFormat format;
        CaptureLoop loop(format.nAvgBytesPerSec + 4);
        QCOMPARE(loop.start(format), MMSYSERR_NOERROR);
        QTest::qWait(400);

        // The recorder's stop sequence runs to its end before any buffer-done event is handled.
        const std::vector<MMResult> results = loop.stop();
        for (MMResult r : results)
            QCOMPARE(r, MMSYSERR_NOERROR);
        QVERIFY(loop.returned.empty());
        QVERIFY(!loop.device.isOpen());

        QVERIFY(loop.waitForBuffers(2, 2000));
        QTest::qWait(100);
        QCOMPARE(loop.returned.size(), std::size_t(2));
        QCOMPARE(loop.returned[0].header, &loop.headerA);
        QCOMPARE(loop.returned[1].header, &loop.headerB);
        const std::uint32_t partial = loop.returned[0].bytes;
        QVERIFY2(partial > 0 && partial < loop.headerA.dwBufferLength - 4, qPrintable(QString::number(partial)));
        QCOMPARE(partial % format.nBlockAlign, 0u);
        QCOMPARE(loop.returned[1].bytes, 0u);
        // Queuing them again once the device is closed fails, and the handler goes on.
        QCOMPARE(loop.requeueResults[0], MMSYSERR_INVALHANDLE);
        QCOMPARE(loop.requeueResults[1], MMSYSERR_INVALHANDLE);
    }

    void stopAloneReturnsOnlyTheBufferBeingFilled()
    {
        qputenv("QUOLVA_SOUND_SOURCE", "tone:440");
        const SoundFormat format;
        CaptureLoop loop(format.nAvgBytesPerSec + 4);
        QCOMPARE(loop.start(format), MMSYSERR_NOERROR);
        QTest::qWait(200);
        QCOMPARE(loop.device.waveInStop(), MMSYSERR_NOERROR);
        QVERIFY(loop.waitForBuffers(1, 2000));
        QTest::qWait(100);
        QCOMPARE(loop.returned.size(), std::size_t(1));
        QCOMPARE(loop.returned[0].header, &loop.headerA);
        QVERIFY(loop.returned[0].bytes > 0);
        // B is still queued, and so is A again (the handler re-queued it): close refuses until a reset.
        QCOMPARE(loop.device.waveInClose(), WAVERR_STILLPLAYING);
        QCOMPARE(loop.device.waveInUnprepareHeader(&loop.headerB), WAVERR_STILLPLAYING);
        QCOMPARE(loop.device.waveInReset(), MMSYSERR_NOERROR);
        QCOMPARE(loop.device.waveInUnprepareHeader(&loop.headerA), MMSYSERR_NOERROR);
        QCOMPARE(loop.device.waveInUnprepareHeader(&loop.headerB), MMSYSERR_NOERROR);
        QCOMPARE(loop.device.waveInClose(), MMSYSERR_NOERROR);
        QCOMPARE(loop.device.waveInClose(), MMSYSERR_NOERROR);  // closing twice is harmless
        QVERIFY(loop.waitForBuffers(3, 2000));
        QCOMPARE(loop.returned[1].header, &loop.headerB);
        QCOMPARE(loop.returned[2].header, &loop.headerA);
        QCOMPARE(loop.returned[1].bytes + loop.returned[2].bytes, 0u);
    }

    void resultCodesOfMisuse()
    {
        qputenv("QUOLVA_SOUND_SOURCE", "tone:440");
        QObject receiver;
        WaveIn device;
        char buffer[64];
        WaveHeader h;
        h.lpData = buffer;
        h.dwBufferLength = sizeof buffer;

        QCOMPARE(device.waveInAddBuffer(&h), MMSYSERR_INVALHANDLE);
        QCOMPARE(device.waveInStart(), MMSYSERR_INVALHANDLE);
        QCOMPARE(device.waveInOpen(SoundFormat(), nullptr), MMSYSERR_INVALPARAM);
        QCOMPARE(device.waveInOpen(SoundFormat::pcm(44100, 24, 2), &receiver), WAVERR_BADFORMAT);
        QVERIFY(device.lastError().contains(QLatin1String("24 bits")));
        QCOMPARE(device.waveInOpen(SoundFormat(), &receiver), MMSYSERR_NOERROR);
        QCOMPARE(device.waveInOpen(SoundFormat(), &receiver), MMSYSERR_ALLOCATED);
        QCOMPARE(device.waveInAddBuffer(&h), WAVERR_UNPREPARED);
        WaveHeader tiny;
        tiny.lpData = buffer;
        tiny.dwBufferLength = 1;  // less than one 2-byte sample
        QCOMPARE(device.waveInPrepareHeader(&tiny), MMSYSERR_INVALPARAM);
        QCOMPARE(device.waveInPrepareHeader(nullptr), MMSYSERR_INVALPARAM);
        QCOMPARE(device.waveInPrepareHeader(&h), MMSYSERR_NOERROR);
        QCOMPARE(device.waveInAddBuffer(&h), MMSYSERR_NOERROR);
        QCOMPARE(device.waveInAddBuffer(&h), WAVERR_STILLPLAYING);
        QCOMPARE(device.waveInUnprepareHeader(&h), WAVERR_STILLPLAYING);
        QCOMPARE(device.waveInClose(), WAVERR_STILLPLAYING);
        QVERIFY(!device.lastError().isEmpty());
        QCOMPARE(device.waveInReset(), MMSYSERR_NOERROR);
        QCOMPARE(device.waveInUnprepareHeader(&h), MMSYSERR_NOERROR);
        QCOMPARE(device.waveInClose(), MMSYSERR_NOERROR);
        QVERIFY(device.lastError().isEmpty());
    }

    void destroyingAnOpenDeviceSendsNothing()
    {
        qputenv("QUOLVA_SOUND_SOURCE", "tone:440");
        CaptureLoop loop(100);
        {
            auto device = std::make_unique<WaveIn>();
            QCOMPARE(device->waveInOpen(SoundFormat(), &loop), MMSYSERR_NOERROR);
            QByteArray buffer(4000, 0);
            WaveHeader h;
            h.lpData = buffer.data();
            h.dwBufferLength = 4000;
            device->waveInPrepareHeader(&h);
            device->waveInAddBuffer(&h);
            device->waveInStart();
            QTest::qWait(60);
            device.reset();
            QVERIFY(!(h.dwFlags & WHDR_INQUEUE));
        }
        QTest::qWait(100);
        QVERIFY(loop.returned.empty());
    }

    void noDeviceFailsToOpen()
    {
        qputenv("QUOLVA_SOUND_SOURCE", "none");
        QObject receiver;
        WaveIn device;
        QCOMPARE(device.waveInOpen(SoundFormat(), &receiver), MMSYSERR_BADDEVICEID);
        QVERIFY(!device.isOpen());
        QVERIFY(supportedRecordingFormats().isEmpty());

        qputenv("QUOLVA_SOUND_SOURCE", "microphone");
        QVERIFY(device.waveInOpen(SoundFormat(), &receiver) != MMSYSERR_NOERROR);
        QVERIFY(device.lastError().contains(QLatin1String("microphone")));
    }

    void formatListOfASyntheticDevice()
    {
        qputenv("QUOLVA_SOUND_SOURCE", "tone:440");
        const QList<SoundFormat> formats = supportedRecordingFormats();
        QCOMPARE(formats.size(), 10);
        QCOMPARE(formats.front(), SoundFormat::pcm(8000, 16, 1));
        QCOMPARE(formats.back(), SoundFormat::pcm(48000, 16, 2));
        for (const SoundFormat& f : formats)
            QCOMPARE(f.wBitsPerSample, std::uint16_t(16));
    }

    void toneHasItsFrequency_data()
    {
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<double>("hz");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("channels");
        QTest::newRow("440 Hz, default format") << QByteArray("tone:440") << 440.0 << 11025 << 16 << 1;
        QTest::newRow("1000 Hz, 8-bit stereo") << QByteArray("tone:1000") << 1000.0 << 22050 << 8 << 2;
        QTest::newRow("2500 Hz, 48 kHz stereo") << QByteArray("tone:2500") << 2500.0 << 48000 << 16 << 2;
    }

    void toneHasItsFrequency()
    {
        QFETCH(QByteArray, source);
        QFETCH(double, hz);
        QFETCH(int, rate);
        QFETCH(int, bits);
        QFETCH(int, channels);
        qputenv("QUOLVA_SOUND_SOURCE", source);
        const SoundFormat format =
            SoundFormat::pcm(static_cast<std::uint32_t>(rate), static_cast<std::uint16_t>(bits), static_cast<std::uint16_t>(channels));
        CaptureLoop loop(format.nAvgBytesPerSec / 4);
        QCOMPARE(loop.start(format), MMSYSERR_NOERROR);
        QVERIFY(loop.waitForBuffers(2, 5000));
        loop.stop();
        const QByteArray sound = loop.returned[0].data + loop.returned[1].data;
        for (int channel = 0; channel < channels; ++channel) {
            const auto x = bits == 16 ? soundtest::samples16(sound, channels, channel)
                                      : soundtest::samples8(sound, channels, channel);
            const std::uint32_t perBuffer = loop.headerA.dwBufferLength - loop.headerA.dwBufferLength % format.nBlockAlign;
            QCOMPARE(x.size(), std::size_t(2 * perBuffer / format.nBlockAlign));
            const double found = soundtest::dominantFrequency(x, rate);
            QVERIFY2(std::abs(found - hz) < hz * 0.002, qPrintable(QString::number(found)));
            // One unbroken sine across the two buffers.
            QVERIFY(soundtest::largestSineBreak(x, hz, rate) < (bits == 16 ? 0.001 : 0.05));
        }
    }

    void aBusyGuiThreadLosesNoSound()
    {
        qputenv("QUOLVA_SOUND_SOURCE", "tone:440");
        const SoundFormat format;
        CaptureLoop loop(format.nAvgBytesPerSec + 4);
        loop.blockOnFirstBufferMs = 1200;  // the handler of the first buffer keeps the GUI thread busy
        QCOMPARE(loop.start(format), MMSYSERR_NOERROR);
        QVERIFY(loop.waitForBuffers(3, 8000));
        loop.stop();
        QVERIFY(loop.waitForBuffers(5, 2000));
        const auto x = soundtest::samples16(loop.sound());
        // Nothing dropped: the sound is one unbroken sine, as long as the time it took.
        QVERIFY(soundtest::largestSineBreak(x, 440, 11025) < 0.001);
        QVERIFY2(x.size() >= 3 * 11027, qPrintable(QString::number(x.size())));
    }

    void wavFileInTheRecordingFormatComesOutExactly()
    {
        QTemporaryDir dir;
        const SoundFormat format;
        QByteArray data;
        for (int i = 0; i < 4000; ++i) {  // a ramp of distinct 16-bit values
            const auto v = static_cast<std::int16_t>(i * 16 - 32000);
            data.append(static_cast<char>(v & 0xff));
            data.append(static_cast<char>((v >> 8) & 0xff));
        }
        const QString path = dir.filePath(QStringLiteral("ramp.wav"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(wavFile(format, data));
        file.close();

        qputenv("QUOLVA_SOUND_SOURCE", ("wav:" + path).toUtf8());
        CaptureLoop loop(10000);
        QCOMPARE(loop.start(format), MMSYSERR_NOERROR);
        QVERIFY(loop.waitForBuffers(1, 5000));
        loop.stop();
        const QByteArray first = loop.returned[0].data;
        QCOMPARE(first.size(), 10000);
        QCOMPARE(first.left(8000), data);                 // the file's samples
        QCOMPARE(first.mid(8000), QByteArray(2000, 0));  // then silence
    }

    void wavFileIsConvertedToTheRecordingFormat()
    {
        QTemporaryDir dir;
        // 300 Hz in 8-bit stereo at 22050 Hz, recorded as 16-bit mono at 11025 Hz.
        const SoundFormat fileFormat = SoundFormat::pcm(22050, 8, 2);
        QByteArray data;
        for (int i = 0; i < 22050; ++i) {
            const auto v = static_cast<char>(128 + std::lround(100 * std::sin(2 * std::numbers::pi * 300 * i / 22050.0)));
            data.append(v);
            data.append(v);
        }
        const QString path = dir.filePath(QStringLiteral("tone.wav"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(wavFile(fileFormat, data));
        file.close();

        qputenv("QUOLVA_SOUND_SOURCE", ("wav:" + path).toUtf8());
        const SoundFormat format;
        CaptureLoop loop(format.nAvgBytesPerSec / 2);
        QCOMPARE(loop.start(format), MMSYSERR_NOERROR);
        QVERIFY(loop.waitForBuffers(1, 5000));
        loop.stop();
        const auto x = soundtest::samples16(loop.returned[0].data);
        const double found = soundtest::dominantFrequency(x, 11025);
        QVERIFY2(std::abs(found - 300) < 1.0, qPrintable(QString::number(found)));
    }

    void unusableWavFilesAreRefusedWithTheReason()
    {
        QTemporaryDir dir;
        QObject receiver;
        WaveIn device;

        const QString missing = dir.filePath(QStringLiteral("missing.wav"));
        qputenv("QUOLVA_SOUND_SOURCE", ("wav:" + missing).toUtf8());
        QVERIFY(device.waveInOpen(SoundFormat(), &receiver) != MMSYSERR_NOERROR);
        QVERIFY2(device.lastError().contains(missing), qPrintable(device.lastError()));

        SoundFormat deep = SoundFormat::pcm(44100, 16, 1);
        deep.wBitsPerSample = 24;
        deep.nBlockAlign = 3;
        const QString path = dir.filePath(QStringLiteral("deep.wav"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(wavFile(deep, QByteArray(300, 0)));
        file.close();
        qputenv("QUOLVA_SOUND_SOURCE", ("wav:" + path).toUtf8());
        QVERIFY(device.waveInOpen(SoundFormat(), &receiver) != MMSYSERR_NOERROR);
        QVERIFY2(device.lastError().contains(QLatin1String("24 bits")), qPrintable(device.lastError()));

        const QString text = dir.filePath(QStringLiteral("text.wav"));
        QFile notWav(text);
        QVERIFY(notWav.open(QIODevice::WriteOnly));
        notWav.write("this is not a sound file");
        notWav.close();
        qputenv("QUOLVA_SOUND_SOURCE", ("wav:" + text).toUtf8());
        QVERIFY(device.waveInOpen(SoundFormat(), &receiver) != MMSYSERR_NOERROR);
        QVERIFY2(device.lastError().contains(QLatin1String("RIFF")), qPrintable(device.lastError()));
        QVERIFY(!device.isOpen());
    }
};

QTEST_GUILESS_MAIN(TestWaveIn)
#include "test_wavein.moc"

// The real input device when no sound server answers: opening fails with the no-device result (the
// caller then says "Failed to open waveform input device."), and the format list is empty.

#include "platform/WaveIn.h"
#include "platform/WaveInQt.h"

#include <QtTest>

using namespace quolva::platform;

class TestWaveInNoServer : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Before anything in this process talks to a sound server: a socket nobody listens on.
        qunsetenv("QUOLVA_SOUND_SOURCE");
        qputenv("PULSE_SERVER", "unix:/nonexistent/quolva-no-sound-server");
    }

    void openFailsCleanly()
    {
        QCOMPARE(soundServerDefaultSourceName(), QByteArray());
        QVERIFY(defaultSoundInputDevice().isNull());
        QObject receiver;
        WaveIn device;
        QCOMPARE(device.waveInOpen(SoundFormat(), &receiver), MMSYSERR_BADDEVICEID);
        QVERIFY(!device.isOpen());
        QVERIFY(!device.lastError().isEmpty());
        WaveHeader h;
        QCOMPARE(device.waveInAddBuffer(&h), MMSYSERR_INVALHANDLE);
        QCOMPARE(device.waveInClose(), MMSYSERR_NOERROR);
        QVERIFY(supportedRecordingFormats().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestWaveInNoServer)
#include "test_wavein_no_server.moc"

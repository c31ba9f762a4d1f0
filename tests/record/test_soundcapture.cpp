// The sound capture loop on the synthetic input device: buffers A and B alternate, each written at the
// stream's length with its byte count as the sample count; the stop hands back the partial and the empty
// buffer, which are written before the files close; device failures are told but stop nothing.
#include "ScriptedPrompts.h"
#include "record/RecordingSession.h"
#include "record/SoundCapture.h"
#include "store/AviFileServices.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>

using namespace quolva;
using quolva::test::ScriptedPrompts;

namespace {

struct Written {
    char buffer;
    quint32 bytes;
};

} // namespace

class SoundCaptureTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir;

    // A new target as the wizard makes it: the default format and stream description.
    record::RecordingSession newTarget(const QString& name)
    {
        record::RecordingSession session;
        session.ResetRecordingDefaults();
        session.NewTarget(dir.filePath(name));
        return session;
    }

private slots:
    void buffersAlternateAndTheLastPartialSecondIsWritten()
    {
        qputenv("QUOLVA_SOUND_SOURCE", "tone:440");
        ScriptedPrompts::Installed prompts;
        record::RecordingSession session = newTarget(QStringLiteral("a.avi"));
        record::SoundCapture capture(nullptr);
        QList<Written> written;
        connect(&capture, &record::SoundCapture::bufferWritten, [&](char b, quint32 n) { written.append({b, n}); });

        capture.StartSoundCapture(session.soundFormat, session.audioStream);
        QVERIFY(capture.isRunning());
        QTest::qWait(2500);
        capture.StopSoundCapture();
        QVERIFY(capture.WaitForLastBuffers(std::chrono::milliseconds(2000)));

        QVERIFY(prompts->messages.isEmpty());
        QCOMPARE(written.size(), 4);
        const quint32 full = 22050 + 4;
        QCOMPARE(written[0].buffer, 'A');
        QCOMPARE(written[0].bytes, full);
        QCOMPARE(written[1].buffer, 'B');
        QCOMPARE(written[1].bytes, full);
        QCOMPARE(written[2].buffer, 'A');
        QVERIFY2(written[2].bytes > 8000 && written[2].bytes < 14000, qPrintable(QString::number(written[2].bytes)));
        QCOMPARE(written[3].buffer, 'B');
        QCOMPARE(written[3].bytes, 0u);

        // The stream's length counts bytes: two full buffers and the partial one.
        const store::LONG expected = store::LONG(2 * full + written[2].bytes);
        QCOMPARE(store::AVIStreamLength(session.audioStream), expected);
        std::vector<char> sound(std::size_t(expected) + 100);
        store::LONG bytes = 0;
        store::LONG samples = 0;
        store::AVIStreamRead(session.audioStream, 0, expected, sound.data(), store::LONG(sound.size()), &bytes, &samples);
        QCOMPARE(bytes, expected);
        session.CloseRecordingFiles();
    }

    void noInputDeviceIsToldAndNothingIsWritten()
    {
        qputenv("QUOLVA_SOUND_SOURCE", "none");
        ScriptedPrompts::Installed prompts;
        record::RecordingSession session = newTarget(QStringLiteral("b.avi"));
        record::SoundCapture capture(nullptr);
        capture.StartSoundCapture(session.soundFormat, session.audioStream);
        QVERIFY(capture.isRunning()); // the start goes on: frames are still recorded
        QVERIFY(!prompts->messages.isEmpty());
        QCOMPARE(prompts->messages.front().text, QStringLiteral("Failed to open waveform input device."));
        for (const auto& message : prompts->messages) {
            QCOMPARE(message.caption, QString()); // the system's default caption
            QCOMPARE(message.icon, platform::MessageIcon::Warning);
        }
        QVERIFY(prompts->messages.last().text == QStringLiteral("Failed to waveInAddBuffer ."));
        capture.StopSoundCapture();
        QVERIFY(capture.WaitForLastBuffers(std::chrono::milliseconds(100)));
        QCOMPARE(store::AVIStreamLength(session.audioStream), 0);
        session.CloseRecordingFiles();
    }

    void anAbandonedStartWritesNothing()
    {
        qputenv("QUOLVA_SOUND_SOURCE", "tone:440");
        ScriptedPrompts::Installed prompts;
        record::RecordingSession session = newTarget(QStringLiteral("c.avi"));
        record::SoundCapture capture(nullptr);
        capture.StartSoundCapture(session.soundFormat, session.audioStream);
        QTest::qWait(300);
        capture.AbandonSoundCapture();
        QVERIFY(!capture.isRunning());
        QCOMPARE(capture.buffersOutstanding(), 0);
        QTest::qWait(50);
        QCOMPARE(store::AVIStreamLength(session.audioStream), 0);
        session.CloseRecordingFiles();
    }

    void eachStartUsesTheFormatOfTheSession()
    {
        qputenv("QUOLVA_SOUND_SOURCE", "tone:440");
        ScriptedPrompts::Installed prompts;
        record::RecordingSession session;
        session.ResetRecordingDefaults();
        // 22050 Hz stereo: buffers of 88200 + 4 bytes.
        session.soundFormat.format.nSamplesPerSec = 22050;
        session.soundFormat.format.nChannels = 2;
        session.soundFormat.format.nBlockAlign = 4;
        session.soundFormat.format.nAvgBytesPerSec = 88200;
        session.ApplySoundFormatToStreamInfo();
        session.NewTarget(dir.filePath(QStringLiteral("d.avi")));
        record::SoundCapture capture(nullptr);
        QList<Written> written;
        connect(&capture, &record::SoundCapture::bufferWritten, [&](char b, quint32 n) { written.append({b, n}); });
        capture.StartSoundCapture(session.soundFormat, session.audioStream);
        QTRY_VERIFY_WITH_TIMEOUT(!written.isEmpty(), 3000);
        QCOMPARE(written.front().bytes, 88200u + 4u);
        capture.StopSoundCapture();
        QVERIFY(capture.WaitForLastBuffers(std::chrono::milliseconds(2000)));
        QVERIFY(prompts->messages.isEmpty());
        session.CloseRecordingFiles();
    }
};

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    SoundCaptureTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_soundcapture.moc"

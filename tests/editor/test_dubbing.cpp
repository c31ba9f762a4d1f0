// Dubbing on the synthetic input device: each start adds an audio stream made from the recording's own
// description and format, the recording's first stream is left as it was, and a capture that is finished
// before the recording closes keeps its last partial second.
#include "RecordingFixture.h"
#include "ScriptedPrompts.h"
#include "editor/Dubbing.h"
#include "editor/OpenRecording.h"
#include "store/AviFileServices.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>

using namespace quolva;

namespace {

std::vector<std::uint8_t> readAll(const store::PAVISTREAM& stream)
{
    const store::LONG length = store::AVIStreamLength(stream);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::max(length, 0)));
    store::LONG read = 0;
    store::LONG samples = 0;
    store::AVIStreamRead(stream, 0, length, bytes.data(), length, &read, &samples);
    bytes.resize(static_cast<std::size_t>(read));
    return bytes;
}

} // namespace

class DubbingTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void init() { qputenv("QUOLVA_SOUND_SOURCE", "tone:440"); }

    // A sound track without a format leaves the editor's default (8 bits, 11025 bytes a second): 2.5 s
    // give two full buffers of 11025 + 4 bytes and the partial third, about 27 560 bytes.
    void twoAndAHalfSecondsOfTheDefaultFormat()
    {
        test::ScriptedPrompts::Installed prompts;
        const QString path = test::MakeRecording(dir.path(), QStringLiteral("eight.avi"), {.withSoundFormat = false});
        editor::OpenRecording recording;
        recording.Open(path);
        editor::Dubbing dubbing(recording, nullptr);
        dubbing.AddStream();
        dubbing.StartCapture();
        QTest::qWait(2500);
        dubbing.Stop();
        dubbing.Finish();
        QVERIFY(prompts->messages.isEmpty());
        QCOMPARE(recording.dubbingStreams.size(), std::size_t(1));
        const store::LONG length = store::AVIStreamLength(recording.dubbingStreams.front());
        QVERIFY2(std::abs(length - 27560) < 1200, qPrintable(QString::number(length)));
        QCOMPARE(dubbing.capture().bufferBytes(), std::size_t(0)); // freed once the last buffer was handled

        store::SoundFormatArea format{};
        store::LONG size = sizeof format;
        store::AVIStreamReadFormat(recording.dubbingStreams.front(), 0, &format, &size);
        QCOMPARE(format.format.wBitsPerSample, store::WORD(8));
        QCOMPARE(format.format.nAvgBytesPerSec, store::DWORD(11025));
    }

    // Record, pause, record: the file holds the recording's stream, unchanged, and two new ones after it.
    void eachStartAddsAStreamAndTheFirstStaysAsItWas()
    {
        test::ScriptedPrompts::Installed prompts;
        const QString path = test::MakeRecording(dir.path(), QStringLiteral("three.avi"));
        editor::OpenRecording recording;
        recording.Open(path);
        const std::vector<std::uint8_t> original = readAll(recording.audioStream);
        editor::Dubbing dubbing(recording, nullptr);
        dubbing.AddStream();
        dubbing.StartCapture();
        QTest::qWait(1200);
        dubbing.Stop();
        dubbing.AddStream();
        dubbing.StartCapture(); // at once: the first capture's last buffers still go into the first new stream
        QTest::qWait(1200);
        dubbing.Finish();
        const store::LONG first = store::AVIStreamLength(recording.dubbingStreams[0]);
        const store::LONG second = store::AVIStreamLength(recording.dubbingStreams[1]);
        QVERIFY(recording.Close());

        editor::OpenRecording reopened;
        reopened.Open(path);
        QCOMPARE(reopened.aviFile->streamCount(), 3);
        QVERIFY(readAll(reopened.audioStream) == original);
        store::PAVISTREAM stream;
        for (int i = 1; i <= 2; ++i) {
            QCOMPARE(store::AVIFileGetStream(reopened.aviFile, &stream, store::streamtypeAUDIO, i), store::AVIERR_OK);
            const store::LONG length = store::AVIStreamLength(stream);
            QCOMPARE(length, i == 1 ? first : second);
            // 1.2 s of 16-bit mono at 11025 Hz: a full buffer of 22050 + 4 bytes and its partial second one.
            QVERIFY2(length > 23054 && length < 30000, qPrintable(QString::number(length)));
            store::AVIStreamRelease(stream);
        }
    }

    // Finishing a running capture (what closing the recording does first) writes what the device holds.
    void finishingKeepsTheLastPartialSecond()
    {
        test::ScriptedPrompts::Installed prompts;
        const QString path = test::MakeRecording(dir.path(), QStringLiteral("close.avi"));
        editor::OpenRecording recording;
        recording.Open(path);
        editor::Dubbing dubbing(recording, nullptr);
        dubbing.AddStream();
        dubbing.StartCapture();
        QTest::qWait(1600);
        dubbing.Finish();
        QVERIFY(!dubbing.IsCapturing());
        QVERIFY(recording.Close());

        editor::OpenRecording reopened;
        reopened.Open(path);
        store::PAVISTREAM stream;
        QCOMPARE(store::AVIFileGetStream(reopened.aviFile, &stream, store::streamtypeAUDIO, 1), store::AVIERR_OK);
        const store::LONG length = store::AVIStreamLength(stream);
        QVERIFY2(length > 22054 + 8000, qPrintable(QString::number(length)));
        store::AVIStreamRelease(stream);
    }
};

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    DubbingTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_dubbing.moc"

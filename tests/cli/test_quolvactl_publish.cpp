// quolvactl publish --avi run as a program: it writes the video stream, reports one progress line, and
// fails with status 1 and a clear message (status 2 for a mistaken command line) without harming the file.
#include "Quolvactl.h"
#include "../publish/PublishTestSupport.h"
#include "store/AviCheck.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace quolva;
using namespace quolva::test;

namespace {

using Run = test::QuolvactlRun;

Run quolvactl(const QStringList& arguments)
{
    return test::RunQuolvactl(arguments);
}

QJsonObject videoStream(const QString& path)
{
    for (const QJsonValue stream : avitest::probeStreams(path))
        if (stream.toObject().value("codec_type").toString() == QLatin1String("video"))
            return stream.toObject();
    return {};
}

void verifyClean(const QString& path)
{
    const store::AviCheckReport check = store::CheckAviFile(QFile::encodeName(path).toStdString());
    QVERIFY2(check.Clean(), check.message.c_str());
}

} // namespace

class QuolvactlPublishTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir_;

private slots:
    void publishesWithACompressorAndRefusesASecondTime()
    {
        const QString path = MakeScreenRecording(dir_.path(), "h264.avi", 64, 48, 10);
        const Run run = quolvactl({"publish", path, "--avi", "--codec", "h264"});
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QVERIFY2(run.out.contains(QStringLiteral("published 10 frames of 64 × 48")), qPrintable(run.out));
        QVERIFY2(run.err.contains(QStringLiteral("publish: frame 10 of 10, 100 %")), qPrintable(run.err));
        QVERIFY2(!run.err.contains(QStringLiteral("x264")), "the encoder's statistics stay off the console");
        QCOMPARE(videoStream(path).value("codec_name").toString(), QStringLiteral("h264"));
        QCOMPARE(videoStream(path).value("nb_read_packets").toString(), QStringLiteral("10"));
        verifyClean(path);

        const Run again = quolvactl({"publish", path, "--avi"});
        QCOMPARE(again.status, 1);
        QVERIFY2(again.err.contains(QStringLiteral("already holds a video stream")), qPrintable(again.err));
        QCOMPARE(avitest::probeStreams(path).size(), 2);
        verifyClean(path);
    }

    void failuresAreStatedAndLeaveTheFileWhole_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown compressor") << QStringList{"--codec", "vp9"} << 64 << 2 << "no compressor named \"vp9\"; there are: h264";
        QTest::newRow("quality without a compressor") << QStringList{"--quality", "50"} << 64 << 2 << "--quality needs --codec";
        // The encoder's own cause follows the frame size.
        QTest::newRow("odd size for H.264") << QStringList{"--codec", "h264"} << 65 << 1
                                            << "cannot take frames of 65 × 48 pixels: width not divisible by 2";
        QTest::newRow("odd size for Cinepak") << QStringList{"--codec", "cinepak"} << 65 << 1
                                              << "cannot take frames of 65 × 48 pixels: width and height must be multiples of four";
    }

    void failuresAreStatedAndLeaveTheFileWhole()
    {
        QFETCH(QStringList, options);
        QFETCH(int, width);
        QFETCH(int, status);
        QFETCH(QString, message);
        const QString path = MakeScreenRecording(dir_.path(), QStringLiteral("fail-%1.avi").arg(QTest::currentDataTag()), width, 48, 3);
        const QByteArray before = avitest::fileBytes(path);
        const Run run = quolvactl(QStringList{"publish", path, "--avi"} + options);
        QCOMPARE(run.status, status);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
        QCOMPARE(avitest::probeStreams(path).size(), 1);
        verifyClean(path);
        QCOMPARE(avitest::fileBytes(path).size(), before.size());
    }

    // A recording with sound has a time base whose terms pass MPEG-4 part 2's limit of 65535 (110250/220529
    // here): the stream keeps the exact rate, the encoder works with the nearest one it can take.
    void mpeg4TakesTheTimeBaseOfARecordingWithSound()
    {
        const int frames = 10;
        const std::int32_t soundLength = 220529; // sample frames of 16-bit mono sound at 11025 Hz: 20 s
        const QString path = MakeScreenRecording(dir_.path(), "mpeg4-sound.avi", 64, 48, frames, 2 * soundLength);
        const publish::VideoTimeBase exact = publish::ExactVideoTimeBase(frames, soundLength, 11025);
        QVERIFY2(exact.rate > 65535 && exact.scale > 65535, "the recording's time base passes the encoder's limit");

        const Run run = quolvactl({"publish", path, "--avi", "--codec", "mpeg4"});
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QCOMPARE(videoStream(path).value("codec_name").toString(), QStringLiteral("mpeg4"));
        QCOMPARE(videoStream(path).value("nb_read_packets").toString(), QString::number(frames));
        verifyClean(path);
        const avitest::ToolRun decode = avitest::runTool("ffmpeg", {"-v", "error", "-i", path, "-map", "0:v", "-f", "null", "-"});
        QVERIFY2(decode.exitCode == 0 && decode.err.isEmpty(), decode.err.constData());

        store::PAVIFILE file;
        QCOMPARE(store::AVIFileOpen(&file, QFile::encodeName(path).toStdString(), store::OF_READ), store::AVIERR_OK);
        store::PAVISTREAM video;
        QCOMPARE(store::AVIFileGetStream(file, &video, store::streamtypeVIDEO, 0), store::AVIERR_OK);
        store::AVISTREAMINFOA info{};
        QCOMPARE(store::AVIStreamInfo(video, &info, sizeof info), store::AVIERR_OK);
        QCOMPARE(info.dwRate, exact.rate);
        QCOMPARE(info.dwScale, exact.scale);
        store::AVIStreamRelease(video);
        store::AVIFileRelease(file);
    }

    void aMissingRecordingFails()
    {
        const Run run = quolvactl({"publish", dir_.filePath("none.avi"), "--avi"});
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains(QStringLiteral("none.avi")), qPrintable(run.err));
    }

    // A frame that cannot be decoded: status 1 naming it, and a valid file holding the frames before it.
    void aDamagedFrameFailsWithAValidFile()
    {
        const QString path = MakeScreenRecording(dir_.path(), "damaged.avi", 64, 48, 8);
        DamageRecord(path + ".xxx", 3, Damage::Undecodable);
        const Run run = quolvactl({"publish", path, "--avi", "--codec", "mpeg4"});
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains(QStringLiteral("第 4 帧")), qPrintable(run.err));
        verifyClean(path);
        QCOMPARE(videoStream(path).value("nb_read_packets").toString(), QStringLiteral("3"));
    }

    // The quality reaches the compressor: a better quality makes larger frames.
    void theQualityReachesTheCompressor()
    {
        qint64 sizes[2] = {};
        const int qualities[2] = {10, 95};
        for (int i = 0; i < 2; ++i) {
            const QString path = MakeScreenRecording(dir_.path(), QStringLiteral("quality%1.avi").arg(qualities[i]), 160, 120, 4);
            const qint64 before = QFileInfo(path).size();
            const Run run = quolvactl({"publish", path, "--avi", "--codec", "mjpeg", "--quality", QString::number(qualities[i])});
            QVERIFY2(run.status == 0, qPrintable(run.err));
            sizes[i] = QFileInfo(path).size() - before;
        }
        QVERIFY2(sizes[1] > 2 * sizes[0], qPrintable(QStringLiteral("%1 and %2 bytes").arg(sizes[0]).arg(sizes[1])));
    }

    void withoutSoundTheFramesKeepTheCapturePace()
    {
        RecordingRecipe recipe;
        recipe.frames = 5;
        recipe.withSoundStream = false;
        const QString path = MakeRecording(dir_.path(), "silent.avi", recipe);
        const Run run = quolvactl({"publish", path, "--avi"});
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QVERIFY2(run.out.contains(QStringLiteral("time base: 10/1 frames per second")), qPrintable(run.out));
        QCOMPARE(videoStream(path).value("duration").toString().toDouble(), 0.5);
    }
};

QTEST_MAIN(QuolvactlPublishTest)
#include "test_quolvactl_publish.moc"

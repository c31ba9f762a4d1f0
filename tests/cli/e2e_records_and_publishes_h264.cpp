// A user records a region with quolvactl (real screen, real sound server) and publishes it with
// `quolvactl publish REC.avi --avi --codec h264`: ffprobe then reads one PCM stream and one H.264 stream
// whose durations differ by at most one frame period, and ffmpeg decodes every frame without a complaint.
#include "Rig.h"
#include "../store/test_avi_support.h"
#include "store/AviFileServices.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace quolva;

namespace {

struct Run {
    int status = -1;
    QString output;
};

Run quolvactl(const QStringList& arguments, int timeoutMs)
{
    Run run;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QDir(qEnvironmentVariable("QUOLVA_BIN_DIR")).filePath(QStringLiteral("quolvactl")), arguments);
    if (!process.waitForStarted(10000) || !process.waitForFinished(timeoutMs)) {
        run.output = QStringLiteral("quolvactl could not be run: ") + process.errorString();
        process.kill();
        return run;
    }
    run.output = QString::fromUtf8(process.readAll());
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return run;
}

} // namespace

class RecordsAndPublishesTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QUOLVA_REQUIRE_DISPLAY();
        QUOLVA_REQUIRE_SOUND_SERVER();
        QVERIFY2(!qEnvironmentVariable("QUOLVA_BIN_DIR").isEmpty(), "QUOLVA_BIN_DIR is not set: run through ctest");
    }

    void recordsARegionAndPublishesItAsH264()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("movie.avi"));
        const Run recorded = quolvactl({"record", path, "--seconds", "3", "--region", "320x240+40+40"}, 60000);
        QVERIFY2(recorded.status == 0, qPrintable(recorded.output));

        const Run published = quolvactl({"publish", path, "--avi", "--codec", "h264"}, 120000);
        QVERIFY2(published.status == 0, qPrintable(published.output));

        const QJsonArray streams = avitest::probeStreams(path);
        QCOMPARE(streams.size(), 2);
        const QJsonObject audio = streams[0].toObject();
        const QJsonObject video = streams[1].toObject();
        QCOMPARE(audio.value("codec_name").toString(), QStringLiteral("pcm_s16le"));
        QCOMPARE(video.value("codec_name").toString(), QStringLiteral("h264"));
        QCOMPARE(video.value("width").toInt(), 320);
        QCOMPARE(video.value("height").toInt(), 240);
        const int frames = video.value("nb_read_packets").toString().toInt();
        QVERIFY2(frames >= 20, qPrintable(QString::number(frames)));

        // The frame period as the file states it, and the two durations.
        store::PAVIFILE file;
        QCOMPARE(store::AVIFileOpen(&file, QFile::encodeName(path).toStdString(), store::OF_READ), store::AVIERR_OK);
        store::PAVISTREAM stream;
        QCOMPARE(store::AVIFileGetStream(file, &stream, store::streamtypeVIDEO, 0), store::AVIERR_OK);
        const store::AVISTREAMINFOA info = stream->info();
        store::AVIStreamRelease(stream);
        store::AVIFileRelease(file);
        const double period = double(info.dwScale) / info.dwRate;
        const double videoSeconds = video.value("duration").toString().toDouble();
        QVERIFY(std::fabs(videoSeconds - frames * period) < 1e-3);
        const QByteArray sound = avitest::ffmpegSound(path);
        const double soundSeconds = sound.size() / 2.0 / audio.value("channels").toInt() /
                                    audio.value("sample_rate").toString().toDouble();
        QVERIFY2(std::fabs(videoSeconds - soundSeconds) <= period + 1e-9,
                 qPrintable(QStringLiteral("video %1 s, sound %2 s, frame period %3 s").arg(videoSeconds).arg(soundSeconds).arg(period)));

        // Every frame decodes, without a word from the decoder.
        const avitest::ToolRun decoded = avitest::runTool(
            "ffmpeg", {"-v", "error", "-i", path, "-map", "0:v:0", "-f", "rawvideo", "-pix_fmt", "bgr24", "-"});
        QCOMPARE(decoded.exitCode, 0);
        QVERIFY2(decoded.err.isEmpty(), decoded.err.constData());
        QCOMPARE(decoded.out.size(), qsizetype(320 * 240 * 3) * frames);
    }
};

QTEST_MAIN(RecordsAndPublishesTest)
#include "e2e_records_and_publishes_h264.moc"

// The demonstration that the README's run command shows on a machine without a display, run whole on
// the rig: it ends well, and its four files hold what it says, for ffprobe and ffmpeg as well as for us.
#include "Rig.h"
#include "SoundAnalysis.h"

#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString quolvactl()
{
    return QDir(qEnvironmentVariable("QUOLVA_BIN_DIR")).filePath(QStringLiteral("quolvactl"));
}

struct Run {
    int status = -1;
    QString out;
};

Run run(const QString& program, const QStringList& arguments, int seconds = 180)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    process.waitForFinished(seconds * 1000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAll())};
}

// codec name and packet count of each stream, in file order.
QList<QPair<QString, int>> streamsOf(const QString& path)
{
    const Run probe = run(QStringLiteral("ffprobe"), {"-v", "error", "-count_packets", "-show_entries",
                                                      "stream=codec_name,nb_read_packets", "-of", "json", path});
    QList<QPair<QString, int>> streams;
    for (const QJsonValue stream : QJsonDocument::fromJson(probe.out.toUtf8()).object().value("streams").toArray())
        streams.append({stream.toObject().value("codec_name").toString(),
                        stream.toObject().value("nb_read_packets").toString().toInt()});
    return streams;
}

std::vector<double> soundOf(const QString& path)
{
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), {"-v", "error", "-i", path, "-map", "0:a:0", "-f", "s16le", "-ac", "1", "-ar",
                                            "11025", "-"});
    ffmpeg.waitForFinished(60000);
    return soundtest::samples16(ffmpeg.readAllStandardOutput());
}

// White rows in the caption's column: the rising caption is a white box at the left of the frame (only
// its top rows show in the first frames of the run, as it comes up from the bottom edge).
int whiteRowsAtLeft(const QImage& frame)
{
    int rows = 0;
    for (int y = 0; y < frame.height(); ++y) {
        const QRgb pixel = frame.pixel(60, y);
        rows += qRed(pixel) > 220 && qGreen(pixel) > 220 && qBlue(pixel) > 220 ? 1 : 0;
    }
    return rows;
}

} // namespace

class DemoEndToEnd : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void initTestCase()
    {
        QUOLVA_REQUIRE_DISPLAY();
        QUOLVA_REQUIRE_SOUND_SERVER();
    }

    void recordsEditsAndPublishes()
    {
        const QString folder = dir.filePath(QStringLiteral("demo"));
        const Run demo = run(quolvactl(), {QStringLiteral("demo"), folder});
        QVERIFY2(demo.status == 0, qPrintable(demo.out));
        for (const char* name : {"recording.avi", "recording.avi.xxx", "published.avi", "published.swf", "published.mp4"})
            QVERIFY2(demo.out.contains(QDir(folder).filePath(QString::fromLatin1(name))), name);
        QVERIFY(!QFile::exists(QDir(folder).filePath(QStringLiteral("published.avi.xxx"))));

        // The recording: whole, about 5 s of frames, the caption in a run of frames in the middle.
        const QString recording = QDir(folder).filePath(QStringLiteral("recording.avi"));
        const Run check = run(quolvactl(), {QStringLiteral("check"), recording});
        QVERIFY2(check.status == 0, qPrintable(check.out));
        const QString frames = dir.filePath(QStringLiteral("frames"));
        QCOMPARE(run(quolvactl(), {QStringLiteral("frames"), recording, frames}).status, 0);
        const QStringList jpegs = QDir(frames).entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name);
        QVERIFY2(jpegs.size() >= 45 && jpegs.size() <= 52, qPrintable(QString::number(jpegs.size())));
        QList<int> captioned;
        for (int k = 0; k < jpegs.size(); ++k)
            if (whiteRowsAtLeft(QImage(QDir(frames).filePath(jpegs[k]))) >= 2)
                captioned << k + 1;
        QVERIFY2(!captioned.isEmpty() && captioned.first() == 10 && captioned.last() == 39,
                 qPrintable(QStringLiteral("captioned frames: %1 to %2").arg(captioned.value(0)).arg(captioned.value(captioned.size() - 1))));

        // The AVI movie: the sound first, then the H.264 pictures, one per recorded frame; the tone.
        const QString avi = QDir(folder).filePath(QStringLiteral("published.avi"));
        const auto aviStreams = streamsOf(avi);
        QCOMPARE(aviStreams.size(), 2);
        QCOMPARE(aviStreams[0].first, QStringLiteral("pcm_s16le"));
        QCOMPARE(aviStreams[1], qMakePair(QStringLiteral("h264"), int(jpegs.size())));
        // The SWF movie: one picture fewer, and the sound.
        const QString swf = QDir(folder).filePath(QStringLiteral("published.swf"));
        const auto swfStreams = streamsOf(swf);
        QCOMPARE(swfStreams.size(), 2);
        // The MP4: H.264 pictures, one per recorded frame, and AAC sound.
        const QString mp4 = QDir(folder).filePath(QStringLiteral("published.mp4"));
        const auto mp4Streams = streamsOf(mp4);
        QCOMPARE(mp4Streams.size(), 2);
        QCOMPARE(mp4Streams[0], qMakePair(QStringLiteral("h264"), int(jpegs.size())));
        QCOMPARE(mp4Streams[1].first, QStringLiteral("aac"));
        for (const QString& movie : {avi, swf, mp4}) {
            const std::vector<double> sound = soundOf(movie);
            QVERIFY2(sound.size() > 4.5 * 11025, qPrintable(movie));
            const double hz = soundtest::dominantFrequency(sound, 11025);
            QVERIFY2(std::abs(hz - 440) < 5, qPrintable(QStringLiteral("%1: %2 Hz").arg(movie).arg(hz)));
        }
        QVERIFY(demo.out.contains(QStringLiteral("swf frame count: %1").arg(jpegs.size() - 1)));

        // A second run into the same folder would overwrite the files: refused.
        const Run again = run(quolvactl(), {QStringLiteral("demo"), folder});
        QCOMPARE(again.status, 1);
        QVERIFY2(again.out.contains(QStringLiteral("already holds")), qPrintable(again.out));
    }
};

QTEST_MAIN(DemoEndToEnd)
#include "e2e_demo_records_edits_and_publishes.moc"

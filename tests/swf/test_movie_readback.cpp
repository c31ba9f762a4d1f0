// Whole movies read back by independent readers: ffprobe/ffmpeg decode every bitmap and the stream
// sound, and swfparser (python3-yaswfp) walks every tag and decodes the shapes.

#include "SwfTestSupport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace swftest;

namespace {

struct ToolRun {
    bool started = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

ToolRun runTool(const QString& program, const QStringList& arguments)
{
    ToolRun run;
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(10000))
        return run;
    run.started = true;
    process.waitForFinished(120000);
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

QByteArray concatenatedPictures(int width, int height, int frames)
{
    QByteArray all;
    for (int frame = 0; frame < frames; ++frame) {
        const std::vector<unsigned char> pixels = testPicture(width, height, frame);
        all.append(reinterpret_cast<const char*>(pixels.data()), static_cast<qsizetype>(pixels.size()));
    }
    return all;
}

} // namespace

class TestMovieReadback : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString writeMovie(const QString& name, const WrittenMovie& movie)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(movie.file) != movie.file.size())
            return QString();
        return path;
    }

    // ffmpeg's decoding of one stream of the movie as raw bytes.
    QByteArray decoded(const QString& path, const QStringList& outputOptions)
    {
        const QString output = path + QLatin1String(".raw");
        QStringList arguments{"-hide_banner", "-loglevel", "error", "-y", "-i", path};
        arguments << outputOptions << output;
        const ToolRun run = runTool("ffmpeg", arguments);
        if (!run.started || run.exitCode != 0) {
            qWarning() << "ffmpeg failed:" << run.err;
            return QByteArray("ffmpeg failed");
        }
        QFile file(output);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("no output");
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        for (const char* tool : {"ffmpeg", "ffprobe", "swfparser"})
            QVERIFY2(runTool(tool, {"-h"}).started, tool);
    }

    void ffmpegDecodesEveryFrameAndTheSound()
    {
        const int width = 48, height = 32, frames = 6;
        const std::vector<unsigned char> tone = testTone(frames * samplesPerBlock);
        const QString path = writeMovie("tone.swf", writeTestMovie(width, height, frames, tone));
        QVERIFY(!path.isEmpty());

        const ToolRun probe = runTool("ffprobe", {"-v", "error", "-count_packets", "-show_entries",
                                                  "stream=codec_type,codec_name,pix_fmt,width,height,sample_rate,"
                                                  "channels,nb_read_packets",
                                                  "-of", "json", path});
        QVERIFY2(probe.started && probe.exitCode == 0, probe.err.constData());
        QJsonObject video, audio;
        for (const QJsonValue& stream : QJsonDocument::fromJson(probe.out).object().value("streams").toArray()) {
            if (stream.toObject().value("codec_type") == "video")
                video = stream.toObject();
            else if (stream.toObject().value("codec_type") == "audio")
                audio = stream.toObject();
        }
        QCOMPARE(video.value("codec_name").toString(), QStringLiteral("rawvideo"));
        QCOMPARE(video.value("pix_fmt").toString(), QStringLiteral("argb"));
        QCOMPARE(video.value("width").toInt(), width);
        QCOMPARE(video.value("height").toInt(), height);
        QCOMPARE(video.value("nb_read_packets").toString(), QString::number(frames));
        QCOMPARE(audio.value("codec_name").toString(), QStringLiteral("pcm_s16le"));
        QCOMPARE(audio.value("sample_rate").toString(), QStringLiteral("11025"));
        QCOMPARE(audio.value("channels").toInt(), 1);

        const QByteArray pixels = decoded(path, {"-map", "0:v", "-fps_mode", "passthrough", "-f", "rawvideo",
                                                 "-pix_fmt", "argb"});
        QCOMPARE(pixels.size(), qsizetype(width) * height * 4 * frames);
        QVERIFY(pixels == concatenatedPictures(width, height, frames));

        const QByteArray samples = decoded(path, {"-map", "0:a", "-f", "s16le", "-acodec", "pcm_s16le"});
        QCOMPARE(samples.size(), qsizetype(tone.size()));
        QVERIFY(samples == QByteArray(reinterpret_cast<const char*>(tone.data()), static_cast<qsizetype>(tone.size())));
    }

    void soundShorterThanTheFrames()
    {
        // Blocks after the end of the sound are empty; the readers take them as no samples.
        const std::vector<unsigned char> tone = testTone(2 * samplesPerBlock + 500);
        const QString path = writeMovie("short.swf", writeTestMovie(20, 10, 5, tone));
        QVERIFY(!path.isEmpty());
        const QByteArray samples = decoded(path, {"-map", "0:a", "-f", "s16le", "-acodec", "pcm_s16le"});
        QVERIFY(samples == QByteArray(reinterpret_cast<const char*>(tone.data()), static_cast<qsizetype>(tone.size())));
        QCOMPARE(decoded(path, {"-map", "0:v", "-fps_mode", "passthrough", "-f", "rawvideo", "-pix_fmt", "argb"}),
                 concatenatedPictures(20, 10, 5));
    }

    void swfparserReadsEveryTag()
    {
        const int width = 30, height = 20, frames = 4;
        const WrittenMovie movie = writeTestMovie(width, height, frames, testTone(frames * samplesPerBlock));
        const QString path = writeMovie("parsed.swf", movie);
        QVERIFY(!path.isEmpty());

        const ToolRun run = runTool("swfparser", {"-e", path});
        QVERIFY2(run.started && run.exitCode == 0, run.err.constData());
        QVERIFY2(!run.err.contains("Traceback") && !run.out.contains("Traceback"), run.err.constData());
        const QString text = QString::fromUtf8(run.out);
        QVERIFY(text.contains(QStringLiteral("Signature='FWS', Version=5, FileLength=%1,").arg(movie.file.size())));
        QVERIFY(text.contains(QStringLiteral("FrameRate=2048, FrameCount=%1)").arg(frames)));

        // The top-level tags, in the export's order (the listing stops before End).
        QStringList tags;
        for (const QString& line : text.split(QLatin1Char('\n')))
            if (!line.startsWith(QLatin1Char(' ')) && !line.startsWith("Header") && !line.startsWith("Tags count") &&
                !line.isEmpty())
                tags << line.section(QLatin1Char(' '), 0, 0).remove(QLatin1Char(':'));
        QStringList expected{"SetBackgroundColor", "SoundStreamHead2"};
        for (int frame = 0; frame < frames; ++frame) {
            expected << "DefineBitsLossless2" << "DefineShape3";
            if (frame > 0)
                expected << "RemoveObject2";
            expected << "PlaceObject2" << "ShowFrame" << "SoundStreamBlock";
        }
        QCOMPARE(tags, expected);

        // Each shape fills with its frame's bitmap and draws the rectangle one pixel short of the frame.
        QStringList bitmapIds, shapeIds, deltas;
        const QRegularExpression field(QStringLiteral("^\\s+(ShapeId|BitmapId|DeltaX|DeltaY): (-?\\d+)$"),
                                       QRegularExpression::MultilineOption);
        for (auto match = field.globalMatch(text); match.hasNext();) {
            const auto found = match.next();
            if (found.captured(1) == "BitmapId")
                bitmapIds << found.captured(2);
            else if (found.captured(1) == "ShapeId")
                shapeIds << found.captured(2);
            else if (found.captured(1).startsWith("Delta") && deltas.size() < 4)
                deltas << found.captured(1) + QLatin1Char('=') + found.captured(2);
        }
        QStringList expectedBitmaps, expectedShapes;
        for (int frame = 0; frame < frames; ++frame) {
            expectedBitmaps << QString::number(movie.bitmapIds[static_cast<std::size_t>(frame)]);
            expectedShapes << QString::number(movie.shapeIds[static_cast<std::size_t>(frame)]);
        }
        QCOMPARE(bitmapIds, expectedBitmaps);
        QCOMPARE(shapeIds, expectedShapes);
        QCOMPARE(deltas, (QStringList{"DeltaX=580", "DeltaY=380", "DeltaX=-580", "DeltaY=-380"}));
    }
};

QTEST_GUILESS_MAIN(TestMovieReadback)
#include "test_movie_readback.moc"

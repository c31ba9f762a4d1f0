// Movies of the SWF export read by programs that know nothing of ours: ffmpeg decodes every bitmap to
// the very pixels the frame store's frame decodes to and the sound stream to the very samples of the
// AVI file; Python's yaswfp (swfparser) walks every tag and decodes the header, the shapes and the
// display list.
#include "SwfExportSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace quolva;
using namespace quolva::test;

namespace {

// Standard output of a program, or a null array when it cannot run or fails (its error then in `error`).
QByteArray runProgram(const QString& program, const QStringList& arguments, QString* error)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(10000) || !process.waitForFinished(120000)) {
        *error = program + QStringLiteral(" did not run: ") + process.errorString();
        return {};
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        *error = program + QStringLiteral(" failed: ") + QString::fromLocal8Bit(process.readAllStandardError());
        return {};
    }
    return process.readAllStandardOutput();
}

// What swfparser makes of a movie, as JSON.
const char* kSwfParserSummary = R"PY(
import json, sys
from yaswfp import swfparser
swf = swfparser.parsefile(sys.argv[1])
summary = {"version": swf.header.Version, "fileLength": swf.header.FileLength,
           "frameSize": list(swf.header.FrameSize), "frameRate": swf.header.FrameRate,
           "frameCount": swf.header.FrameCount, "tags": [], "shapes": [], "placed": [], "removed": []}
for tag in swf.tags:
    summary["tags"].append(tag.name)
    if tag.name == "DefineShape3":
        edges = [[getattr(r, "DeltaX", 0), getattr(r, "DeltaY", 0)] for r in tag.Shapes.ShapeRecords
                 if r.name == "StraightEdgeRecord"]
        summary["shapes"].append({"id": tag.ShapeId, "xmax": tag.ShapeBounds[1], "ymax": tag.ShapeBounds[3],
                                  "fills": tag.Shapes.FillStyles.FillStyleCount, "edges": edges})
    elif tag.name == "PlaceObject2":
        summary["placed"].append([tag.Depth, tag.CharacterId])
    elif tag.name == "RemoveObject2":
        summary["removed"].append(tag.Depth)
print(json.dumps(summary))
)PY";

} // namespace

class SwfReadersTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void ffmpegDecodesPicturesAndSoundExactly_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("frames");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("channels");
        QTest::newRow("small, 11025 Hz 16-bit mono") << 96 << 64 << 7 << 11025 << 16 << 1;
        QTest::newRow("odd size, 22050 Hz 16-bit stereo") << 101 << 37 << 5 << 22050 << 16 << 2;
        QTest::newRow("1920 x 1080, 44100 Hz 16-bit stereo") << 1920 << 1080 << 3 << 44100 << 16 << 2;
    }
    void ffmpegDecodesPicturesAndSoundExactly()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, frames);
        QFETCH(int, rate);
        QFETCH(int, bits);
        QFETCH(int, channels);
        RecordingRecipe recipe{.frames = frames, .width = width, .height = height};
        const auto align = static_cast<store::WORD>(bits / 8 * channels);
        recipe.soundFormat.format = {store::WAVE_FORMAT_PCM, static_cast<store::WORD>(channels),
                                   static_cast<store::DWORD>(rate), static_cast<store::DWORD>(rate) * align, align,
                                   static_cast<store::WORD>(bits), 0};
        recipe.soundBytes = static_cast<std::int64_t>(rate) * align * frames / 10; // 10 frames a second
        const QString name = QStringLiteral("%1x%2").arg(width).arg(height);
        const QString rec = MakeRecording(dir.path(), name + QStringLiteral(".avi"), recipe);
        const QString movie = dir.filePath(name + QStringLiteral(".swf"));
        QVERIFY(!RunExport(rec, movie).refusal);

        QString error;
        const QByteArray pictures =
            runProgram(QStringLiteral("ffmpeg"), {"-hide_banner", "-loglevel", "error", "-i", movie, "-map", "0:v",
                                                  "-fps_mode", "passthrough", "-f", "rawvideo", "-pix_fmt", "bgra", "-"},
                       &error);
        QVERIFY2(!pictures.isNull(), qPrintable(error));
        const std::vector<QImage> decoded = DecodedFrames(rec);
        const qsizetype frameBytes = qsizetype{width} * height * 4;
        QCOMPARE(pictures.size(), frameBytes * (frames - 1));
        for (int k = 0; k < frames - 1; ++k) {
            // Format_RGB32 holds B, G, R, 255: the bytes ffmpeg gives as bgra.
            const QImage& frame = decoded[static_cast<std::size_t>(k)];
            QVERIFY2(pictures.mid(k * frameBytes, frameBytes) ==
                         QByteArray(reinterpret_cast<const char*>(frame.constBits()), frameBytes),
                     qPrintable(QStringLiteral("frame %1 differs").arg(k)));
        }

        const QByteArray sound = runProgram(QStringLiteral("ffmpeg"), {"-hide_banner", "-loglevel", "error", "-i", movie,
                                                                       "-map", "0:a", "-f", "s16le", "-"},
                                            &error);
        QVERIFY2(!sound.isNull(), qPrintable(error));
        const std::vector<std::uint8_t> track = FixtureSound(recipe);
        const qint64 L = recipe.soundBytes / align;
        const qint64 exported = (frames - 1) * L / frames; // up to the block of the last frame written
        QCOMPARE(sound.size(), qsizetype(exported * align));
        QVERIFY(sound == QByteArray(reinterpret_cast<const char*>(track.data()), sound.size()));
    }

    void swfparserReadsEveryTag()
    {
        const QString rec = MakeRecording(dir.path(), QStringLiteral("parsed.avi"), {.frames = 4, .width = 80, .height = 60});
        const QString movie = dir.filePath(QStringLiteral("parsed.swf"));
        const std::uint16_t firstId = NextCharacterId();
        QVERIFY(!RunExport(rec, movie).refusal);

        QString error;
        const QByteArray json =
            runProgram(QStringLiteral("/usr/bin/python3"), {"-c", QString::fromUtf8(kSwfParserSummary), movie}, &error);
        QVERIFY2(!json.isNull(), qPrintable(error));
        const QJsonObject summary = QJsonDocument::fromJson(json).object();
        QCOMPARE(summary["version"].toInt(), 5);
        QCOMPARE(summary["fileLength"].toInt(), int(QFileInfo(movie).size()));
        QCOMPARE(summary["frameSize"].toArray(), (QJsonArray{0, 81 * 20, 0, 61 * 20}));
        QCOMPARE(summary["frameCount"].toInt(), 3);
        // Four frames over 22050 bytes of 11025 Hz 16-bit sound: 4 × 11025 / 11025 = 4 frames a second.
        QCOMPARE(summary["frameRate"].toInt(), 4 << 8);
        QStringList tags;
        for (const QJsonValue& tag : summary["tags"].toArray())
            tags << tag.toString();
        const QStringList first{"DefineBitsLossless2", "DefineShape3", "PlaceObject2", "ShowFrame", "SoundStreamBlock"};
        const QStringList later{"DefineBitsLossless2", "DefineShape3", "RemoveObject2", "PlaceObject2", "ShowFrame",
                                "SoundStreamBlock"};
        QCOMPARE(tags, QStringList({"SetBackgroundColor", "SoundStreamHead2"}) + first + later + later);

        const QJsonArray shapes = summary["shapes"].toArray();
        QCOMPARE(shapes.size(), 3);
        for (int k = 0; k < 3; ++k) {
            const QJsonObject shape = shapes[k].toObject();
            QCOMPARE(shape["id"].toInt(), firstId + 2 * k + 1);
            QCOMPARE(shape["xmax"].toInt(), 79 * 20 + 100);
            QCOMPARE(shape["ymax"].toInt(), 59 * 20 + 100);
            QCOMPARE(shape["fills"].toInt(), 1);
            QCOMPARE(shape["edges"].toArray(), (QJsonArray{QJsonArray{1580, 0}, QJsonArray{0, 1180},
                                                           QJsonArray{-1580, 0}, QJsonArray{0, -1180}}));
            QCOMPARE(summary["placed"].toArray()[k].toArray(), (QJsonArray{300, firstId + 2 * k + 1}));
        }
        QCOMPARE(summary["removed"].toArray(), (QJsonArray{300, 300}));
    }
};

QTEST_GUILESS_MAIN(SwfReadersTest)
#include "test_swf_readers.moc"

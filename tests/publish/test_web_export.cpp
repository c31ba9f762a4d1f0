// The web export without a window, read back by ffprobe and ffmpeg: codecs, every frame's start at
// k·L/(N·R) (GIF delays in whole hundredths that never drift), the whole sound track of the chosen
// track (a dubbed track's tone), the frames' pictures; and a cancel, a full disk or an output that
// cannot be made leave nothing behind and give the recording back.
#include "PublishTestSupport.h"
#include "SoundAnalysis.h"
#include "editor/OpenRecording.h"
#include "publish/WebExport.h"
#include "store/AviFileServices.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

#include <sys/resource.h>

using namespace quolva;
using namespace quolva::test;
using namespace avitest;
using publish::WebFormat;
using publish::WebSettings;

namespace {

constexpr double kDubbedToneHz = 1000;

// Adds a dubbed track (a second audio stream of the recording's format) holding a tone, as dubbing does.
void addDubbedTrack(const QString& path, double hz)
{
    editor::OpenRecording recording;
    recording.Open(path);
    RecordingRecipe recipe;
    recipe.toneHz = hz;
    const std::vector<std::uint8_t> sound = FixtureSound(recipe);
    store::PAVISTREAM stream =
        recording.AddStream(recording.audioStreamInfo, &recording.audioFormat, sizeof recording.audioFormat);
    const auto n = static_cast<store::LONG>(sound.size());
    QCOMPARE(store::AVIStreamWrite(stream, 0, n, sound.data(), n, 0, nullptr, nullptr), store::AVIERR_OK);
    recording.Close();
}

// Start times of the video packets, in order of presentation.
std::vector<double> videoStarts(const QString& path)
{
    const ToolRun run = runTool("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries",
                                            "packet=pts_time", "-of", "csv=p=0", path});
    std::vector<double> starts;
    for (const QByteArray& line : run.out.split('\n'))
        if (!line.trimmed().isEmpty())
            starts.push_back(line.trimmed().toDouble());
    std::sort(starts.begin(), starts.end());
    return starts;
}

QString codecOf(const QJsonArray& streams, const QString& type)
{
    for (const QJsonValue& stream : streams)
        if (stream.toObject().value("codec_type").toString() == type)
            return stream.toObject().value("codec_name").toString();
    return {};
}

QStringList filesIn(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

class WebExportTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    // Each format and track choice on an 11-frame screen-like recording of odd size over 1 s of a 440 Hz tone (the
    // dubbed track: 1000 Hz), and without sound at the capture's 10 frames a second.
    void writesAMovieTimedByTheRecording_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("track");
        QTest::addColumn<bool>("withSound");
        QTest::addColumn<QString>("videoCodec");
        QTest::addColumn<QString>("audioCodec");
        QTest::addColumn<double>("toneHz");
        QTest::addColumn<double>("tolerance"); // the container's resolution of time
        QTest::newRow("mp4") << int(WebFormat::Mp4) << 0 << true << "h264" << "aac" << 440.0 << 1e-4;
        QTest::newRow("webm") << int(WebFormat::WebM) << 0 << true << "vp9" << "opus" << 440.0 << 1e-3;
        QTest::newRow("gif") << int(WebFormat::Gif) << 0 << true << "gif" << "" << 0.0 << 0.0;
        QTest::newRow("mp4, dubbed track 1") << int(WebFormat::Mp4) << 1 << true << "h264" << "aac" << kDubbedToneHz << 1e-4;
        QTest::newRow("webm, dubbed track 1") << int(WebFormat::WebM) << 1 << true << "vp9" << "opus" << kDubbedToneHz << 1e-3;
        QTest::newRow("webm, no sound chosen") << int(WebFormat::WebM) << WebSettings::kNoSound << true << "vp9" << "" << 0.0 << 1e-3;
        QTest::newRow("mp4, recording without sound") << int(WebFormat::Mp4) << 0 << false << "h264" << "" << 0.0 << 1e-4;
        QTest::newRow("gif, recording without sound") << int(WebFormat::Gif) << 0 << false << "gif" << "" << 0.0 << 0.0;
    }
    void writesAMovieTimedByTheRecording()
    {
        QFETCH(int, format);
        QFETCH(int, track);
        QFETCH(bool, withSound);
        QFETCH(QString, videoCodec);
        QFETCH(QString, audioCodec);
        QFETCH(double, toneHz);
        QFETCH(double, tolerance);
        const int frames = 11, width = 161, height = 121;
        const QString name = QStringLiteral("rec%1.avi").arg(QTest::currentDataTag()).replace(' ', '-').remove(',');
        const QString rec = MakeRecording(dir_.path(), name,
                                          {.frames = frames, .width = width, .height = height, .withSoundStream = withSound,
                                           .picture = ScreenLikePicture});
        if (track > 0)
            addDubbedTrack(rec, kDubbedToneHz);
        const auto webFormat = static_cast<WebFormat>(format);
        const QString movie = rec + "." + publish::WebFormatExtension(webFormat);

        editor::OpenRecording recording;
        recording.Open(rec);
        const std::int64_t cursor = recording.Cursor();
        publish::WebExport web(recording, {.format = webFormat, .track = track});
        std::int64_t lastDone = 0, steps = 0;
        web.Run(movie, [&](std::int64_t done, std::int64_t total) {
            QVERIFY(done == total || recording.IsHeldBy(publish::WebExport::kActivity));
            QVERIFY(done >= lastDone && done <= total);
            lastDone = done;
            ++steps;
        });
        QVERIFY(!recording.IsHeld());
        QCOMPARE(recording.Cursor(), cursor); // the browser's place is not moved
        QCOMPARE(lastDone, web.Total());
        recording.Close();
        QCOMPARE(filesIn(dir_.path()).filter(".part"), QStringList());

        const QJsonArray streams = probeStreams(movie);
        QCOMPARE(codecOf(streams, "video"), videoCodec);
        QCOMPARE(codecOf(streams, "audio"), audioCodec);

        // Frame k starts at k·L/(N·R): 1 s of sound over 11 frames; 10 a second without sound.
        const double period = withSound ? 1.0 / frames : 0.1;
        const std::vector<double> starts = videoStarts(movie);
        QCOMPARE(int(starts.size()), frames);
        for (int k = 0; k < frames; ++k) {
            const double expected = webFormat == WebFormat::Gif
                                        ? std::round(100 * k * period) / 100 // whole hundredths, never drifting
                                        : k * period;
            QVERIFY2(std::abs(starts[k] - expected) <= tolerance + 1e-6,
                     qPrintable(QStringLiteral("frame %1 starts at %2, not %3").arg(k).arg(starts[k]).arg(expected)));
        }

        // The whole chosen track, its own tone.
        if (!audioCodec.isEmpty()) {
            const QByteArray pcm = ffmpegSound(movie);
            const std::vector<double> samples = soundtest::samples16(pcm);
            const double seconds = samples.size() / 48000.0;
            QVERIFY2(std::abs(seconds - 1.0) <= 0.025, qPrintable(QString::number(seconds)));
            QVERIFY2(std::abs(soundtest::dominantFrequency(samples, 48000) - toneHz) < 5, qPrintable(movie));
        }

        // The pictures are the store's (padded to even sides for H.264, within lossy coding's distance).
        const QByteArray store = StoreFramesBgr(rec);
        QByteArray decoded = ffmpegFrames(movie);
        if (webFormat == WebFormat::Mp4) {
            QByteArray cut;
            const int paddedWidth = (width + 1) / 2 * 2, paddedHeight = (height + 1) / 2 * 2;
            for (int k = 0; k < frames; ++k)
                for (int y = 0; y < height; ++y)
                    cut.append(decoded.mid((qsizetype(k) * paddedHeight + y) * paddedWidth * 3, width * 3));
            decoded = cut;
        }
        QCOMPARE(decoded.size(), store.size());
        const double psnr = Psnr(decoded.constData(), store.constData(), store.size());
        QVERIFY2(psnr >= 30, qPrintable(QString::number(psnr)));
    }

    // GIF delays are whole hundredths: frame k starts at round(100·k·L/(N·R)), however long the movie.
    void gifStartsNeverDrift_data()
    {
        QTest::addColumn<int>("frames");
        QTest::addColumn<int>("soundLength");
        QTest::addColumn<int>("soundRate");
        QTest::addColumn<qint64>("k");
        QTest::addColumn<qint64>("hundredths");
        QTest::newRow("11 frames over 1 s, frame 6") << 11 << 11025 << 11025 << qint64(6) << qint64(55);
        QTest::newRow("30 frames over 3.0057 s, frame 29") << 30 << 33138 << 11025 << qint64(29) << qint64(291);
        QTest::newRow("no sound: 10 a second") << 5 << 0 << 0 << qint64(4) << qint64(40);
        QTest::newRow("an hour at 7 a second, last frame") << 25200 << 158760000 << 44100 << qint64(25199) << qint64(359986);
    }
    void gifStartsNeverDrift()
    {
        QFETCH(int, frames);
        QFETCH(int, soundLength);
        QFETCH(int, soundRate);
        QFETCH(qint64, k);
        QFETCH(qint64, hundredths);
        QCOMPARE(publish::WebExport::GifStart(k, publish::ExactVideoTimeBase(frames, soundLength, soundRate)), hundredths);
    }

    // A cancel, a full disk, a missing folder and a place no file can be made leave no output and no part
    // file, say why, and give the recording back.
    void leavesNothingBehindOnFailure_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("message");
        QTest::newRow("cancel mp4") << "cancel" << int(WebFormat::Mp4) << "";
        QTest::newRow("cancel gif") << "cancel" << int(WebFormat::Gif) << "";
        QTest::newRow("full disk mp4") << "full" << int(WebFormat::Mp4) << "File too large";
        QTest::newRow("full disk webm") << "full" << int(WebFormat::WebM) << "File too large";
        QTest::newRow("full disk gif") << "full" << int(WebFormat::Gif) << "File too large";
        QTest::newRow("missing folder") << "missing" << int(WebFormat::Mp4) << "无法创建文件";
        QTest::newRow("unwritable place") << "unwritable" << int(WebFormat::WebM) << "无法创建文件";
    }
    void leavesNothingBehindOnFailure()
    {
        QFETCH(QString, how);
        QFETCH(int, format);
        QFETCH(QString, message);
        QTemporaryDir out;
        const QString rec = MakeScreenRecording(dir_.path(), QStringLiteral("fail-%1.avi").arg(how), 320, 240, 20);
        const auto webFormat = static_cast<WebFormat>(format);
        const QString movie = how == "missing"      ? out.filePath("no/such/folder/movie")
                              : how == "unwritable" ? QStringLiteral("/proc/quolva-web-export-test.webm")
                                                    : out.filePath("movie." + publish::WebFormatExtension(webFormat));
        editor::OpenRecording recording;
        recording.Open(rec);
        publish::WebExport web(recording, {.format = webFormat});
        QString failure;
        rlimit saved{};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        auto* const formerHandler = std::signal(SIGXFSZ, SIG_IGN);
        try {
            web.Start(movie);
            if (how == "cancel") {
                for (int i = 0; i < 10; ++i)
                    QVERIFY(web.Step());
                QVERIFY(!filesIn(out.path()).isEmpty()); // the part file, while it runs
                web.Cancel();
            } else {
                // Writes beyond 2000 bytes fail, as on a full disk (EFBIG rather than ENOSPC).
                rlimit limited = saved;
                limited.rlim_cur = 2000;
                ::setrlimit(RLIMIT_FSIZE, &limited);
                while (web.Step()) {
                }
            }
        } catch (const publish::PublishError& error) {
            failure = QString::fromStdString(error.what());
        }
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, formerHandler);
        QVERIFY(!web.Running());
        QVERIFY(!recording.IsHeld());
        QCOMPARE(filesIn(out.path()), QStringList());
        QVERIFY(!QFile::exists(movie));
        if (message.isEmpty()) {
            QVERIFY2(failure.isEmpty(), qPrintable(failure));
        } else {
            QVERIFY2(failure.contains(message) && failure.contains(movie), qPrintable(failure));
        }
        recording.Close();
    }
};

QTEST_GUILESS_MAIN(WebExportTest)
#include "test_web_export.moc"

// The web export's movies in real players. In Debian's Chromium (driven by playwright-core, everything
// served from 127.0.0.1): an MP4 and a WebM load in a <video>, play to their end with their sound decoded,
// last as long as the recording within one frame period, and show at a few times the store's frame for
// that time (PSNR ≥ 30 dB); a GIF shows in an <img> with its frames and delays as computed. GStreamer's
// discoverer reads each file's codecs and length.
#include "PublishTestSupport.h"
#include "editor/OpenRecording.h"
#include "publish/WebExport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace quolva;
using namespace quolva::test;
using publish::WebFormat;

namespace {

constexpr int kFrames = 20;
constexpr int kWidth = 321, kHeight = 241; // odd: the MP4 is padded, never scaled

// Runs web.mjs on a movie; a browser or player that cannot be brought up fails the test with its words.
QJsonObject showInChromium(const QString& movie, const QString& outDir, const QStringList& times, QString& failure)
{
    const QString playerDir = qEnvironmentVariable("QUOLVA_PLAYER_DIR");
    if (playerDir.isEmpty()) {
        failure = QStringLiteral("QUOLVA_PLAYER_DIR is not set: run the test through ctest");
        return {};
    }
    QProcess node;
    node.start(QStringLiteral("node"), {playerDir + QStringLiteral("/web.mjs"), movie, outDir, QStringLiteral("--at"),
                                        times.join(',')});
    if (!node.waitForStarted(10000) || !node.waitForFinished(180000)) {
        failure = QStringLiteral("node did not run: ") + node.errorString();
        return {};
    }
    if (node.exitStatus() != QProcess::NormalExit || node.exitCode() != 0) {
        failure = QStringLiteral("the browser failed: ") + QString::fromLocal8Bit(node.readAllStandardError());
        return {};
    }
    return QJsonDocument::fromJson(node.readAllStandardOutput()).object();
}

QString discover(const QString& movie)
{
    const avitest::ToolRun run = avitest::runTool(QStringLiteral("gst-discoverer-1.0"), {movie});
    return QString::fromUtf8(run.out + run.err);
}

} // namespace

class WebMoviesPlayInChromiumTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void moviesPlayAsRecorded_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("videoName"); // as GStreamer's discoverer names the codecs
        QTest::addColumn<QString>("audioName");
        QTest::newRow("mp4") << int(WebFormat::Mp4) << "H.264" << "MPEG-4 AAC";
        QTest::newRow("webm") << int(WebFormat::WebM) << "VP9" << "Opus";
        QTest::newRow("gif") << int(WebFormat::Gif) << "GIF" << "";
    }
    void moviesPlayAsRecorded()
    {
        QFETCH(int, format);
        QFETCH(QString, videoName);
        QFETCH(QString, audioName);
        const auto webFormat = static_cast<WebFormat>(format);
        // 20 screen-like frames over 1 s of a 440 Hz tone: a frame period of 50 ms.
        const QString rec = MakeRecording(dir_.path(), QStringLiteral("scene-%1.avi").arg(format),
                                          {.frames = kFrames, .width = kWidth, .height = kHeight, .picture = ScreenLikePicture});
        const QString movie = rec + "." + publish::WebFormatExtension(webFormat);
        publish::VideoTimeBase timeBase;
        {
            editor::OpenRecording recording;
            recording.Open(rec);
            publish::WebExport web(recording, {.format = webFormat});
            web.Run(movie);
            timeBase = web.TimeBase();
        }
        const double period = double(timeBase.scale) / timeBase.rate;
        QCOMPARE(period, 0.05);

        QTemporaryDir out;
        const QList<int> shown{2, 7, 19};
        QStringList times;
        for (int k : shown)
            times << QString::number((k + 0.5) * period);
        QString failure;
        const QJsonObject report = showInChromium(movie, out.path(), times, failure);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QVERIFY2(report["refused"].toArray().isEmpty() && report["errors"].toArray().isEmpty(),
                 qPrintable(QJsonDocument(report).toJson()));

        if (webFormat == WebFormat::Gif) {
            QCOMPARE(report["width"].toInt(), kWidth);
            QCOMPARE(report["frameCount"].toInt(), kFrames);
            const QJsonArray durations = report["durations"].toArray();
            for (int k = 0; k + 1 < kFrames; ++k) // the last frame keeps the delay before it
                QCOMPARE(durations[k].toInteger(),
                         10000 * (publish::WebExport::GifStart(k + 1, timeBase) - publish::WebExport::GifStart(k, timeBase)));
        } else {
            QCOMPARE(report["canPlay"].toString(), QStringLiteral("probably"));
            QVERIFY(report["ended"].toBool());
            QVERIFY2(report["audioBytes"].toInt() > 0, "the sound was not decoded");
            QVERIFY2(std::abs(report["duration"].toDouble() - kFrames * period) <= period,
                     qPrintable(QString::number(report["duration"].toDouble())));
            // The picture at each time is the store's frame for it (the MP4's padding cut off).
            const QByteArray store = StoreFramesBgr(rec);
            const int shownWidth = report["width"].toInt(), shownHeight = report["height"].toInt();
            QCOMPARE(shownWidth, webFormat == WebFormat::Mp4 ? kWidth + 1 : kWidth);
            QCOMPARE(shownHeight, webFormat == WebFormat::Mp4 ? kHeight + 1 : kHeight);
            for (int i = 0; i < shown.size(); ++i) {
                // The frame on screen at that time, as the browser presented it (a frame it dropped
                // leaves the one before), is the store's frame for its media time.
                const QJsonObject picture = report["pictures"].toArray()[i].toObject();
                QVERIFY2(!picture["mediaTime"].isNull(), "no frame was presented before that time");
                const int k = int(std::lround(picture["mediaTime"].toDouble() / period));
                QVERIFY2(std::abs(picture["mediaTime"].toDouble() - k * period) < 0.002 && k <= shown[i] && k >= shown[i] - 1,
                         qPrintable(QStringLiteral("frame %1 presented at %2 s").arg(shown[i]).arg(picture["mediaTime"].toDouble())));
                const QByteArray rgba = avitest::fileBytes(picture["path"].toString());
                QCOMPARE(rgba.size(), qsizetype(shownWidth) * shownHeight * 4);
                QByteArray bgr;
                for (int y = 0; y < kHeight; ++y)
                    for (int x = 0; x < kWidth; ++x) {
                        const char* p = rgba.constData() + (qsizetype(y) * shownWidth + x) * 4;
                        bgr.append(p[2]).append(p[1]).append(p[0]);
                    }
                const qsizetype frameBytes = qsizetype(kWidth) * kHeight * 3;
                const double psnr = Psnr(bgr.constData(), store.constData() + k * frameBytes, frameBytes);
                QVERIFY2(psnr >= 30, qPrintable(QStringLiteral("frame %1: %2 dB").arg(k).arg(psnr)));
            }
        }

        // GStreamer reads it too: its codecs and a length of about 1 s.
        const QString discovered = discover(movie);
        QVERIFY2(discovered.contains(videoName), qPrintable(discovered));
        if (!audioName.isEmpty())
            QVERIFY2(discovered.contains(audioName), qPrintable(discovered));
        QVERIFY2(discovered.contains(QStringLiteral("Duration: 0:00:01.0")) ||
                     discovered.contains(QStringLiteral("Duration: 0:00:00.9")),
                 qPrintable(discovered));
    }
};

QTEST_GUILESS_MAIN(WebMoviesPlayInChromiumTest)
#include "e2e_web_movies_play_in_chromium.moc"

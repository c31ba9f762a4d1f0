// A user records tutorials with quolvactl: at 30 frames a second (the frames' pace followed by playback
// and by both exports without being told), with clicks shown as rings where they were made, with a
// shortcut shown as a caption for about 1.5 s, and with a typed password leaving no trace in any frame.
#include "Quolvactl.h"
#include "Rig.h"
#include "ScreenPictures.h"
#include "editor/OpenRecording.h"
#include "publish/AviExport.h"
#include "store/AviFileServices.h"

#include <QDir>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

using namespace quolva;

namespace {

const QRect kRegion(100, 100, 480, 360);
const QColor kBackground(200, 200, 200); // a light screen: the ring must show on it

// A still, light grey scene under the region.
class SceneWindow : public QWidget {
public:
    SceneWindow() : QWidget(nullptr, Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint) { setGeometry(kRegion); }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), kBackground); }
};

bool xdotool(const QStringList& arguments)
{
    return QProcess::execute(QStringLiteral("xdotool"), arguments) == 0;
}

// The value after `name: ` in quolvactl's output.
QString field(const QString& output, const QString& name)
{
    const QRegularExpression line(QStringLiteral("^%1: (.*)$").arg(QRegularExpression::escape(name)),
                                  QRegularExpression::MultilineOption);
    return line.match(output).captured(1).trimmed();
}

// Records the region with `options` while `act` runs (once the recording has started); returns the
// frames as quolvactl extracts them.
QList<QImage> recordWhile(const QString& target, const QStringList& options, int seconds, const std::function<void()>& act)
{
    QProcess recording;
    recording.start(QDir(qEnvironmentVariable("QUOLVA_BIN_DIR")).filePath(QStringLiteral("quolvactl")),
                    QStringList{"record", target, "--seconds", QString::number(seconds), "--region",
                                QStringLiteral("%1x%2+%3+%4").arg(kRegion.width()).arg(kRegion.height()).arg(kRegion.x()).arg(kRegion.y())}
                        + options);
    if (!recording.waitForStarted(10000))
        return {};
    while (!recording.readAllStandardOutput().contains("recording") && recording.waitForReadyRead(10000)) {}
    act();
    if (!recording.waitForFinished(60000) || recording.exitCode() != 0) {
        qWarning() << recording.readAllStandardError();
        return {};
    }
    const QString folder = target + QStringLiteral(".frames");
    QDir().mkpath(folder);
    if (test::RunQuolvactl({"frames", target, folder}).status != 0)
        return {};
    QList<QImage> frames;
    for (const QString& name : QDir(folder).entryList({"*.jpg"}, QDir::Files, QDir::Name))
        frames << QImage(QDir(folder).filePath(name)).convertToFormat(QImage::Format_RGB32);
    return frames;
}

// Strongly yellow pixels: the ring's, never the grey scene's, the arrow's or the caption's.
bool isRingPixel(QRgb p)
{
    return qRed(p) > 200 && qGreen(p) > 150 && qBlue(p) < 90;
}

// Ring pixels within 30 pixels of `at` (client coordinates), and elsewhere.
std::pair<int, int> ringPixels(const QImage& frame, const QList<QPoint>& places, QPoint at)
{
    int near = 0, elsewhere = 0;
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x) {
            if (!isRingPixel(frame.pixel(x, y)))
                continue;
            if ((QPoint(x, y) - at).manhattanLength() <= 42)
                ++near;
            else if (std::none_of(places.begin(), places.end(),
                                  [&](QPoint p) { return (QPoint(x, y) - p).manhattanLength() <= 42; }))
                ++elsewhere;
        }
    return {near, elsewhere};
}

double stripDifference(const QImage& a, const QImage& b)
{
    const int top = a.height() * 4 / 5;
    double total = 0;
    for (int y = top; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            total += std::abs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y)));
    return total / ((a.height() - top) * a.width());
}

} // namespace

class RecordsATutorial : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir;
    std::unique_ptr<SceneWindow> scene;

private slots:
    void initTestCase()
    {
        QUOLVA_REQUIRE_DISPLAY();
        QUOLVA_REQUIRE_SOUND_SERVER();
        QVERIFY2(!qEnvironmentVariable("QUOLVA_BIN_DIR").isEmpty(), "QUOLVA_BIN_DIR is not set: run through ctest");
        scene = std::make_unique<SceneWindow>();
        scene->show();
        QVERIFY(QTest::qWaitForWindowExposed(scene.get()));
        QTest::qWait(200);
    }

    void recordsAt30FramesASecondAndPlaysAndPublishesAtThatPace()
    {
        const QString target = dir.filePath(QStringLiteral("fast.avi"));
        const test::QuolvactlRun recorded = test::RunQuolvactl(
            {"record", target, "--seconds", "3", "--region", "320x240+100+100", "--fps", "30"});
        QVERIFY2(recorded.status == 0, qPrintable(recorded.err));
        const test::QuolvactlRun info = test::RunQuolvactl({"info", target});
        const int frames = field(info.out, "frame records").toInt();
        QVERIFY2(frames >= 87 && frames <= 93, qPrintable(info.out));
        const std::int32_t soundLength = field(info.out, "stream 0 length").toInt() / 2; // 16-bit mono samples
        const std::int32_t soundRate = field(info.out, "stream 0 rate").toInt();
        QVERIFY(soundLength > 0 && soundRate == 11025);

        // Playback: one frame lasts the sound's length shared among the frames, a 30th of a second.
        editor::OpenRecording recording;
        recording.Open(target);
        QVERIFY2(std::abs(recording.PlaybackIntervalMs() - 33) <= 1, qPrintable(QString::number(recording.PlaybackIntervalMs())));
        recording.Close();

        // The SWF movie: the in-step rate N·R/L, about 30.
        const QString movie = dir.filePath(QStringLiteral("fast.swf"));
        QCOMPARE(test::RunQuolvactl({"publish", target, "--swf", movie}).status, 0);
        const double swfRate = field(test::RunQuolvactl({"info", movie}).out, "swf frame rate").toDouble();
        QVERIFY2(std::abs(swfRate - double(frames) * soundRate / soundLength) < 0.01 && std::abs(swfRate - 30) < 1.5,
                 qPrintable(QString::number(swfRate)));

        // The AVI export: the exact time base of N frames over L samples.
        QCOMPARE(test::RunQuolvactl({"publish", target, "--avi"}).status, 0);
        store::PAVIFILE file;
        QCOMPARE(store::AVIFileOpen(&file, QFile::encodeName(target).toStdString(), store::OF_READ), store::AVIERR_OK);
        store::PAVISTREAM video;
        QCOMPARE(store::AVIFileGetStream(file, &video, store::streamtypeVIDEO, 0), store::AVIERR_OK);
        const store::AVISTREAMINFOA stream = video->info();
        store::AVIStreamRelease(video);
        store::AVIFileRelease(file);
        const publish::VideoTimeBase exact = publish::ExactVideoTimeBase(frames, soundLength, soundRate);
        QCOMPARE(stream.dwRate, exact.rate);
        QCOMPARE(stream.dwScale, exact.scale);
        QVERIFY2(std::abs(double(stream.dwRate) / stream.dwScale - 30) < 1.5, qPrintable(QString::number(stream.dwRate)));
    }

    void clicksShowAsRingsWhereAndWhenTheyWereMade()
    {
        const QList<QPoint> places{{120, 90}, {360, 250}}; // in the region
        const QList<QImage> frames = recordWhile(dir.filePath(QStringLiteral("clicks.avi")), {"--show-clicks"}, 3, [&] {
            for (const QPoint& place : places) {
                const QPoint on = kRegion.topLeft() + place;
                xdotool({"mousemove", QString::number(on.x()), QString::number(on.y())});
                QTest::qWait(400);
                xdotool({"click", "1"});
                QTest::qWait(400);
                xdotool({"mousemove", QString::number(on.x() + 60), QString::number(on.y() - 50)});
            }
        });
        QVERIFY(frames.size() >= 25);
        int lastRingFrame = -1;
        for (const QPoint& place : places) {
            QList<int> ringFrames;
            for (int i = 0; i < frames.size(); ++i) {
                const auto [near, elsewhere] = ringPixels(frames[i], places, place);
                QVERIFY2(elsewhere == 0, qPrintable(QStringLiteral("frame %1: ring pixels away from the clicks").arg(i + 1)));
                if (near > 30)
                    ringFrames << i;
            }
            // A click shorter than a tick: on the frame of that tick (or the next, when it fell between
            // the tick's two looks), and only there.
            QVERIFY2(!ringFrames.isEmpty() && ringFrames.size() <= 2 && ringFrames.back() - ringFrames.front() <= 1,
                     qPrintable(QStringLiteral("ring at (%1,%2) in %3 frames").arg(place.x()).arg(place.y()).arg(ringFrames.size())));
            QVERIFY(ringFrames.front() > lastRingFrame);
            lastRingFrame = ringFrames.back();
        }
    }

    void aShortcutShowsItsCaptionForAboutOneAndAHalfSeconds()
    {
        xdotool({"mousemove", "20", "20"}); // the pointer away from the region
        const QList<QImage> frames = recordWhile(dir.filePath(QStringLiteral("keys.avi")), {"--show-keys"}, 4, [] {
            QTest::qWait(800);
            xdotool({"key", "ctrl+shift+s"});
        });
        QVERIFY(frames.size() >= 35);
        QList<int> captioned;
        for (int i = 0; i < frames.size(); ++i)
            if (stripDifference(frames[i], frames[0]) > 2)
                captioned << i;
        QVERIFY2(captioned.size() >= 13 && captioned.size() <= 17 && captioned.back() - captioned.front() == captioned.size() - 1,
                 qPrintable(QStringLiteral("caption on %1 frames").arg(captioned.size())));
        QVERIFY(captioned.front() > 0);
    }

    void aClickDuringAShortcutsCaptionShowsBoth()
    {
        const QPoint place(240, 150);
        const QPoint on = kRegion.topLeft() + place;
        xdotool({"mousemove", QString::number(on.x()), QString::number(on.y())});
        const QList<QImage> frames = recordWhile(dir.filePath(QStringLiteral("both.avi")), {"--show-clicks", "--show-keys"}, 2, [] {
            QTest::qWait(300);
            xdotool({"key", "ctrl+shift+s"});
            xdotool({"mousedown", "1", "sleep", "0.3", "mouseup", "1"}); // held over a few ticks
        });
        QVERIFY(frames.size() >= 15);
        const auto both = std::find_if(frames.begin(), frames.end(), [&](const QImage& frame) {
            return ringPixels(frame, {place}, place).first > 30 && stripDifference(frame, frames[0]) > 2;
        });
        QVERIFY2(both != frames.end(), "no frame shows the ring and the caption");
        test::saveScreenshot(*both, QStringLiteral("tutorial-click-and-shortcut.png"));
    }

    void typingAPasswordChangesNoPixel()
    {
        xdotool({"mousemove", "20", "20"});
        const QStringList marks{"--show-keys", "--show-clicks"};
        const QList<QImage> quiet = recordWhile(dir.filePath(QStringLiteral("quiet.avi")), marks, 2, [] {});
        const QList<QImage> typed = recordWhile(dir.filePath(QStringLiteral("typed.avi")), marks, 3, [] {
            QTest::qWait(300);
            xdotool({"type", "--delay", "60", "secret"});
            xdotool({"key", "shift+s", "shift+e"});
            QTest::qWait(800);
            xdotool({"key", "Return"}); // Enter is shown: the frames after it must change
        });
        QVERIFY(!quiet.isEmpty() && typed.size() >= 25);
        QList<int> changed;
        for (int i = 0; i < typed.size(); ++i)
            if (typed[i] != quiet[0])
                changed << i;
        // Only Enter's caption, after the typing: every frame before it is the quiet recording's.
        QVERIFY2(changed.size() >= 13 && changed.size() <= 17 && changed.back() - changed.front() == changed.size() - 1,
                 qPrintable(QStringLiteral("%1 frames changed").arg(changed.size())));
        QVERIFY2(changed.front() >= 10, qPrintable(QString::number(changed.front())));
    }
};

QTEST_MAIN(RecordsATutorial)
#include "e2e_records_a_tutorial.moc"

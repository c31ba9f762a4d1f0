// A user records a 640 × 480 region of a real X screen with the sound the default input hears, then
// continues the recording: frames show the screen and the pointer, the sound holds the tone played.
#include "Rig.h"
#include "ScriptedPrompts.h"
#include "SoundAnalysis.h"
#include "platform/ArrowPointer.h"
#include "record/Recorder.h"
#include "record/Unit2.h"
#include "store/FrameStoreWalk.h"
#include "store/Jpeg.h"

#include <QApplication>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdlib>

using namespace quolva;
using quolva::test::ScriptedPrompts;

namespace {

const QRect kRegion(100, 100, 640, 480);
const QColor kQuadrants[4] = {QColor(220, 30, 30), QColor(30, 200, 60), QColor(40, 60, 220), QColor(230, 220, 40)};

// The scene under the region: four coloured quarters.
QImage sceneImage()
{
    QImage image(kRegion.size(), QImage::Format_RGB32);
    QPainter painter(&image);
    const int w = image.width() / 2;
    const int h = image.height() / 2;
    painter.fillRect(0, 0, w, h, kQuadrants[0]);
    painter.fillRect(w, 0, w, h, kQuadrants[1]);
    painter.fillRect(0, h, w, h, kQuadrants[2]);
    painter.fillRect(w, h, w, h, kQuadrants[3]);
    return image;
}

class SceneWindow : public QWidget {
public:
    SceneWindow() : QWidget(nullptr, Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint) { setGeometry(kRegion); }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).drawImage(0, 0, sceneImage()); }
};

void movePointer(QPoint to)
{
    QCOMPARE(QProcess::execute(QStringLiteral("xdotool"),
                               {QStringLiteral("mousemove"), QString::number(to.x()), QString::number(to.y())}),
             0);
    QTest::qWait(50);
}

// Mean absolute difference per channel between a decoded frame and the expected picture in `area`.
double difference(const store::Picture& frame, const QImage& expected, const QRect& area)
{
    double total = 0;
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const std::uint8_t* p = frame.Row(y) + 3 * x;
            const QRgb e = expected.pixel(x, y);
            total += std::abs(p[0] - qRed(e)) + std::abs(p[1] - qGreen(e)) + std::abs(p[2] - qBlue(e));
            count += 3;
        }
    }
    return total / count;
}

QByteArray decodedSound(const QString& avi)
{
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), {"-v", "error", "-i", avi, "-map", "0:a:0", "-f", "s16le", "-acodec",
                                            "pcm_s16le", "-"});
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0)
        qWarning() << ffmpeg.readAllStandardError();
    return ffmpeg.readAllStandardOutput();
}

} // namespace

class RecordsARegionWithSound : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir;
    QString target;
    std::unique_ptr<SceneWindow> scene;
    std::unique_ptr<record::TForm2> viewfinder;
    std::unique_ptr<record::Recorder> recorder;
    QProcess player;

    void prepare(QSize size)
    {
        viewfinder->setRegionMode();
        viewfinder->setClientSize(size.width(), size.height());
        viewfinder->move(kRegion.topLeft());
        viewfinder->hideForRecording();
        recorder->settings = {size.width(), size.height(), false};
        recorder->session.frameCounter = 0;
        recorder->session.ready = true;
    }

private slots:
    void initTestCase()
    {
        QUOLVA_REQUIRE_DISPLAY();
        QUOLVA_REQUIRE_SOUND_SERVER();
        qunsetenv("QUOLVA_SOUND_SOURCE"); // the sound server's default source, for real
        target = dir.filePath(QStringLiteral("demo.avi"));
        scene = std::make_unique<SceneWindow>();
        scene->show();
        QVERIFY(QTest::qWaitForWindowExposed(scene.get()));
        viewfinder = std::make_unique<record::TForm2>();
        recorder = std::make_unique<record::Recorder>(*viewfinder, nullptr);

        // A 440 Hz tone plays into the rig's sink for the whole test.
        QFile wav(dir.filePath(QStringLiteral("tone.wav")));
        QVERIFY(wav.open(QIODevice::WriteOnly));
        wav.write(soundtest::toneWav(440, 44100, 30));
        wav.close();
        player.start(QStringLiteral("paplay"), {QStringLiteral("-d"), qEnvironmentVariable("QUOLVA_RIG_SINK"), wav.fileName()});
        QVERIFY(player.waitForStarted());
        QTest::qWait(500);
    }

    void cleanupTestCase()
    {
        player.kill();
        player.waitForFinished();
    }

    void recordsThreeSecondsOfTheRegionWithTheTone()
    {
        ScriptedPrompts::Installed prompts;
        recorder->session.ResetRecordingDefaults();
        recorder->session.NewTarget(target);
        prepare(kRegion.size());
        const QPoint pointer = kRegion.topLeft() + QPoint(320, 240);
        movePointer(pointer);

        recorder->luzhi();
        QTest::qWait(3000);
        recorder->tingzhi();
        QTRY_VERIFY_WITH_TIMEOUT(!recorder->Timer3.isActive() && !recorder->session.frameStore, 5000);
        QVERIFY2(prompts->messages.isEmpty() && prompts->errors.isEmpty(),
                 qPrintable(prompts->errors.join(QLatin1Char('\n'))));

        store::FrameStore frames = store::FrameStore::OpenFrameStoreReadOnly((target + ".xxx").toStdString());
        const std::int32_t count = frames.ReadFrameCount();
        const store::FrameStoreWalk walk = store::WalkFramesForwards(frames);
        QVERIFY(walk.Clean());
        QCOMPARE(std::int64_t(count), std::int64_t(walk.recordStarts.size()));
        QVERIFY2(count >= 27 && count <= 31, qPrintable(QString::number(count)));

        // Every frame shows the scene, and the arrow where the pointer was.
        QImage withArrow = sceneImage();
        platform::drawArrowPointer(withArrow, QPoint(320, 240));
        const QRect arrowArea(312, 232, 32, 32);
        frames.Seek(store::kFrameStoreHeaderSize);
        for (std::int32_t i = 0; i < count; ++i) {
            const store::Picture frame = frames.DecodeFrame(frames.ReadNextFrame());
            QCOMPARE(frame.Width(), 640);
            QCOMPARE(frame.Height(), 480);
            QVERIFY2(difference(frame, sceneImage(), QRect(40, 40, 200, 150)) < 6, "top-left quarter");
            QVERIFY2(difference(frame, sceneImage(), QRect(400, 300, 200, 150)) < 6, "bottom-right quarter");
            const double toArrow = difference(frame, withArrow, arrowArea);
            const double toBareScene = difference(frame, sceneImage(), arrowArea);
            QVERIFY2(toArrow < 12 && toBareScene > 3 * toArrow,
                     qPrintable(QStringLiteral("frame %1: %2 vs %3").arg(i + 1).arg(toArrow).arg(toBareScene)));
        }

        // The sound lasts as long as the recording and holds the tone.
        const QByteArray pcm = decodedSound(target);
        const double seconds = pcm.size() / 22050.0;
        QVERIFY2(std::abs(seconds - 3.0) <= 0.3, qPrintable(QString::number(seconds)));
        const double hz = soundtest::dominantFrequency(soundtest::samples16(pcm), 11025);
        QVERIFY2(std::abs(hz - 440) <= 4.4, qPrintable(QString::number(hz)));
    }

    void thePointerNearTheRegionsEdgeIsDrawnFromEightPixelsUpAndLeft()
    {
        ScriptedPrompts::Installed prompts;
        recorder->session.ResetRecordingDefaults();
        const QString edges = dir.filePath(QStringLiteral("edges.avi"));
        recorder->session.NewTarget(edges);
        prepare(kRegion.size());
        recorder->luzhi();
        recorder->Timer1.stop(); // one tick at a time

        const auto frameWithPointerAt = [&](QPoint client) -> store::Picture {
            movePointer(kRegion.topLeft() + client);
            recorder->Timer1Timer();
            if (recorder->grabber.pointerInClient != client)
                qWarning() << "the grabber saw the pointer at" << recorder->grabber.pointerInClient << "not" << client;
            recorder->session.frameStore->Seek(recorder->session.frameStore->Size());
            return recorder->session.frameStore->DecodeFrame(recorder->session.frameStore->ReadPreviousFrame());
        };
        const auto expectedWithArrowAt = [](QPoint client) {
            QImage image = sceneImage();
            platform::drawArrowPointer(image, client);
            return image;
        };

        // At the client origin the picture starts at (-8, -8): only its lower-right part shows.
        store::Picture frame = frameWithPointerAt(QPoint(0, 0));
        QCOMPARE(recorder->grabber.pointerInClient, QPoint(0, 0));
        QVERIFY(difference(frame, expectedWithArrowAt(QPoint(0, 0)), QRect(0, 0, 24, 24)) < 12);
        QVERIFY(difference(frame, sceneImage(), QRect(0, 0, 24, 24)) > 20);

        // Just left of the region: part of the arrow still shows inside.
        frame = frameWithPointerAt(QPoint(-3, 100));
        QVERIFY(difference(frame, expectedWithArrowAt(QPoint(-3, 100)), QRect(0, 92, 24, 32)) < 12);
        QVERIFY(difference(frame, sceneImage(), QRect(0, 92, 24, 32)) > 10);

        // Far away: no arrow at all.
        frame = frameWithPointerAt(QPoint(900, 700));
        QVERIFY(difference(frame, sceneImage(), QRect(0, 0, 640, 480)) < 4);

        recorder->tingzhi();
        recorder->FinishRecording();
    }

    void continuesTheRecordingWithTenMoreFrames()
    {
        ScriptedPrompts::Installed prompts;
        const QString framesPath = target + QStringLiteral(".xxx");
        QFile before(framesPath);
        QVERIFY(before.open(QIODevice::ReadOnly));
        const QByteArray oldStore = before.readAll();
        before.close();
        const std::int32_t oldCount = std::atoi(oldStore.left(16).constData());
        const QByteArray oldSound = decodedSound(target);

        recorder->session.ResetRecordingDefaults();
        const QSize size = recorder->session.ContinueTarget(target);
        QCOMPARE(size, QSize(640, 480));
        prepare(size);
        recorder->luzhi();
        recorder->Timer1.stop();
        for (int i = 0; i < 10; ++i)
            recorder->Timer1Timer();
        QTest::qWait(1500);
        recorder->tingzhi();
        recorder->FinishRecording();
        QVERIFY(prompts->messages.isEmpty() && prompts->errors.isEmpty());

        QFile after(framesPath);
        QVERIFY(after.open(QIODevice::ReadOnly));
        const QByteArray newStore = after.readAll();
        // The header now counts the new frames: its digits grow in place, the rest stays blank.
        QByteArray header = QByteArray::number(oldCount + 10);
        header.append(QByteArray(16 - header.size(), ' '));
        QCOMPARE(newStore.left(16), header);
        QCOMPARE(newStore.mid(16, oldStore.size() - 16), oldStore.mid(16)); // old records untouched
        store::FrameStore frames = store::FrameStore::OpenFrameStoreReadOnly(framesPath.toStdString());
        const store::FrameStoreWalk walk = store::WalkFramesForwards(frames);
        QVERIFY(walk.Clean());
        QCOMPARE(std::int64_t(walk.recordStarts.size()), std::int64_t(oldCount + 10));

        // The new sound follows the old.
        const QByteArray newSound = decodedSound(target);
        QVERIFY2(newSound.size() >= oldSound.size() + 22050, qPrintable(QString::number(newSound.size())));
        QVERIFY(newSound.startsWith(oldSound));
    }
};

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    RecordsARegionWithSound test;
    return QTest::qExec(&test, argc, argv);
}

#include "e2e_records_a_region_with_sound.moc"

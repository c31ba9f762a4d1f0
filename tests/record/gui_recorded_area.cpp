// The recorded area is the area the user marked: under the rig's window manager, each way of setting
// up a capture is followed by a short recording over a picture with no repeats, and the frames must show
// the screen exactly where the client area of the viewfinder was when the wizard finished (as the X
// server tells it), at the size the wizard shows. The same runs again at a scale factor of 2.
#include "Quolvactl.h"
#include "RecordGuiSupport.h"
#include "Rig.h"
#include "app/Startup.h"
#include "editor/Etool.h"

#include <QRandomGenerator>
#include <QScreen>

using namespace quolva;
using quolva::test::ScriptedPrompts;

namespace {

// A picture over the whole screen of rectangles of random colours and sizes: no part of it looks like
// another, so a frame matches it at one place only.
class UnrepeatedPicture : public test::ScreenPicture {
public:
    UnrepeatedPicture()
        : ScreenPicture([](QImage& picture) {
              QRandomGenerator random(18);
              QPainter painter(&picture);
              for (int y = 0; y < picture.height();) {
                  const int rowHeight = random.bounded(8, 32);
                  for (int x = 0; x < picture.width();) {
                      const int width = random.bounded(8, 32);
                      painter.fillRect(x, y, width, rowHeight, QColor::fromRgb(random.generate() | 0xff000000u));
                      x += width;
                  }
                  y += rowHeight;
              }
          })
    {
    }
};

// The mean difference in brightness between a frame and the picture at `origin`, leaving out `aside`
// (the pointer's place, in frame coordinates), taking every `step`-th pixel. Brightness, because JPEG
// keeps it at full resolution and blurs only the colours.
double meanDifference(const QImage& frame, const QImage& picture, QPoint origin, QRect aside, int step = 1)
{
    double sum = 0;
    qint64 n = 0;
    for (int y = 0; y < frame.height(); y += step)
        for (int x = 0; x < frame.width(); x += step) {
            const QPoint on = origin + QPoint(x, y);
            if (aside.contains(x, y) || !picture.rect().contains(on))
                continue;
            sum += std::abs(qGray(frame.pixel(x, y)) - qGray(picture.pixel(on)));
            ++n;
        }
    return n ? sum / n : 255.0;
}

// Where a frame best matches the picture, searched around `expected`: for the failure's message.
QPoint bestMatch(const QImage& frame, const QImage& picture, QPoint expected, QRect aside)
{
    QPoint best = expected;
    double least = 1e9;
    for (int dy = -30; dy <= 30; ++dy)
        for (int dx = -30; dx <= 30; ++dx) {
            const double d = meanDifference(frame, picture, expected + QPoint(dx, dy), aside, 5);
            if (d < least) {
                least = d;
                best = expected + QPoint(dx, dy);
            }
        }
    return best;
}

// Whether a frame shows the picture from `origin`: JPEG leaves some difference at the right place, and one
// pixel off every edge of the picture adds to it. A failure says where the frame was taken from instead.
bool showsTheScreenAt(const QImage& frame, const QImage& picture, QPoint origin, QRect aside, qreal scale)
{
    const double difference = meanDifference(frame, picture, origin, aside);
    double nearest = 255;
    for (const QPoint off : {QPoint(-1, 0), QPoint(1, 0), QPoint(0, -1), QPoint(0, 1)})
        nearest = std::min(nearest, meanDifference(frame, picture, origin + off, aside));
    if (difference <= 3 && 2 * difference <= nearest)
        return true;
    const QPoint best = bestMatch(frame, picture, origin, aside);
    qWarning().noquote() << QStringLiteral("the frame differs by %1 from the screen at %2,%3 (scale %4), by %5 one pixel "
                                           "off; it shows the screen from %6,%7")
                                .arg(difference).arg(origin.x()).arg(origin.y()).arg(scale).arg(nearest)
                                .arg(best.x()).arg(best.y());
    return false;
}

// Where the window system shows a window's client area, in screen pixels, once the window manager has
// stopped moving it.
QRect settledClientOnScreen(QWidget& window)
{
    QRect last = test::clientRectOnScreen(window);
    for (int i = 0; i < 20; ++i) {
        QTest::qWait(100);
        const QRect now = test::clientRectOnScreen(window);
        if (now == last)
            return now;
        last = now;
    }
    return last;
}

// Drags a window by its title bar, as a user moves it, by `by` screen pixels.
bool dragByTitleBar(QWidget& window, QPoint by)
{
    const QRect client = test::clientRectOnScreen(window);
    const QPoint grip = client.topLeft() + QPoint(client.width() / 2, -8);
    const QPoint to = grip + by;
    return test::xdotool({"mousemove", QString::number(grip.x()), QString::number(grip.y())})
           && test::xdotool({"mousedown", "1"})
           && test::xdotool({"mousemove", QString::number(grip.x() + by.x() / 2), QString::number(grip.y() + by.y() / 2)})
           && test::xdotool({"mousemove", QString::number(to.x()), QString::number(to.y())})
           && test::xdotool({"mouseup", "1"});
}

enum class Setup { First, Second, TypedWithoutEnter, FullScreenAfterFollowTicked, Continued, ContinuedFullScreen };

} // namespace

Q_DECLARE_METATYPE(Setup)

class RecordedAreaTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QUOLVA_REQUIRE_DISPLAY(); }

    void recordsTheMarkedArea_data()
    {
        QTest::addColumn<Setup>("setup");
        QTest::newRow("first setup, the viewfinder where it first shows") << Setup::First;
        QTest::newRow("second setup, the viewfinder dragged by its title bar") << Setup::Second;
        QTest::newRow("a width typed without Enter") << Setup::TypedWithoutEnter;
        QTest::newRow("full screen after follow-cursor was ticked") << Setup::FullScreenAfterFollowTicked;
        QTest::newRow("a continued recording, the viewfinder shown again") << Setup::Continued;
        QTest::newRow("a continued full-screen recording") << Setup::ContinuedFullScreen;
    }

    void recordsTheMarkedArea()
    {
        QFETCH(Setup, setup);
        ScriptedPrompts::Installed prompts;
        QTemporaryDir dir;
        UnrepeatedPicture scene;
        scene.show();
        QVERIFY(QTest::qWaitForWindowExposed(&scene));
        const auto windows = app::startUp();
        windows->Form7().hide();
        record::TForm5& wizard = windows->Form5();
        record::TForm2& viewfinder = windows->Form2();
        record::Recorder& recorder = windows->Form1().recorder();
        const qreal scale = viewfinder.screenScale();
        const QString target = dir.filePath(QStringLiteral("area.avi"));

        // The user shows the viewfinder on the placing step and sees its client area somewhere.
        const auto showViewfinder = [&] {
            wizard.ViewfinderButtonClick();
            QVERIFY(QTest::qWaitForWindowExposed(&viewfinder));
        };
        QRect marked;
        switch (setup) {
        case Setup::First:
        case Setup::Second:
            wizard.show();
            test::wizardToRegionFinish(wizard, *prompts, target, 320);
            wizard.SpeedButton5Click(); // back to placing
            showViewfinder();
            if (setup == Setup::Second) {
                wizard.SpeedButton6Click();
                marked = settledClientOnScreen(viewfinder);
                wizard.SpeedButton6Click(); // the first setup ends; then a second one
                QTest::qWait(500);          // the window manager takes the hidden viewfinder's frame away
                QVERIFY(QFile::remove(target));
                QFile::remove(target + QStringLiteral(".xxx"));
                // The user tries full screen first, then goes back to a region.
                wizard.show();
                test::wizardToNewTarget(wizard, *prompts, target);
                wizard.CheckBox1->setChecked(true);
                wizard.SpeedButton6Click(); // 2 -> 5, full screen
                for (int i = 0; i < 3; ++i)
                    wizard.SpeedButton5Click(); // back to step 2
                wizard.CheckBox1->setChecked(false);
                wizard.SpeedButton6Click(); // 2 -> 3
                wizard.SpeedButton6Click(); // 3 -> 4
                showViewfinder();
                // It comes back where the user left it, not a title bar higher (as near as the window's
                // units allow: at a scale of 2 they are two screen pixels).
                const QRect back = settledClientOnScreen(viewfinder);
                QCOMPARE(back.size(), marked.size());
                QVERIFY2((back.topLeft() - marked.topLeft()).manhattanLength() <= 2 * (scale - 1),
                         qPrintable(QStringLiteral("left at %1,%2, back at %3,%4").arg(marked.x()).arg(marked.y())
                                        .arg(back.x()).arg(back.y())));
                QVERIFY(dragByTitleBar(viewfinder, QPoint(130, 70)));
            }
            marked = settledClientOnScreen(viewfinder);
            if (setup == Setup::Second)
                QVERIFY(marked.topLeft() != QPoint(0, 0));
            wizard.SpeedButton6Click(); // 4 -> 5
            break;
        case Setup::TypedWithoutEnter:
            wizard.show();
            test::wizardToNewTarget(wizard, *prompts, target);
            wizard.CheckBox1->setChecked(false);
            wizard.SpeedButton6Click(); // 2 -> 3
            wizard.Edit1->selectAll();
            QTest::keyClicks(wizard.Edit1, QStringLiteral("400"));
            wizard.SpeedButton6Click(); // 3 -> 4, no Enter
            showViewfinder();
            marked = settledClientOnScreen(viewfinder);
            QCOMPARE(marked.size(), QSize(400, 300));
            wizard.SpeedButton6Click(); // 4 -> 5
            break;
        case Setup::FullScreenAfterFollowTicked:
            wizard.show();
            test::wizardToRegionFinish(wizard, *prompts, target, 320);
            wizard.CheckBox2->setChecked(true);
            for (int i = 0; i < 3; ++i)
                wizard.SpeedButton5Click(); // back to step 2
            wizard.CheckBox1->setChecked(true);
            wizard.SpeedButton6Click(); // 2 -> 5, full screen
            QVERIFY(!wizard.CheckBox2->isEnabled());
            marked = QRect(QPoint(0, 0), scene.picture().size());
            break;
        case Setup::Continued:
            test::makeRecording(target, QSize(200, 150), 2);
            wizard.show();
            wizard.SpeedButton6Click(); // 0 -> 1
            wizard.Rg1Continue->setChecked(true);
            prompts->answerFiles({target});
            wizard.SpeedButton6Click(); // 1 -> 5
            QCOMPARE(wizard.step, 5);
            QCOMPARE(viewfinder.clientSizeOnScreen(), QSize(200, 150));
            wizard.SpeedButton5Click(); // back to placing, to see where it records
            showViewfinder();
            marked = settledClientOnScreen(viewfinder);
            wizard.SpeedButton6Click(); // 4 -> 5
            break;
        case Setup::ContinuedFullScreen:
            marked = QRect(QPoint(0, 0), scene.picture().size());
            test::makeRecording(target, marked.size(), 2);
            wizard.show();
            wizard.SpeedButton6Click(); // 0 -> 1
            wizard.Rg1Continue->setChecked(true);
            prompts->answerFiles({target});
            wizard.SpeedButton6Click(); // 1 -> 5
            break;
        }
        QCOMPARE(wizard.step, 5);
        wizard.SpeedButton6Click(); // finish: the viewfinder hides
        QVERIFY(!wizard.isVisible());
        QVERIFY(!viewfinder.isVisible());
        QVERIFY(recorder.session.ready);
        QCOMPARE(QSize(recorder.settings.width, recorder.settings.height), marked.size());
        if (setup == Setup::FullScreenAfterFollowTicked)
            QVERIFY(!recorder.settings.followCursor);

        // The pointer near the top of the screen (where following would move a region), away from the marked
        // area otherwise; the arrow drawn into a full-screen frame is left out of the comparison.
        const QPoint pointer = setup == Setup::FullScreenAfterFollowTicked ? QPoint(600, 10) : QPoint(1270, 1015);
        QVERIFY(test::xdotool({"mousemove", QString::number(pointer.x()), QString::number(pointer.y())}));
        QTest::qWait(300);
        const QRect aside(pointer - marked.topLeft() - QPoint(12, 12), QSize(40, 44));
        const int framesBefore = setup == Setup::Continued || setup == Setup::ContinuedFullScreen ? 2 : 0;
        recorder.luzhi();
        recorder.Timer1.stop();
        for (int i = 0; i < 3; ++i) {
            recorder.Timer1Timer();
            QTest::qWait(50);
        }
        recorder.tingzhi();
        recorder.FinishRecording();
        QVERIFY2(prompts->errors.isEmpty(), qPrintable(prompts->errors.join('\n')));

        const QList<QImage> frames = test::framesOf(target);
        QCOMPARE(frames.size(), framesBefore + 3);
        for (int i = framesBefore; i < frames.size(); ++i) {
            const QImage& frame = frames[i];
            QCOMPARE(frame.size(), marked.size());
            QVERIFY(showsTheScreenAt(frame, scene.picture(), marked.topLeft(), aside, scale));
        }
    }

    // A region recorded from the command line has no window on the screen, and no title bar to leave above
    // it: following the pointer to the top of the screen takes it to the top edge, not above.
    void followingOnTheCommandLineKeepsTheRegionOnTheScreen()
    {
        QTemporaryDir dir;
        UnrepeatedPicture scene;
        scene.show();
        QVERIFY(QTest::qWaitForWindowExposed(&scene));
        const QPoint pointer(600, 5);
        QVERIFY(test::xdotool({"mousemove", QString::number(pointer.x()), QString::number(pointer.y())}));
        const QString target = dir.filePath(QStringLiteral("follow.avi"));
        qputenv("QUOLVA_SOUND_SOURCE", "tone:440");
        const test::QuolvactlRun run = test::RunQuolvactl(
            {"record", target, "--region", "320x240+400+300", "--follow", "--seconds", "2"});
        qputenv("QUOLVA_SOUND_SOURCE", "none");
        QVERIFY2(run.status == 0, qPrintable(run.err));

        // The first tick moves the region up to the top edge; the arrow is drawn from there on.
        const QList<QImage> frames = test::framesOf(target);
        QVERIFY2(frames.size() >= 10, qPrintable(QString::number(frames.size())));
        const QPoint top(400, 0);
        const QRect aside(pointer - top - QPoint(12, 12), QSize(40, 44));
        for (const QImage& frame : frames)
            QVERIFY(showsTheScreenAt(frame, scene.picture(), top, aside, 1));
    }

    // The same at a scale factor of 2, in a program of its own (the factor is read when it starts).
    void recordsTheMarkedAreaAtScaleFactorTwo()
    {
        if (qEnvironmentVariable("QT_SCALE_FACTOR") == QLatin1String("2"))
            QSKIP("this is the run at scale factor 2");
        QProcess scaled;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_SCALE_FACTOR"), QStringLiteral("2"));
        scaled.setProcessEnvironment(environment);
        scaled.setProcessChannelMode(QProcess::MergedChannels);
        scaled.start(QCoreApplication::applicationFilePath(), {QStringLiteral("recordsTheMarkedArea")});
        QVERIFY(scaled.waitForFinished(300000));
        const bool passed = scaled.exitStatus() == QProcess::NormalExit && scaled.exitCode() == 0;
        if (!passed)
            qInfo().noquote() << scaled.readAll(); // whole: a failure's message is cut short
        QVERIFY2(passed, "the run at scale factor 2 failed (its output is above)");
    }
};

int main(int argc, char** argv)
{
    quolva::test::useTemporaryConfig();
    qputenv("QUOLVA_SOUND_SOURCE", "none");
    quolva::app::QuolvaApplication application(argc, argv);
    RecordedAreaTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "gui_recorded_area.moc"

// The viewfinder on a real X display: see-through while placed, the capture rectangle in region and
// full-screen modes, the resize report, following the pointer while recording; and closing the program
// in the middle of a recording.
#include "RecordGuiSupport.h"
#include "Rig.h"
#include "ScriptedPrompts.h"
#include "app/Application.h"
#include "app/Startup.h"
#include "editor/Etool.h"
#include "record/PanelFace.h"
#include "platform/Screen.h"
#include "record/Recorder.h"
#include "record/Unit1.h"
#include "record/Unit2.h"

#include <QLabel>
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <fstream>

using namespace quolva;
using quolva::test::ScriptedPrompts;

namespace {

class ColouredWindow : public QWidget {
public:
    ColouredWindow(const QRect& where, QColor colour) : QWidget(nullptr, Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint)
    {
        setGeometry(where);
        QPalette p = palette();
        p.setColor(QPalette::Window, colour);
        setPalette(p);
        setAutoFillBackground(true);
    }
};

QColor screenColourAt(QPoint point)
{
    platform::Screen screen;
    QImage pixel;
    screen.grab(QRect(point, QSize(1, 1)), pixel);
    return pixel.pixelColor(0, 0);
}

std::string header(const QString& framesPath)
{
    std::ifstream in(framesPath.toStdString(), std::ios::binary);
    std::string text(16, '\0');
    in.read(text.data(), 16);
    return text;
}

} // namespace

class ViewfinderTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QUOLVA_REQUIRE_DISPLAY(); }

    void startsHiddenWithItsCaptionAndPlace()
    {
        record::TForm2 viewfinder;
        QCOMPARE(viewfinder.windowTitle(), QStringLiteral("取景窗口"));
        QVERIFY(!viewfinder.isVisible());
        QCOMPARE(viewfinder.pos(), QPoint(304, 413));
        QCOMPARE(viewfinder.size(), QSize(325, 261));
        QVERIFY(viewfinder.windowFlags() & Qt::WindowMaximizeButtonHint);
    }

    void whilePlacedTheScreenShowsThroughItsClientArea()
    {
        ColouredWindow below(QRect(200, 200, 400, 300), QColor(0, 160, 90));
        below.show();
        QVERIFY(QTest::qWaitForWindowExposed(&below));
        record::TForm2 viewfinder;
        viewfinder.setRegionMode();
        viewfinder.setClientSize(200, 150);
        viewfinder.move(300, 250);
        viewfinder.showForPositioning();
        QVERIFY(QTest::qWaitForWindowExposed(&viewfinder));
        QVERIFY(viewfinder.isSeeThrough());
        QTest::qWait(100);
        const QPoint centre = viewfinder.captureRect().center();
        QCOMPARE(screenColourAt(centre), QColor(0, 160, 90));

        viewfinder.hideForRecording();
        QVERIFY(!viewfinder.isVisible());
        QVERIFY(!viewfinder.isSeeThrough());
        QVERIFY(viewfinder.mask().isEmpty());
        // Hidden, the region is still where it was placed: the grabber copies the screen there.
        QCOMPARE(viewfinder.captureRect().size(), QSize(200, 150));
    }

    void everyResizeIsReported()
    {
        record::TForm2 viewfinder;
        QSignalSpy resized(&viewfinder, &record::TForm2::clientResized);
        viewfinder.setClientSize(800, 600);
        QCOMPARE(resized.size(), 1);
        QCOMPARE(resized.front().at(0).toInt(), 800);
        QCOMPARE(resized.front().at(1).toInt(), 600);
    }

    void fullScreenModeCapturesTheWholeScreen()
    {
        record::TForm2 viewfinder;
        viewfinder.setFullScreenMode();
        QVERIFY(viewfinder.isFullScreenMode());
        QCOMPARE(viewfinder.captureRect(), QGuiApplication::primaryScreen()->geometry());
        viewfinder.setRegionMode();
        QVERIFY(!viewfinder.isFullScreenMode());
        QVERIFY(!(viewfinder.windowFlags() & Qt::FramelessWindowHint));
    }

    void followingThePointerMovesTheRegionBeforeTheGrab()
    {
        qputenv("QUOLVA_SOUND_SOURCE", "none");
        ScriptedPrompts::Installed prompts;
        QTemporaryDir dir;
        record::TForm2 viewfinder;
        viewfinder.setRegionMode();
        viewfinder.setClientSize(320, 240);
        viewfinder.move(400, 300);
        viewfinder.hideForRecording();
        record::Recorder recorder(viewfinder, nullptr);
        recorder.session.NewTarget(dir.filePath(QStringLiteral("follow.avi")));
        recorder.settings = {320, 240, true};
        recorder.session.ready = true;
        recorder.luzhi();
        recorder.Timer1.stop();

        // 310 pixels in: past the right margin (client width − 50), so the region moves right.
        QCOMPARE(QProcess::execute(QStringLiteral("xdotool"), {"mousemove", "710", "400"}), 0);
        QTest::qWait(50);
        recorder.Timer1Timer();
        const QRect frame = viewfinder.frameGeometry();
        QCOMPARE(viewfinder.pos(), QPoint(710 - frame.width() + 50, 300));
        // The arrow is drawn where the pointer was before the move.
        QCOMPARE(recorder.grabber.pointerInClient, QPoint(310, 100));
        recorder.tingzhi();
        recorder.FinishRecording();
    }

    // A user's follow-cursor recording: the wizard shows the viewfinder and the user places it, checks
    // "是否移动捕捉窗口", records with the panel's button and moves the pointer across the screen. The
    // frames show the screen where the region went, around the pointer, and the arrow where the pointer
    // was.
    void followCursorRecordingFollowsAfterTheViewfinderWasPlaced()
    {
        qputenv("QUOLVA_SOUND_SOURCE", "tone:440");
        ScriptedPrompts::Installed prompts;
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("follow.avi"));
        test::PositionPicture background;
        background.show();
        QVERIFY(QTest::qWaitForWindowExposed(&background));
        const auto windows = app::startUp();
        windows->Form7().hide();
        record::TForm5& wizard = windows->Form5();
        record::TForm2& viewfinder = windows->Form2();
        wizard.show();
        test::wizardToRegionFinish(wizard, *prompts, target, 320);
        wizard.ViewfinderButtonClick(); // shown for placing
        QVERIFY(QTest::qWaitForWindowExposed(&viewfinder));
        viewfinder.move(100, 100);
        QTRY_COMPARE(viewfinder.frameGeometry().topLeft(), QPoint(100, 100));
        wizard.CheckBox2->setChecked(true);
        wizard.SpeedButton6Click(); // finish: the viewfinder hides, follow-cursor on
        QVERIFY(!viewfinder.isVisible());
        const QRect placed = viewfinder.geometry();

        record::TForm1& panel = windows->Form1();
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        QVERIFY(test::pointerTo(panel, panel.face->shape(record::PanelShapeId::Shape1).bounds.center()));
        QVERIFY(test::xdotool({QStringLiteral("click"), QStringLiteral("1")}));
        QTRY_VERIFY(panel.recorder().isRecording());
        // The pointer comes into the region and then travels right and down, the region after it.
        const QPoint last(900, 640);
        for (int i = 0; i <= 8; ++i) {
            const QPoint at = placed.center() + (last - placed.center()) * i / 8;
            QVERIFY(test::xdotool({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y())}));
            QTest::qWait(250);
        }
        QTest::qWait(400);
        QVERIFY(test::xdotool({QStringLiteral("key"), QStringLiteral("shift+Down")})); // stop, the pointer stays
        QTRY_VERIFY_WITH_TIMEOUT(panel.Label1->text() == QStringLiteral("End"), 10000);

        const QList<QImage> frames = test::framesOf(target);
        QVERIFY2(frames.size() >= 20, qPrintable(QString::number(frames.size())));
        const QPoint centre(160, 120);
        const QImage& end = frames.back();
        const QPoint lastOrigin = test::screenPointShown(end, centre) - centre;
        const QRect lastRegion(lastOrigin, QSize(320, 240));
        QVERIFY2(lastRegion.adjusted(30, 30, -30, -30).contains(last),
                 qPrintable(QStringLiteral("last frame from %1,%2; the pointer at %3,%4").arg(lastOrigin.x()).arg(lastOrigin.y())
                                .arg(last.x()).arg(last.y())));
        const std::optional<QPoint> tip = test::arrowTipIn(end);
        QVERIFY2(tip, "the last frame shows no arrow");
        const QPoint tipOnScreen = test::screenPointShown(end, *tip + QPoint(-6, 12)) - QPoint(-6, 12);
        QVERIFY2((tipOnScreen - last).manhattanLength() < 24,
                 qPrintable(QStringLiteral("the arrow points at %1,%2, the pointer was at %3,%4").arg(tipOnScreen.x())
                                .arg(tipOnScreen.y()).arg(last.x()).arg(last.y())));
        QVERIFY2(prompts->errors.isEmpty(), qPrintable(prompts->errors.join('\n')));
    }

    void closingTheProgramWhileRecordingFinishesTheFiles()
    {
        qputenv("QUOLVA_SOUND_SOURCE", "tone:440");
        ScriptedPrompts::Installed prompts;
        QTemporaryDir dir;
        const auto windows = app::startUp();
        record::Recorder& recorder = windows->Form1().recorder();
        const QString target = dir.filePath(QStringLiteral("closing.avi"));
        recorder.session.NewTarget(target);
        recorder.settings = {160, 120, false};
        recorder.session.ready = true;
        recorder.luzhi();
        recorder.Timer1.stop();
        recorder.Timer1Timer();
        recorder.Timer1Timer();
        QTest::qWait(1200);

        windows->Form7().close(); // the program ends
        QVERIFY(!recorder.isRecording());
        QCOMPARE(header(target + QStringLiteral(".xxx")), std::string("2               "));
        QVERIFY(prompts->errors.isEmpty());
    }
};

int main(int argc, char** argv)
{
    app::QuolvaApplication application(argc, argv);
    ViewfinderTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "gui_viewfinder.moc"

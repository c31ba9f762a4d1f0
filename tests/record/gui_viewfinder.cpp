// The viewfinder on a real X display: see-through while placed, the capture rectangle in region and
// full-screen modes, the resize report, following the pointer while recording; and closing the program
// in the middle of a recording.
#include "Rig.h"
#include "ScriptedPrompts.h"
#include "app/Application.h"
#include "app/Startup.h"
#include "editor/Etool.h"
#include "platform/Screen.h"
#include "record/Recorder.h"
#include "record/Unit1.h"
#include "record/Unit2.h"

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

// With a scale factor of 2 (QT_SCALE_FACTOR, as on a high-resolution screen) the program's windows count
// in units of two screen pixels, but a recording counts screen pixels: the size the wizard shows, the
// region grabbed, the viewfinder's place, the pointer's place in the frame and the full screen agree.
#include "RecordGuiSupport.h"
#include "Rig.h"
#include "app/Startup.h"
#include "editor/Etool.h"

#include <QScreen>

using namespace quolva;
using quolva::test::ScriptedPrompts;

class ScaledScreenTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QUOLVA_REQUIRE_DISPLAY();
        QCOMPARE(QGuiApplication::primaryScreen()->devicePixelRatio(), 2.0);
    }

    void regionPointerAndFullScreenAgreeInScreenPixels()
    {
        ScriptedPrompts::Installed prompts;
        QTemporaryDir dir;
        test::PositionPicture background;
        background.show();
        QVERIFY(QTest::qWaitForWindowExposed(&background));
        const auto windows = app::startUp();
        windows->Form7().hide();
        record::TForm5& wizard = windows->Form5();
        record::TForm2& viewfinder = windows->Form2();
        record::Recorder& recorder = windows->Form1().recorder();

        // A region of 300 screen pixels, placed by the user.
        const QString target = dir.filePath(QStringLiteral("scaled.avi"));
        wizard.show();
        test::wizardToRegionFinish(wizard, *prompts, target, 300);
        QCOMPARE(wizard.csbValue(2), QStringLiteral("300"));
        QCOMPARE(wizard.csbValue(3), QStringLiteral("225"));
        wizard.ViewfinderButtonClick();
        QVERIFY(QTest::qWaitForWindowExposed(&viewfinder));
        viewfinder.move(100, 80);
        QTest::qWait(300);
        QTRY_COMPARE(viewfinder.captureRect().topLeft(), test::clientRectOnScreen(viewfinder).topLeft());
        const QRect region = viewfinder.captureRect();
        QCOMPARE(region.size(), QSize(300, 225));
        wizard.SpeedButton6Click();
        QVERIFY(recorder.session.ready);

        const QPoint pointer = region.topLeft() + QPoint(120, 90);
        QVERIFY(test::xdotool({QStringLiteral("mousemove"), QString::number(pointer.x()), QString::number(pointer.y())}));
        QTest::qWait(100);
        recorder.luzhi();
        recorder.Timer1.stop();
        recorder.Timer1Timer();
        recorder.tingzhi();
        recorder.FinishRecording();
        QList<QImage> frames = test::framesOf(target);
        QCOMPARE(frames.size(), 1);
        QCOMPARE(frames.front().size(), QSize(300, 225));
        const QPoint shown = test::screenPointShown(frames.front(), QPoint(250, 200)) - QPoint(250, 200);
        QVERIFY2((shown - region.topLeft()).manhattanLength() < 16,
                 qPrintable(QStringLiteral("frame from %1,%2, region at %3,%4").arg(shown.x()).arg(shown.y())
                                .arg(region.x()).arg(region.y())));
        const std::optional<QPoint> tip = test::arrowTipIn(frames.front());
        QVERIFY2(tip, "no arrow in the frame");
        QVERIFY2((*tip - QPoint(120, 90)).manhattanLength() <= 3,
                 qPrintable(QStringLiteral("arrow at %1,%2").arg(tip->x()).arg(tip->y())));

        // The full screen: 1280 × 1024 screen pixels in the table and in the frame.
        const QString whole = dir.filePath(QStringLiteral("whole.avi"));
        wizard.show();
        wizard.SpeedButton6Click(); // 0 -> 1
        wizard.Rg1New->setChecked(true);
        prompts->answerFiles({whole});
        wizard.SpeedButton6Click(); // 1 -> 2
        wizard.CheckBox1->setChecked(true);
        wizard.SpeedButton6Click(); // 2 -> 5
        QCOMPARE(wizard.csbValue(2), QStringLiteral("1280"));
        QCOMPARE(wizard.csbValue(3), QStringLiteral("1024"));
        wizard.SpeedButton6Click(); // finish
        recorder.luzhi();
        recorder.Timer1.stop();
        recorder.Timer1Timer();
        recorder.tingzhi();
        recorder.FinishRecording();
        frames = test::framesOf(whole);
        QCOMPARE(frames.size(), 1);
        QCOMPARE(frames.front().size(), QSize(1280, 1024));
        const QPoint middle = test::screenPointShown(frames.front(), QPoint(700, 600));
        QVERIFY2((middle - QPoint(700, 600)).manhattanLength() < 16,
                 qPrintable(QStringLiteral("700,600 shows %1,%2").arg(middle.x()).arg(middle.y())));
        QVERIFY2(prompts->errors.isEmpty(), qPrintable(prompts->errors.join('\n')));
    }
};

int main(int argc, char** argv)
{
    qputenv("QT_SCALE_FACTOR", "2");
    quolva::test::useTemporaryConfig();
    qputenv("QUOLVA_SOUND_SOURCE", "none");
    quolva::app::QuolvaApplication application(argc, argv);
    ScaledScreenTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "gui_scaled_screen.moc"

// A user on a Wayland desktop: the program runs through XWayland, the wizard sets up a region over a
// native Wayland window, the panel's Record starts a recording through the desktop's screen sharing (the
// approval remembered), Stop ends it; the frames show the native window's colour where the region was
// marked, which an X11 grab there cannot see.
#include "RecordGuiSupport.h"
#include "WaylandSupport.h"
#include "app/Startup.h"
#include "editor/Etool.h"

using namespace quolva;
using quolva::test::ScriptedPrompts;

class RecordsThroughTheWizardAndPanelOnWayland : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(qEnvironmentVariable("QUOLVA_WAYLAND_RIG") == QLatin1String("1"), "run through scripts/with-wayland-rig.sh");
    }

    void recordsTheMarkedRegionOfANativeWindow()
    {
        test::Helper window(QStringLiteral("colour_window.py"), {test::kGreen.name()}, QStringLiteral("colour window up"));
        QVERIFY2(window.up(QStringLiteral("colour window up")), qPrintable(window.output()));
        test::approveScreenCast();
        ScriptedPrompts::Installed prompts;
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("wayland.avi"));
        const auto windows = app::startUp();
        windows->Form7().hide();
        record::TForm5& wizard = windows->Form5();
        record::TForm2& viewfinder = windows->Form2();
        record::Recorder& recorder = windows->Form1().recorder();

        wizard.show();
        test::wizardToRegionFinish(wizard, *prompts, target, 320);
        wizard.SpeedButton5Click(); // back to placing
        wizard.ViewfinderButtonClick();
        QVERIFY(QTest::qWaitForWindowExposed(&viewfinder));
        QTest::qWait(500);
        const QRect marked = viewfinder.captureRect();
        wizard.SpeedButton6Click(); // 4 -> 5
        wizard.SpeedButton6Click(); // finish
        QVERIFY(recorder.session.ready);

        try {
            recorder.luzhi(); // the screen cast starts from the kept approval
        } catch (const std::exception& failure) {
            QFAIL(failure.what());
        }
        QVERIFY2(recorder.isRecording(), qPrintable(prompts->errors.join('\n')));
        QTest::qWait(1500);
        recorder.tingzhi();
        QTRY_VERIFY_WITH_TIMEOUT(!recorder.isFinishing(), 10000);
        QVERIFY2(prompts->errors.isEmpty(), qPrintable(prompts->errors.join('\n')));

        const QList<QImage> frames = test::framesOf(target);
        QVERIFY2(frames.size() >= 10, qPrintable(QString::number(frames.size())));
        for (const QImage& frame : frames) {
            QCOMPARE(frame.size(), marked.size());
            QVERIFY2(test::near(frame.pixelColor(frame.width() / 2, frame.height() / 2), test::kGreen),
                     qPrintable(frame.pixelColor(frame.width() / 2, frame.height() / 2).name()));
        }
    }
};

QUOLVA_RECORD_GUI_TEST_MAIN(RecordsThroughTheWizardAndPanelOnWayland)
#include "wl_records_through_the_wizard_and_panel.moc"

// A recording finished through the floating panel opens in the main window by itself: the wizard
// prepares a region, the panel records about a second and a half of a red window with the synthetic
// tone, and the stop hands the recording to the editor and the publish dialog.
#include "../record/RecordGuiSupport.h"
#include "Rig.h"
#include "ScriptedPrompts.h"
#include "app/Startup.h"
#include "editor/EditorControls.h"
#include "editor/Etool.h"
#include "publish/Unit6.h"

#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

using quolva::test::ScriptedPrompts;
using namespace quolva;

class RecordingHandOverTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void initTestCase() { QUOLVA_REQUIRE_DISPLAY(); }

    void aFinishedRecordingOpensByItself()
    {
        QWidget red;
        red.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        red.setAutoFillBackground(true);
        QPalette palette = red.palette();
        palette.setColor(QPalette::Window, QColor(255, 0, 0));
        red.setPalette(palette);
        red.setGeometry(100, 100, 320, 240);
        red.show();
        QVERIFY(QTest::qWaitForWindowExposed(&red));

        ScriptedPrompts::Installed prompts;
        const auto windows = app::startUp();
        editor::TForm7& editor = windows->Form7();
        record::TForm1& panel = windows->Form1();
        const QString target = dir.filePath(QStringLiteral("handover.avi"));
        test::prepareRegionRecording(*windows, *prompts, target, 320, QPoint(100, 100));
        editor.N24->trigger(); // the floating panel instead of the main window
        QVERIFY(!editor.isVisible());
        QVERIFY(QTest::qWaitForWindowExposed(&panel));

        panel.luzhi();
        QVERIFY(panel.recorder().isRecording());
        QTest::qWait(1500);
        panel.tingzhi();
        QTRY_COMPARE(panel.Label1->text(), QStringLiteral("End"));

        // The main window is back with the recording open on frame 1; the panel has closed.
        QVERIFY(!panel.isVisible());
        QVERIFY(editor.isVisible());
        QVERIFY(editor.recording().IsOpen());
        QCOMPARE(editor.windowTitle(), QStringLiteral("Quolva 4.1-初始文件") + target);
        const int frames = test::frameCountOf(target);
        QVERIFY2(frames >= 8, qPrintable(QString::number(frames)));
        QCOMPARE(editor.Edit5->text(), QString::number(frames));
        QCOMPARE(editor.Edit1->text(), QStringLiteral("1"));
        QCOMPARE(editor.PictureOnView().size(), QSize(320, 240));
        const QColor centre = editor.PictureOnView().pixelColor(160, 60);
        QVERIFY2(centre.red() > 230 && centre.green() < 30 && centre.blue() < 30, qPrintable(centre.name()));
        QCOMPARE(editor.Timer6.interval(), editor.recording().PlaybackIntervalMs());
        QVERIFY(editor.Timer6.interval() >= 80 && editor.Timer6.interval() <= 120);

        // The publish dialog has the recording's values.
        const publish::TForm6& publisher = windows->Form6();
        QCOMPARE(publisher.frameCount, frames);
        QCOMPARE(publisher.frameStorePath, target + QStringLiteral(".xxx"));
        QCOMPARE(publisher.soundRate, 11025);
        QVERIFY(publisher.soundLength > 11025);

        QVERIFY2(prompts->messages.isEmpty(), qPrintable(prompts->messages.isEmpty() ? QString() : prompts->messages.front().text));
        QVERIFY2(prompts->errors.isEmpty(), qPrintable(prompts->errors.join('\n')));

        // Next steps through what was recorded.
        editor.ToolButton2->click();
        QCOMPARE(editor.Edit1->text(), QStringLiteral("2"));
    }
};

QUOLVA_RECORD_GUI_TEST_MAIN(RecordingHandOverTest)
#include "gui_recording_hand_over.moc"

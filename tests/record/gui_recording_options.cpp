// The user opens "录制选项" from the main window's 文件 menu: it shows the stored options (10 frames a
// second and no marks at first); OK keeps the choice beside the skin, Cancel keeps nothing; the next
// recording started from the panel ticks at the chosen rate with the chosen marks.
#include "RecordGuiSupport.h"
#include "Rig.h"
#include "ScriptedPrompts.h"
#include "app/Startup.h"
#include "editor/Etool.h"
#include "record/RecordingOptions.h"
#include "record/RecordingOptionsDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>

using namespace quolva;
using quolva::test::ScriptedPrompts;

class RecordingOptionsTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir;

    static record::RecordingOptionsDialog* openDialog(editor::TForm7& editor)
    {
        editor.RecordOptionsItem->trigger();
        auto* dialog = editor.findChild<record::RecordingOptionsDialog*>();
        return dialog && dialog->isVisible() ? dialog : nullptr;
    }

private slots:
    void initTestCase() { QUOLVA_REQUIRE_DISPLAY(); }

    void theDialogKeepsTheChoiceAndTheNextRecordingUsesIt()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = app::startUp();
        editor::TForm7& editor = windows->Form7();
        QVERIFY(QTest::qWaitForWindowExposed(&editor));

        record::RecordingOptionsDialog* dialog = openDialog(editor);
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("录制选项"));
        QCOMPARE(dialog->FrameRateBox->count(), 4);
        QCOMPARE(dialog->FrameRateBox->currentData().toInt(), 10);
        QVERIFY(!dialog->ShowClicksBox->isChecked() && !dialog->ShowKeysBox->isChecked());
        QCOMPARE(dialog->ShowClicksBox->text(), QStringLiteral("显示鼠标点击"));
        QCOMPARE(dialog->ShowKeysBox->text(), QStringLiteral("显示快捷键"));
        dialog->FrameRateBox->setCurrentIndex(dialog->FrameRateBox->findData(15));
        dialog->ShowClicksBox->setChecked(true);
        dialog->findChild<QPushButton*>(QStringLiteral("OkButton"))->click();
        QTRY_VERIFY(!editor.findChild<record::RecordingOptionsDialog*>());
        const record::RecordingOptions chosen{15, true, false};
        QCOMPARE(record::RecordingOptions::Load(), chosen);

        // Shown again as stored; a change cancelled is not kept.
        dialog = openDialog(editor);
        QVERIFY(dialog);
        QCOMPARE(dialog->FrameRateBox->currentData().toInt(), 15);
        QVERIFY(dialog->ShowClicksBox->isChecked() && !dialog->ShowKeysBox->isChecked());
        dialog->ShowKeysBox->setChecked(true);
        dialog->findChild<QPushButton*>(QStringLiteral("CancelButton"))->click();
        QTRY_VERIFY(!editor.findChild<record::RecordingOptionsDialog*>());
        QCOMPARE(record::RecordingOptions::Load(), chosen);

        // The next recording: 15 frames a second, the clicks watched.
        test::prepareRegionRecording(*windows, *prompts, dir.filePath(QStringLiteral("options.avi")), 320);
        record::Recorder& recorder = windows->Form1().recorder();
        editor.N9->trigger();
        QTRY_VERIFY(recorder.isRecording());
        QCOMPARE(recorder.options, chosen);
        QCOMPARE(recorder.Timer1.interval(), 67);
        QTest::qWait(2000);
        editor.N10->trigger();
        QTRY_VERIFY(!recorder.isFinishing() && !recorder.isRecording());
        const int frames = recorder.framesOfLastRecording;
        QVERIFY2(frames >= 27 && frames <= 33, qPrintable(QString::number(frames)));
        QVERIFY(prompts->errors.isEmpty());
    }
};

QUOLVA_RECORD_GUI_TEST_MAIN(RecordingOptionsTest)
#include "gui_recording_options.moc"

// The capture setup wizard on a real display, driven through its handlers with scripted dialogs: every
// path (new target, continued target, full screen, region), Back from every step, Cancel in both modes,
// the parameter table, the viewfinder's size, the sound-format chooser, and the refusals that protect a
// target that cannot be made and a recording that runs.
#include "RecordGuiSupport.h"
#include "Rig.h"
#include "ScriptedPrompts.h"
#include "app/Application.h"
#include "app/Startup.h"
#include "platform/ScreenCursor.h"
#include "record/PanelArtwork.h"
#include "editor/Etool.h"
#include "record/PictureButton.h"
#include "record/SoundFormatArea.h"
#include "record/SoundFormatChooser.h"
#include "store/AviFileServices.h"

#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTableWidget>
#include <QToolButton>

using quolva::platform::MessageIcon;
using quolva::platform::SoundFormat;
using quolva::record::TForm5;
using quolva::test::ScriptedPrompts;

namespace {

bool exists(const QString& path)
{
    return QFileInfo::exists(path);
}

// The texts shown on a panel, in child order.
QStringList textsOn(const QWidget* panel)
{
    QStringList texts;
    for (const QLabel* label : panel->findChildren<QLabel*>())
        if (!label->text().isEmpty())
            texts << label->text();
    return texts;
}

} // namespace

class WizardTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir;
    QString file(const QString& name) const { return dir.filePath(name); }

private slots:
    void initTestCase()
    {
        QUOLVA_REQUIRE_DISPLAY();
        QVERIFY(dir.isValid());
    }

    void opensAtStepZeroWithTheDefaultSoundFormat()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = quolva::app::startUp();
        TForm5& wizard = windows->Form5();
        QCOMPARE(wizard.windowTitle(), QStringLiteral("捕捉设置向导"));
        QCOMPARE(wizard.size(), QSize(307, 205));
        QVERIFY(wizard.windowFlags() & Qt::WindowStaysOnTopHint);
        // At creation the viewfinder took Edit1's width and three quarters of it.
        QCOMPARE(windows->Form2().size(), QSize(640, 480));
        QCOMPARE(wizard.Edit1->text(), QStringLiteral("640"));
        QCOMPARE(wizard.Edit2->text(), QStringLiteral("480"));
        QVERIFY(!wizard.Edit2->isEnabled());

        auto& session = windows->Form1().recorder().session;
        session.soundFormat.format.nSamplesPerSec = 44100; // left over from an earlier run
        session.audioStreamInfo.dwSampleSize = 4;
        wizard.show();
        QVERIFY(QTest::qWaitForWindowExposed(&wizard));
        QCOMPARE(wizard.step, 0);
        QCOMPARE(wizard.frontPanel(), wizard.Panel6);
        QVERIFY(!wizard.SpeedButton5->isEnabled());
        QCOMPARE(wizard.SpeedButton5->text(), QStringLiteral("<上一步"));
        QCOMPARE(wizard.SpeedButton6->text(), QStringLiteral("下一步>"));
        QCOMPARE(wizard.SpeedButton7->text(), QStringLiteral("取消"));
        QCOMPARE(session.soundFormat.format.nSamplesPerSec, 11025u);
        QCOMPARE(session.audioStreamInfo.dwSampleSize, 1u);
        QCOMPARE(session.audioStreamInfo.dwRate, 11025u);
        QCOMPARE(wizard.Rg1ItemIndex(), -1);
        QVERIFY(wizard.CheckBox1->isChecked());
        QVERIFY(!wizard.CheckBox2->isChecked());

        // The parameter table.
        QCOMPARE(wizard.csb->horizontalHeaderItem(0)->text(), QStringLiteral("参数"));
        QCOMPARE(wizard.csb->horizontalHeaderItem(1)->text(), QStringLiteral("描述"));
        QVERIFY(wizard.csb->columnWidth(0) >= 72);
        QCOMPARE(wizard.csb->rowCount(), 5);
        const QStringList keys{"目标文件", "帧宽（像素）", "帧高（像素）", "音频格式", ""};
        for (int row = 0; row < 5; ++row)
            QCOMPARE(wizard.csb->item(row, 0)->text(), keys[row]);
        QCOMPARE(wizard.csb->editTriggers(), QAbstractItemView::NoEditTriggers);

        QVERIFY(textsOn(wizard.Panel6).contains(QStringLiteral("1.选择录音格式：")));
        QVERIFY(textsOn(wizard.Panel6).contains(QStringLiteral("缺省为：PCM 11025Hz 16bits 1Channel")));
        QVERIFY(textsOn(wizard.Panel1).contains(QStringLiteral("初始文件：本程序新建*.avi（附有临时文件*.xxx）")));
        QVERIFY(textsOn(wizard.Panel3).contains(QStringLiteral("长宽（像素）")));
        QVERIFY(textsOn(wizard.Panel4).contains(QStringLiteral("显示并定位（自由调整捕捉范围）")));
    }

    void newTargetRegionPathToTheEnd()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = quolva::app::startUp();
        TForm5& wizard = windows->Form5();
        auto& recorder = windows->Form1().recorder();
        const QString target = file("region.avi");
        wizard.show();
        QVERIFY(QTest::qWaitForWindowExposed(&wizard));
        quolva::test::saveScreenshot(wizard.grab().toImage(), QStringLiteral("wizard-step-0.png"));

        wizard.SpeedButton6Click();
        QCOMPARE(wizard.step, 1);
        QCOMPARE(wizard.frontPanel(), wizard.Panel1);
        QCOMPARE(wizard.csbValue(4), QStringLiteral("11025Hz,16Bits1Channel"));

        // Next without a choice does nothing.
        wizard.SpeedButton6Click();
        QCOMPARE(wizard.step, 1);
        QVERIFY(prompts->fileRequests.isEmpty());

        // A cancelled save dialog goes back to step 0 with Panel1 in front: the next Next opens no dialog.
        QTest::mouseClick(wizard.Rg1New, Qt::LeftButton);
        QCOMPARE(wizard.Rg1ItemIndex(), 0);
        quolva::test::saveScreenshot(wizard.grab().toImage(), QStringLiteral("wizard-step-1.png"));
        prompts->cancelFileDialog();
        wizard.SpeedButton6Click();
        QCOMPARE(prompts->fileRequests.size(), 1);
        QCOMPARE(wizard.step, 0);
        QCOMPARE(wizard.frontPanel(), wizard.Panel1);
        wizard.SpeedButton6Click();
        QCOMPARE(prompts->fileRequests.size(), 1);
        QCOMPARE(wizard.step, 1);

        // The save dialog: filter, default extension, overwrite prompt.
        prompts->answerFiles({target});
        wizard.SpeedButton6Click();
        QCOMPARE(prompts->fileRequests.size(), 2);
        const auto& request = prompts->fileRequests.back();
        QVERIFY(request.save);
        QCOMPARE(request.request.filter, QStringLiteral("视频文件[*.avi]|*.avi"));
        QCOMPARE(request.request.defaultSuffix, QStringLiteral("avi"));
        QVERIFY(request.request.confirmOverwrite);
        QCOMPARE(wizard.step, 2);
        QCOMPARE(wizard.frontPanel(), wizard.Panel2);
        QVERIFY(wizard.SpeedButton5->isEnabled());
        QCOMPARE(wizard.csbValue(1), target);
        QVERIFY(recorder.session.newMode);
        QVERIFY(exists(target));
        QVERIFY(!exists(target + ".xxx")); // the frame store comes at Record
        quolva::test::saveScreenshot(wizard.grab().toImage(), QStringLiteral("wizard-step-2.png"));

        // A region.
        QTest::mouseClick(wizard.CheckBox1, Qt::LeftButton);
        QVERIFY(!wizard.CheckBox1->isChecked());
        wizard.SpeedButton6Click();
        QCOMPARE(wizard.step, 3);
        QCOMPARE(wizard.frontPanel(), wizard.Panel3);
        QVERIFY(!windows->Form2().isFullScreenMode());

        // 800 and Enter: the viewfinder's client area becomes 800 × 600, and the fields say so.
        wizard.Edit1->setFocus();
        wizard.Edit1->setText(QStringLiteral("800"));
        QTest::keyClick(wizard.Edit1, Qt::Key_Return);
        QCOMPARE(windows->Form2().size(), QSize(800, 600));
        QCOMPARE(wizard.Edit1->text(), QStringLiteral("800"));
        QCOMPARE(wizard.Edit2->text(), QStringLiteral("600"));
        QVERIFY(wizard.isVisible()); // Enter is not a default button
        QCOMPARE(wizard.step, 3);
        quolva::test::saveScreenshot(wizard.grab().toImage(), QStringLiteral("wizard-step-3.png"));

        wizard.SpeedButton6Click();
        QCOMPARE(wizard.step, 4);
        QCOMPARE(wizard.frontPanel(), wizard.Panel4);
        QCOMPARE(wizard.csbValue(2), QStringLiteral("800"));
        QCOMPARE(wizard.csbValue(3), QStringLiteral("600"));
        quolva::test::saveScreenshot(wizard.grab().toImage(), QStringLiteral("wizard-step-4.png"));

        // The picture button shows the viewfinder for placing; its resizes reach the table and the fields.
        QTest::mousePress(wizard.ViewfinderButton, Qt::LeftButton);
        QVERIFY(wizard.ViewfinderButton->isPressed());
        QVERIFY(!windows->Form2().isVisible()); // the release shows it, not the press
        QTest::mouseRelease(wizard.ViewfinderButton, Qt::LeftButton);
        QVERIFY(!wizard.ViewfinderButton->isPressed());
        QVERIFY(QTest::qWaitForWindowExposed(&windows->Form2()));
        QVERIFY(windows->Form2().isSeeThrough());
        windows->Form2().resize(720, 400);
        QTRY_COMPARE(wizard.csbValue(2), QStringLiteral("720"));
        QCOMPARE(wizard.csbValue(3), QStringLiteral("400"));
        QCOMPARE(wizard.Edit1->text(), QStringLiteral("720"));
        QCOMPARE(wizard.Edit2->text(), QStringLiteral("400"));

        wizard.SpeedButton6Click();
        QCOMPARE(wizard.step, 5);
        QCOMPARE(wizard.frontPanel(), wizard.Panel5);
        QCOMPARE(wizard.SpeedButton6->text(), QStringLiteral("结束"));
        QVERIFY(wizard.CheckBox2->isEnabled());
        QTest::mouseClick(wizard.CheckBox2, Qt::LeftButton);
        quolva::test::saveScreenshot(wizard.grab().toImage(), QStringLiteral("wizard-step-5.png"));

        recorder.session.frameCounter = 17;
        wizard.SpeedButton6Click();
        QVERIFY(!wizard.isVisible());
        QCOMPARE(recorder.settings.width, 720);
        QCOMPARE(recorder.settings.height, 400);
        QVERIFY(recorder.settings.followCursor);
        QVERIFY(recorder.session.ready);
        QCOMPARE(recorder.session.frameCounter, 0);
        QVERIFY(!windows->Form2().isVisible());
        QVERIFY(!windows->Form2().isSeeThrough());
        QVERIFY(prompts->messages.isEmpty());
        QVERIFY(prompts->errors.isEmpty());
        QVERIFY(prompts->unexpected.isEmpty());
    }

    void fullScreenFillsTheScreenSizeAndGreysTheFollowSwitch()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = quolva::app::startUp();
        TForm5& wizard = windows->Form5();
        auto& recorder = windows->Form1().recorder();
        wizard.show();
        wizard.SpeedButton6Click();
        wizard.Rg1New->setChecked(true);
        prompts->answerFiles({file("full.avi")});
        wizard.SpeedButton6Click();
        QVERIFY(wizard.CheckBox1->isChecked());
        wizard.SpeedButton6Click();
        const QSize screen = QGuiApplication::primaryScreen()->size();
        QCOMPARE(screen, QSize(1280, 1024)); // the rig's display
        QCOMPARE(wizard.step, 5);
        QCOMPARE(wizard.frontPanel(), wizard.Panel5);
        QCOMPARE(wizard.csbValue(2), QStringLiteral("1280"));
        QCOMPARE(wizard.csbValue(3), QStringLiteral("1024"));
        QVERIFY(!wizard.CheckBox2->isEnabled());
        QCOMPARE(wizard.SpeedButton6->text(), QStringLiteral("结束"));
        QVERIFY(windows->Form2().isFullScreenMode());
        QVERIFY(!windows->Form2().isVisible()); // never shown in full-screen mode

        wizard.SpeedButton6Click();
        QCOMPARE(recorder.settings.width, 1280);
        QCOMPARE(recorder.settings.height, 1024);
        QVERIFY(!recorder.settings.followCursor);
        QVERIFY(recorder.session.ready);

        // The next opening enables the switch again.
        wizard.show();
        QVERIFY(wizard.CheckBox2->isEnabled());
        QVERIFY(!recorder.session.ready); // this run has not finished yet
        wizard.SpeedButton7Click();
    }

    void backFromEveryStep()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = quolva::app::startUp();
        TForm5& wizard = windows->Form5();
        wizard.show();
        wizard.SpeedButton6Click();
        wizard.SpeedButton5Click(); // 1 -> 0
        QCOMPARE(wizard.step, 0);
        QCOMPARE(wizard.frontPanel(), wizard.Panel6);
        QVERIFY(!wizard.SpeedButton5->isEnabled());

        quolva::test::wizardToRegionFinish(wizard, *prompts, file("back.avi"));
        QCOMPARE(wizard.step, 5);
        const struct {
            int step;
            QFrame* panel;
        } expected[] = {{4, wizard.Panel4}, {3, wizard.Panel3}, {2, wizard.Panel2}, {1, wizard.Panel1}, {0, wizard.Panel6}};
        for (const auto& back : expected) {
            wizard.SpeedButton5Click();
            QCOMPARE(wizard.step, back.step);
            QCOMPARE(wizard.frontPanel(), back.panel);
            if (back.step == 4)
                QCOMPARE(wizard.SpeedButton6->text(), QStringLiteral("下一步>"));
        }
        QVERIFY(!wizard.SpeedButton5->isEnabled());
        // Back at step 0 does nothing more.
        wizard.SpeedButton5Click();
        QCOMPARE(wizard.step, 0);

        // Back from step 5 of the full-screen path goes to placing the viewfinder all the same.
        wizard.SpeedButton6Click();
        prompts->answerFiles({file("back2.avi")});
        wizard.SpeedButton6Click();
        wizard.CheckBox1->setChecked(true);
        wizard.SpeedButton6Click();
        QCOMPARE(wizard.step, 5);
        wizard.SpeedButton5Click();
        QCOMPARE(wizard.step, 4);
        QCOMPARE(wizard.frontPanel(), wizard.Panel4);
        QCOMPARE(wizard.SpeedButton6->text(), QStringLiteral("下一步>"));

        // From full screen back to a region: the viewfinder comes back at its region size, and the follow
        // switch can be used again.
        wizard.SpeedButton5Click();
        wizard.SpeedButton5Click();
        QCOMPARE(wizard.step, 2);
        wizard.CheckBox1->setChecked(false);
        wizard.SpeedButton6Click();
        QVERIFY(!windows->Form2().isFullScreenMode());
        QCOMPARE(windows->Form2().size(), QSize(640, 480));
        QVERIFY(wizard.CheckBox2->isEnabled());
        wizard.SpeedButton7Click();
    }

    void cancelAfterANewTargetDeletesTheFile()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = quolva::app::startUp();
        TForm5& wizard = windows->Form5();
        auto& session = windows->Form1().recorder().session;
        const QString target = file("cancelled.avi");
        wizard.show();
        wizard.SpeedButton6Click();
        wizard.Rg1New->setChecked(true);
        prompts->answerFiles({target});
        wizard.SpeedButton6Click();
        wizard.CheckBox1->setChecked(false);
        wizard.SpeedButton6Click();
        wizard.SpeedButton6Click();
        QVERIFY(exists(target));
        QVERIFY(!wizard.csbValue(1).isEmpty());
        QVERIFY(!wizard.csbValue(2).isEmpty());

        QTest::mouseClick(wizard.SpeedButton7, Qt::LeftButton);
        QVERIFY(!wizard.isVisible());
        QVERIFY(!exists(target));
        QVERIFY(!exists(target + ".xxx"));
        QCOMPARE(wizard.csbValue(1), QString());
        QCOMPARE(wizard.csbValue(2), QString());
        QCOMPARE(wizard.csbValue(3), QString());
        QVERIFY(!session.ready);
        QVERIFY(!session.newMode);
        QVERIFY(session.targetPath.isEmpty());

        // Escape cancels too: the next run's target goes the same way.
        const QString second = file("escaped.avi");
        wizard.show();
        QVERIFY(QTest::qWaitForWindowExposed(&wizard));
        wizard.SpeedButton6Click();
        wizard.Rg1New->setChecked(true);
        prompts->answerFiles({second});
        wizard.SpeedButton6Click();
        QVERIFY(exists(second));
        QTest::keyClick(&wizard, Qt::Key_Escape);
        QVERIFY(!wizard.isVisible());
        QVERIFY(!exists(second));
    }

    void continueWithAnEightHundredBySixHundredStore()
    {
        ScriptedPrompts::Installed prompts;
        const QString target = file("continued.avi");
        quolva::store::SoundFormatArea stereo = quolva::record::toSoundFormatArea(SoundFormat::pcm(22050, 16, 2));
        quolva::test::makeRecording(target, QSize(800, 600), 3, &stereo);
        QCOMPARE(quolva::test::frameCountOf(target), 3);

        const auto windows = quolva::app::startUp();
        TForm5& wizard = windows->Form5();
        auto& recorder = windows->Form1().recorder();
        wizard.show();
        wizard.SpeedButton6Click();
        wizard.Rg1Continue->setChecked(true);
        prompts->answerFiles({target});
        wizard.SpeedButton6Click();
        const auto& request = prompts->fileRequests.back();
        QVERIFY(!request.save);
        QCOMPARE(request.request.filter, QStringLiteral("*.avi|*.avi"));
        QCOMPARE(wizard.step, 5);
        QCOMPARE(wizard.frontPanel(), wizard.Panel5);
        QCOMPARE(wizard.csbValue(1), target);
        QCOMPARE(wizard.csbValue(2), QStringLiteral("800"));
        QCOMPARE(wizard.csbValue(3), QStringLiteral("600"));
        QCOMPARE(wizard.csbValue(4), QStringLiteral("22050Hz,16Bits2Channel"));
        QCOMPARE(wizard.SpeedButton6->text(), QStringLiteral("结束"));
        QVERIFY(!wizard.SpeedButton5->isEnabled()); // Back is not enabled on this path
        QVERIFY(recorder.session.continueMode);

        wizard.SpeedButton6Click();
        QCOMPARE(recorder.settings.width, 800);
        QCOMPARE(recorder.settings.height, 600);
        QVERIFY(recorder.session.ready);

        // It captures at that size, after the frames already there.
        windows->Form1().luzhi();
        QVERIFY(recorder.isRecording());
        QCOMPARE(recorder.session.captureBitmap.size(), QSize(800, 600));
        recorder.Timer1Timer();
        recorder.Timer1Timer();
        windows->Form1().tingzhi();
        recorder.FinishRecording();
        QCOMPARE(quolva::test::frameCountOf(target), 5);
        QVERIFY(prompts->messages.isEmpty());
        QVERIFY(prompts->errors.isEmpty());

        // Cancel in continue mode leaves the recording as it was.
        wizard.show();
        wizard.SpeedButton6Click();
        prompts->answerFiles({target});
        wizard.SpeedButton6Click();
        QVERIFY(recorder.session.continueMode);
        wizard.SpeedButton7Click();
        QVERIFY(exists(target));
        QCOMPARE(quolva::test::frameCountOf(target), 5);
        QVERIFY(!recorder.session.continueMode);
        QVERIFY(!recorder.session.ready);
    }

    void aTargetThatCannotBeUsedKeepsTheWizardOnTheTargetStep()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = quolva::app::startUp();
        TForm5& wizard = windows->Form5();
        auto& session = windows->Form1().recorder().session;
        wizard.show();
        wizard.SpeedButton6Click();

        // A new target in a folder that does not exist.
        const QString unmakeable = file("no-such-folder/new.avi");
        wizard.Rg1New->setChecked(true);
        prompts->answerFiles({unmakeable});
        wizard.SpeedButton6Click();
        QCOMPARE(prompts->messages.size(), 1);
        QVERIFY2(prompts->messages.back().text.contains(QStringLiteral("new.avi")), qPrintable(prompts->messages.back().text));
        QCOMPARE(prompts->messages.back().caption, QStringLiteral("提示"));
        QCOMPARE(prompts->messages.back().icon, MessageIcon::Warning);
        QCOMPARE(wizard.step, 1);
        QCOMPARE(wizard.frontPanel(), wizard.Panel1);
        QVERIFY(!session.newMode);
        QCOMPARE(wizard.csbValue(1), QString());

        // Continuing a file that is no AVI file at all.
        const QString notAvi = file("not-avi.avi");
        {
            QFile junk(notAvi);
            QVERIFY(junk.open(QIODevice::WriteOnly));
            junk.write("this is not a RIFF file");
        }
        wizard.Rg1Continue->setChecked(true);
        prompts->answerFiles({notAvi});
        wizard.SpeedButton6Click();
        // A continue that fails is shown as an error, in the standard error box.
        QCOMPARE(prompts->errors.size(), 1);
        QVERIFY2(prompts->errors.back().contains(QStringLiteral("not-avi.avi")), qPrintable(prompts->errors.back()));
        QCOMPARE(wizard.step, 1);

        // An AVI file whose frame store is missing.
        const QString orphan = file("orphan.avi");
        quolva::test::makeRecording(orphan, QSize(64, 48), 1);
        QVERIFY(QFile::remove(orphan + ".xxx"));
        prompts->answerFiles({orphan});
        wizard.SpeedButton6Click();
        QCOMPARE(prompts->errors.size(), 2);
        QVERIFY2(prompts->errors.back().contains(QStringLiteral("orphan.avi.xxx")), qPrintable(prompts->errors.back()));
        QCOMPARE(wizard.step, 1);

        // An AVI file without an audio stream.
        const QString silent = file("video-only.avi");
        {
            quolva::store::PAVIFILE avi;
            QCOMPARE(quolva::store::AVIFileOpen(&avi, silent.toStdString(), quolva::store::OF_CREATE | quolva::store::OF_WRITE),
                     quolva::store::AVIERR_OK);
            quolva::store::AVISTREAMINFOA video{};
            video.fccType = quolva::store::streamtypeVIDEO;
            video.dwScale = 1;
            video.dwRate = 10;
            quolva::store::PAVISTREAM stream;
            QCOMPARE(quolva::store::AVIFileCreateStream(avi, &stream, video), quolva::store::AVIERR_OK);
            quolva::store::AVIStreamRelease(stream);
            quolva::store::AVIFileRelease(avi);
        }
        prompts->answerFiles({silent});
        wizard.SpeedButton6Click();
        QCOMPARE(prompts->errors.size(), 3);
        QVERIFY2(prompts->errors.back().contains(QStringLiteral("video-only.avi")), qPrintable(prompts->errors.back()));
        QCOMPARE(wizard.step, 1);
        QVERIFY(!session.continueMode);
        QVERIFY(!session.ready);
        QCOMPARE(prompts->messages.size(), 1); // only the new target's
        wizard.SpeedButton7Click();
        QVERIFY(exists(silent)); // nothing deleted but what the wizard made
    }

    void soundFormatChooser()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = quolva::app::startUp();
        TForm5& wizard = windows->Form5();
        auto& session = windows->Form1().recorder().session;
        wizard.show();
        QVERIFY(QTest::qWaitForWindowExposed(&wizard));

        // Cancelled: the stream description follows the unchanged default format.
        prompts->cancelSoundFormat();
        QTest::mousePress(wizard.FormatButton, Qt::LeftButton);
        QVERIFY(wizard.FormatButton->isPressed());
        QVERIFY(prompts->soundFormatRequests.isEmpty());
        QTest::mouseRelease(wizard.FormatButton, Qt::LeftButton);
        QCOMPARE(prompts->soundFormatRequests.size(), 1);
        const auto& request = prompts->soundFormatRequests.front();
        QCOMPARE(request.title, QStringLiteral("Select Audio Format"));
        QCOMPARE(request.current, SoundFormat::pcm(11025, 16, 1));
        QCOMPARE(request.offered, quolva::platform::supportedRecordingFormats());
        QCOMPARE(request.offered.size(), 10); // the synthetic source takes every 16-bit format
        for (const SoundFormat& offered : request.offered)
            QCOMPARE(offered.wBitsPerSample, 16);
        QCOMPARE(session.audioStreamInfo.dwSampleSize, 2u);
        QCOMPARE(session.audioStreamInfo.dwRate, 11025u);
        QCOMPARE(session.audioStreamInfo.dwScale, 1u);

        // Chosen: the area holds the format, the description follows it, the table shows it.
        prompts->answerSoundFormat(SoundFormat::pcm(44100, 16, 2));
        wizard.FormatButtonClick();
        QCOMPARE(prompts->soundFormatRequests.back().current, SoundFormat::pcm(11025, 16, 1));
        QCOMPARE(quolva::record::toPlatformFormat(session.soundFormat), SoundFormat::pcm(44100, 16, 2));
        QCOMPARE(session.soundFormat.padding[0], 0);
        QCOMPARE(session.soundFormat.padding[1], 0);
        QCOMPARE(session.audioStreamInfo.dwRate, 44100u);
        QCOMPARE(session.audioStreamInfo.dwSampleSize, 4u);
        wizard.SpeedButton6Click();
        QCOMPARE(wizard.csbValue(4), QStringLiteral("44100Hz,16Bits2Channel"));
        wizard.SpeedButton5Click();

        // The chooser starts at the format now in force.
        prompts->cancelSoundFormat();
        wizard.FormatButtonClick();
        QCOMPARE(prompts->soundFormatRequests.back().current, SoundFormat::pcm(44100, 16, 2));
        QVERIFY(prompts->messages.isEmpty());

        // Any other result: "硬件不支持", nothing changes.
        prompts->failSoundFormat(7);
        wizard.FormatButtonClick();
        QCOMPARE(prompts->messages.size(), 1);
        QCOMPARE(prompts->messages.back().text, QStringLiteral("硬件不支持"));
        QCOMPARE(prompts->messages.back().caption, QString());
        QCOMPARE(prompts->messages.back().icon, MessageIcon::Warning);
        QCOMPARE(quolva::record::toPlatformFormat(session.soundFormat), SoundFormat::pcm(44100, 16, 2));

        // No input device: nothing to offer, the chooser fails.
        session.audioStreamInfo.dwSampleSize = 9;
        qputenv("QUOLVA_SOUND_SOURCE", "none");
        wizard.FormatButtonClick();
        qputenv("QUOLVA_SOUND_SOURCE", "tone:440");
        QVERIFY(prompts->soundFormatRequests.back().offered.isEmpty());
        QCOMPARE(prompts->messages.size(), 2);
        QCOMPARE(prompts->messages.back().text, QStringLiteral("硬件不支持"));
        QCOMPARE(session.audioStreamInfo.dwSampleSize, 9u);

        // The next opening starts from the default again.
        wizard.SpeedButton7Click();
        wizard.show();
        QCOMPARE(quolva::record::toPlatformFormat(session.soundFormat), SoundFormat::pcm(11025, 16, 1));
        QCOMPARE(session.audioStreamInfo.dwSampleSize, 1u);
        wizard.SpeedButton7Click();
        QVERIFY(prompts->unexpected.isEmpty());
    }

    void aNewTargetTakesTheChosenSoundFormat()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = quolva::app::startUp();
        TForm5& wizard = windows->Form5();
        auto& recorder = windows->Form1().recorder();
        const QString target = file("stereo.avi");
        wizard.show();
        prompts->answerSoundFormat(SoundFormat::pcm(22050, 16, 2));
        wizard.FormatButtonClick();
        quolva::test::wizardToRegionFinish(wizard, *prompts, target, 160);
        wizard.SpeedButton6Click();
        windows->Form1().luzhi();
        QTest::qWait(300);
        windows->Form1().tingzhi();
        recorder.FinishRecording();

        quolva::store::PAVIFILE avi;
        QCOMPARE(quolva::store::AVIFileOpen(&avi, target.toStdString(), quolva::store::OF_READ), quolva::store::AVIERR_OK);
        quolva::store::PAVISTREAM audio;
        QCOMPARE(quolva::store::AVIFileGetStream(avi, &audio, quolva::store::streamtypeAUDIO, 0), quolva::store::AVIERR_OK);
        quolva::store::AVISTREAMINFOA info{};
        quolva::store::AVIStreamInfo(audio, &info, sizeof(info));
        QCOMPARE(info.dwRate, 22050u);
        QCOMPARE(info.dwSampleSize, 4u);
        quolva::store::SoundFormatArea format{};
        quolva::store::LONG size = sizeof(format);
        quolva::store::AVIStreamReadFormat(audio, 0, &format, &size);
        QCOMPARE(quolva::record::toPlatformFormat(format), SoundFormat::pcm(22050, 16, 2));
        QVERIFY(quolva::store::AVIStreamLength(audio) % 4 == 0);
        quolva::store::AVIStreamRelease(audio);
        quolva::store::AVIFileRelease(avi);
    }

    void aWidthThatIsNotANumberIsReported()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = quolva::app::startUp();
        TForm5& wizard = windows->Form5();
        wizard.show();
        QVERIFY(QTest::qWaitForWindowExposed(&wizard));
        wizard.Edit1->setText(QStringLiteral("80o"));
        QTest::keyClick(wizard.Edit1, Qt::Key_Return);
        QCOMPARE(prompts->errors.size(), 1);
        QVERIFY2(prompts->errors.front().contains(QStringLiteral("80o")), qPrintable(prompts->errors.front()));
        QCOMPARE(windows->Form2().size(), QSize(640, 480));
        QCOMPARE(wizard.Edit2->text(), QStringLiteral("480"));

        // Rows that are not numbers at the finish: the error is shown and the step stays.
        quolva::test::wizardToRegionFinish(wizard, *prompts, file("rows.avi"));
        wizard.csb->item(1, 1)->setText(QStringLiteral("wide"));
        QTest::mouseClick(wizard.SpeedButton6, Qt::LeftButton);
        QCOMPARE(prompts->errors.size(), 2);
        QCOMPARE(wizard.step, 5);
        QVERIFY(wizard.isVisible());
        QVERIFY(!windows->Form1().recorder().session.ready);

        // Typed without Enter on the size step: Next takes it as Enter would, so the same error keeps the
        // wizard on that step.
        wizard.SpeedButton5Click(); // 5 -> 4
        wizard.SpeedButton5Click(); // 4 -> 3
        wizard.Edit1->setText(QStringLiteral("6x0"));
        QTest::mouseClick(wizard.SpeedButton6, Qt::LeftButton);
        QCOMPARE(prompts->errors.size(), 3);
        QVERIFY2(prompts->errors.back().contains(QStringLiteral("6x0")), qPrintable(prompts->errors.back()));
        QCOMPARE(wizard.step, 3);
        wizard.SpeedButton7Click();
    }

    void refusedWhileARecordingRuns()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = quolva::app::startUp();
        auto& recorder = windows->Form1().recorder();
        const QString target = file("running.avi");
        quolva::test::prepareRegionRecording(*windows, *prompts, target, 160);
        // A format of its own, which a wizard opening would reset.
        recorder.session.soundFormat = quolva::record::toSoundFormatArea(SoundFormat::pcm(8000, 16, 1));
        windows->Form1().luzhi();
        QVERIFY(recorder.isRecording());
        recorder.Timer1Timer();

        windows->Form1().ShowWizard();
        QVERIFY(!windows->Form5().isVisible());
        QCOMPARE(prompts->messages.size(), 1);
        QCOMPARE(prompts->messages.back().caption, QStringLiteral("提示"));
        QCOMPARE(prompts->messages.back().icon, MessageIcon::Warning);
        QCOMPARE(quolva::record::toPlatformFormat(recorder.session.soundFormat), SoundFormat::pcm(8000, 16, 1));
        QCOMPARE(recorder.session.targetPath, target);
        QVERIFY(recorder.session.ready);

        // Also while the recording is being finished.
        windows->Form1().tingzhi();
        QVERIFY(recorder.isFinishing());
        windows->Form5().show();
        QVERIFY(!windows->Form5().isVisible());
        QCOMPARE(prompts->messages.size(), 2);
        recorder.FinishRecording();
        QCOMPARE(quolva::test::frameCountOf(target), 1);

        // Afterwards it opens again.
        windows->Form5().show();
        QVERIFY(windows->Form5().isVisible());
        windows->Form5().SpeedButton7Click();
        QVERIFY(QFileInfo::exists(target)); // the finished recording is no target of this run
    }

    void thePointerOverTheWizardIsTheArrow()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = quolva::app::startUp();
        TForm5& wizard = windows->Form5();
        wizard.show();
        QVERIFY(QTest::qWaitForWindowExposed(&wizard));
        QVERIFY(quolva::test::pointerTo(windows->Form7(), QPoint(5, 300)));
        quolva::platform::setScreenCursor(quolva::record::panelCursor(66));
        QVERIFY(QGuiApplication::overrideCursor());
        QVERIFY(quolva::test::pointerTo(wizard, QPoint(3, 160)));
        QTRY_VERIFY(!QGuiApplication::overrideCursor());
        wizard.SpeedButton7Click();
    }
};

QUOLVA_RECORD_GUI_TEST_MAIN(WizardTest)
#include "gui_wizard.moc"

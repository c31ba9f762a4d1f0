// The publish dialog driven as the main window and the user drive it, tick by tick: its layout, the
// AVI export's starts (uncompressed by default, the chooser, its cancel and refusal), the end state, a
// close while frames are being written, a frame that cannot be read, the SWF group's start and the
// values the main window reads when it closes the recording, and the web group's runs and cancel.
#include "PublishTestSupport.h"
#include "ScriptedPrompts.h"
#include "app/WindowSet.h"
#include "editor/Etool.h"
#include "publish/AviExport.h"
#include "publish/Unit6.h"
#include "publish/WebExport.h"
#include "store/AviCheck.h"

#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtEndian>
#include <QtTest>

#include <memory>

using namespace quolva;
using namespace quolva::test;

namespace {

// Runs the AVI export's timer to its end; false when it would not end.
bool runTimer1(publish::TForm6& dialog)
{
    for (int tick = 0; tick < 10000 && dialog.Timer1->isActive(); ++tick)
        dialog.Timer1Timer();
    return !dialog.Timer1->isActive();
}

int videoPackets(const QString& path)
{
    for (const QJsonValue stream : avitest::probeStreams(path))
        if (stream.toObject().value("codec_type").toString() == QLatin1String("video"))
            return stream.toObject().value("nb_read_packets").toString().toInt();
    return 0;
}

} // namespace

class PublishDialogTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir_;
    QTemporaryDir config_;
    std::unique_ptr<app::WindowSet> windows_;
    std::unique_ptr<ScriptedPrompts::Installed> prompts_;

    publish::TForm6& dialog() const { return windows_->Form6(); }
    editor::OpenRecording& recording() const { return windows_->Form7().recording(); }
    ScriptedPrompts& prompts() const { return **prompts_; }

    // What the main window's open command does: open, "打开文件", the ready flag; then the publish
    // command shows the dialog.
    void openAndShow(const QString& path)
    {
        recording().Open(path);
        dialog().Button5Click();
        dialog().fileReady = true;
        dialog().show();
    }

private slots:
    void initTestCase()
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config_.path()));
    }

    void init()
    {
        prompts_ = std::make_unique<ScriptedPrompts::Installed>();
        windows_ = std::make_unique<app::WindowSet>();
    }

    void cleanup()
    {
        if (dialog().isVisible()) {
            dialog().Timer2->stop();
            runTimer1(dialog());
            dialog().close();
        }
        windows_.reset();
        QVERIFY2(prompts().unexpected.isEmpty(), qPrintable(prompts().unexpected.join(", ")));
        prompts_.reset();
    }

    void isLaidOutAsDesigned()
    {
        publish::TForm6& form = dialog();
        QCOMPARE(form.windowTitle(), QStringLiteral("发布所录AVI文件"));
        QCOMPARE(form.size(), QSize(271, 434)); // grown downwards by the web group
        QVERIFY(form.windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(form.font().pixelSize(), 13);
        QCOMPARE(form.GroupBox2->title(), QStringLiteral("将帧写入avi文件（*.avi）"));
        QCOMPARE(form.GroupBox1->title(), QStringLiteral("将帧写为Flash 文件（*.SWF）"));
        QCOMPARE(form.GroupBox3->title(), QStringLiteral("将帧写为网络视频"));
        QCOMPARE(form.GroupBox1->geometry(), QRect(8, 112, 255, 124)); // the SWF group keeps its place
        QCOMPARE(form.GroupBox3->geometry().top(), form.GroupBox1->geometry().bottom() + 9);
        QCOMPARE(form.WebFormatBox->count(), 3);
        QCOMPARE(form.WebFormatBox->itemText(0), QStringLiteral("MP4 (H.264)"));
        QCOMPARE(form.WebFormatBox->itemText(1), QStringLiteral("WebM (VP9)"));
        QCOMPARE(form.WebFormatBox->itemText(2), QStringLiteral("GIF"));
        QCOMPARE(form.WebTrackBox->itemText(0), QStringLiteral("原声"));
        QCOMPARE(form.WebTrackBox->itemText(1), QStringLiteral("无声音"));
        QCOMPARE(form.WebStartButton->text(), QStringLiteral("开始"));
        QCOMPARE(form.RadioGroup1->title(), QStringLiteral("压缩视频"));
        QCOMPARE(form.RadioGroup2->title(), QStringLiteral("删除临时文件"));
        QCOMPARE(form.RadioGroup1Yes->text(), QStringLiteral("是"));
        QCOMPARE(form.RadioGroup1No->text(), QStringLiteral("否"));
        QCOMPARE(form.RadioGroup1ItemIndex(), 1); // "否"
        QCOMPARE(form.RadioGroup2ItemIndex(), 0); // "是"
        QVERIFY(form.deletesTemporaryFiles());
        QCOMPARE(form.SpeedButton4->text(), QStringLiteral("开始"));
        QCOMPARE(form.Button7->text(), QStringLiteral("开始"));
        QCOMPARE(form.SpeedButton2->text(), QStringLiteral("退出"));
        QVERIFY(!form.SpeedButton2->isEnabled());
        QCOMPARE(form.Label2->text(), QStringLiteral("声音1、自动循环、平均播放率"));
        QCOMPARE(form.Label2->palette().color(QPalette::WindowText), QColor(0, 128, 128));
        QVERIFY(!form.ProgressBar1->isTextVisible());
        for (QWidget* hidden : {static_cast<QWidget*>(form.SpeedButton3), static_cast<QWidget*>(form.SpeedButton6),
                                static_cast<QWidget*>(form.Button3), static_cast<QWidget*>(form.Button5),
                                static_cast<QWidget*>(form.Button6), static_cast<QWidget*>(form.Button8)})
            QVERIFY2(hidden->isHidden(), qPrintable(hidden->objectName()));
        QCOMPARE(form.SpeedButton3->text(), QStringLiteral("选择视频压缩器..."));
        QCOMPARE(form.SpeedButton6->text(), QStringLiteral("不压缩"));
        QCOMPARE(form.Button3->text(), QStringLiteral("getimage"));
        QCOMPARE(form.Button5->text(), QStringLiteral("打开文件"));
        QCOMPARE(form.Button6->text(), QStringLiteral("flash声音头"));
        QCOMPARE(form.Timer1->interval(), 50);
        QCOMPARE(form.Timer2->interval(), 300);
        QVERIFY(!form.Timer1->isActive() && !form.Timer2->isActive());
        for (QWidget* inside : {static_cast<QWidget*>(form.GroupBox1), static_cast<QWidget*>(form.GroupBox2),
                                static_cast<QWidget*>(form.GroupBox3),
                                static_cast<QWidget*>(form.ProgressBar1), static_cast<QWidget*>(form.SpeedButton2)})
            QVERIFY2(QRect(QPoint(), form.size()).contains(inside->geometry()), qPrintable(inside->objectName()));
    }

    void startsWithoutARecordingAskToOpenOne()
    {
        dialog().show();
        QVERIFY(!dialog().fileReady);
        dialog().SpeedButton4Click();
        dialog().Button7Click();
        QCOMPARE(prompts().messages.size(), 2);
        for (const ScriptedPrompts::Message& message : prompts().messages) {
            QCOMPARE(message.text, QStringLiteral("请先打开文件"));
            QCOMPARE(message.caption, QStringLiteral("提示"));
            QCOMPARE(message.icon, platform::MessageIcon::Warning);
        }
        QVERIFY(prompts().fileRequests.isEmpty() && prompts().compressorRequests.isEmpty());
        QVERIFY(!dialog().Timer1->isActive() && !dialog().Timer2->isActive());
        // Esc presses the cancel button Button7, which asks the same.
        dialog().reject();
        QCOMPARE(prompts().messages.size(), 3);
        QVERIFY(dialog().isVisible());
    }

    // "否" stands by default: a plain start writes every frame uncompressed, showing each in the main
    // window, with the editor's commands refused meanwhile; then the end state, and closing completes the
    // file and closes the recording.
    void aPlainStartWritesEveryFrameUncompressed()
    {
        RecordingRecipe recipe;
        recipe.frames = 7;
        const QString path = MakeRecording(dir_.path(), "plain.avi", recipe);
        openAndShow(path);
        publish::TForm6& form = dialog();
        QCOMPARE(form.frameCount, 7);
        QCOMPARE(form.aviExport().inputFormat.biWidth, 64);
        QCOMPARE(form.aviExport().inputFormat.biHeight, 48);
        QCOMPARE(form.ProgressBar1->maximum(), 7);
        QCOMPARE(recording().Cursor(), store::kFrameStoreHeaderSize); // showing went back to the first frame
        QVERIFY(form.Button7->isEnabled() && form.SpeedButton4->isEnabled());

        form.SpeedButton4Click();
        QVERIFY(prompts().compressorRequests.isEmpty());
        QVERIFY(form.Timer1->isActive());
        QVERIFY(!form.Button7->isEnabled());
        QVERIFY(!form.SpeedButton4->isEnabled());
        QVERIFY(recording().IsHeld());
        QVERIFY(!recording().BusyMessage().isEmpty());
        QVERIFY(runTimer1(form));

        QCOMPARE(form.SpeedButton4->text(), QStringLiteral("结束"));
        QVERIFY(!form.SpeedButton4->isEnabled());
        QVERIFY(form.SpeedButton2->isEnabled());
        QVERIFY(!form.Button7->isEnabled());
        QCOMPARE(form.ProgressBar1->value(), 7);
        QCOMPARE(form.aviExport().frameIndex, 7);
        QVERIFY(!recording().IsHeld());
        QVERIFY(Near(BackgroundOf(windows_->Form7().PictureOnView()), FrameColour(6)));
        QVERIFY(prompts().messages.isEmpty());

        form.SpeedButton2Click();
        QVERIFY(!form.isVisible());
        QVERIFY(!recording().IsOpen());
        QVERIFY(!form.fileReady);
        const QJsonArray streams = avitest::probeStreams(path);
        QCOMPARE(streams.size(), 2);
        QCOMPARE(streams[1].toObject().value("codec_name").toString(), QStringLiteral("rawvideo"));
        QCOMPARE(videoPackets(path), 7);
    }

    // "是" with the chooser cancelled: nothing is created, the start stays usable and the SWF start stays
    // disabled; the user tries again and the export runs through the chosen compressor.
    void aCancelledChooserLeavesTheStartUsable()
    {
        const QString path = MakeScreenRecording(dir_.path(), "chosen.avi", 64, 48, 6);
        openAndShow(path);
        publish::TForm6& form = dialog();
        form.setRadioGroup1ItemIndex(0);
        prompts().cancelVideoCompressor();
        form.SpeedButton4Click();
        QCOMPARE(prompts().compressorRequests.size(), 1);
        const ScriptedPrompts::CompressorRequest request = prompts().compressorRequests[0];
        QCOMPARE(request.title, QStringLiteral("Select Compressor"));
        QCOMPARE(request.flags, platform::ICMF_CHOOSE_KEYFRAME | platform::ICMF_CHOOSE_DATARATE);
        QCOMPARE(request.owner, static_cast<QWidget*>(&windows_->Form7()));
        QVERIFY(form.SpeedButton4->isEnabled());
        QVERIFY(!form.Button7->isEnabled());
        QVERIFY(!form.Timer1->isActive());
        QVERIFY(!form.aviExport().videoStream);
        QVERIFY(!recording().IsHeld());

        prompts().answerVideoCompressor(QStringLiteral("h264"));
        form.SpeedButton4Click();
        QVERIFY(form.aviExport().compressorActive);
        QVERIFY(runTimer1(form));
        QCOMPARE(form.SpeedButton4->text(), QStringLiteral("结束"));
        form.close();
        QVERIFY(!recording().IsOpen());
        const QJsonArray streams = avitest::probeStreams(path);
        QCOMPARE(streams.size(), 2);
        QCOMPARE(streams[1].toObject().value("codec_name").toString(), QStringLiteral("h264"));
        QCOMPARE(videoPackets(path), 6);
    }

    void closingAfterACancelledChooserAddsNoStream()
    {
        const QString path = MakeRecording(dir_.path(), "cancelled.avi");
        openAndShow(path);
        dialog().setRadioGroup1ItemIndex(0);
        prompts().cancelVideoCompressor();
        dialog().SpeedButton4Click();
        dialog().close();
        QVERIFY(!recording().IsOpen());
        QCOMPARE(avitest::probeStreams(path).size(), 1);
        const store::AviCheckReport check = store::CheckAviFile(QFile::encodeName(path).toStdString());
        QVERIFY2(check.Clean(), check.message.c_str());
    }

    void aCompressorThatCannotTakeTheFramesIsRefused()
    {
        const QString path = MakeScreenRecording(dir_.path(), "odd.avi", 65, 49, 3);
        openAndShow(path);
        dialog().setRadioGroup1ItemIndex(0);
        prompts().answerVideoCompressor(QStringLiteral("h264"));
        dialog().SpeedButton4Click();
        QCOMPARE(prompts().messages.size(), 1);
        // The fixed note, then the encoder's own cause: H.264 in 4:2:0 needs even sizes.
        QVERIFY2(prompts().messages[0].text.startsWith(QStringLiteral("Compressor unsuitability\n")) &&
                     prompts().messages[0].text.contains(QStringLiteral("65")),
                 qPrintable(prompts().messages[0].text));
        QVERIFY(!recording().IsHeld());
        QCOMPARE(prompts().messages[0].caption, QStringLiteral("Note"));
        QCOMPARE(prompts().messages[0].icon, platform::MessageIcon::Warning);
        QVERIFY(!dialog().aviExport().videoStream);
        QVERIFY(!dialog().Timer1->isActive());
        QVERIFY(dialog().SpeedButton4->isEnabled());

        // A compressor that takes odd sizes works on the same frames.
        prompts().answerVideoCompressor(QStringLiteral("ffv1"));
        dialog().SpeedButton4Click();
        QVERIFY(runTimer1(dialog()));
        dialog().close();
        QCOMPARE(videoPackets(path), 3);
    }

    // Closing while frames are being written: the export finishes first, with the dialog on view, then
    // the dialog closes and the file holds the whole stream.
    void closingWhileWritingFinishesTheExportFirst()
    {
        RecordingRecipe recipe;
        recipe.frames = 12;
        const QString path = MakeRecording(dir_.path(), "closing.avi", recipe);
        openAndShow(path);
        dialog().SpeedButton4Click();
        QVERIFY(dialog().Timer1->isActive());
        dialog().close();
        QVERIFY(dialog().isVisible());
        QVERIFY(dialog().closePending());
        QVERIFY(recording().IsOpen());
        QVERIFY(runTimer1(dialog()));
        QVERIFY(!dialog().isVisible());
        QVERIFY(!recording().IsOpen());
        QCOMPARE(videoPackets(path), 12);
        const store::AviCheckReport check = store::CheckAviFile(QFile::encodeName(path).toStdString());
        QVERIFY2(check.Clean(), check.message.c_str());
    }

    void aFrameThatCannotBeReadEndsTheExportWithAMessage()
    {
        const QString path = MakeScreenRecording(dir_.path(), "damaged.avi", 64, 48, 8);
        DamageRecord(path + ".xxx", 3, Damage::Undecodable);
        openAndShow(path);
        dialog().SpeedButton4Click();
        QVERIFY(runTimer1(dialog()));
        QCOMPARE(prompts().messages.size(), 1);
        QVERIFY2(prompts().messages[0].text.contains(QStringLiteral("第 4 帧")), qPrintable(prompts().messages[0].text));
        QCOMPARE(prompts().messages[0].caption, QStringLiteral("提示"));
        QCOMPARE(dialog().SpeedButton4->text(), QStringLiteral("结束"));
        QVERIFY(dialog().SpeedButton2->isEnabled());
        QVERIFY(!recording().IsHeld());
        dialog().close();
        QCOMPARE(videoPackets(path), 3);
        const store::AviCheckReport check = store::CheckAviFile(QFile::encodeName(path).toStdString());
        QVERIFY2(check.Clean(), check.message.c_str());
    }

    // The recording closed under a running export (by anything that ignored the hold): the close ends the
    // export first and completes the file; the dialog tells that the export ended there.
    void aRecordingClosedUnderTheExportStillGivesACompleteFile()
    {
        RecordingRecipe recipe;
        recipe.frames = 6;
        const QString path = MakeRecording(dir_.path(), "closed-under.avi", recipe);
        openAndShow(path);
        dialog().SpeedButton4Click();
        QVERIFY(recording().Close());
        dialog().fileReady = false; // as the main window's close command leaves it
        QVERIFY(runTimer1(dialog()));
        QCOMPARE(prompts().messages.size(), 1);
        QVERIFY(prompts().messages[0].text.contains(QStringLiteral("第 1 帧")));
        dialog().close();
        QVERIFY(!dialog().isVisible());
        const store::AviCheckReport check = store::CheckAviFile(QFile::encodeName(path).toStdString());
        QVERIFY2(check.Clean(), check.message.c_str());
        QCOMPARE(avitest::probeStreams(path).size(), 2);
    }

    // The SWF start: the save dialog as described, then the flags the main window's close command reads
    // to decide whether the frame store goes ("删除临时文件" at "是") or stays ("否").
    void theSwfStartSetsWhatTheCloseCommandReads_data()
    {
        QTest::addColumn<int>("deleteChoice");
        QTest::newRow("是") << 0;
        QTest::newRow("否") << 1;
    }

    void theSwfStartSetsWhatTheCloseCommandReads()
    {
        QFETCH(int, deleteChoice);
        const QString path = MakeRecording(dir_.path(), QStringLiteral("swf%1.avi").arg(deleteChoice));
        openAndShow(path);
        dialog().setRadioGroup2ItemIndex(deleteChoice);
        prompts().cancelFileDialog();
        dialog().Button7Click();
        QVERIFY(!dialog().swfExportStarted);
        QVERIFY(dialog().SpeedButton4->isEnabled());

        prompts().answerFiles({dir_.filePath(QStringLiteral("movie%1.swf").arg(deleteChoice))});
        dialog().Button7Click();
        QCOMPARE(prompts().fileRequests.size(), 2);
        const platform::FileDialogRequest request = prompts().fileRequests[1].request;
        QVERIFY(prompts().fileRequests[1].save);
        QCOMPARE(request.filter, QStringLiteral("Flash File[*.swf]|*.swf"));
        QCOMPARE(request.defaultSuffix, QStringLiteral("swf"));
        QVERIFY(request.confirmOverwrite);
        QVERIFY(dialog().swfExportStarted);
        QVERIFY(!dialog().SpeedButton4->isEnabled());
        QVERIFY(!dialog().SpeedButton2->isEnabled());
        QVERIFY(dialog().Timer2->isActive());
        QCOMPARE(dialog().deletesTemporaryFiles(), deleteChoice == 0);
        // Once the movie is written, a second showing of the dialog starts with the flag cleared.
        dialog().Timer2Timer();
        QCOMPARE(dialog().Button7->text(), QStringLiteral("结束"));
        dialog().hide();
        dialog().show();
        QVERIFY(!dialog().swfExportStarted);
    }

    // Showing the dialog puts the shared cursor before the first frame for the exports; the browser's count
    // goes with it, so that its next frame is frame 1 numbered 1, not frame 1 under the old number.
    void showingTheDialogKeepsTheBrowsersCountInStep()
    {
        const QString path = MakeRecording(dir_.path(), QStringLiteral("count.avi"), {.frames = 5});
        recording().Open(path);
        for (int i = 0; i < 3; ++i)
            recording().NextFrame();
        QCOMPARE(recording().NumberOnView(), 3);
        dialog().Button5Click();
        dialog().show();
        QCOMPARE(recording().Cursor(), store::kFrameStoreHeaderSize);
        recording().NextFrame();
        QCOMPARE(recording().NumberOnView(), 1);
    }

    // A whole SWF export from the dialog: the run in Timer2's tick, the movie of N − 1 frames, the dialog's
    // end state, and closing it closes the recording and deletes the frame store only at "是".
    void theSwfExportRunsAndClosingDeletesTheFrameStoreAtYes_data()
    {
        QTest::addColumn<int>("deleteChoice");
        QTest::newRow("是") << 0;
        QTest::newRow("否") << 1;
    }
    void theSwfExportRunsAndClosingDeletesTheFrameStoreAtYes()
    {
        QFETCH(int, deleteChoice);
        const QString path = MakeRecording(dir_.path(), QStringLiteral("swfrun%1.avi").arg(deleteChoice), {.frames = 6});
        const QString movie = dir_.filePath(QStringLiteral("run%1.swf").arg(deleteChoice));
        openAndShow(path);
        dialog().setRadioGroup2ItemIndex(deleteChoice);
        prompts().answerFiles({movie});
        dialog().Button7Click();
        QVERIFY(dialog().Timer2->isActive());
        dialog().Timer2Timer();
        QVERIFY(prompts().messages.isEmpty());
        QVERIFY(!dialog().Timer2->isActive());
        QCOMPARE(dialog().Button7->text(), QStringLiteral("结束"));
        QVERIFY(!dialog().Button7->isEnabled());
        QVERIFY(dialog().SpeedButton2->isEnabled());
        QVERIFY(!dialog().SpeedButton4->isEnabled());
        QCOMPARE(dialog().ProgressBar1->value(), 6);
        QCOMPARE(recording().Cursor(), store::kFrameStoreHeaderSize);

        QFile file(movie);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray head = file.read(64);
        QVERIFY(head.startsWith("FWS\x05"));
        QCOMPARE(quint32(qFromLittleEndian<quint32>(head.constData() + 4)), quint32(file.size()));
        // The frame count follows the 5-bit-sized frame rectangle and the 16-bit rate.
        const int rectBits = 5 + 4 * (quint8(head[8]) >> 3);
        const int countAt = 8 + (rectBits + 7) / 8 + 2;
        QCOMPARE(int(qFromLittleEndian<quint16>(head.constData() + countAt)), 5);

        dialog().close();
        QVERIFY(!recording().IsOpen());
        QCOMPARE(QFile::exists(path + ".xxx"), deleteChoice == 1);
        QVERIFY(QFile::exists(path));
    }

    // An SWF export that fails writes nothing: the message, the dialog as before the start, and the
    // frame store kept even with "删除临时文件" at "是".
    void aFailedSwfExportKeepsTheFrameStore()
    {
        const QString path = MakeRecording(dir_.path(), "swffail.avi");
        openAndShow(path);
        QVERIFY(dialog().deletesTemporaryFiles());
        prompts().answerFiles({dir_.filePath(QStringLiteral("no such folder/movie.swf"))});
        dialog().Button7Click();
        QVERIFY(dialog().swfExportStarted);
        dialog().Timer2Timer();
        QVERIFY(!dialog().Timer2->isActive());
        QCOMPARE(prompts().messages.size(), 1);
        QCOMPARE(prompts().messages[0].caption, QStringLiteral("提示"));
        QVERIFY(!dialog().swfExportStarted);
        QVERIFY(dialog().Button7->isEnabled());
        QVERIFY(dialog().SpeedButton4->isEnabled());
        dialog().close();
        QVERIFY(!recording().IsOpen());
        QVERIFY(QFile::exists(path + ".xxx"));
    }

    // The web group: the track choice lists the dubbed tracks; a run writes the movie in the chosen
    // format from the timer while the progress bar follows; "取消" leaves nothing behind.
    void theWebGroupWritesOrCancelsAMovie_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<bool>("cancel");
        QTest::newRow("webm, dubbed track 1") << int(publish::WebFormat::WebM) << false;
        QTest::newRow("gif") << int(publish::WebFormat::Gif) << false;
        QTest::newRow("mp4, cancelled") << int(publish::WebFormat::Mp4) << true;
    }
    void theWebGroupWritesOrCancelsAMovie()
    {
        QFETCH(int, format);
        QFETCH(bool, cancel);
        const QString path = MakeRecording(dir_.path(), QStringLiteral("web%1%2.avi").arg(format).arg(cancel), {.frames = 12});
        {
            editor::OpenRecording dubbed;
            dubbed.Open(path);
            dubbed.AddStream(dubbed.audioStreamInfo, &dubbed.audioFormat, sizeof dubbed.audioFormat);
            dubbed.Close();
        }
        openAndShow(path);
        QCOMPARE(dialog().WebTrackBox->count(), 3);
        QCOMPARE(dialog().WebTrackBox->itemText(1), QStringLiteral("配音 1"));
        dialog().WebFormatBox->setCurrentIndex(format);
        dialog().WebTrackBox->setCurrentIndex(format == int(publish::WebFormat::WebM) ? 1 : 0);
        QTemporaryDir out;
        const QString extension = publish::WebFormatExtension(static_cast<publish::WebFormat>(format));
        const QString movie = out.filePath("movie." + extension);
        prompts().answerFiles({movie});
        dialog().WebStartButton->click();
        QCOMPARE(prompts().fileRequests.last().request.defaultSuffix, extension);
        QCOMPARE(prompts().fileRequests.last().request.directory, QFileInfo(path).absolutePath()); // beside the recording
        QVERIFY(dialog().Timer3->isActive());
        QVERIFY(recording().IsHeldBy(publish::WebExport::kActivity));
        QCOMPARE(dialog().WebStartButton->text(), QStringLiteral("取消"));
        QVERIFY(!dialog().SpeedButton4->isEnabled() && !dialog().Button7->isEnabled());
        if (cancel) {
            QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden).size(), 1); // the part file
            dialog().WebStartButton->click();
        }
        for (int tick = 0; tick < 10000 && dialog().Timer3->isActive(); ++tick)
            dialog().Timer3Timer();
        QVERIFY(!dialog().Timer3->isActive());
        QVERIFY(!recording().IsHeld());
        QCOMPARE(dialog().WebStartButton->text(), QStringLiteral("开始"));
        QVERIFY(dialog().SpeedButton4->isEnabled() && dialog().Button7->isEnabled());
        QVERIFY2(prompts().messages.isEmpty(), qPrintable(prompts().messages.isEmpty() ? "" : prompts().messages.last().text));
        if (cancel) {
            QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
            QCOMPARE(dialog().ProgressBar1->value(), 0);
        } else {
            QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"movie." + extension});
            QCOMPARE(dialog().ProgressBar1->value(), dialog().ProgressBar1->maximum());
            QCOMPARE(videoPackets(movie), 12);
            QVERIFY(dialog().SpeedButton2->isEnabled());
        }
    }
};

QTEST_MAIN(PublishDialogTest)
#include "test_publish_dialog.moc"

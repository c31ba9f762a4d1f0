// Long work never loses or corrupts a movie: the editor and the publish dialog driven as a user drives
// them under the window manager, with dubbing, playback, update runs and both exports in the sequences
// that once lost or damaged files. Every file the program closes must pass the checks, and every export
// that says "结束" must hold every frame in order.
#include "LongWorkSupport.h"
#include "RecordingFixture.h"
#include "Rig.h"
#include "ScriptedPrompts.h"
#include "app/WindowSet.h"
#include "editor/EditorControls.h"
#include "editor/Etool.h"
#include "publish/AviExport.h"
#include "publish/Unit6.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

using namespace quolva;
using namespace quolva::test;
using editor::TForm7;
using publish::TForm6;

namespace {

constexpr int kFrames = 24;

// N frames over N × 1378 sample frames at 11025 Hz: eight frames a second, the SWF's own pace.
RecordingRecipe recipe()
{
    RecordingRecipe wanted{.frames = kFrames, .width = 64, .height = 48};
    wanted.soundBytes = kFrames * 1378 * 2;
    return wanted;
}

QByteArray soundOf(const RecordingRecipe& wanted)
{
    const std::vector<std::uint8_t> bytes = FixtureSound(wanted);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

bool askedToRepair(const ScriptedPrompts& prompts)
{
    for (const ScriptedPrompts::Message& message : prompts.messages)
        if (message.text.contains(QStringLiteral("没有正常结束")))
            return true;
    return false;
}

QStringList texts(const ScriptedPrompts& prompts)
{
    QStringList all;
    for (const ScriptedPrompts::Message& message : prompts.messages)
        all << message.text;
    return all;
}

} // namespace

class LongWorkTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QTemporaryDir config_;
    std::unique_ptr<ScriptedPrompts::Installed> prompts_;
    std::unique_ptr<app::WindowSet> windows_;
    int case_ = 0;

    ScriptedPrompts& prompts() { return **prompts_; }
    TForm7& window() { return windows_->Form7(); }
    TForm6& dialog() { return windows_->Form6(); }

    QString newRecording()
    {
        return MakeRecording(dir_.path(), QStringLiteral("rec%1.avi").arg(++case_), recipe());
    }

    // The open command with the file dialog answered.
    void open(const QString& path)
    {
        prompts().answerFiles({path});
        window().ToolButton1->click();
        QCOMPARE(window().Edit1->text(), QStringLiteral("1"));
    }

    void runPlayback(int ticks)
    {
        for (int i = 0; i < ticks && window().Timer6.isActive(); ++i)
            window().Timer6Timer();
    }

    bool runAviExport()
    {
        for (int tick = 0; tick < 10000 && dialog().Timer1->isActive(); ++tick)
            dialog().Timer1Timer();
        return !dialog().Timer1->isActive() && dialog().SpeedButton4->text() == QStringLiteral("结束");
    }

    // Empty when the recording's files are whole and its one video stream holds every record; otherwise
    // what is wrong.
    static QString publishedWhole(const QString& path, bool uncompressed)
    {
        const QString files = longwork::CheckRecordingFiles(path);
        if (!files.isEmpty())
            return files;
        if (longwork::VideoStreamCount(path) != 1)
            return QStringLiteral("%1 video streams").arg(longwork::VideoStreamCount(path));
        return longwork::CheckAviExport(path, 0, longwork::Decode(longwork::StoreRecords(path)), uncompressed);
    }

    // The program ends: the windows close and are destroyed, as at exit.
    void quit()
    {
        window().close();
        windows_.reset();
    }

private slots:
    void initTestCase()
    {
        QUOLVA_REQUIRE_DISPLAY();
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config_.path()));
        qputenv("QUOLVA_SOUND_SOURCE", "tone:440");
    }

    void init()
    {
        prompts_ = std::make_unique<ScriptedPrompts::Installed>();
        windows_ = std::make_unique<app::WindowSet>();
        window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&window()));
    }

    void cleanup()
    {
        windows_.reset();
        QVERIFY2(prompts().errors.isEmpty(), qPrintable(prompts().errors.join('\n')));
        QVERIFY2(prompts().unexpected.isEmpty(), qPrintable(prompts().unexpected.join(", ")));
        prompts_.reset();
    }

    // Dubbing, paused or played to its end, then the recording closed: the AVI file is complete (no
    // repair is offered when it is opened again), and a movie published afterwards survives the exit.
    void dubbingThenCloseLeavesTheFileFinished_data()
    {
        QTest::addColumn<bool>("toTheEnd");
        QTest::newRow("paused") << false;
        QTest::newRow("played to its end") << true;
    }
    void dubbingThenCloseLeavesTheFileFinished()
    {
        QFETCH(bool, toTheEnd);
        const QString path = newRecording();
        open(path);
        window().ToolButton14->click();
        window().SpeedButton16->click(); // "录制"
        QVERIFY(window().Timer6.isActive());
        QTest::qWait(300);
        if (toTheEnd) {
            runPlayback(kFrames + 1);
            QCOMPARE(window().SpeedButton16->text(), QStringLiteral("结束"));
        } else {
            runPlayback(3);
            window().SpeedButton17->click(); // "暂停"
        }
        QVERIFY(!window().recording().IsHeld());
        QTest::qWait(300); // the stopped capture's last buffers come back and are written meanwhile
        window().ToolButton12->click();
        QVERIFY2(longwork::CheckRecordingFiles(path).isEmpty(), qPrintable(longwork::CheckRecordingFiles(path)));

        // Opened again: nothing to repair. Published, the dialog left with "退出", the program ended.
        open(path);
        QVERIFY2(!askedToRepair(prompts()), qPrintable(texts(prompts()).join('\n')));
        window().N12->trigger();
        dialog().SpeedButton4->click();
        QVERIFY(runAviExport());
        dialog().SpeedButton2->click();
        quit();
        const QString published = publishedWhole(path, true);
        QVERIFY2(published.isEmpty(), qPrintable(published));
    }

    // The dialog minimised and restored, or hidden and shown again, during an H.264 export: the export goes
    // on with its compressor, both start buttons stay disabled, and every packet is H.264.
    void showingTheDialogAgainKeepsTheExport_data()
    {
        QTest::addColumn<bool>("minimise");
        QTest::newRow("minimised and restored") << true;
        QTest::newRow("hidden and shown") << false;
    }
    void showingTheDialogAgainKeepsTheExport()
    {
        QFETCH(bool, minimise);
        const QString path = newRecording();
        open(path);
        window().N12->trigger();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog()));
        dialog().setRadioGroup1ItemIndex(0);
        prompts().answerVideoCompressor(QStringLiteral("h264"));
        dialog().SpeedButton4->click();
        QVERIFY(dialog().Timer1->isActive());
        // The export's ticks wait while the window system shows the dialog again, as they would behind a
        // busy event loop: the dialog comes back while the export is still under way.
        // (The blocker ends before the windows go, at the end of this block.)
        {
            const QSignalBlocker ticksWait(dialog().Timer1);
            if (minimise) {
                dialog().showMinimized();
                QTRY_VERIFY(dialog().isMinimized());
                QTest::qWait(200);
                dialog().showNormal();
                QTRY_VERIFY(!dialog().isMinimized());
            } else {
                dialog().hide();
                dialog().show();
            }
            QVERIFY(QTest::qWaitForWindowExposed(&dialog()));
            QTest::qWait(200);
            QVERIFY(dialog().aviExport().compressorActive);
            QVERIFY(!dialog().SpeedButton4->isEnabled());
            QVERIFY(!dialog().Button7->isEnabled());
        }
        QVERIFY(runAviExport());
        dialog().SpeedButton2->click();
        quit();
        const QString published = publishedWhole(path, false);
        QVERIFY2(published.isEmpty(), qPrintable(published));
    }

    // The SWF export reads every frame from the first, whatever the browser does: playback running while
    // the file dialog is open, the browser stepped to frame 5. During an update run it is refused, and the
    // update commits. Afterwards the browser shows its own frame and number.
    void swfExportHoldsEveryFrameInStep_data()
    {
        QTest::addColumn<QString>("before");
        QTest::newRow("playing during the file dialog") << QStringLiteral("play");
        QTest::newRow("browser at frame 5") << QStringLiteral("frame 5");
        QTest::newRow("during an update run") << QStringLiteral("update");
    }
    void swfExportHoldsEveryFrameInStep()
    {
        QFETCH(QString, before);
        const QString path = newRecording();
        const QString movie = QDir(dir_.path()).filePath(QStringLiteral("movie%1.swf").arg(case_));
        open(path);
        const std::vector<QImage> frames = longwork::Decode(longwork::StoreRecords(path));
        window().N12->trigger();
        if (before == QLatin1String("play")) {
            window().ToolButton6->click();
            runPlayback(3);
            prompts().whileDialogShown = [this] { runPlayback(7); };
        } else if (before == QLatin1String("frame 5")) {
            for (int i = 0; i < 8 && window().Edit1->text() != QLatin1String("5"); ++i)
                window().ToolButton2->click();
            QCOMPARE(window().Edit1->text(), QStringLiteral("5"));
        } else {
            window().Edit3->setText(QStringLiteral("4"));
            window().ToolButton27->click();
            QVERIFY(window().Timer5.isActive());
            window().Timer5Timer();
        }
        const QString onViewBefore = window().Edit1->text();
        if (before != QLatin1String("update"))
            prompts().answerFiles({movie});
        dialog().Button7->click();
        prompts().whileDialogShown = nullptr;
        if (before == QLatin1String("update")) {
            QVERIFY(!dialog().Timer2->isActive());
            QVERIFY2(texts(prompts()).contains(QStringLiteral("正在连续更新，请等它结束后再操作")),
                     qPrintable(texts(prompts()).join('\n')));
            while (window().Timer5.isActive())
                window().Timer5Timer();
            QVERIFY2(!texts(prompts()).join('\n').contains(QStringLiteral("连续更新没有写入")),
                     qPrintable(texts(prompts()).join('\n')));
            QVERIFY(!QFile::exists(movie));
            return;
        }
        QVERIFY(!window().Timer6.isActive()); // the export took the recording from playback
        QVERIFY(dialog().Timer2->isActive());
        dialog().Timer2Timer();
        QCOMPARE(dialog().Button7->text(), QStringLiteral("结束"));
        QVERIFY(!window().recording().IsHeld());
        QCOMPARE(window().Edit1->text(), onViewBefore);
        const QString check = longwork::CheckSwfExport(movie, frames, soundOf(recipe()), 2, 11025);
        QVERIFY2(check.isEmpty(), qPrintable(check));
    }

    // The web export started while the recording plays, playback going on during its file dialog: the
    // export takes the recording from playback before the dialog, reads every frame from the first with its
    // own reader, leaves the browser where it was and gives the recording back.
    void webExportStartedDuringPlaybackHoldsEveryFrame()
    {
        const QString path = newRecording();
        const QString movie = QDir(dir_.path()).filePath(QStringLiteral("movie%1.mp4").arg(case_));
        open(path);
        window().N12->trigger();
        window().ToolButton6->click();
        runPlayback(3);
        prompts().whileDialogShown = [this] { runPlayback(7); };
        const QString onViewBefore = window().Edit1->text();
        prompts().answerFiles({movie});
        dialog().WebStartButton->click();
        prompts().whileDialogShown = nullptr;
        QVERIFY(!window().Timer6.isActive()); // the export took the recording from playback
        QVERIFY(dialog().Timer3->isActive());
        for (int tick = 0; tick < 10000 && dialog().Timer3->isActive(); ++tick)
            dialog().Timer3Timer();
        QVERIFY(!dialog().Timer3->isActive());
        QVERIFY(!window().recording().IsHeld());
        QCOMPARE(window().Edit1->text(), onViewBefore);
        const QJsonArray streams = avitest::probeStreams(movie);
        QCOMPARE(streams.size(), 2);
        QCOMPARE(streams[0].toObject().value("nb_read_packets").toString(), QString::number(recipe().frames));
    }

    // A compressed export whose chooser stayed open while playback ran: every frame, from the first.
    void compressedExportStartsAtTheFirstFrame()
    {
        const QString path = newRecording();
        open(path);
        window().N12->trigger();
        window().ToolButton6->click();
        runPlayback(2);
        dialog().setRadioGroup1ItemIndex(0);
        prompts().answerVideoCompressor(QStringLiteral("h264"));
        prompts().whileDialogShown = [this] { runPlayback(9); };
        dialog().SpeedButton4->click();
        prompts().whileDialogShown = nullptr;
        QVERIFY(runAviExport());
        QVERIFY2(prompts().messages.isEmpty(), qPrintable(texts(prompts()).join('\n')));
        dialog().SpeedButton2->click();
        quit();
        const QString published = publishedWhole(path, false);
        QVERIFY2(published.isEmpty(), qPrintable(published));
    }

    // The recording opened again while the dialog still holds the last export's video stream: one writer,
    // no repair offered, and after the exit the file is whole with its video.
    void reopeningAfterAnExportLeavesOneWriter()
    {
        const QString path = newRecording();
        open(path);
        window().N12->trigger();
        dialog().SpeedButton4->click();
        QVERIFY(runAviExport());
        open(path);
        QVERIFY2(!askedToRepair(prompts()), qPrintable(texts(prompts()).join('\n')));
        QVERIFY2(longwork::CheckRecordingFiles(path).isEmpty(), qPrintable(longwork::CheckRecordingFiles(path)));
        dialog().SpeedButton2->click();
        quit();
        QVERIFY2(longwork::CheckRecordingFiles(path).isEmpty(), qPrintable(longwork::CheckRecordingFiles(path)));
        QCOMPARE(longwork::VideoStreamCount(path), 1);
    }

    // Closing the main window while an export writes waits for the export; the file is complete.
    void closingTheMainWindowWaitsForTheExport()
    {
        const QString path = newRecording();
        open(path);
        window().N12->trigger();
        dialog().SpeedButton4->click();
        QVERIFY(dialog().Timer1->isActive());
        window().close();
        QVERIFY(window().isVisible());
        QVERIFY(window().closePending());
        QVERIFY(runAviExport());
        QTRY_VERIFY(!window().isVisible());
        windows_.reset();
        const QString published = publishedWhole(path, true);
        QVERIFY2(published.isEmpty(), qPrintable(published));
    }

    // An SWF movie deletes the frame store of its own recording only: another recording opened after it,
    // with or without closing the first, keeps its frames when it is closed.
    void onlyTheMoviesOwnFramesAreDeleted_data()
    {
        QTest::addColumn<bool>("closeFirst");
        QTest::newRow("first closed by the dialog's exit") << true;
        QTest::newRow("second opened over the first") << false;
    }
    void onlyTheMoviesOwnFramesAreDeleted()
    {
        QFETCH(bool, closeFirst);
        const QString first = newRecording();
        const QString second = newRecording();
        open(first);
        window().N12->trigger();
        prompts().answerFiles({QDir(dir_.path()).filePath(QStringLiteral("first%1.swf").arg(case_))});
        dialog().Button7->click();
        dialog().Timer2Timer();
        QCOMPARE(dialog().Button7->text(), QStringLiteral("结束"));
        if (closeFirst) {
            dialog().SpeedButton2->click();
            QVERIFY(!QFile::exists(first + ".xxx")); // its movie holds its frames: "删除临时文件" is "是"
        }
        open(second);
        window().ToolButton12->click();
        QVERIFY(QFile::exists(second + ".xxx"));
        QCOMPARE(longwork::StoreRecords(second).size(), std::size_t(kFrames));
    }

    // The dialog closed while dubbing holds the recording: the recording stays open (the close is refused
    // with the busy message) and the dialog can still export it once dubbing has ended.
    void theDialogClosedDuringDubbingStillExports()
    {
        const QString path = newRecording();
        open(path);
        window().SpeedButton16->click();
        window().N12->trigger();
        dialog().close();
        QVERIFY(window().recording().IsOpen());
        QCOMPARE(prompts().messages.last().text, QStringLiteral("正在录制背景声音，请等它结束后再操作"));
        window().SpeedButton17->click();
        window().N12->trigger();
        dialog().SpeedButton4->click();
        QVERIFY(runAviExport());
        QCOMPARE(prompts().messages.size(), 1);
        dialog().SpeedButton2->click();
        quit();
        const QString published = publishedWhole(path, true);
        QVERIFY2(published.isEmpty(), qPrintable(published));
    }

    // After a playback to its end (dubbing "结束"), opening a recording returns dubbing to idle.
    void openingReturnsDubbingToIdle()
    {
        const QString path = newRecording();
        open(path);
        window().ToolButton6->click();
        runPlayback(kFrames + 1);
        QCOMPARE(window().SpeedButton16->text(), QStringLiteral("结束"));
        QVERIFY(!window().SpeedButton16->isEnabled());
        window().ToolButton12->click();
        open(path);
        QCOMPARE(window().SpeedButton16->text(), QStringLiteral("录制"));
        QVERIFY(window().SpeedButton16->isEnabled());
        QVERIFY(!window().SpeedButton17->isEnabled());
    }
};

QTEST_MAIN(LongWorkTest)
#include "gui_long_work_keeps_movies_whole.moc"

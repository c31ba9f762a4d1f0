// The panel's global hotkeys pressed with xdotool while the panel is hidden: Shift+Up minimises the
// program and records, Shift+Down restores it and stops, Shift+Pause (taken from other programs only
// while a recording runs) pauses and resumes, as the main window's menu item does; a combination held by
// another program is reported once at start-up and the other one still works.
#include "OtherXClient.h"
#include "RecordGuiSupport.h"
#include "Rig.h"
#include "ScriptedPrompts.h"
#include "app/Application.h"
#include "app/Startup.h"
#include "editor/Etool.h"
#include "platform/GlobalHotkeys.h"

#include <QLabel>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <X11/keysym.h>

#include <cstdlib>

using quolva::platform::MessageIcon;
using quolva::test::ScriptedPrompts;

namespace {

bool press(const char* keys)
{
    return quolva::test::xdotool({QStringLiteral("key"), QString::fromLatin1(keys)});
}

} // namespace

class PanelHotkeysTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir;

private slots:
    void initTestCase() { QUOLVA_REQUIRE_DISPLAY(); }

    void shiftUpRecordsAPreparedRecordingAndShiftDownStopsIt()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = quolva::app::startUp();
        auto& panel = windows->Form1();
        auto& recorder = panel.recorder();
        QVERIFY(QTest::qWaitForWindowExposed(&windows->Form7()));
        const QString target = dir.filePath(QStringLiteral("hotkeys.avi"));
        quolva::test::prepareRegionRecording(*windows, *prompts, target, 320);
        QVERIFY(!panel.isVisible());

        QVERIFY(press("shift+Up"));
        QTRY_VERIFY(recorder.isRecording());
        QVERIFY(windows->Form7().isMinimized());
        QVERIFY(!panel.isVisible());
        QTRY_VERIFY(recorder.session.frameCounter >= 3);

        // Again while everything is minimised: a second Record changes nothing.
        QVERIFY(press("shift+Up"));
        QTest::qWait(200);
        QVERIFY(recorder.isRecording());

        QVERIFY(press("shift+Down"));
        QTRY_VERIFY(!recorder.isRecording());
        QTRY_COMPARE(panel.Label1->text(), QStringLiteral("End"));
        QVERIFY(!windows->Form7().isMinimized());
        QVERIFY(windows->Form7().isVisible());
        QVERIFY(prompts->messages.isEmpty());
        QVERIFY(prompts->errors.isEmpty());
        QVERIFY(quolva::test::frameCountOf(target) >= 3);
    }

    void shiftPausePausesAndResumesOnlyWhileARecordingRuns()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = quolva::app::startUp();
        auto& panel = windows->Form1();
        auto& recorder = panel.recorder();
        QVERIFY(QTest::qWaitForWindowExposed(&windows->Form7()));
        const auto pauseKeyIsFree = [] {
            quolva::test::OtherXClient other; // its grab ends with its connection
            return other.grabShift(XK_Pause);
        };
        QVERIFY(pauseKeyIsFree());
        quolva::editor::TForm7& editor = windows->Form7();
        editor.PauseRecordingItem->trigger(); // nothing to pause yet
        QCOMPARE(prompts->messages.size(), 1);
        QCOMPARE(prompts->messages[0].text, QStringLiteral("还没有进行录制"));
        prompts->messages.clear();
        quolva::test::prepareRegionRecording(*windows, *prompts, dir.filePath(QStringLiteral("paused.avi")), 320);
        QVERIFY(pauseKeyIsFree());

        QVERIFY(press("shift+Up"));
        QTRY_VERIFY(recorder.session.frameCounter >= 2);
        QVERIFY(!pauseKeyIsFree());
        const auto pausedFor = [&](auto pause, auto resume) {
            pause();
            QTRY_VERIFY(recorder.isPaused());
            QCOMPARE(panel.Label1->text(), QStringLiteral("已暂停"));
            const int frames = recorder.session.frameCounter;
            const int seconds = recorder.elapsedSeconds;
            QTest::qWait(1300);
            QCOMPARE(recorder.session.frameCounter, frames);
            QCOMPARE(recorder.elapsedSeconds, seconds);
            resume();
            QTRY_VERIFY(!recorder.isPaused());
            QTRY_VERIFY(recorder.session.frameCounter >= frames + 2);
        };
        pausedFor([] { QVERIFY(press("shift+Pause")); }, [] { QVERIFY(press("shift+Pause")); });
        pausedFor([&] { editor.PauseRecordingItem->trigger(); }, [&] { editor.PauseRecordingItem->trigger(); });

        QVERIFY(press("shift+Down"));
        QTRY_COMPARE(panel.Label1->text(), QStringLiteral("End"));
        QVERIFY(pauseKeyIsFree());
        QVERIFY(prompts->messages.isEmpty() && prompts->errors.isEmpty());
    }

    void shiftUpWithoutASetupSaysSo()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = quolva::app::startUp();
        QVERIFY(QTest::qWaitForWindowExposed(&windows->Form7()));
        QVERIFY(press("shift+Up"));
        QTRY_COMPARE(prompts->messages.size(), 1);
        QCOMPARE(prompts->messages[0].text, QStringLiteral("请先进行设置"));
        QCOMPARE(prompts->messages[0].icon, MessageIcon::Error);
        QVERIFY(windows->Form7().isMinimized()); // minimised first, then the refusal

        QVERIFY(press("shift+Down"));
        QTRY_COMPARE(prompts->messages.size(), 2);
        QCOMPARE(prompts->messages[1].text, QStringLiteral("还没有进行录制"));
        QVERIFY(!windows->Form7().isMinimized());
        QVERIFY(windows->Form7().isVisible());
    }

    void aCombinationAnotherProgramHoldsIsReportedOnceAtStartUp()
    {
        quolva::test::OtherXClient other;
        QVERIFY(other.grabShift(XK_Up));
        ScriptedPrompts::Installed prompts;
        const auto windows = quolva::app::startUp();
        QTRY_COMPARE(prompts->messages.size(), 1);
        const auto report = prompts->messages.front();
        QVERIFY2(report.text.contains(QStringLiteral("Shift+Up")) && !report.text.contains(QStringLiteral("Shift+Down")),
                 qPrintable(report.text));
        QCOMPARE(report.caption, QStringLiteral("提示"));
        QCOMPARE(report.icon, MessageIcon::Warning);
        QCOMPARE(windows->Form1().hotkeyProblems().size(), 1);

        // Shift+Up reaches the other program, Shift+Down still reaches the panel.
        QVERIFY(press("shift+Up"));
        QVERIFY(press("shift+Down"));
        QTRY_COMPARE(prompts->messages.size(), 2);
        QCOMPARE(prompts->messages[1].text, QStringLiteral("还没有进行录制"));
        QTest::qWait(200);
        QCOMPARE(prompts->messages.size(), 2);
    }
};

QUOLVA_RECORD_GUI_TEST_MAIN(PanelHotkeysTest)
#include "gui_panel_hotkeys.moc"

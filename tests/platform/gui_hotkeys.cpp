// Global hotkeys on a real X display: Shift+Up and Shift+Down reach us with no window of ours shown,
// whatever the state of NumLock and CapsLock; a combination another program holds is reported as taken;
// our grabs go when the hotkeys object goes.

#include "OtherXClient.h"
#include "platform/GlobalHotkeys.h"

#include <QGuiApplication>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <X11/keysym.h>

#include <cstdlib>
#include <vector>

using namespace quolva::platform;
using Registration = GlobalHotkeys::Registration;

namespace {

constexpr int kRecordId = 0x10DF;
constexpr int kStopId = 0x10CF;

void pressKeys(const QString& keys)
{
    QCOMPARE(QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), keys}), 0);
}

}  // namespace

class GuiHotkeys : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(QGuiApplication::platformName() == QLatin1String("xcb"),
                 "needs an X display: run under scripts/with-rig.sh");
        QVERIFY(QGuiApplication::topLevelWindows().isEmpty());
    }

    void shiftUpAndDownArriveWithNoWindowShown()
    {
        GlobalHotkeys hotkeys;
        QVERIFY(hotkeys.isAvailable());
        QCOMPARE(hotkeys.registerHotKey(kRecordId, Qt::ShiftModifier, Qt::Key_Up), Registration::Registered);
        QCOMPARE(hotkeys.registerHotKey(kStopId, Qt::ShiftModifier, Qt::Key_Down), Registration::Registered);
        QCOMPARE(hotkeys.registerHotKey(kStopId, Qt::ShiftModifier, Qt::Key_Left), Registration::IdInUse);
        QSignalSpy pressed(&hotkeys, &GlobalHotkeys::hotKeyPressed);

        pressKeys(QStringLiteral("shift+Up"));
        QVERIFY(pressed.wait(3000));
        pressKeys(QStringLiteral("shift+Down"));
        QTRY_COMPARE_WITH_TIMEOUT(pressed.size(), 2, 3000);
        QCOMPARE(pressed.at(0).at(0).toInt(), kRecordId);
        QCOMPARE(pressed.at(1).at(0).toInt(), kStopId);

        // Other combinations are not ours.
        pressKeys(QStringLiteral("Up"));
        pressKeys(QStringLiteral("ctrl+shift+Up"));
        pressKeys(QStringLiteral("shift+Left"));
        QTest::qWait(500);
        QCOMPARE(pressed.size(), 2);
    }

    void locksDoNotMatter()
    {
        GlobalHotkeys hotkeys;
        QCOMPARE(hotkeys.registerHotKey(kRecordId, Qt::ShiftModifier, Qt::Key_Up), Registration::Registered);
        QSignalSpy pressed(&hotkeys, &GlobalHotkeys::hotKeyPressed);
        const QStringList states{QStringLiteral("Num_Lock"), QStringLiteral("Caps_Lock"), QStringLiteral("Num_Lock"),
                                 QStringLiteral("Caps_Lock")};
        // NumLock on; NumLock and CapsLock on; CapsLock on; both off again.
        for (int i = 0; i < states.size(); ++i) {
            pressKeys(states[i]);
            pressKeys(QStringLiteral("shift+Up"));
            QTRY_COMPARE_WITH_TIMEOUT(pressed.size(), i + 1, 3000);
        }
    }

    void aCombinationHeldByAnotherProgramIsReported()
    {
        quolva::test::OtherXClient other;
        QVERIFY(other.connected());
        QVERIFY(other.grabShift(XK_Up));

        GlobalHotkeys hotkeys;
        QCOMPARE(hotkeys.registerHotKey(kRecordId, Qt::ShiftModifier, Qt::Key_Up), Registration::Taken);
        QCOMPARE(hotkeys.registerHotKey(kStopId, Qt::ShiftModifier, Qt::Key_Down), Registration::Registered);
        const QString text = GlobalHotkeys::describe(Registration::Taken, Qt::ShiftModifier, Qt::Key_Up);
        QVERIFY2(text.contains(QLatin1String("Shift+Up")) && text.contains(QLatin1String("another program")),
                 qPrintable(text));

        // All or nothing: the lock variants we did get were given back, so another program can take them.
        quolva::test::OtherXClient third;
        QVERIFY(third.connected());
        QVERIFY(third.grabShift(XK_Up, XCB_MOD_MASK_LOCK));
        QSignalSpy pressed(&hotkeys, &GlobalHotkeys::hotKeyPressed);
        pressKeys(QStringLiteral("shift+Up"));
        QTest::qWait(400);
        QCOMPARE(pressed.size(), 0);
    }

    void grabsEndWithTheObject()
    {
        {
            GlobalHotkeys hotkeys;
            QCOMPARE(hotkeys.registerHotKey(kRecordId, Qt::ShiftModifier, Qt::Key_Up), Registration::Registered);
            quolva::test::OtherXClient other;
            QVERIFY(!other.grabShift(XK_Up));  // ours now
        }
        quolva::test::OtherXClient other;
        QVERIFY(other.grabShift(XK_Up));
    }

    void unregisterGivesTheKeyBack()
    {
        GlobalHotkeys hotkeys;
        QCOMPARE(hotkeys.registerHotKey(kStopId, Qt::ShiftModifier, Qt::Key_Down), Registration::Registered);
        QVERIFY(hotkeys.unregisterHotKey(kStopId));
        QVERIFY(!hotkeys.unregisterHotKey(kStopId));
        quolva::test::OtherXClient other;
        QVERIFY(other.grabShift(XK_Down));
    }
};

QTEST_MAIN(GuiHotkeys)
#include "gui_hotkeys.moc"

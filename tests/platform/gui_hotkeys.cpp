// Global hotkeys on a real X display: Shift+Up and Shift+Down reach us with no window of ours shown,
// whatever the state of NumLock and CapsLock; a combination another program holds is reported as taken;
// our grabs go when the hotkeys object goes.

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

// Another X client, with its own connection: it can hold key grabs of its own.
class OtherClient {
public:
    OtherClient() : m_connection(xcb_connect(nullptr, nullptr)) {}
    ~OtherClient() { xcb_disconnect(m_connection); }

    bool connected() const { return !xcb_connection_has_error(m_connection); }

    // Grabs Shift (+ extra modifiers) + the key on the root window; false when the server refuses.
    bool grabShift(xcb_keysym_t keysym, std::uint16_t extraModifiers = 0)
    {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(m_connection);
        xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, keysym);
        bool ok = codes && *codes != XCB_NO_SYMBOL;
        if (ok) {
            xcb_generic_error_t* error = xcb_request_check(
                m_connection, xcb_grab_key_checked(m_connection, 1, screen->root, XCB_MOD_MASK_SHIFT | extraModifiers, codes[0],
                                                   XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
            ok = error == nullptr;
            std::free(error);
        }
        std::free(codes);
        xcb_key_symbols_free(symbols);
        return ok;
    }

private:
    xcb_connection_t* m_connection;
};

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
        OtherClient other;
        QVERIFY(other.connected());
        QVERIFY(other.grabShift(XK_Up));

        GlobalHotkeys hotkeys;
        QCOMPARE(hotkeys.registerHotKey(kRecordId, Qt::ShiftModifier, Qt::Key_Up), Registration::Taken);
        QCOMPARE(hotkeys.registerHotKey(kStopId, Qt::ShiftModifier, Qt::Key_Down), Registration::Registered);
        const QString text = GlobalHotkeys::describe(Registration::Taken, Qt::ShiftModifier, Qt::Key_Up);
        QVERIFY2(text.contains(QLatin1String("Shift+Up")) && text.contains(QLatin1String("another program")),
                 qPrintable(text));

        // All or nothing: the lock variants we did get were given back, so another program can take them.
        OtherClient third;
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
            OtherClient other;
            QVERIFY(!other.grabShift(XK_Up));  // ours now
        }
        OtherClient other;
        QVERIFY(other.grabShift(XK_Up));
    }

    void unregisterGivesTheKeyBack()
    {
        GlobalHotkeys hotkeys;
        QCOMPARE(hotkeys.registerHotKey(kStopId, Qt::ShiftModifier, Qt::Key_Down), Registration::Registered);
        QVERIFY(hotkeys.unregisterHotKey(kStopId));
        QVERIFY(!hotkeys.unregisterHotKey(kStopId));
        OtherClient other;
        QVERIFY(other.grabShift(XK_Down));
    }
};

QTEST_MAIN(GuiHotkeys)
#include "gui_hotkeys.moc"

// Which keys a tutorial recording shows as a caption, and for how long: shortcuts with Ctrl, Alt or
// Super, and Enter, Esc, Tab, Backspace and the function keys, each for 1.5 s; plain typing (also with
// Shift) and the program's own hotkeys leave no caption at all. Also the options those marks are kept in.
#include "record/RecordingOptions.h"
#include "record/ShortcutCaption.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <X11/keysym.h>

using namespace quolva;

namespace {

// One key event of a script: a keysym down (+) or up (-) at a time in milliseconds.
struct Key {
    std::uint32_t keysym;
    bool pressed;
    std::int64_t at;
};

// A key pressed and released at once.
QList<Key> tap(std::uint32_t keysym, std::int64_t at)
{
    return {{keysym, true, at}, {keysym, false, at + 30}};
}

QList<Key> typed(const char* text, std::int64_t at)
{
    QList<Key> keys;
    for (const char* c = text; *c; ++c, at += 80)
        keys << tap(std::uint32_t(*c), at);
    return keys;
}

// Modifiers held around the keys.
QList<Key> holding(std::initializer_list<std::uint32_t> modifiers, const QList<Key>& keys)
{
    QList<Key> all;
    const std::int64_t start = keys.isEmpty() ? 0 : keys.front().at - 10;
    const std::int64_t end = keys.isEmpty() ? 0 : keys.back().at + 10;
    for (std::uint32_t m : modifiers)
        all << Key{m, true, start};
    all << keys;
    for (std::uint32_t m : modifiers)
        all << Key{m, false, end};
    return all;
}

} // namespace

Q_DECLARE_METATYPE(QList<Key>)

class ShortcutCaptionTest : public QObject {
    Q_OBJECT
private slots:
    void captions_data()
    {
        QTest::addColumn<QList<Key>>("keys");
        QTest::addColumn<std::int64_t>("at");
        QTest::addColumn<QString>("caption");
        QTest::newRow("Ctrl+Shift+S") << holding({XK_Control_L, XK_Shift_L}, tap(XK_s, 100)) << std::int64_t(200)
                                      << "Ctrl+Shift+S";
        QTest::newRow("Alt+F4") << holding({XK_Alt_L}, tap(XK_F4, 100)) << std::int64_t(200) << "Alt+F4";
        QTest::newRow("Super+E, right key") << holding({XK_Super_R}, tap(XK_e, 100)) << std::int64_t(200) << "Super+E";
        QTest::newRow("Ctrl+Alt+Del") << holding({XK_Control_R, XK_Alt_L}, tap(XK_Delete, 100)) << std::int64_t(200)
                                      << "Ctrl+Alt+Del";
        QTest::newRow("Ctrl+-") << holding({XK_Control_L}, tap(XK_minus, 100)) << std::int64_t(200) << "Ctrl+-";
        QTest::newRow("Enter alone") << tap(XK_Return, 100) << std::int64_t(200) << "Enter";
        QTest::newRow("Esc alone") << tap(XK_Escape, 100) << std::int64_t(200) << "Esc";
        QTest::newRow("Backspace alone") << tap(XK_BackSpace, 100) << std::int64_t(200) << "Backspace";
        QTest::newRow("Shift+Tab") << holding({XK_Shift_L}, tap(XK_Tab, 100)) << std::int64_t(200) << "Shift+Tab";
        QTest::newRow("F5 alone") << tap(XK_F5, 100) << std::int64_t(200) << "F5";
        QTest::newRow("still shown at 1.49 s") << tap(XK_F5, 100) << std::int64_t(1599) << "F5";
        QTest::newRow("gone after 1.5 s") << tap(XK_F5, 100) << std::int64_t(1600) << "";
        QTest::newRow("the last shortcut wins") << (tap(XK_F5, 100) << holding({XK_Control_L}, tap(XK_c, 900)))
                                                << std::int64_t(1700) << "Ctrl+C";
        // Plain typing: never a caption, not even of a shortcut's part.
        QTest::newRow("typing secret") << typed("secret", 100) << std::int64_t(300) << "";
        QTest::newRow("typing with Shift") << holding({XK_Shift_L}, typed("secret", 100)) << std::int64_t(300) << "";
        QTest::newRow("space and digits") << typed(" 42", 100) << std::int64_t(200) << "";
        QTest::newRow("typing after a shortcut keeps the shortcut only")
            << (holding({XK_Control_L}, tap(XK_s, 100)) << typed("pw", 300)) << std::int64_t(500) << "Ctrl+S";
        QTest::newRow("Ctrl released before the key") << (tap(XK_Control_L, 100) << tap(XK_s, 300)) << std::int64_t(400)
                                                      << "";
        QTest::newRow("one Ctrl released, the other held")
            << (QList<Key>{{XK_Control_L, true, 0}, {XK_Control_R, true, 10}, {XK_Control_L, false, 20}} << tap(XK_v, 100))
            << std::int64_t(200) << "Ctrl+V";
        QTest::newRow("a modifier alone") << tap(XK_Control_L, 100) << std::int64_t(200) << "";
        // The program's own hotkeys.
        QTest::newRow("Shift+Up") << holding({XK_Shift_L}, tap(XK_Up, 100)) << std::int64_t(200) << "";
        QTest::newRow("Shift+Down") << holding({XK_Shift_L}, tap(XK_Down, 100)) << std::int64_t(200) << "";
        QTest::newRow("Shift+Pause") << holding({XK_Shift_L}, tap(XK_Pause, 100)) << std::int64_t(200) << "";
    }

    void captions()
    {
        QFETCH(QList<Key>, keys);
        QFETCH(std::int64_t, at);
        QFETCH(QString, caption);
        record::ShortcutCaption shortcuts;
        for (const Key& key : keys)
            shortcuts.KeyChanged(key.keysym, key.pressed, key.at);
        QCOMPARE(shortcuts.CaptionAt(at), caption);
    }

    void optionsAreKeptBesideTheSkin()
    {
        QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
        const QString file = config.filePath(QStringLiteral("Quolvaer/cg.conf"));
        QCOMPARE(record::RecordingOptions::Load(), record::RecordingOptions());
        QVERIFY2(!QFile::exists(file), "reading the defaults writes nothing");
        QCOMPARE(record::RecordingOptions().tickInterval(), 100);

        const record::RecordingOptions chosen{30, true, true};
        chosen.Save();
        QCOMPARE(record::RecordingOptions::Load(), chosen);
        QCOMPARE(chosen.tickInterval(), 33);

        // A rate the dialog does not offer (a hand-edited file) is the default rate.
        QSettings(file, QSettings::IniFormat).setValue(QStringLiteral("fps"), 1000);
        QCOMPARE(record::RecordingOptions::Load().framesPerSecond, 10);
    }
};

QTEST_MAIN(ShortcutCaptionTest)
#include "test_shortcut_caption.moc"

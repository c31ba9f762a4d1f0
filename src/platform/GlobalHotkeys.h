#pragma once
// Global hotkeys (RegisterHotKey): key combinations grabbed on the X11 root window, so that they reach us
// whichever window has the focus, also while all our windows are hidden or minimised. Each press comes
// back as the hotKeyPressed signal with the id given at registration (the WM_HOTKEY message).

#include <QAbstractNativeEventFilter>
#include <QList>
#include <QObject>
#include <QString>

#include <cstdint>
#include <vector>

struct xcb_connection_t;

namespace quolva::platform {

class GlobalHotkeys : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    enum class Registration {
        Registered,
        Unavailable,  // no X11 display (offscreen): there are no global hotkeys
        Taken,        // another program holds the combination
        UnknownKey,   // the key is not on this keyboard, or not one we can grab
        IdInUse,      // the id names a registered hotkey already
    };

    // Needs a QGuiApplication; ungrabs every registered hotkey when destroyed.
    explicit GlobalHotkeys(QObject* parent = nullptr);
    ~GlobalHotkeys() override;

    // False without an X11 display.
    bool isAvailable() const;

    // Grabs modifiers + key for every state of CapsLock and NumLock. All or nothing: when one variant is
    // held by another program, none stays grabbed and the result is Taken.
    Registration registerHotKey(int id, Qt::KeyboardModifiers modifiers, Qt::Key key);
    // Releases the hotkey; false when the id is not registered.
    bool unregisterHotKey(int id);

    // The words for a registration result, for a message to the user ("Shift+Up is used by another
    // program").
    static QString describe(Registration result, Qt::KeyboardModifiers modifiers, Qt::Key key);

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

signals:
    // WM_HOTKEY: a registered combination was pressed.
    void hotKeyPressed(int id);

private:
    struct Grab {
        std::uint8_t keycode;
        std::uint16_t modifiers;
    };
    struct Hotkey {
        int id;
        std::uint16_t modifiers;  // without Lock and NumLock
        std::vector<std::uint8_t> keycodes;
        std::vector<Grab> grabs;
    };

    std::vector<std::uint16_t> lockVariants() const;
    void ungrab(const std::vector<Grab>& grabs);

    xcb_connection_t* m_connection = nullptr;
    std::uint32_t m_root = 0;
    std::uint16_t m_numLockMask = 0;
    std::vector<Hotkey> m_hotkeys;
};

}  // namespace quolva::platform

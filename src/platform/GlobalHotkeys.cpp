#include "platform/GlobalHotkeys.h"

#include "platform/ScreenX11.h"

#include <QCoreApplication>
#include <QKeySequence>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <X11/keysym.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace quolva::platform {

namespace {

struct KeySymbolsFree {
    void operator()(xcb_key_symbols_t* s) const { xcb_key_symbols_free(s); }
};
using KeySymbols = std::unique_ptr<xcb_key_symbols_t, KeySymbolsFree>;

xcb_keysym_t keysymOf(Qt::Key key)
{
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return XK_a + (key - Qt::Key_A);
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return XK_0 + (key - Qt::Key_0);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return XK_F1 + (key - Qt::Key_F1);
    switch (key) {
    case Qt::Key_Up: return XK_Up;
    case Qt::Key_Down: return XK_Down;
    case Qt::Key_Left: return XK_Left;
    case Qt::Key_Right: return XK_Right;
    case Qt::Key_Home: return XK_Home;
    case Qt::Key_End: return XK_End;
    case Qt::Key_PageUp: return XK_Page_Up;
    case Qt::Key_PageDown: return XK_Page_Down;
    case Qt::Key_Insert: return XK_Insert;
    case Qt::Key_Delete: return XK_Delete;
    case Qt::Key_Space: return XK_space;
    case Qt::Key_Return: return XK_Return;
    case Qt::Key_Escape: return XK_Escape;
    case Qt::Key_Tab: return XK_Tab;
    case Qt::Key_Backspace: return XK_BackSpace;
    case Qt::Key_Pause: return XK_Pause;
    case Qt::Key_Print: return XK_Print;
    default: return XCB_NO_SYMBOL;
    }
}

std::uint16_t xModifiersOf(Qt::KeyboardModifiers modifiers)
{
    std::uint16_t mask = 0;
    if (modifiers & Qt::ShiftModifier)
        mask |= XCB_MOD_MASK_SHIFT;
    if (modifiers & Qt::ControlModifier)
        mask |= XCB_MOD_MASK_CONTROL;
    if (modifiers & Qt::AltModifier)
        mask |= XCB_MOD_MASK_1;
    if (modifiers & Qt::MetaModifier)
        mask |= XCB_MOD_MASK_4;
    return mask;
}

std::vector<std::uint8_t> keycodesOf(xcb_key_symbols_t* symbols, xcb_keysym_t keysym)
{
    std::vector<std::uint8_t> codes;
    xcb_keycode_t* list = xcb_key_symbols_get_keycode(symbols, keysym);
    if (!list)
        return codes;
    for (xcb_keycode_t* k = list; *k != XCB_NO_SYMBOL; ++k) {
        if (std::find(codes.begin(), codes.end(), *k) == codes.end())
            codes.push_back(*k);
    }
    std::free(list);
    return codes;
}

// The modifier bit NumLock sets (Mod2 on most keyboards), read from the server's modifier mapping.
std::uint16_t numLockMask(xcb_connection_t* c, xcb_key_symbols_t* symbols)
{
    const std::vector<std::uint8_t> numLock = keycodesOf(symbols, XK_Num_Lock);
    if (numLock.empty())
        return 0;
    std::unique_ptr<xcb_get_modifier_mapping_reply_t, decltype(&std::free)> mapping(
        xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr), &std::free);
    if (!mapping)
        return 0;
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(mapping.get());
    const int perModifier = mapping->keycodes_per_modifier;
    for (int modifier = 0; modifier < 8; ++modifier) {
        for (int i = 0; i < perModifier; ++i) {
            const xcb_keycode_t code = codes[modifier * perModifier + i];
            if (code != 0 && std::find(numLock.begin(), numLock.end(), code) != numLock.end())
                return static_cast<std::uint16_t>(1u << modifier);
        }
    }
    return 0;
}

}  // namespace

GlobalHotkeys::GlobalHotkeys(QObject* parent) : QObject(parent)
{
    m_connection = qtX11Connection();
    const xcb_screen_t* screen = defaultXScreen(m_connection);
    if (!screen) {
        m_connection = nullptr;
        return;
    }
    m_root = screen->root;
    KeySymbols symbols(xcb_key_symbols_alloc(m_connection));
    if (symbols)
        m_numLockMask = numLockMask(m_connection, symbols.get());
    QCoreApplication::instance()->installNativeEventFilter(this);
}

GlobalHotkeys::~GlobalHotkeys()
{
    if (!m_connection)
        return;
    if (auto* app = QCoreApplication::instance()) {
        app->removeNativeEventFilter(this);
        for (const Hotkey& h : m_hotkeys)
            ungrab(h.grabs);
    }
}

bool GlobalHotkeys::isAvailable() const
{
    return m_connection != nullptr;
}

std::vector<std::uint16_t> GlobalHotkeys::lockVariants() const
{
    std::vector<std::uint16_t> variants{0, XCB_MOD_MASK_LOCK};
    if (m_numLockMask) {
        variants.push_back(m_numLockMask);
        variants.push_back(static_cast<std::uint16_t>(m_numLockMask | XCB_MOD_MASK_LOCK));
    }
    return variants;
}

void GlobalHotkeys::ungrab(const std::vector<Grab>& grabs)
{
    for (const Grab& g : grabs)
        xcb_ungrab_key(m_connection, g.keycode, m_root, g.modifiers);
    xcb_flush(m_connection);
}

GlobalHotkeys::Registration GlobalHotkeys::registerHotKey(int id, Qt::KeyboardModifiers modifiers, Qt::Key key)
{
    if (!m_connection)
        return Registration::Unavailable;
    if (std::any_of(m_hotkeys.begin(), m_hotkeys.end(), [id](const Hotkey& h) { return h.id == id; }))
        return Registration::IdInUse;
    const xcb_keysym_t keysym = keysymOf(key);
    if (keysym == XCB_NO_SYMBOL)
        return Registration::UnknownKey;
    KeySymbols symbols(xcb_key_symbols_alloc(m_connection));
    if (!symbols)
        return Registration::Unavailable;

    Hotkey hotkey{id, xModifiersOf(modifiers), keycodesOf(symbols.get(), keysym), {}};
    if (hotkey.keycodes.empty())
        return Registration::UnknownKey;

    // Send every grab first and collect the answers afterwards: one round trip instead of one per grab.
    std::vector<std::pair<Grab, xcb_void_cookie_t>> requests;
    for (std::uint8_t keycode : hotkey.keycodes) {
        for (std::uint16_t variant : lockVariants()) {
            const Grab g{keycode, static_cast<std::uint16_t>(hotkey.modifiers | variant)};
            requests.emplace_back(g, xcb_grab_key_checked(m_connection, 1, m_root, g.modifiers, g.keycode,
                                                          XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        }
    }
    bool refused = false;
    for (auto& [grab, cookie] : requests) {
        if (xcb_generic_error_t* error = xcb_request_check(m_connection, cookie)) {
            // BadAccess: another client holds this combination.
            refused = true;
            std::free(error);
        } else {
            hotkey.grabs.push_back(grab);
        }
    }
    if (refused) {
        ungrab(hotkey.grabs);
        return Registration::Taken;
    }
    m_hotkeys.push_back(std::move(hotkey));
    return Registration::Registered;
}

bool GlobalHotkeys::unregisterHotKey(int id)
{
    const auto it = std::find_if(m_hotkeys.begin(), m_hotkeys.end(), [id](const Hotkey& h) { return h.id == id; });
    if (it == m_hotkeys.end())
        return false;
    ungrab(it->grabs);
    m_hotkeys.erase(it);
    return true;
}

QString GlobalHotkeys::describe(Registration result, Qt::KeyboardModifiers modifiers, Qt::Key key)
{
    const QString keys = QKeySequence(QKeyCombination(modifiers, key)).toString(QKeySequence::NativeText);
    switch (result) {
    case Registration::Registered: return QStringLiteral("%1 is registered as a global hotkey").arg(keys);
    case Registration::Unavailable: return QStringLiteral("Global hotkeys need an X11 display; %1 is not available").arg(keys);
    case Registration::Taken: return QStringLiteral("%1 is already used by another program").arg(keys);
    case Registration::UnknownKey: return QStringLiteral("%1 cannot be grabbed on this keyboard").arg(keys);
    case Registration::IdInUse: return QStringLiteral("%1: the hotkey id is registered already").arg(keys);
    }
    return keys;
}

bool GlobalHotkeys::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t" || m_hotkeys.empty())
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_KEY_PRESS)
        return false;
    const auto* press = reinterpret_cast<const xcb_key_press_event_t*>(event);
    if (press->event != m_root)
        return false;
    const auto held = static_cast<std::uint16_t>(press->state & 0xff & ~(XCB_MOD_MASK_LOCK | m_numLockMask));
    for (const Hotkey& h : m_hotkeys) {
        if (h.modifiers == held && std::find(h.keycodes.begin(), h.keycodes.end(), press->detail) != h.keycodes.end()) {
            // Delivered from the event loop, as a posted message would be, not from inside Qt's event
            // processing: the handler may open windows and dialogs.
            QMetaObject::invokeMethod(this, [this, id = h.id] { emit hotKeyPressed(id); }, Qt::QueuedConnection);
            return true;
        }
    }
    return false;
}

}  // namespace quolva::platform

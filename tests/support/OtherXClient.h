#pragma once
// Another X client, with its own connection: it holds key grabs of its own, as another program that
// took a hotkey first would. Tests that use it link PkgConfig::XCB.

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <cstdint>
#include <cstdlib>

namespace quolva::test {

class OtherXClient {
public:
    OtherXClient() : m_connection(xcb_connect(nullptr, nullptr)) {}
    ~OtherXClient() { xcb_disconnect(m_connection); }
    OtherXClient(const OtherXClient&) = delete;
    OtherXClient& operator=(const OtherXClient&) = delete;

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
                m_connection, xcb_grab_key_checked(m_connection, 1, screen->root, XCB_MOD_MASK_SHIFT | extraModifiers,
                                                   codes[0], XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
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

} // namespace quolva::test

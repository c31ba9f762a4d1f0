#include "platform/InputWatch.h"

#include <QSocketNotifier>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xinput.h>

#include <cstdlib>

namespace quolva::platform {

struct InputWatch::KeySymbols {
    xcb_key_symbols_t* table = nullptr;
    ~KeySymbols()
    {
        if (table)
            xcb_key_symbols_free(table);
    }
};

namespace {

// Buttons 4 to 7 are the wheel: turning it is not a click.
bool isClickButton(std::uint32_t button)
{
    return button >= 1 && button <= 3;
}

template <typename Reply>
using ReplyPtr = std::unique_ptr<Reply, decltype(&std::free)>;

}  // namespace

InputWatch::InputWatch(QObject* parent) : QObject(parent)
{
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        problem_ = QStringLiteral("no X display to watch the mouse and keyboard on");
        return;
    }
    connection_ = c;
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    const xcb_query_extension_reply_t* xinput = xcb_get_extension_data(c, &xcb_input_id);
    ReplyPtr<xcb_input_xi_query_version_reply_t> version(
        xinput && xinput->present ? xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 2), nullptr)
                                  : nullptr,
        &std::free);
    if (!screens.rem || !version || version->major_version < 2) {
        problem_ = QStringLiteral("the X server has no XInput 2 to watch the mouse and keyboard with");
        close();
        return;
    }
    root_ = screens.data->root;
    xinputOpcode_ = xinput->major_opcode;

    struct {
        xcb_input_event_mask_t head;
        std::uint32_t bits;
    } mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1},
           XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_RELEASE |
               XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS};
    if (xcb_generic_error_t* error = xcb_request_check(c, xcb_input_xi_select_events_checked(c, root_, 1, &mask.head))) {
        std::free(error);
        problem_ = QStringLiteral("the X server refused to report the mouse and keyboard");
        close();
        return;
    }
    symbols_ = std::make_unique<KeySymbols>();
    symbols_->table = xcb_key_symbols_alloc(c);
    notifier_ = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(c), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &InputWatch::drain);
}

InputWatch::~InputWatch()
{
    close();
}

void InputWatch::close()
{
    notifier_.reset();
    symbols_.reset();
    if (connection_)
        xcb_disconnect(connection_);
    connection_ = nullptr;
}

void InputWatch::drain()
{
    if (!connection_)
        return;
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
        std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> owned(event, &std::free);
        if ((event->response_type & 0x7f) == XCB_MAPPING_NOTIFY) {
            xcb_refresh_keyboard_mapping(symbols_->table, reinterpret_cast<xcb_mapping_notify_event_t*>(event));
            continue;
        }
        if ((event->response_type & 0x7f) != XCB_GE_GENERIC)
            continue;
        const auto* generic = reinterpret_cast<const xcb_ge_generic_event_t*>(event);
        if (generic->extension != xinputOpcode_)
            continue;
        // Raw key, key release and button events share one layout.
        const auto* raw = reinterpret_cast<const xcb_input_raw_key_press_event_t*>(event);
        switch (generic->event_type) {
        case XCB_INPUT_RAW_BUTTON_PRESS:
            if (isClickButton(raw->detail))
                pressedSinceAsked_ = true;
            break;
        case XCB_INPUT_RAW_KEY_PRESS:
        case XCB_INPUT_RAW_KEY_RELEASE: {
            const xcb_keysym_t keysym =
                symbols_->table ? xcb_key_symbols_get_keysym(symbols_->table, static_cast<xcb_keycode_t>(raw->detail), 0) : 0;
            if (keysym != XCB_NO_SYMBOL)
                emit keyChanged(keysym, generic->event_type == XCB_INPUT_RAW_KEY_PRESS);
            break;
        }
        default: break;
        }
    }
    if (xcb_connection_has_error(connection_)) {
        problem_ = QStringLiteral("the connection to the X server was lost");
        close();
    }
}

bool InputWatch::takeButtonDown()
{
    drain();
    if (!connection_)
        return false;
    bool down = false;
    ReplyPtr<xcb_query_pointer_reply_t> pointer(
        xcb_query_pointer_reply(connection_, xcb_query_pointer(connection_, root_), nullptr), &std::free);
    if (pointer)
        down = (pointer->mask & (XCB_BUTTON_MASK_1 | XCB_BUTTON_MASK_2 | XCB_BUTTON_MASK_3)) != 0;
    // Events that came in meanwhile belong to this tick as well.
    drain();
    down = down || pressedSinceAsked_;
    pressedSinceAsked_ = false;
    return down;
}

}  // namespace quolva::platform

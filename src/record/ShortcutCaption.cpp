#include "record/ShortcutCaption.h"

#include "platform/KeyNames.h"

#include <X11/keysym.h>

namespace quolva::record {

unsigned ShortcutCaption::ModifierOf(std::uint32_t keysym)
{
    switch (keysym) {
    case XK_Control_L: case XK_Control_R: return Ctrl;
    case XK_Alt_L: case XK_Alt_R: case XK_Meta_L: case XK_Meta_R: return Alt;
    case XK_Shift_L: case XK_Shift_R: return Shift;
    case XK_Super_L: case XK_Super_R: return Super;
    default: return 0;
    }
}

bool ShortcutCaption::ShownAlone(std::uint32_t keysym)
{
    switch (keysym) {
    case XK_Return: case XK_KP_Enter: case XK_Escape: case XK_Tab: case XK_ISO_Left_Tab: case XK_BackSpace:
        return true;
    default:
        return keysym >= XK_F1 && keysym <= XK_F35;
    }
}

void ShortcutCaption::KeyChanged(std::uint32_t keysym, bool pressed, std::int64_t nowMs)
{
    if (const unsigned modifier = ModifierOf(keysym)) {
        const bool right = keysym == XK_Control_R || keysym == XK_Alt_R || keysym == XK_Meta_R ||
                           keysym == XK_Shift_R || keysym == XK_Super_R;
        unsigned& held = right ? heldRight_ : heldLeft_;
        held = pressed ? (held | modifier) : (held & ~modifier);
        return;
    }
    const unsigned held = heldLeft_ | heldRight_;
    if (!pressed || (!(held & (Ctrl | Alt | Super)) && !ShownAlone(keysym)))
        return;
    QString caption;
    for (const auto& [modifier, name] : {std::pair{Ctrl, "Ctrl+"}, {Alt, "Alt+"}, {Shift, "Shift+"}, {Super, "Super+"}})
        if (held & modifier)
            caption += QLatin1String(name);
    caption_ = caption + platform::keyCaptionName(keysym);
    shownSince_ = nowMs;
}

QString ShortcutCaption::CaptionAt(std::int64_t nowMs) const
{
    if (caption_.isEmpty() || nowMs - shownSince_ >= kShownMs || nowMs < shownSince_)
        return {};
    return caption_;
}

} // namespace quolva::record

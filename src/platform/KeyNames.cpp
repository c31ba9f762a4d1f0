#include "platform/KeyNames.h"

#include <xkbcommon/xkbcommon.h>

#include <array>
#include <cstring>

namespace quolva::platform {

QString keyCaptionName(std::uint32_t keysym)
{
    const std::uint32_t character = xkb_keysym_to_utf32(xkb_keysym_to_upper(keysym));
    if (character > 0x20 && character != 0x7f)
        return QString::fromUcs4(reinterpret_cast<const char32_t*>(&character), 1);

    std::array<char, 64> name{};
    if (xkb_keysym_get_name(keysym, name.data(), name.size()) <= 0)
        return QStringLiteral("?");
    // The X names where people say it differently.
    static constexpr std::pair<const char*, const char*> kSpoken[] = {
        {"Return", "Enter"}, {"KP_Enter", "Enter"}, {"Escape", "Esc"},     {"BackSpace", "Backspace"},
        {"ISO_Left_Tab", "Tab"}, {"Prior", "PageUp"}, {"Next", "PageDown"}, {"space", "Space"},
        {"Delete", "Del"},
    };
    for (const auto& [x, spoken] : kSpoken)
        if (std::strcmp(name.data(), x) == 0)
            return QString::fromLatin1(spoken);
    return QString::fromLatin1(name.data());
}

}  // namespace quolva::platform

#pragma once
#include <QString>

#include <cstdint>

namespace quolva::platform {

// The name a shortcut caption shows for a key: its character for a key that types one ("S", "5", "-"),
// otherwise the short name people know ("Enter", "Esc", "Tab", "Backspace", "F5", "PageUp").
QString keyCaptionName(std::uint32_t keysym);

}  // namespace quolva::platform

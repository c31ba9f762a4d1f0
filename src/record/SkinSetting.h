#pragma once
#include <optional>

namespace quolva::record {

// The recording panel's skin, the program's one persistent setting: value "via" of the settings of
// organisation "Quolvaer", application "cg" (on Linux ~/.config/Quolvaer/cg.conf), a single digit.
class SkinSetting {
public:
    // What the panel reads each time it is shown. With no setting stored yet the setting is created
    // with "4" and nothing is returned: the picture stays as it is. Otherwise the number read from the
    // first two characters of the value, which may be any number; throws when they are not a number.
    static std::optional<int> Load();

    // Stores the digit of the chosen skin (1 to 4). A setting that cannot be written is ignored.
    static void Save(int skin);
};

} // namespace quolva::record

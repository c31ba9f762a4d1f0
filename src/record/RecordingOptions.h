#pragma once
#include <QString>

#include <array>

namespace quolva::record {

// How recordings are made beyond what the wizard asks: the capture rate and the marks drawn for
// tutorials. Kept in the program's settings beside the panel's skin; the defaults record exactly as
// the program always did (ten frames a second, no marks).
struct RecordingOptions {
    static constexpr std::array<int, 4> kFrameRates{5, 10, 15, 30};
    static constexpr int kDefaultFrameRate = 10;

    int framesPerSecond = kDefaultFrameRate;
    bool showClicks = false; // a ring around the pointer while a mouse button is down
    bool showKeys = false;   // a caption of the shortcuts pressed

    // The capture timer's interval in milliseconds: 100 at ten frames a second.
    int tickInterval() const;
    static bool isFrameRate(int framesPerSecond);

    // The stored options; a missing or unreadable value is its default.
    static RecordingOptions Load();
    // A setting that cannot be written is ignored, as the skin's is.
    void Save() const;

    bool operator==(const RecordingOptions&) const = default;
};

} // namespace quolva::record

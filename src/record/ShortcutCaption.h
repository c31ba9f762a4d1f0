#pragma once
#include <QString>

#include <cstdint>

namespace quolva::record {

// Which key presses a tutorial recording shows, and the caption for them ("Ctrl+Shift+S"): a key pressed
// while Ctrl, Alt or Super is held, and Enter, Esc, Tab, Backspace and the function keys, each for
// 1.5 s. Any other key (plain typing, also with Shift) leaves no trace here: a password typed during a
// recording is neither shown nor kept. Only the held modifiers and the last caption are kept.
class ShortcutCaption {
public:
    static constexpr std::int64_t kShownMs = 1500;

    // A key went down or up (X keysyms, of the key's first level); `nowMs` a steady clock.
    void KeyChanged(std::uint32_t keysym, bool pressed, std::int64_t nowMs);
    // The caption to draw at `nowMs`; empty when there is none.
    QString CaptionAt(std::int64_t nowMs) const;

private:
    enum Modifier : unsigned { Ctrl = 1, Alt = 2, Shift = 4, Super = 8 };
    static unsigned ModifierOf(std::uint32_t keysym);
    static bool ShownAlone(std::uint32_t keysym);

    unsigned heldLeft_ = 0;  // the left and right keys of a modifier are held apart
    unsigned heldRight_ = 0;
    QString caption_;
    std::int64_t shownSince_ = 0;
};

} // namespace quolva::record

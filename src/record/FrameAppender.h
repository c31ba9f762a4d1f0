#pragma once
#include "store/FrameStore.h"

#include <QImage>

#include <cstdint>
#include <vector>

namespace quolva::record {

// Appends the capture bitmaps of one recording to its frame store. A picture equal to the one before
// (a still screen, the pointer where it was) gets the previous record's bytes again instead of a new
// JPEG encoding: the encoder is deterministic, so the store is the same byte for byte, for about a
// millisecond of comparing instead of tens of encoding.
class FrameAppender {
public:
    void Append(store::FrameStore& frames, const QImage& bitmap);
    // A new recording: its first picture is encoded whatever came before.
    void Reset();

    // How many pictures of this recording were appended by repeating the previous record.
    int repeated() const { return repeated_; }

private:
    bool sameAsLast(const QImage& bitmap) const;

    QImage last_;
    std::vector<std::uint8_t> lastRecord_;
    int repeated_ = 0;
};

} // namespace quolva::record

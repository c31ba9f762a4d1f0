#include "record/FrameAppender.h"

#include "record/Unit3.h"

#include <cstring>

namespace quolva::record {

bool FrameAppender::sameAsLast(const QImage& bitmap) const
{
    if (lastRecord_.empty() || last_.size() != bitmap.size() || last_.format() != bitmap.format())
        return false;
    const auto rowBytes = std::size_t(bitmap.width()) * std::size_t(bitmap.depth() / 8);
    for (int y = 0; y < bitmap.height(); ++y)
        if (std::memcmp(bitmap.constScanLine(y), last_.constScanLine(y), rowBytes) != 0)
            return false;
    return true;
}

void FrameAppender::Append(store::FrameStore& frames, const QImage& bitmap)
{
    if (bitmap.format() != QImage::Format_RGB32 && bitmap.format() != QImage::Format_RGB888
        && bitmap.format() != QImage::Format_ARGB32) {
        AppendCaptureBitmap(frames, bitmap); // an unusual depth: converted and encoded, never repeated
        lastRecord_.clear();
        return;
    }
    if (sameAsLast(bitmap)) {
        frames.AppendRecord(lastRecord_);
        ++repeated_;
        return;
    }
    std::vector<std::uint8_t> record = store::FrameStore::EncodeFrameRecord(PictureOf(bitmap));
    frames.AppendRecord(record);
    // Kept only once written: a record that failed to reach the disk is never repeated.
    lastRecord_ = std::move(record);
    if (last_.size() != bitmap.size() || last_.format() != bitmap.format())
        last_ = QImage(bitmap.size(), bitmap.format());
    const auto rowBytes = std::size_t(bitmap.width()) * std::size_t(bitmap.depth() / 8);
    for (int y = 0; y < bitmap.height(); ++y)
        std::memcpy(last_.scanLine(y), bitmap.constScanLine(y), rowBytes);
}

void FrameAppender::Reset()
{
    lastRecord_.clear();
    repeated_ = 0;
}

} // namespace quolva::record

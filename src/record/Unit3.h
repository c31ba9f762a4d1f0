#pragma once
#include "store/FrameStore.h"

#include <QImage>

namespace quolva::record {

// Encodes the capture bitmap as a 24-bit JPEG and appends it to the frame store as one record.
void AppendCaptureBitmap(store::FrameStore& frames, const QImage& bitmap);

// The pixels of a 32-bit or 24-bit image as the frame store takes them (no copy).
store::PictureView PictureOf(const QImage& image);

} // namespace quolva::record

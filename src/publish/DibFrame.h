#pragma once
#include "editor/FrameReader.h"

#include <QImage>

#include <cstddef>
#include <cstdint>
#include <memory>

namespace quolva::publish {

// One frame as the uncompressed video stream holds it: a 24-bit DIB (see PictureToDib).
struct DibFrame {
    std::unique_ptr<std::uint8_t[]> bytes;
    std::size_t size = 0;
};

// A frame record decoded straight into the bottom-up B, G, R rows of a DIB of `width` × `height`, with no
// picture in between; a frame of another size as PictureToDib makes it (cut, or filled out with black).
// A record that cannot be decoded is thrown as editor::RecordingError. The bytes of `reuse` are filled
// again when they are of the size.
DibFrame DecodeToDib(const store::FrameRecord& record, const QString& frameStorePath, std::int32_t width,
                     std::int32_t height, DibFrame reuse = {});

// A DIB of `width` × `height` as a picture for the screen.
QImage DibToPicture(const DibFrame& frame, std::int32_t width, std::int32_t height);

} // namespace quolva::publish

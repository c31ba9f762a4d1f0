#pragma once
#include "editor/FrameReader.h"
#include "publish/OrderedWorkers.h"

#include <QImage>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

namespace quolva::publish {

// One frame as the uncompressed video stream holds it: a 24-bit DIB (see PictureToDib).
struct DibFrame {
    std::unique_ptr<std::uint8_t[]> bytes;
    std::size_t size = 0;
};

// The frames of an export as DIBs of one size, decoded ahead on every core and handed out in the store's
// order. Records are read on the caller's thread; each is decoded on a worker straight into the bottom-up
// B, G, R rows of its DIB, with no picture in between. A frame of another size comes out as PictureToDib
// makes it (cut, or filled out with black). A record that cannot be read or decoded comes out in its place
// in the order, as editor::RecordingError; nothing is read after it.
class DibFrameQueue {
public:
    // At most `limit` frames; `threads` 0: one per core.
    DibFrameQueue(editor::FrameReader reader, std::int32_t width, std::int32_t height, std::int32_t limit,
                  unsigned threads = 0);

    // The next frame; nothing once `limit` frames were handed out or the store has ended.
    std::optional<DibFrame> Next();

private:
    void ReadAhead();

    editor::FrameReader reader_;
    std::int32_t width_;
    std::int32_t height_;
    std::int32_t unread_; // frames still to be read from the store
    bool ended_ = false;
    OrderedWorkers<DibFrame> workers_;
};

// A DIB of `width` × `height` as a picture for the screen.
QImage DibToPicture(const DibFrame& frame, std::int32_t width, std::int32_t height);

} // namespace quolva::publish

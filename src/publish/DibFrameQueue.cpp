#include "publish/DibFrameQueue.h"

#include "publish/AviExport.h"
#include "store/Jpeg.h"

#include <cstring>
#include <exception>

namespace quolva::publish {
namespace {

DibFrame DecodeToDib(const store::FrameRecord& record, const QString& frameStorePath, std::int32_t width,
                     std::int32_t height)
{
    const std::ptrdiff_t rowBytes = DibRowBytes(width);
    DibFrame frame;
    frame.size = static_cast<std::size_t>(rowBytes) * static_cast<std::size_t>(height);
    const store::JpegDimensions size = [&] {
        try {
            return store::ReadJpegDimensions(record.jpeg, editor::DescribeFrameRecord(record, frameStorePath));
        } catch (const store::StoreError& failure) {
            throw editor::RecordingError(failure.what());
        }
    }();
    if (size.width != width || size.height != height) {
        std::vector<std::uint8_t> dib;
        PictureToDib(editor::DecodeFramePicture(record, frameStorePath), width, height, dib);
        frame.bytes = std::make_unique_for_overwrite<std::uint8_t[]>(frame.size);
        std::memcpy(frame.bytes.get(), dib.data(), frame.size);
        return frame;
    }
    frame.bytes = std::make_unique_for_overwrite<std::uint8_t[]>(frame.size);
    std::uint8_t* const bottomRowFirst = frame.bytes.get();
    try {
        // The picture's top row is the DIB's last: the decoder fills the rows from there upwards.
        store::DecodeJpegInto(record.jpeg, editor::DescribeFrameRecord(record, frameStorePath), store::PixelLayout::Bgr24,
                              [&](int, int) {
                                  return store::PixelTarget{bottomRowFirst + (height - 1) * rowBytes, -rowBytes};
                              });
    } catch (const store::StoreError& failure) {
        throw editor::RecordingError(failure.what());
    }
    const std::size_t fill = static_cast<std::size_t>(rowBytes - 3 * std::ptrdiff_t{width});
    if (fill != 0)
        for (std::int32_t y = 0; y < height; ++y)
            std::memset(bottomRowFirst + y * rowBytes + 3 * std::ptrdiff_t{width}, 0, fill);
    return frame;
}

} // namespace

DibFrameQueue::DibFrameQueue(editor::FrameReader reader, std::int32_t width, std::int32_t height, std::int32_t limit,
                             unsigned threads)
    : reader_(std::move(reader)), width_(width), height_(height), unread_(limit), workers_(threads)
{
}

void DibFrameQueue::ReadAhead()
{
    while (!ended_ && unread_ > 0 && !workers_.Full()) {
        std::optional<store::FrameRecord> record;
        try {
            record = reader_.NextRecord();
        } catch (const std::exception&) {
            // The failure takes the frame's place in the order.
            ended_ = true;
            workers_.Submit([failure = std::current_exception()]() -> DibFrame { std::rethrow_exception(failure); });
            return;
        }
        if (!record) {
            ended_ = true;
            return;
        }
        --unread_;
        workers_.Submit([record = std::move(*record), path = reader_.FrameStorePath(), width = width_, height = height_] {
            return DecodeToDib(record, path, width, height);
        });
    }
}

std::optional<DibFrame> DibFrameQueue::Next()
{
    ReadAhead();
    if (workers_.Empty())
        return std::nullopt;
    DibFrame frame = workers_.TakeOldest();
    // The workers go on with the following frames while the caller writes this one.
    ReadAhead();
    return frame;
}

QImage DibToPicture(const DibFrame& frame, std::int32_t width, std::int32_t height)
{
    const QImage bottomUp(frame.bytes.get(), width, height, DibRowBytes(width), QImage::Format_BGR888);
    return bottomUp.mirrored(false, true).convertToFormat(QImage::Format_RGB32);
}

} // namespace quolva::publish

#include "publish/DibFrame.h"

#include "publish/AviExport.h"
#include "store/Jpeg.h"

#include <cstring>

namespace quolva::publish {

DibFrame DecodeToDib(const store::FrameRecord& record, const QString& frameStorePath, std::int32_t width,
                     std::int32_t height, DibFrame reuse)
{
    const std::ptrdiff_t rowBytes = DibRowBytes(width);
    DibFrame frame = std::move(reuse);
    const std::size_t bytes = static_cast<std::size_t>(rowBytes) * static_cast<std::size_t>(height);
    if (frame.size != bytes || !frame.bytes) {
        frame.bytes = std::make_unique_for_overwrite<std::uint8_t[]>(bytes);
        frame.size = bytes;
    }
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
        std::memcpy(frame.bytes.get(), dib.data(), frame.size);
        return frame;
    }
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

QImage DibToPicture(const DibFrame& frame, std::int32_t width, std::int32_t height)
{
    const QImage bottomUp(frame.bytes.get(), width, height, DibRowBytes(width), QImage::Format_BGR888);
    return bottomUp.mirrored(false, true).convertToFormat(QImage::Format_RGB32);
}

} // namespace quolva::publish

#include "publish/Yuv420Frame.h"

#include "store/Jpeg.h"

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include <QImage>

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

namespace quolva::publish {

void AvFrameFree::operator()(AVFrame* frame) const
{
    av_frame_free(&frame);
}

namespace {

// JPEG's full range onto the video range: Y 0–255 onto 16–235, Cb and Cr 0–255 onto 16–240 around 128.
struct VideoRange {
    std::array<std::uint8_t, 256> luma{}, chroma{};
    VideoRange()
    {
        for (int v = 0; v < 256; ++v) {
            luma[v] = static_cast<std::uint8_t>(16 + (v * 219 + 127) / 255);
            const int centred = (v - 128) * 224;
            chroma[v] = static_cast<std::uint8_t>(128 + (centred >= 0 ? centred + 127 : centred - 127) / 255);
        }
    }
};

const VideoRange& videoRange()
{
    static const VideoRange range;
    return range;
}

void mapPlane(std::uint8_t* plane, std::ptrdiff_t stride, int width, int height,
              const std::array<std::uint8_t, 256>& map)
{
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = plane + y * stride;
        for (int x = 0; x < width; ++x)
            row[x] = map[row[x]];
    }
}

// Everything of a plane outside its first `width` × `height` samples becomes `value`.
void fillOutside(std::uint8_t* plane, std::ptrdiff_t stride, int width, int height, int planeWidth, int planeHeight,
                 std::uint8_t value)
{
    for (int y = 0; y < planeHeight; ++y) {
        std::uint8_t* row = plane + y * stride;
        const int from = y < height ? width : 0;
        if (from < planeWidth)
            std::memset(row + from, value, static_cast<std::size_t>(planeWidth - from));
    }
}

AvFramePtr frameFor(const Yuv420Size& size, AvFramePtr reuse)
{
    if (reuse && reuse->format == AV_PIX_FMT_YUV420P && reuse->width == size.codedWidth &&
        reuse->height == size.codedHeight && av_frame_is_writable(reuse.get()))
        return reuse;
    AvFramePtr frame(av_frame_alloc());
    if (!frame)
        throw std::bad_alloc();
    frame->format = AV_PIX_FMT_YUV420P;
    // Room for the whole blocks the JPEG decoder writes, and for the converter's pairs of rows.
    frame->width = (std::max(size.codedWidth, size.width) + 15) / 16 * 16;
    frame->height = (std::max(size.codedHeight, size.height) + 15) / 16 * 16;
    if (av_frame_get_buffer(frame.get(), 0) < 0)
        throw std::bad_alloc();
    frame->width = size.codedWidth;
    frame->height = size.codedHeight;
    return frame;
}

// A picture of another size or sampling: decoded to 32-bit pixels, cut or filled out with black, converted.
// The converter averages pairs of columns: for an odd width it reads one pixel past each row (the next
// row's first, or memory past the picture), so the picture is converted at even sides, its last column and
// row repeated; the padding is set afterwards.
void convertPicture(const QImage& decoded, const Yuv420Size& size, AVFrame& frame)
{
    const int evenWidth = (size.width + 1) / 2 * 2, evenHeight = (size.height + 1) / 2 * 2;
    const QImage cut = decoded.copy(0, 0, size.width, size.height);
    QImage picture = cut.copy(0, 0, evenWidth, evenHeight);
    if (evenWidth > size.width)
        for (int y = 0; y < size.height; ++y)
            reinterpret_cast<QRgb*>(picture.scanLine(y))[size.width] =
                reinterpret_cast<const QRgb*>(cut.constScanLine(y))[size.width - 1];
    if (evenHeight > size.height)
        std::memcpy(picture.scanLine(size.height), picture.constScanLine(size.height - 1),
                    static_cast<std::size_t>(picture.bytesPerLine()));
    SwsContext* converter = sws_getContext(evenWidth, evenHeight, AV_PIX_FMT_BGRA, evenWidth, evenHeight,
                                           AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!converter)
        throw std::bad_alloc();
    const std::uint8_t* const from[1] = {picture.constBits()};
    const int fromStride[1] = {static_cast<int>(picture.bytesPerLine())};
    sws_scale(converter, from, fromStride, 0, evenHeight, frame.data, frame.linesize);
    sws_freeContext(converter);
}

} // namespace

AvFramePtr DecodeToYuv420(const store::FrameRecord& record, const QString& frameStorePath, const Yuv420Size& size,
                          AvFramePtr reuse)
{
    AvFramePtr frame = frameFor(size, std::move(reuse));
    bool direct = false;
    try {
        direct = store::DecodeJpegYcc420Into(
            record.jpeg, editor::DescribeFrameRecord(record, frameStorePath),
            [&](int width, int height) -> std::optional<store::YccPlanes> {
                if (width != size.width || height != size.height)
                    return std::nullopt;
                store::YccPlanes planes;
                for (int c = 0; c < 3; ++c) {
                    planes.data[c] = frame->data[c];
                    planes.stride[c] = frame->linesize[c];
                }
                return planes;
            });
    } catch (const store::StoreError& failure) {
        throw editor::RecordingError(failure.what());
    }
    const int chromaWidth = (size.width + 1) / 2, chromaHeight = (size.height + 1) / 2;
    if (direct) {
        mapPlane(frame->data[0], frame->linesize[0], size.width, size.height, videoRange().luma);
        for (int c = 1; c < 3; ++c)
            mapPlane(frame->data[c], frame->linesize[c], chromaWidth, chromaHeight, videoRange().chroma);
    } else {
        convertPicture(editor::DecodeFramePicture(record, frameStorePath), size, *frame);
    }
    // Black around the picture: Y 16, Cb and Cr 128.
    fillOutside(frame->data[0], frame->linesize[0], size.width, size.height, size.codedWidth, size.codedHeight, 16);
    for (int c = 1; c < 3; ++c)
        fillOutside(frame->data[c], frame->linesize[c], chromaWidth, chromaHeight, (size.codedWidth + 1) / 2,
                    (size.codedHeight + 1) / 2, 128);
    frame->pict_type = AV_PICTURE_TYPE_NONE;
    return frame;
}

} // namespace quolva::publish

#pragma once

#include "store/Picture.h"
#include "store/StoreError.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace quolva::store {

// A picture that cannot be encoded, or JPEG data that cannot be decoded.
class JpegError : public StoreError {
public:
    using StoreError::StoreError;
};

// Every frame is encoded at this quality, baseline, with the floating-point DCT.
inline constexpr int kJpegQuality = 90;

// Pictures larger than this are refused before anything is allocated for them (8192 × 8192 pixels;
// an 8K screen is half of it).
inline constexpr std::int64_t kMaxJpegPixels = std::int64_t{1} << 26;

// JPEG limits each side to 65500 pixels.
inline constexpr int kMaxJpegSide = 65500;

struct JpegDimensions {
    int width = 0;
    int height = 0;
};

// Encodes as a baseline JFIF: RGB input, library defaults (YCbCr, 2×2 luminance sampling, standard
// Huffman tables), quality 90, floating-point DCT. The same pixels always give the same bytes,
// whatever their layout or row padding.
std::vector<std::uint8_t> EncodeJpeg(const PictureView& picture);

// Reads only the header. `source` names the data in messages (e.g. a file and an offset).
JpegDimensions ReadJpegDimensions(std::span<const std::uint8_t> jpeg, std::string_view source = "JPEG picture");

// Decodes to 24-bit RGB at full size. Any damage the decoder notices (including data that ends early)
// is an error, never a partly grey picture.
Picture DecodeJpeg(std::span<const std::uint8_t> jpeg, std::string_view source = "JPEG picture");

// Where a decoder puts its rows: the first row and the distance in bytes from one row to the next.
struct PixelTarget {
    std::uint8_t* pixels = nullptr;
    std::ptrdiff_t stride = 0;
};

// Decodes at full size into memory the caller provides once the size is known (`target` is called once,
// before any pixel is written): Rgb24 gives R, G, B; Xrgb32 gives B, G, R, 255, a 32-bit picture ready
// for the screen without a conversion; Bgr24 gives B, G, R, a DIB's pixels (a negative stride from the
// last row fills a bottom-up DIB). Fails as DecodeJpeg does.
void DecodeJpegInto(std::span<const std::uint8_t> jpeg, std::string_view source, PixelLayout layout,
                    const std::function<PixelTarget(int width, int height)>& target);

// The three planes of a picture in the JPEG's own colours: Y, Cb, Cr, full range (0 to 255) with the
// BT.601 matrix. Y has the picture's size; Cb and Cr half its width and height, rounded up.
struct YccPlanes {
    std::uint8_t* data[3] = {};
    std::ptrdiff_t stride[3] = {};
};

// Decodes a picture stored with 2×2 luminance sampling (as EncodeJpeg stores every picture) into those
// planes, without converting colours or upsampling chroma: the encoder's own samples. `target` is told the
// size once it is known and gives the planes, or nothing to decline the picture. Each row must have room
// for the width rounded up to 16 samples (Y) or 8 (Cb, Cr): the decoder writes whole blocks; what lies
// past the width is left undefined. False, with nothing written, for a picture stored with other sampling
// or declined. Fails as DecodeJpeg does.
bool DecodeJpegYcc420Into(std::span<const std::uint8_t> jpeg, std::string_view source,
                          const std::function<std::optional<YccPlanes>(int width, int height)>& target);

} // namespace quolva::store

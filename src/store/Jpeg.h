#pragma once

#include "store/Picture.h"
#include "store/StoreError.h"

#include <cstdint>
#include <functional>
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

} // namespace quolva::store

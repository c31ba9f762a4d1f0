#pragma once

#include "store/Picture.h"
#include "store/StoreError.h"

#include <cstdint>
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

} // namespace quolva::store

#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quolva::store {

// How the bytes of one pixel lie in memory.
enum class PixelLayout {
    Rgb24,  // R, G, B (QImage::Format_RGB888)
    Xrgb32, // B, G, R, X: a 32-bit 0xffRRGGBB word on a little-endian machine (QImage::Format_RGB32)
    Bgr24,  // B, G, R: the pixels of a 24-bit DIB
};

constexpr int BytesPerPixel(PixelLayout layout) { return layout == PixelLayout::Xrgb32 ? 4 : 3; }

// Pixels owned by someone else, top row first; `stride` is the distance in bytes from one row to the
// next and may exceed width × bytes per pixel (padded rows).
struct PictureView {
    const std::uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;
    PixelLayout layout = PixelLayout::Rgb24;

    const std::uint8_t* Row(int y) const { return pixels + static_cast<std::ptrdiff_t>(y) * stride; }
};

// A 24-bit RGB picture, top row first, rows packed (stride = 3 × width): what the JPEG decoder gives.
class Picture {
public:
    Picture() = default;
    Picture(int width, int height)
        : width_(width > 0 && height > 0 ? width : 0), height_(width > 0 && height > 0 ? height : 0),
          bytes_(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * 3)
    {
    }

    int Width() const { return width_; }
    int Height() const { return height_; }
    std::ptrdiff_t Stride() const { return static_cast<std::ptrdiff_t>(width_) * 3; }
    bool IsEmpty() const { return bytes_.empty(); }

    std::uint8_t* Row(int y) { return bytes_.data() + static_cast<std::ptrdiff_t>(y) * Stride(); }
    const std::uint8_t* Row(int y) const { return bytes_.data() + static_cast<std::ptrdiff_t>(y) * Stride(); }
    std::uint8_t* Data() { return bytes_.data(); }
    const std::uint8_t* Data() const { return bytes_.data(); }
    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

    PictureView View() const { return {bytes_.data(), width_, height_, Stride(), PixelLayout::Rgb24}; }

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint8_t> bytes_;
};

} // namespace quolva::store

#pragma once
// Pictures for the frame store tests: busy noise, which JPEG cannot shrink much, from a seed.
#include "store/Picture.h"

#include <cstdint>
#include <vector>

namespace storetest {

struct TestPicture {
    int width;
    int height;
    std::vector<std::uint8_t> rgb;
    quolva::store::PictureView View() const
    {
        return {rgb.data(), width, height, width * 3, quolva::store::PixelLayout::Rgb24};
    }
};

inline TestPicture Busy(int width, int height, std::uint32_t seed)
{
    TestPicture picture{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 3)};
    std::uint32_t state = seed * 2654435761u + 1;
    for (auto& byte : picture.rgb) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<std::uint8_t>(state);
    }
    return picture;
}

} // namespace storetest

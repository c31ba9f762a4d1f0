#pragma once

// Lossless bitmaps: the zlib-compressed image data and the DefineBitsLossless2 tag that carries it.

#include "FlashBaseClasses.h"
#include "FlashContainers.h"
#include "FlashTag.h"
#include "FlashValueRecords.h"

#include <cstdint>
#include <vector>

// The image of a lossless bitmap: an optional colour table followed by the pixel bytes, compressed with
// zlib at level 9 when written. The pixel bytes stay the caller's (they are never converted: they must
// already be in the layout the bitmap format promises) and must outlive the writing; a null pointer stands
// for no pixel bytes.
class FlashZLibBitmapData {
public:
    FlashZLibBitmapData(const unsigned char* data, std::uint32_t length)
        : m_data(data), m_length(data != nullptr ? length : 0)
    {
    }
    // A copy shares the caller's pixel bytes and owns no buffers (its gc_vector starts empty).
    FlashZLibBitmapData(const FlashZLibBitmapData&) = default;
    FlashZLibBitmapData& operator=(const FlashZLibBitmapData&) = default;

    // With alpha the colour table entries go out as RGBA, otherwise as RGB.
    void SetAlpha(bool alpha) { m_alpha = alpha; }
    bool GetAlpha() const { return m_alpha; }
    void AddColor(const FlashRGB& color) { m_colorTable.push_back(color); }
    const std::vector<FlashRGB>& GetColorTable() const { return m_colorTable; }
    const unsigned char* GetData() const { return m_data; }
    std::uint32_t GetLength() const { return m_length; }

private:
    gc_vector<FlashByteBuffer*> m_ownedBuffers; // filled only when reading, which this library does not do
    bool m_alpha = false;
    std::vector<FlashRGB> m_colorTable;
    const unsigned char* m_data;
    std::uint32_t m_length;
};

// Writes the zlib stream (header 78 DA, deflate data, Adler-32) of the colour table and pixel bytes, or
// nothing at all when compression fails.
std::ostream& operator<<(std::ostream& out, const FlashZLibBitmapData& data);

// DefineBitsLossless2: format 3 (colour-mapped), 4 (15-bit) or 5 (32-bit ARGB, alpha first).
class FlashTagDefineBitsLossless2 : public FlashTag, public FlashIDEnabled {
public:
    FlashTagDefineBitsLossless2(std::uint8_t format, std::uint16_t width, std::uint16_t height,
                                const FlashZLibBitmapData& data)
        : FlashTag(36, 0), m_format(format), m_width(width), m_height(height), m_data(data)
    {
    }
    std::ostream& Write(std::ostream& out) override;

    std::uint8_t GetFormat() const { return m_format; }
    std::uint16_t GetWidth() const { return m_width; }
    std::uint16_t GetHeight() const { return m_height; }
    const FlashZLibBitmapData& GetData() const { return m_data; }

private:
    std::uint8_t m_format;
    std::uint16_t m_width;
    std::uint16_t m_height;
    FlashZLibBitmapData m_data;
};

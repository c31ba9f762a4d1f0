#include "FlashBitmapTags.h"

#include "BitBuffer.h"

#include <zlib.h>

#include <new>
#include <sstream>
#include <string>

namespace {

// Compresses the bytes at level 9 into a buffer of n + n/100 + 12 bytes, which holds the zlib stream of
// any input. Returns false, leaving compressed empty, when zlib or the allocation fails.
bool CompressImage(const unsigned char* bytes, std::size_t n, std::vector<unsigned char>& compressed)
{
    try {
        compressed.resize(n + n / 100 + 12);
    } catch (const std::bad_alloc&) {
        compressed.clear();
        return false;
    }
    auto compressedLength = static_cast<uLongf>(compressed.size());
    // zlib wants a valid pointer even for no input.
    static const unsigned char noBytes = 0;
    const int result = compress2(compressed.data(), &compressedLength, n > 0 ? bytes : &noBytes,
                                 static_cast<uLong>(n), 9);
    if (result != Z_OK) {
        compressed.clear();
        return false;
    }
    compressed.resize(compressedLength);
    return true;
}

} // namespace

std::ostream& operator<<(std::ostream& out, const FlashZLibBitmapData& data)
{
    std::vector<unsigned char> compressed;
    bool compressedOk = false;
    if (data.GetColorTable().empty()) {
        // Without a colour table the image is the pixel bytes alone: compress them where they lie.
        compressedOk = CompressImage(data.GetData(), data.GetLength(), compressed);
    } else {
        std::string image;
        try {
            std::ostringstream table;
            for (const FlashRGB& color : data.GetColorTable())
                color.WriteComponents(table, data.GetAlpha());
            image = std::move(table).str();
            if (data.GetLength() > 0)
                image.append(reinterpret_cast<const char*>(data.GetData()), data.GetLength());
            compressedOk = CompressImage(reinterpret_cast<const unsigned char*>(image.data()), image.size(), compressed);
        } catch (const std::bad_alloc&) {
            compressedOk = false;
        }
    }
    if (compressedOk)
        out.write(reinterpret_cast<const char*>(compressed.data()), static_cast<std::streamsize>(compressed.size()));
    return out;
}

std::ostream& FlashTagDefineBitsLossless2::Write(std::ostream& out)
{
    std::ostringstream body;
    FlashPutU16(body, GetID());
    FlashPutU8(body, m_format);
    FlashPutU16(body, m_width);
    FlashPutU16(body, m_height);
    if (m_format == 3)
        FlashPutU8(body, static_cast<std::uint32_t>(m_data.GetColorTable().size()) - 1);
    m_data.SetAlpha(true);
    body << m_data;
    return WriteFramed(out, 36, body.view());
}

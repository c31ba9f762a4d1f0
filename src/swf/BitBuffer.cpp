#include "BitBuffer.h"

#include <algorithm>

void BitBuffer::WriteBits(std::int64_t value, int n)
{
    const auto bits = static_cast<std::uint64_t>(value);
    for (int i = 0; i < n; ++i) {
        if (m_bitPosition % 8 == 0)
            m_bytes.push_back(0);
        const int shift = n - 1 - i;
        // Beyond the 64 bits of the value, two's complement repeats the sign bit.
        const bool bit = shift < 64 ? ((bits >> shift) & 1U) != 0 : value < 0;
        if (bit)
            m_bytes[static_cast<std::size_t>(m_bitPosition / 8)] |=
                static_cast<unsigned char>(1U << (7 - m_bitPosition % 8));
        ++m_bitPosition;
    }
}

void BitBuffer::AlignToByte()
{
    m_bitPosition = (m_bitPosition + 7) / 8 * 8;
}

std::ostream& operator<<(std::ostream& out, const BitBuffer& buffer)
{
    const auto& bytes = buffer.GetBytes();
    return out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

int FlashSignificantBits(std::uint64_t value)
{
    int count = 0;
    for (; value != 0; value >>= 1)
        ++count;
    return count;
}

int FlashSignedBitWidth(std::int64_t value)
{
    // The magnitude is taken in unsigned arithmetic so that the most negative value does not overflow.
    const auto magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    return FlashSignificantBits(magnitude) + 1;
}

int FlashSignedBitWidth(std::initializer_list<std::int64_t> values)
{
    int width = 1;
    for (std::int64_t value : values)
        width = std::max(width, FlashSignedBitWidth(value));
    return width;
}

void FlashPutU8(std::ostream& out, std::uint32_t value)
{
    out.put(static_cast<char>(value & 0xFFU));
}

void FlashPutU16(std::ostream& out, std::uint32_t value)
{
    FlashPutU8(out, value);
    FlashPutU8(out, value >> 8);
}

void FlashPutU32(std::ostream& out, std::uint32_t value)
{
    FlashPutU16(out, value);
    FlashPutU16(out, value >> 16);
}

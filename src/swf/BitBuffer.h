#pragma once

#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <vector>

// Bits packed most significant first, each byte filled from its top bit down. One buffer is made per
// structure written and discarded once its bytes are out.
class BitBuffer {
public:
    // Appends the low n bits of value (two's complement), highest of them first.
    void WriteBits(std::int64_t value, int n);
    // Moves to the next byte boundary; the unused low bits of the current byte stay 0.
    void AlignToByte();

    std::int32_t GetBitPosition() const { return m_bitPosition; }
    const std::vector<unsigned char>& GetBytes() const { return m_bytes; }

private:
    std::int32_t m_bitPosition = 0;
    std::vector<unsigned char> m_bytes;
};

// Writes every byte of the buffer; a final partial byte goes out with its unused low bits 0.
std::ostream& operator<<(std::ostream& out, const BitBuffer& buffer);

// Field widths. The significant-bit count of a non-negative number is the number of right shifts that bring
// it to zero (0 for 0, 15 for 16384..32767); unsigned counts use it bare.
int FlashSignificantBits(std::uint64_t value);
// A signed field takes the significant bits of its magnitude plus one (1 for 0).
int FlashSignedBitWidth(std::int64_t value);
// Fields written with one shared width take the largest of their widths.
int FlashSignedBitWidth(std::initializer_list<std::int64_t> values);

// Little-endian integers and single bytes onto a byte stream (only the low bits of the value count).
void FlashPutU8(std::ostream& out, std::uint32_t value);
void FlashPutU16(std::ostream& out, std::uint32_t value);
void FlashPutU32(std::ostream& out, std::uint32_t value);

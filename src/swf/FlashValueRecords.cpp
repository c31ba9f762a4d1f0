#include "FlashValueRecords.h"

#include "BitBuffer.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// A real number becomes an integer by truncation toward zero; values a 64-bit integer cannot hold are
// clamped (and NaN taken as 0) so that the conversion is always defined. Narrower fields keep the low bits.
std::int64_t TruncateToInteger(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= 9.2e18)
        return std::numeric_limits<std::int64_t>::max();
    if (value <= -9.2e18)
        return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(value);
}

// Splits value into floor(value) and the truncated fraction in units of 1/scale. A fraction that rounds
// up to a whole unit (a tiny negative value) carries into the integer part.
void SplitFixed(double value, double scale, std::int64_t& integerPart, std::int64_t& fraction)
{
    const double whole = std::floor(value);
    integerPart = TruncateToInteger(whole);
    fraction = TruncateToInteger((value - whole) * scale);
    if (fraction >= static_cast<std::int64_t>(scale)) {
        fraction = 0;
        ++integerPart;
    }
    if (fraction < 0)
        fraction = 0;
}

} // namespace

int FlashRect::GetBitWidth() const
{
    return FlashSignedBitWidth({m_xmin, m_xmax, m_ymin, m_ymax});
}

int FlashRect::GetByteCount() const
{
    return (5 + 4 * GetBitWidth() + 7) / 8;
}

std::ostream& operator<<(std::ostream& out, const FlashRect& rect)
{
    const int width = rect.GetBitWidth();
    BitBuffer bits;
    bits.WriteBits(width, 5);
    bits.WriteBits(rect.GetXMin(), width);
    bits.WriteBits(rect.GetXMax(), width);
    bits.WriteBits(rect.GetYMin(), width);
    bits.WriteBits(rect.GetYMax(), width);
    return out << bits;
}

void FlashRGB::WriteComponents(std::ostream& out, bool withAlpha) const
{
    const auto component = [&out](std::int16_t value) { FlashPutU8(out, value >= 255 ? 255U : static_cast<std::uint32_t>(value)); };
    component(m_r);
    component(m_g);
    component(m_b);
    if (withAlpha)
        component(m_a);
}

std::ostream& operator<<(std::ostream& out, const FlashRGB& color)
{
    color.WriteComponents(out, color.GetAlphaWriteMode());
    return out;
}

FlashFixed::FlashFixed(double value)
{
    std::int64_t integerPart = 0;
    std::int64_t fraction = 0;
    SplitFixed(value, 65536.0, integerPart, fraction);
    m_integer = static_cast<std::int16_t>(integerPart);
    m_fraction = static_cast<std::uint16_t>(fraction);
}

std::int32_t FlashFixed::ConvertToRaw() const
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::int32_t>(m_integer)) << 16 | m_fraction);
}

FlashFixed8::FlashFixed8(double value)
{
    std::int64_t integerPart = 0;
    std::int64_t fraction = 0;
    SplitFixed(value, 256.0, integerPart, fraction);
    m_integer = static_cast<std::uint8_t>(integerPart);
    m_fraction = static_cast<std::uint8_t>(fraction);
}

std::ostream& operator<<(std::ostream& out, const FlashFixed8& value)
{
    FlashPutU8(out, value.GetFraction());
    FlashPutU8(out, value.GetIntegerPart());
    return out;
}

void FlashMatrix::SetScale(FlashFixed x, FlashFixed y)
{
    m_hasScale = true;
    m_scaleX = x;
    m_scaleY = y;
}

void FlashMatrix::SetRotate(FlashFixed skew0, FlashFixed skew1)
{
    m_hasRotate = true;
    m_rotateSkew0 = skew0;
    m_rotateSkew1 = skew1;
}

void FlashMatrix::SetTranslate(std::int16_t x, std::int16_t y)
{
    m_translateX = x;
    m_translateY = y;
}

std::ostream& operator<<(std::ostream& out, const FlashMatrix& matrix)
{
    BitBuffer bits;
    const auto writePair = [&bits](std::int32_t first, std::int32_t second) {
        const int width = FlashSignedBitWidth({first, second});
        bits.WriteBits(width, 5);
        bits.WriteBits(first, width);
        bits.WriteBits(second, width);
    };
    bits.WriteBits(matrix.HasScale() ? 1 : 0, 1);
    if (matrix.HasScale())
        writePair(matrix.GetScaleX().ConvertToRaw(), matrix.GetScaleY().ConvertToRaw());
    bits.WriteBits(matrix.HasRotate() ? 1 : 0, 1);
    if (matrix.HasRotate())
        writePair(matrix.GetRotateSkew0().ConvertToRaw(), matrix.GetRotateSkew1().ConvertToRaw());
    writePair(matrix.GetTranslateX(), matrix.GetTranslateY());
    return out << bits;
}

void FlashColorTransform::SetAddTerms(const FlashRGB& add)
{
    m_hasAdd = true;
    m_add = add;
}

void FlashColorTransform::SetMultTerms(const FlashRGB& mult)
{
    m_hasMult = true;
    m_mult = mult;
}

std::ostream& operator<<(std::ostream& out, const FlashColorTransform& transform)
{
    const bool withAlpha = transform.GetVersion() > 1;
    const FlashRGB& add = transform.GetAddTerms();
    const FlashRGB& mult = transform.GetMultTerms();
    // One width for every component of both colours, present or not.
    int width = FlashSignedBitWidth({add.GetR(), add.GetG(), add.GetB(), mult.GetR(), mult.GetG(), mult.GetB()});
    if (withAlpha)
        width = std::max(width, FlashSignedBitWidth({add.GetA(), mult.GetA()}));

    BitBuffer bits;
    bits.WriteBits(transform.HasAddTerms() ? 1 : 0, 1);
    bits.WriteBits(transform.HasMultTerms() ? 1 : 0, 1);
    bits.WriteBits(width, 4);
    const auto writeTerms = [&](const FlashRGB& terms) {
        bits.WriteBits(terms.GetR(), width);
        bits.WriteBits(terms.GetG(), width);
        bits.WriteBits(terms.GetB(), width);
        if (withAlpha)
            bits.WriteBits(terms.GetA(), width);
    };
    if (transform.HasMultTerms())
        writeTerms(mult);
    if (transform.HasAddTerms())
        writeTerms(add);
    return out << bits;
}

#include "FlashStyles.h"

#include "BitBuffer.h"

#include <stdexcept>

namespace {

bool WritesAlpha(const FlashVersionEnabled& part)
{
    return part.GetVersion() > 2;
}

// A fresh copy of every listed style, owned by the new array and listed in the same order.
template <class Style>
void CopyStyles(const std::vector<Style*>& source, std::vector<Style*>& styles, gc_vector<Style*>& owned)
{
    styles.reserve(source.size());
    owned.reserve(source.size());
    for (const Style* style : source) {
        Style* copy = style->Copy().release();
        owned.push_back(copy);
        styles.push_back(copy);
    }
}

template <class Style>
void WriteStyles(std::ostream& out, int version, const std::vector<Style*>& styles)
{
    const std::size_t count = styles.size();
    if (count < 0xFF || version < 2) {
        FlashPutU8(out, static_cast<std::uint32_t>(count));
    } else {
        FlashPutU8(out, 0xFF);
        FlashPutU16(out, static_cast<std::uint32_t>(count));
    }
    for (Style* style : styles) {
        style->SetVersion(version);
        out << *style;
    }
}

} // namespace

std::unique_ptr<FlashFillStyle> FlashFillStyle::Copy() const
{
    return std::make_unique<FlashFillStyle>(*this);
}

std::ostream& FlashFillStyle::Write(std::ostream& out) const
{
    return out;
}

std::istream& FlashFillStyle::Read(std::istream& in)
{
    in.setstate(std::ios::failbit);
    return in;
}

std::ostream& operator<<(std::ostream& out, const FlashFillStyle& style)
{
    return style.Write(out);
}

std::unique_ptr<FlashFillStyle> FlashFillStyleSolid::Copy() const
{
    return std::make_unique<FlashFillStyleSolid>(*this);
}

std::ostream& FlashFillStyleSolid::Write(std::ostream& out) const
{
    FlashPutU8(out, 0x00);
    m_color.WriteComponents(out, WritesAlpha(*this));
    return out;
}

void FlashGradientRecord::AddGradient(std::uint8_t ratio, const FlashRGB& color)
{
    m_ratios.push_back(ratio);
    m_colors.push_back(color);
}

void FlashGradientRecord::WriteEntries(std::ostream& out, bool withAlpha) const
{
    FlashPutU8(out, static_cast<std::uint32_t>(m_ratios.size()));
    for (std::size_t i = 0; i < m_ratios.size(); ++i) {
        FlashPutU8(out, m_ratios[i]);
        m_colors[i].WriteComponents(out, withAlpha);
    }
}

std::ostream& operator<<(std::ostream& out, const FlashGradientRecord& gradient)
{
    gradient.WriteEntries(out, WritesAlpha(gradient));
    return out;
}

std::unique_ptr<FlashFillStyle> FlashFillStyleGradient::Copy() const
{
    return std::make_unique<FlashFillStyleGradient>(*this);
}

std::ostream& FlashFillStyleGradient::Write(std::ostream& out) const
{
    FlashPutU8(out, GetType());
    out << m_matrix;
    m_gradient.WriteEntries(out, WritesAlpha(*this));
    return out;
}

std::unique_ptr<FlashFillStyle> FlashFillStyleBitmap::Copy() const
{
    return std::make_unique<FlashFillStyleBitmap>(*this);
}

std::ostream& FlashFillStyleBitmap::Write(std::ostream& out) const
{
    FlashPutU8(out, m_repeating ? 0x40 : 0x41);
    FlashPutU16(out, m_bitmapId);
    return out << m_matrix;
}

std::unique_ptr<FlashLineStyle> FlashLineStyle::Copy() const
{
    return std::make_unique<FlashLineStyle>(*this);
}

std::ostream& operator<<(std::ostream& out, const FlashLineStyle& style)
{
    FlashPutU16(out, style.GetWidth());
    style.GetColor().WriteComponents(out, WritesAlpha(style));
    return out;
}

FlashFillStyleArray::FlashFillStyleArray(const FlashFillStyleArray& other) : FlashVersionEnabled(other)
{
    CopyStyles(other.m_styles, m_styles, m_ownedStyles);
}

FlashFillStyleArray& FlashFillStyleArray::operator=(const FlashFillStyleArray& other)
{
    if (this != &other)
        *this = FlashFillStyleArray(other);
    return *this;
}

int FlashFillStyleArray::AddStyle(FlashFillStyle* style)
{
    if (style == nullptr)
        throw std::invalid_argument("a style array cannot list a missing fill style");
    m_styles.push_back(style);
    return static_cast<int>(m_styles.size());
}

void FlashFillStyleArray::ShareStyles(const FlashFillStyleArray& other)
{
    SetVersion(other.GetVersion());
    m_styles = other.m_styles;
}

FlashLineStyleArray::FlashLineStyleArray(const FlashLineStyleArray& other) : FlashVersionEnabled(other)
{
    CopyStyles(other.m_styles, m_styles, m_ownedStyles);
}

FlashLineStyleArray& FlashLineStyleArray::operator=(const FlashLineStyleArray& other)
{
    if (this != &other)
        *this = FlashLineStyleArray(other);
    return *this;
}

int FlashLineStyleArray::AddStyle(FlashLineStyle* style)
{
    if (style == nullptr)
        throw std::invalid_argument("a style array cannot list a missing line style");
    m_styles.push_back(style);
    return static_cast<int>(m_styles.size());
}

void FlashLineStyleArray::ShareStyles(const FlashLineStyleArray& other)
{
    SetVersion(other.GetVersion());
    m_styles = other.m_styles;
}

std::ostream& operator<<(std::ostream& out, const FlashFillStyleArray& styles)
{
    WriteStyles(out, styles.GetVersion(), styles.GetStyles());
    return out;
}

std::ostream& operator<<(std::ostream& out, const FlashLineStyleArray& styles)
{
    WriteStyles(out, styles.GetVersion(), styles.GetStyles());
    return out;
}

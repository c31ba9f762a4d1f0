#pragma once

// Fill and line styles and the style arrays of a shape.

#include "FlashBaseClasses.h"
#include "FlashContainers.h"
#include "FlashValueRecords.h"

#include <cstddef>
#include <cstdint>
#include <istream>
#include <memory>
#include <ostream>
#include <vector>

// The base of the fill styles; it writes nothing itself. Colours go out with alpha when the style's
// version is above 2 (DefineShape3).
class FlashFillStyle : public FlashVersionEnabled, public FlashCopyEnabled<FlashFillStyle> {
public:
    FlashFillStyle() = default;
    explicit FlashFillStyle(std::uint8_t type) : m_type(type) {}

    std::unique_ptr<FlashFillStyle> Copy() const override;
    virtual std::ostream& Write(std::ostream& out) const;
    // This library writes movies only: reading puts the stream in its failed state.
    virtual std::istream& Read(std::istream& in);

    std::uint8_t GetType() const { return m_type; }

private:
    std::uint8_t m_type = 0;
};

std::ostream& operator<<(std::ostream& out, const FlashFillStyle& style);

class FlashFillStyleSolid : public FlashFillStyle {
public:
    FlashFillStyleSolid() : FlashFillStyle(0x00) {}
    explicit FlashFillStyleSolid(const FlashRGB& color) : FlashFillStyle(0x00), m_color(color) {}

    std::unique_ptr<FlashFillStyle> Copy() const override;
    std::ostream& Write(std::ostream& out) const override;

    const FlashRGB& GetColor() const { return m_color; }

private:
    FlashRGB m_color{0, 0, 0, 255};
};

// The colour stops of a gradient: entry i is (ratio i, colour i).
class FlashGradientRecord : public FlashVersionEnabled {
public:
    void AddGradient(std::uint8_t ratio, const FlashRGB& color);
    std::size_t GetCount() const { return m_ratios.size(); }
    // The entry count as one byte, then per entry its ratio byte and its colour.
    void WriteEntries(std::ostream& out, bool withAlpha) const;

private:
    std::vector<std::uint8_t> m_ratios;
    std::vector<FlashRGB> m_colors;
};

// Written at its own version.
std::ostream& operator<<(std::ostream& out, const FlashGradientRecord& gradient);

class FlashFillStyleGradient : public FlashFillStyle {
public:
    // The type byte is stored as given: 0x10 linear, 0x12 radial.
    FlashFillStyleGradient() = default;
    FlashFillStyleGradient(std::uint8_t type, const FlashMatrix& matrix, const FlashGradientRecord& gradient)
        : FlashFillStyle(type), m_matrix(matrix), m_gradient(gradient)
    {
    }

    std::unique_ptr<FlashFillStyle> Copy() const override;
    std::ostream& Write(std::ostream& out) const override;

private:
    FlashMatrix m_matrix;
    FlashGradientRecord m_gradient;
};

// A fill with a bitmap character: repeating (0x40) or clipped (0x41).
class FlashFillStyleBitmap : public FlashFillStyle {
public:
    FlashFillStyleBitmap(std::uint16_t bitmapId, const FlashMatrix& matrix, bool repeating)
        : FlashFillStyle(repeating ? 0x40 : 0x41), m_bitmapId(bitmapId), m_matrix(matrix), m_repeating(repeating)
    {
    }

    std::unique_ptr<FlashFillStyle> Copy() const override;
    std::ostream& Write(std::ostream& out) const override;

    std::uint16_t GetBitmapId() const { return m_bitmapId; }
    const FlashMatrix& GetMatrix() const { return m_matrix; }
    bool IsRepeating() const { return m_repeating; }

private:
    std::uint16_t m_bitmapId;
    FlashMatrix m_matrix;
    bool m_repeating;
};

class FlashLineStyle : public FlashVersionEnabled, public FlashCopyEnabled<FlashLineStyle> {
public:
    FlashLineStyle() = default;
    FlashLineStyle(std::uint16_t width, const FlashRGB& color) : m_width(width), m_color(color) {}

    std::unique_ptr<FlashLineStyle> Copy() const override;

    std::uint16_t GetWidth() const { return m_width; }
    const FlashRGB& GetColor() const { return m_color; }

private:
    std::uint16_t m_width = 0;
    FlashRGB m_color{0, 0, 0, 255};
};

// The width in twips, then the colour (with alpha above version 2).
std::ostream& operator<<(std::ostream& out, const FlashLineStyle& style);

// The fill styles a shape may use. The list refers to styles owned elsewhere; a copy of an array makes
// its own copies of the listed styles, owns them and lists them in the same order. Destroying an array
// deletes only what it owns.
class FlashFillStyleArray : public FlashVersionEnabled {
public:
    FlashFillStyleArray() = default;
    FlashFillStyleArray(const FlashFillStyleArray& other);
    FlashFillStyleArray& operator=(const FlashFillStyleArray& other);
    FlashFillStyleArray(FlashFillStyleArray&&) noexcept = default;
    FlashFillStyleArray& operator=(FlashFillStyleArray&&) noexcept = default;
    ~FlashFillStyleArray() override = default;

    // Lists a style owned by the caller; returns the new count, which is the style's 1-based index in
    // change records (index 0 means no fill).
    int AddStyle(FlashFillStyle* style);
    // Takes the other array's version and its list of styles, as references.
    void ShareStyles(const FlashFillStyleArray& other);

    const std::vector<FlashFillStyle*>& GetStyles() const { return m_styles; }
    std::size_t GetCount() const { return m_styles.size(); }

private:
    std::vector<FlashFillStyle*> m_styles;
    gc_vector<FlashFillStyle*> m_ownedStyles;
};

class FlashLineStyleArray : public FlashVersionEnabled {
public:
    FlashLineStyleArray() = default;
    FlashLineStyleArray(const FlashLineStyleArray& other);
    FlashLineStyleArray& operator=(const FlashLineStyleArray& other);
    FlashLineStyleArray(FlashLineStyleArray&&) noexcept = default;
    FlashLineStyleArray& operator=(FlashLineStyleArray&&) noexcept = default;
    ~FlashLineStyleArray() override = default;

    int AddStyle(FlashLineStyle* style);
    void ShareStyles(const FlashLineStyleArray& other);

    const std::vector<FlashLineStyle*>& GetStyles() const { return m_styles; }
    std::size_t GetCount() const { return m_styles.size(); }

private:
    std::vector<FlashLineStyle*> m_styles;
    gc_vector<FlashLineStyle*> m_ownedStyles;
};

// The style count (one byte, or FF and 16 bits from 255 styles on at version 2 and above), then every
// style after setting its version to the array's.
std::ostream& operator<<(std::ostream& out, const FlashFillStyleArray& styles);
std::ostream& operator<<(std::ostream& out, const FlashLineStyleArray& styles);

#pragma once

#include "FlashBaseClasses.h"

#include <cstdint>
#include <ostream>

// A rectangle in twips, written as an SWF RECT: one shared field width, both x values before both y values.
class FlashRect {
public:
    FlashRect() = default;
    FlashRect(std::int32_t xmin, std::int32_t ymin, std::int32_t xmax, std::int32_t ymax)
        : m_xmin(xmin), m_ymin(ymin), m_xmax(xmax), m_ymax(ymax)
    {
    }

    std::int32_t GetXMin() const { return m_xmin; }
    std::int32_t GetYMin() const { return m_ymin; }
    std::int32_t GetXMax() const { return m_xmax; }
    std::int32_t GetYMax() const { return m_ymax; }
    // The shared field width of the four values.
    int GetBitWidth() const;
    // The bytes the RECT takes: ceil((5 + 4 * width) / 8).
    int GetByteCount() const;

    friend bool operator==(const FlashRect&, const FlashRect&) = default;

private:
    std::int32_t m_xmin = 0;
    std::int32_t m_ymin = 0;
    std::int32_t m_xmax = 0;
    std::int32_t m_ymax = 0;
};

std::ostream& operator<<(std::ostream& out, const FlashRect& rect);

// A colour; the alpha component goes out only when the alpha flag is set (RGBA rather than RGB).
class FlashRGB {
public:
    FlashRGB() = default;
    FlashRGB(std::int16_t r, std::int16_t g, std::int16_t b) : m_r(r), m_g(g), m_b(b) {}
    FlashRGB(std::int16_t r, std::int16_t g, std::int16_t b, std::int16_t a) : m_r(r), m_g(g), m_b(b), m_a(a), m_alpha(true) {}

    std::int16_t GetR() const { return m_r; }
    std::int16_t GetG() const { return m_g; }
    std::int16_t GetB() const { return m_b; }
    std::int16_t GetA() const { return m_a; }
    bool GetAlphaWriteMode() const { return m_alpha; }
    void SetAlphaWriteMode(bool alpha) { m_alpha = alpha; }

    // Writes r, g, b and, when withAlpha, a: one byte each, 255 for 255 and more, otherwise the low 8 bits.
    void WriteComponents(std::ostream& out, bool withAlpha) const;

    friend bool operator==(const FlashRGB&, const FlashRGB&) = default;

private:
    std::int16_t m_r = 0;
    std::int16_t m_g = 0;
    std::int16_t m_b = 0;
    std::int16_t m_a = 255;
    bool m_alpha = false;
};

std::ostream& operator<<(std::ostream& out, const FlashRGB& color);

// 16.16 fixed point.
class FlashFixed {
public:
    FlashFixed() = default;
    FlashFixed(std::int16_t integerPart, std::uint16_t fraction) : m_integer(integerPart), m_fraction(fraction) {}
    // integer part = floor(value), fraction = (value - floor(value)) * 65536, truncated.
    explicit FlashFixed(double value);

    std::int16_t GetIntegerPart() const { return m_integer; }
    std::uint16_t GetFraction() const { return m_fraction; }
    // integer part * 65536 + fraction.
    std::int32_t ConvertToRaw() const;

    friend bool operator==(const FlashFixed&, const FlashFixed&) = default;

private:
    std::int16_t m_integer = 0;
    std::uint16_t m_fraction = 0;
};

// 8.8 fixed point, written fraction byte first (the frame rate of the file header).
class FlashFixed8 {
public:
    FlashFixed8() = default;
    FlashFixed8(std::uint8_t integerPart, std::uint8_t fraction) : m_integer(integerPart), m_fraction(fraction) {}
    explicit FlashFixed8(double value);

    std::uint8_t GetIntegerPart() const { return m_integer; }
    std::uint8_t GetFraction() const { return m_fraction; }

    friend bool operator==(const FlashFixed8&, const FlashFixed8&) = default;

private:
    std::uint8_t m_integer = 0;
    std::uint8_t m_fraction = 0;
};

std::ostream& operator<<(std::ostream& out, const FlashFixed8& value);

// An SWF MATRIX: optional scale, optional rotate-skew, and a translation in twips that is always written.
class FlashMatrix {
public:
    FlashMatrix() = default;

    void SetScale(FlashFixed x, FlashFixed y);
    void SetRotate(FlashFixed skew0, FlashFixed skew1);
    void SetTranslate(std::int16_t x, std::int16_t y);

    bool HasScale() const { return m_hasScale; }
    FlashFixed GetScaleX() const { return m_scaleX; }
    FlashFixed GetScaleY() const { return m_scaleY; }
    bool HasRotate() const { return m_hasRotate; }
    FlashFixed GetRotateSkew0() const { return m_rotateSkew0; }
    FlashFixed GetRotateSkew1() const { return m_rotateSkew1; }
    std::int16_t GetTranslateX() const { return m_translateX; }
    std::int16_t GetTranslateY() const { return m_translateY; }

private:
    bool m_hasScale = false;
    FlashFixed m_scaleX;
    FlashFixed m_scaleY;
    bool m_hasRotate = false;
    FlashFixed m_rotateSkew0;
    FlashFixed m_rotateSkew1;
    std::int16_t m_translateX = 0;
    std::int16_t m_translateY = 0;
};

std::ostream& operator<<(std::ostream& out, const FlashMatrix& matrix);

// An SWF colour transform: CXFORMWITHALPHA when its version is above 1, CXFORM otherwise.
class FlashColorTransform : public FlashVersionEnabled {
public:
    FlashColorTransform() = default;

    void SetAddTerms(const FlashRGB& add);
    void SetMultTerms(const FlashRGB& mult);

    bool HasAddTerms() const { return m_hasAdd; }
    bool HasMultTerms() const { return m_hasMult; }
    const FlashRGB& GetAddTerms() const { return m_add; }
    const FlashRGB& GetMultTerms() const { return m_mult; }

private:
    bool m_hasAdd = false;
    bool m_hasMult = false;
    FlashRGB m_add;
    FlashRGB m_mult;
};

std::ostream& operator<<(std::ostream& out, const FlashColorTransform& transform);

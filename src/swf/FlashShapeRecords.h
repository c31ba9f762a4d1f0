#pragma once

// The bit-packed records of a shape: style changes and pen moves, straight and curved edges, the end.

#include "BitBuffer.h"
#include "FlashBaseClasses.h"
#include "FlashStyles.h"

#include <cstdint>
#include <istream>

// What the records written so far have decided: the widths of fill and line style indexes.
struct FlashShapeWriteState {
    int fillIndexWidth = 0;
    int lineIndexWidth = 0;
};

class FlashShapeRecord : public FlashVersionEnabled {
public:
    // Appends the record's bits; a record with new styles changes the state's index widths.
    virtual void Write(BitBuffer& bits, FlashShapeWriteState& state) = 0;
    // This library writes movies only: reading puts the stream in its failed state.
    virtual std::istream& Read(std::istream& in);
};

// Selects styles, moves the pen (to an absolute point) and may bring new style arrays. A record with none
// of its five flags set would read as the end of the shape; nothing prevents building one.
class FlashShapeRecordChange : public FlashShapeRecord {
public:
    FlashShapeRecordChange() = default;
    // A pen move to (x, y), nothing else.
    FlashShapeRecordChange(std::int32_t x, std::int32_t y) : m_moveTo(true), m_moveX(x), m_moveY(y) {}

    void Write(BitBuffer& bits, FlashShapeWriteState& state) override;

    void SetFillStyle0(std::uint16_t index);
    void SetFillStyle1(std::uint16_t index);
    void SetLineStyle(std::uint16_t index);
    void SetMoveTo(std::int32_t x, std::int32_t y);
    // The record keeps its own copies of the styles of both arrays.
    void SetNewStyles(const FlashFillStyleArray& fillStyles, const FlashLineStyleArray& lineStyles);

    bool HasNewStyles() const { return m_newStyles; }
    bool HasLineStyle() const { return m_lineStyle; }
    bool HasFillStyle1() const { return m_fillStyle1; }
    bool HasFillStyle0() const { return m_fillStyle0; }
    bool HasMoveTo() const { return m_moveTo; }
    std::uint16_t GetFillStyle0() const { return m_fillStyle0Index; }
    std::uint16_t GetFillStyle1() const { return m_fillStyle1Index; }
    std::uint16_t GetLineStyle() const { return m_lineStyleIndex; }
    std::int32_t GetMoveX() const { return m_moveX; }
    std::int32_t GetMoveY() const { return m_moveY; }
    const FlashFillStyleArray& GetNewFillStyles() const { return m_newFillStyles; }
    const FlashLineStyleArray& GetNewLineStyles() const { return m_newLineStyles; }

private:
    bool m_newStyles = false;
    bool m_lineStyle = false;
    bool m_fillStyle1 = false;
    bool m_fillStyle0 = false;
    bool m_moveTo = false;
    std::uint16_t m_fillStyle0Index = 0;
    std::uint16_t m_fillStyle1Index = 0;
    std::uint16_t m_lineStyleIndex = 0;
    std::int32_t m_moveX = 0;
    std::int32_t m_moveY = 0;
    FlashFillStyleArray m_newFillStyles;
    FlashLineStyleArray m_newLineStyles;
};

// A straight edge from the pen position, in twips.
class FlashShapeRecordStraight : public FlashShapeRecord {
public:
    FlashShapeRecordStraight(std::int16_t dx, std::int16_t dy) : m_dx(dx), m_dy(dy) {}

    void Write(BitBuffer& bits, FlashShapeWriteState& state) override;

    std::int16_t GetDeltaX() const { return m_dx; }
    std::int16_t GetDeltaY() const { return m_dy; }

private:
    std::int16_t m_dx;
    std::int16_t m_dy;
};

// A quadratic curve: the control point relative to the pen, then the anchor relative to the control
// point. The arguments come in the order of the fields, anchor first.
class FlashShapeRecordCurved : public FlashShapeRecord {
public:
    FlashShapeRecordCurved(std::int16_t anchorDx, std::int16_t anchorDy, std::int16_t controlDx, std::int16_t controlDy)
        : m_anchorDx(anchorDx), m_anchorDy(anchorDy), m_controlDx(controlDx), m_controlDy(controlDy)
    {
    }

    void Write(BitBuffer& bits, FlashShapeWriteState& state) override;

    std::int16_t GetAnchorDeltaX() const { return m_anchorDx; }
    std::int16_t GetAnchorDeltaY() const { return m_anchorDy; }
    std::int16_t GetControlDeltaX() const { return m_controlDx; }
    std::int16_t GetControlDeltaY() const { return m_controlDy; }

private:
    std::int16_t m_anchorDx;
    std::int16_t m_anchorDy;
    std::int16_t m_controlDx;
    std::int16_t m_controlDy;
};

// Six zero bits that close a shape.
class FlashShapeRecordEnd : public FlashShapeRecord {
public:
    void Write(BitBuffer& bits, FlashShapeWriteState& state) override;
};

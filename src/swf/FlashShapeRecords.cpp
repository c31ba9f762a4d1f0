#include "FlashShapeRecords.h"

#include <algorithm>
#include <sstream>

namespace {

// Edges store their field width minus 2 in four bits, never below 1, so every field is 3 bits or wider.
int EdgeWidthField(std::initializer_list<std::int64_t> deltas)
{
    return std::max(FlashSignedBitWidth(deltas) - 2, 1);
}

} // namespace

std::istream& FlashShapeRecord::Read(std::istream& in)
{
    in.setstate(std::ios::failbit);
    return in;
}

void FlashShapeRecordChange::SetFillStyle0(std::uint16_t index)
{
    m_fillStyle0 = true;
    m_fillStyle0Index = index;
}

void FlashShapeRecordChange::SetFillStyle1(std::uint16_t index)
{
    m_fillStyle1 = true;
    m_fillStyle1Index = index;
}

void FlashShapeRecordChange::SetLineStyle(std::uint16_t index)
{
    m_lineStyle = true;
    m_lineStyleIndex = index;
}

void FlashShapeRecordChange::SetMoveTo(std::int32_t x, std::int32_t y)
{
    m_moveTo = true;
    m_moveX = x;
    m_moveY = y;
}

void FlashShapeRecordChange::SetNewStyles(const FlashFillStyleArray& fillStyles, const FlashLineStyleArray& lineStyles)
{
    m_newStyles = true;
    m_newFillStyles = fillStyles;
    m_newLineStyles = lineStyles;
}

void FlashShapeRecordChange::Write(BitBuffer& bits, FlashShapeWriteState& state)
{
    bits.WriteBits(0, 1); // not an edge
    bits.WriteBits(m_newStyles ? 1 : 0, 1);
    bits.WriteBits(m_lineStyle ? 1 : 0, 1);
    bits.WriteBits(m_fillStyle1 ? 1 : 0, 1);
    bits.WriteBits(m_fillStyle0 ? 1 : 0, 1);
    bits.WriteBits(m_moveTo ? 1 : 0, 1);
    if (m_moveTo) {
        const int width = FlashSignedBitWidth({m_moveX, m_moveY});
        bits.WriteBits(width, 5);
        bits.WriteBits(m_moveX, width);
        bits.WriteBits(m_moveY, width);
    }
    if (m_fillStyle0)
        bits.WriteBits(m_fillStyle0Index, state.fillIndexWidth);
    if (m_fillStyle1)
        bits.WriteBits(m_fillStyle1Index, state.fillIndexWidth);
    if (m_lineStyle)
        bits.WriteBits(m_lineStyleIndex, state.lineIndexWidth);
    if (m_newStyles) {
        m_newFillStyles.SetVersion(GetVersion());
        m_newLineStyles.SetVersion(GetVersion());
        std::ostringstream styles;
        styles << m_newFillStyles << m_newLineStyles;
        const int fillWidth = FlashSignificantBits(m_newFillStyles.GetCount());
        const int lineWidth = FlashSignificantBits(m_newLineStyles.GetCount());
        FlashPutU8(styles, static_cast<std::uint32_t>(16 * fillWidth + lineWidth));
        // The style arrays are byte-aligned within the record.
        bits.AlignToByte();
        for (const char byte : styles.view())
            bits.WriteBits(static_cast<unsigned char>(byte), 8);
        state.fillIndexWidth = fillWidth;
        state.lineIndexWidth = lineWidth;
    }
}

void FlashShapeRecordStraight::Write(BitBuffer& bits, FlashShapeWriteState&)
{
    const int widthField = EdgeWidthField({m_dx, m_dy});
    const int width = widthField + 2;
    bits.WriteBits(1, 1); // edge
    bits.WriteBits(1, 1); // straight
    bits.WriteBits(widthField, 4);
    if (m_dx == 0) {
        bits.WriteBits(0, 1); // not general
        bits.WriteBits(1, 1); // vertical
        bits.WriteBits(m_dy, width);
    } else if (m_dy != 0) {
        bits.WriteBits(1, 1); // general
        bits.WriteBits(m_dx, width);
        bits.WriteBits(m_dy, width);
    } else {
        bits.WriteBits(0, 1); // not general
        bits.WriteBits(0, 1); // horizontal
        bits.WriteBits(m_dx, width);
    }
}

void FlashShapeRecordCurved::Write(BitBuffer& bits, FlashShapeWriteState&)
{
    const int widthField = EdgeWidthField({m_anchorDx, m_anchorDy, m_controlDx, m_controlDy});
    const int width = widthField + 2;
    bits.WriteBits(1, 1); // edge
    bits.WriteBits(0, 1); // curved
    bits.WriteBits(widthField, 4);
    bits.WriteBits(m_controlDx, width);
    bits.WriteBits(m_controlDy, width);
    bits.WriteBits(m_anchorDx, width);
    bits.WriteBits(m_anchorDy, width);
}

void FlashShapeRecordEnd::Write(BitBuffer& bits, FlashShapeWriteState&)
{
    bits.WriteBits(0, 1);
    bits.WriteBits(0, 5);
}

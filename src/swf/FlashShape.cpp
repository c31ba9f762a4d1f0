#include "FlashShape.h"

#include <algorithm>
#include <cstdint>

void FlashShape::AddRecord(const FlashShapeRecordChange& record)
{
    m_changeRecords.push_back(record);
    m_order.emplace_back(ChangeRecord, static_cast<int>(m_changeRecords.size() - 1));
}

void FlashShape::AddRecord(const FlashShapeRecordStraight& record)
{
    m_straightRecords.push_back(record);
    m_order.emplace_back(StraightRecord, static_cast<int>(m_straightRecords.size() - 1));
}

void FlashShape::AddRecord(const FlashShapeRecordCurved& record)
{
    m_curvedRecords.push_back(record);
    m_order.emplace_back(CurvedRecord, static_cast<int>(m_curvedRecords.size() - 1));
}

FlashRect FlashShape::GetBounds() const
{
    bool anyPoint = false;
    std::int64_t xmin = 0, ymin = 0, xmax = 0, ymax = 0;
    std::int64_t penX = 0, penY = 0;
    const auto collect = [&](std::int64_t x, std::int64_t y) {
        if (!anyPoint) {
            xmin = xmax = x;
            ymin = ymax = y;
            anyPoint = true;
        } else {
            xmin = std::min(xmin, x);
            xmax = std::max(xmax, x);
            ymin = std::min(ymin, y);
            ymax = std::max(ymax, y);
        }
    };
    for (const auto& [kind, index] : m_order) {
        const auto position = static_cast<std::size_t>(index);
        if (kind == ChangeRecord) {
            const FlashShapeRecordChange& change = m_changeRecords[position];
            if (change.HasMoveTo()) {
                penX = change.GetMoveX();
                penY = change.GetMoveY();
                collect(penX, penY);
            }
        } else if (kind == StraightRecord) {
            const FlashShapeRecordStraight& edge = m_straightRecords[position];
            penX += edge.GetDeltaX();
            penY += edge.GetDeltaY();
            collect(penX, penY);
        } else {
            const FlashShapeRecordCurved& curve = m_curvedRecords[position];
            penX += curve.GetControlDeltaX();
            penY += curve.GetControlDeltaY();
            collect(penX, penY);
            penX += curve.GetAnchorDeltaX();
            penY += curve.GetAnchorDeltaY();
            collect(penX, penY);
        }
    }
    // The box keeps the full coordinates: a box cut to 16 bits would lie elsewhere than the shape, and
    // players that cull by it would not draw the shape at all.
    static constexpr std::int64_t kRectLimit = (std::int64_t{1} << 30) - 1 - 100;
    const auto fit = [](std::int64_t value) {
        return static_cast<std::int32_t>(std::clamp(value, -kRectLimit, kRectLimit));
    };
    return FlashRect(fit(xmin) - 100, fit(ymin) - 100, fit(xmax) + 100, fit(ymax) + 100);
}

void FlashShape::WriteRecords(BitBuffer& bits, FlashShapeWriteState& state, int version)
{
    for (const auto& [kind, index] : m_order) {
        const auto position = static_cast<std::size_t>(index);
        FlashShapeRecord* record = nullptr;
        if (kind == ChangeRecord)
            record = &m_changeRecords[position];
        else if (kind == StraightRecord)
            record = &m_straightRecords[position];
        else
            record = &m_curvedRecords[position];
        record->SetVersion(version);
        record->Write(bits, state);
    }
}

void FlashShapeWithStyle::SetFillStyles(const FlashFillStyleArray& fillStyles)
{
    m_fillStyles.ShareStyles(fillStyles);
}

void FlashShapeWithStyle::SetLineStyles(const FlashLineStyleArray& lineStyles)
{
    m_lineStyles.ShareStyles(lineStyles);
}

std::ostream& operator<<(std::ostream& out, FlashShapeWithStyle& shape)
{
    const int version = shape.GetVersion();
    shape.m_fillStyles.SetVersion(version);
    shape.m_lineStyles.SetVersion(version);
    out << shape.m_fillStyles << shape.m_lineStyles;

    BitBuffer bits;
    FlashShapeWriteState state;
    state.fillIndexWidth = FlashSignificantBits(shape.m_fillStyles.GetCount());
    state.lineIndexWidth = FlashSignificantBits(shape.m_lineStyles.GetCount());
    bits.WriteBits(state.fillIndexWidth, 4);
    bits.WriteBits(state.lineIndexWidth, 4);
    shape.WriteRecords(bits, state, version);
    FlashShapeRecordEnd end;
    end.Write(bits, state);
    return out << bits;
}

#pragma once

#include "FlashContainers.h"
#include "FlashShapeRecords.h"
#include "FlashStyles.h"
#include "FlashValueRecords.h"

#include <ostream>
#include <vector>

// The records of a shape, held by value, and the order in which they are drawn. Each order entry names a
// record kind (0 change, 1 straight edge, 2 curved edge) and its position among the records of that kind.
class FlashShape {
public:
    enum RecordKind { ChangeRecord = 0, StraightRecord = 1, CurvedRecord = 2 };

    // Each adds a copy of the record at the end of the drawing order.
    void AddRecord(const FlashShapeRecordChange& record);
    void AddRecord(const FlashShapeRecordStraight& record);
    void AddRecord(const FlashShapeRecordCurved& record);

    // The box around every point the pen reaches (moves, edge ends, curve control points), widened by
    // 100 twips on every side; (-100, -100, 100, 100) for no points. A shape drawn with several edges
    // reaches beyond the 16 bits of one edge, and its box follows it there (within the 31 bits of a RECT).
    FlashRect GetBounds() const;

    const std::vector<flash_pair<int, int>>& GetOrder() const { return m_order; }
    const std::vector<FlashShapeRecordChange>& GetChangeRecords() const { return m_changeRecords; }
    const std::vector<FlashShapeRecordStraight>& GetStraightRecords() const { return m_straightRecords; }
    const std::vector<FlashShapeRecordCurved>& GetCurvedRecords() const { return m_curvedRecords; }

protected:
    // Writes every record in drawing order at the given version.
    void WriteRecords(BitBuffer& bits, FlashShapeWriteState& state, int version);

private:
    std::vector<FlashShapeRecordChange> m_changeRecords;
    std::vector<FlashShapeRecordStraight> m_straightRecords;
    std::vector<FlashShapeRecordCurved> m_curvedRecords;
    std::vector<flash_pair<int, int>> m_order;
};

// A shape with the fill and line styles it may use (SHAPEWITHSTYLE). Set from outside, the style arrays
// refer to the caller's styles; a copy of the shape owns copies of every style and record.
class FlashShapeWithStyle : public FlashVersionEnabled, public FlashShape {
public:
    FlashShapeWithStyle() = default;

    // Takes the array's version and its list of styles, as references to the caller's styles.
    void SetFillStyles(const FlashFillStyleArray& fillStyles);
    void SetLineStyles(const FlashLineStyleArray& lineStyles);

    const FlashFillStyleArray& GetFillStyles() const { return m_fillStyles; }
    const FlashLineStyleArray& GetLineStyles() const { return m_lineStyles; }

    friend std::ostream& operator<<(std::ostream& out, FlashShapeWithStyle& shape);

private:
    FlashFillStyleArray m_fillStyles;
    FlashLineStyleArray m_lineStyles;
};

// The style arrays, then the bit-packed records and the end record; sets the versions of the arrays, the
// styles and the records to the shape's version.
std::ostream& operator<<(std::ostream& out, FlashShapeWithStyle& shape);

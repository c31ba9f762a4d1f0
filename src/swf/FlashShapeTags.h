#pragma once

// Shape definitions: a shape character with its styles, written as DefineShape3.

#include "FlashBaseClasses.h"
#include "FlashShape.h"
#include "FlashTag.h"
#include "FlashValueRecords.h"

#include <cstdint>

// A shape character. The tag keeps its own copy of the shape, with copies of every style and record, so
// the caller's shape, arrays and styles may go as soon as the tag is built.
class FlashTagDefineShapeBase : public FlashTag, public FlashIDEnabled {
public:
    std::ostream& Write(std::ostream& out) override;

    // The rectangle written as the shape's bounds, computed from its records.
    const FlashRect& GetBounds() const { return m_bounds; }
    const FlashShapeWithStyle& GetShape() const { return m_shape; }
    int GetVersion() const { return m_version; }

protected:
    FlashTagDefineShapeBase(const FlashShapeWithStyle& shape, int version, std::uint16_t code);

private:
    FlashRect m_bounds;
    FlashShapeWithStyle m_shape;
    std::int32_t m_version;
    std::uint16_t m_code;
};

class FlashTagDefineShape3 : public FlashTagDefineShapeBase {
public:
    explicit FlashTagDefineShape3(const FlashShapeWithStyle& shape) : FlashTagDefineShapeBase(shape, 3, 32) {}
};

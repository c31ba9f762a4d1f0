#include "FlashShapeTags.h"

#include "BitBuffer.h"

#include <sstream>

FlashTagDefineShapeBase::FlashTagDefineShapeBase(const FlashShapeWithStyle& shape, int version, std::uint16_t code)
    : FlashTag(code, 0), m_bounds(shape.GetBounds()), m_shape(shape), m_version(version), m_code(code)
{
}

std::ostream& FlashTagDefineShapeBase::Write(std::ostream& out)
{
    std::ostringstream body;
    FlashPutU16(body, GetID());
    body << m_shape.GetBounds();
    m_shape.SetVersion(m_version);
    body << m_shape;
    return WriteFramed(out, m_code, body.view());
}

#include "FlashDisplayTags.h"

#include "BitBuffer.h"

#include <sstream>

std::ostream& FlashTagEnd::Write(std::ostream& out)
{
    return FlashTagHeader(0, 0).Write(out);
}

std::ostream& FlashTagShowFrame::Write(std::ostream& out)
{
    return FlashTagHeader(1, 0).Write(out);
}

std::ostream& FlashTagBackgroundColor::Write(std::ostream& out)
{
    FlashTagHeader(9, 3).Write(out);
    FlashPutU8(out, m_red);
    FlashPutU8(out, m_green);
    FlashPutU8(out, m_blue);
    return out;
}

void FlashTagPlaceObject2::SetCharacterId(std::uint16_t characterId)
{
    m_hasCharacter = true;
    m_characterId = characterId;
}

void FlashTagPlaceObject2::SetMatrix(const FlashMatrix& matrix)
{
    m_hasMatrix = true;
    m_matrix = matrix;
}

void FlashTagPlaceObject2::SetColorTransform(const FlashColorTransform& transform)
{
    m_hasColorTransform = true;
    m_colorTransform = transform;
}

void FlashTagPlaceObject2::SetRatio(std::uint16_t ratio)
{
    m_hasRatio = true;
    m_ratio = ratio;
}

void FlashTagPlaceObject2::SetName(const std::string& name)
{
    m_hasName = true;
    m_name = name;
}

void FlashTagPlaceObject2::SetClipDepth(std::uint16_t clipDepth)
{
    m_hasClipDepth = true;
    m_clipDepth = clipDepth;
}

std::ostream& FlashTagPlaceObject2::Write(std::ostream& out)
{
    std::ostringstream body;
    // From the top bit down: no clip actions, then the six presence flags and the move flag.
    const unsigned flags = (m_hasClipDepth ? 0x40U : 0U) | (m_hasName ? 0x20U : 0U) | (m_hasRatio ? 0x10U : 0U) |
                           (m_hasColorTransform ? 0x08U : 0U) | (m_hasMatrix ? 0x04U : 0U) |
                           (m_hasCharacter ? 0x02U : 0U) | (m_move ? 0x01U : 0U);
    FlashPutU8(body, flags);
    FlashPutU16(body, m_depth);
    if (m_hasCharacter)
        FlashPutU16(body, m_characterId);
    if (m_hasMatrix)
        body << m_matrix;
    if (m_hasColorTransform) {
        m_colorTransform.SetVersion(2);
        body << m_colorTransform;
    }
    if (m_hasRatio)
        FlashPutU16(body, m_ratio);
    if (m_hasName) {
        body << m_name.c_str(); // a name ends at its first zero byte
        FlashPutU8(body, 0);
    }
    if (m_hasClipDepth)
        FlashPutU16(body, m_clipDepth);
    return WriteFramed(out, 26, body.view());
}

std::ostream& FlashTagRemoveObject2::Write(std::ostream& out)
{
    FlashTagHeader(28, 2).Write(out);
    FlashPutU16(out, m_depth);
    return out;
}

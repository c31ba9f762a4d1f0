#include "FlashHeader.h"

#include "BitBuffer.h"

FlashHeader::FlashHeader(std::uint8_t version, std::uint32_t bodyLength, std::int32_t frameWidth,
                         std::int32_t frameHeight, double frameRate, std::uint16_t frameCount)
    : m_version(version),
      m_bodyLength(bodyLength),
      m_frameSize(0, 0, frameWidth, frameHeight),
      m_frameRate(frameRate),
      m_frameCount(frameCount)
{
}

std::uint32_t FlashHeader::GetHeaderLength() const
{
    return 12 + static_cast<std::uint32_t>(m_frameSize.GetByteCount());
}

std::ostream& operator<<(std::ostream& out, const FlashHeader& header)
{
    out.write("FWS", 3);
    FlashPutU8(out, header.GetVersion());
    FlashPutU32(out, header.GetHeaderLength() + header.GetBodyLength());
    out << header.GetFrameSize() << header.GetFrameRate();
    FlashPutU16(out, header.GetFrameCount());
    return out;
}

#pragma once

#include "FlashValueRecords.h"

#include <cstdint>
#include <ostream>

// The file header of an uncompressed movie: "FWS", the version, the file length (the header's own bytes
// plus the body length), the frame size, the frame rate and the frame count.
class FlashHeader {
public:
    // The frame size becomes the rectangle (0, 0, frameWidth, frameHeight), in twips.
    FlashHeader(std::uint8_t version, std::uint32_t bodyLength, std::int32_t frameWidth, std::int32_t frameHeight,
                double frameRate, std::uint16_t frameCount);

    std::uint8_t GetVersion() const { return m_version; }
    std::uint32_t GetBodyLength() const { return m_bodyLength; }
    const FlashRect& GetFrameSize() const { return m_frameSize; }
    const FlashFixed8& GetFrameRate() const { return m_frameRate; }
    std::uint16_t GetFrameCount() const { return m_frameCount; }
    // 12 bytes plus those of the frame size rectangle.
    std::uint32_t GetHeaderLength() const;

private:
    std::uint8_t m_version;
    std::uint32_t m_bodyLength;
    FlashRect m_frameSize;
    FlashFixed8 m_frameRate;
    std::uint16_t m_frameCount;
};

std::ostream& operator<<(std::ostream& out, const FlashHeader& header);

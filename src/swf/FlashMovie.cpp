#include "FlashMovie.h"

#include "FlashHeader.h"

std::ostream& FlashMovie::WriteTo(std::ostream& file, std::uint8_t version, std::int32_t frameWidth,
                                  std::int32_t frameHeight, double frameRate, std::uint16_t frameCount) const
{
    const auto body = m_body.view();
    file << FlashHeader(version, static_cast<std::uint32_t>(body.size()), frameWidth, frameHeight, frameRate, frameCount);
    return file.write(body.data(), static_cast<std::streamsize>(body.size()));
}

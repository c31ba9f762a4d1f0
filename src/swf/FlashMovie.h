#pragma once

#include <cstdint>
#include <ostream>
#include <sstream>

// The two phases of writing a movie: every tag, up to and including End, goes in order onto the body held
// in memory; once the body is complete the file gets the header (which needs the body's length) and then
// the whole body.
class FlashMovie {
public:
    // The in-memory stream that receives the tags.
    std::ostream& Body() { return m_body; }
    std::uint64_t GetBodyLength() const { return m_body.view().size(); }

    // Writes the header for the body written so far (frame size in twips), then the body itself.
    std::ostream& WriteTo(std::ostream& file, std::uint8_t version, std::int32_t frameWidth, std::int32_t frameHeight,
                          double frameRate, std::uint16_t frameCount) const;

private:
    std::ostringstream m_body;
};

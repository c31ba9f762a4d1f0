#include "FlashSoundTags.h"

#include "BitBuffer.h"

std::ostream& FlashTagSoundStreamHead2::Write(std::ostream& out)
{
    FlashTagHeader(45, 4).Write(out);
    // Codes are masked to their fields so that one out of range cannot spill into its neighbour.
    FlashPutU8(out, (m_playbackRate & 3U) << 2 | (m_playbackSize & 1U) << 1 | (m_playbackType & 1U));
    FlashPutU8(out, (m_compression & 15U) << 4 | (m_streamRate & 3U) << 2 | (m_streamSize & 1U) << 1 | (m_streamType & 1U));
    FlashPutU16(out, m_samplesPerBlock);
    return out;
}

std::ostream& FlashTagSoundStreamBlock::Write(std::ostream& out)
{
    FlashTagHeader(19, m_length).Write(out);
    if (m_length > 0)
        out.write(reinterpret_cast<const char*>(m_data), static_cast<std::streamsize>(m_length));
    return out;
}

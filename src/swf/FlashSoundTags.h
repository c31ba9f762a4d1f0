#pragma once

// Streaming sound: the stream head and one block of samples per frame.

#include "FlashContainers.h"
#include "FlashTag.h"

#include <cstdint>

class FlashTagSoundStreamHead2 : public FlashSpriteEnabled {
public:
    // Rates 0..3 (5.5, 11, 22, 44 kHz), sizes 0..1 (8 or 16 bits), types 0..1 (mono or stereo),
    // compression 0..15; each code keeps to its own field.
    FlashTagSoundStreamHead2(std::uint8_t playbackRate, std::uint8_t playbackSize, std::uint8_t playbackType,
                             std::uint8_t compression, std::uint8_t streamRate, std::uint8_t streamSize,
                             std::uint8_t streamType, std::uint16_t samplesPerBlock)
        : FlashSpriteEnabled(45, 4),
          m_playbackRate(playbackRate),
          m_playbackSize(playbackSize),
          m_playbackType(playbackType),
          m_compression(compression),
          m_streamRate(streamRate),
          m_streamSize(streamSize),
          m_streamType(streamType),
          m_samplesPerBlock(samplesPerBlock)
    {
    }
    std::ostream& Write(std::ostream& out) override;

    std::uint16_t GetSamplesPerBlock() const { return m_samplesPerBlock; }

private:
    std::uint8_t m_playbackRate;
    std::uint8_t m_playbackSize;
    std::uint8_t m_playbackType;
    std::uint8_t m_compression;
    std::uint8_t m_streamRate;
    std::uint8_t m_streamSize;
    std::uint8_t m_streamType;
    std::uint16_t m_samplesPerBlock;
};

// One block of stream sound, written unchanged. The sample bytes stay the caller's and must outlive the
// writing of the tag; a null pointer stands for a block with no bytes.
class FlashTagSoundStreamBlock : public FlashSpriteEnabled {
public:
    FlashTagSoundStreamBlock(const unsigned char* data, std::uint32_t length)
        : FlashSpriteEnabled(19, data != nullptr ? length : 0), m_data(data), m_length(data != nullptr ? length : 0)
    {
    }
    std::ostream& Write(std::ostream& out) override;

    const unsigned char* GetData() const { return m_data; }
    std::uint32_t GetLength() const { return m_length; }

private:
    const unsigned char* m_data;
    std::uint32_t m_length;
    gc_vector<FlashByteBuffer*> m_ownedBuffers; // filled only when reading, which this library does not do
};

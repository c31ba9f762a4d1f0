#pragma once

// The tags that frame a movie and drive its display list: End, ShowFrame, SetBackgroundColor,
// PlaceObject2 and RemoveObject2.

#include "FlashTag.h"
#include "FlashValueRecords.h"

#include <cstdint>
#include <string>

class FlashTagEnd : public FlashSpriteEnabled {
public:
    FlashTagEnd() : FlashSpriteEnabled(0, 0) {}
    std::ostream& Write(std::ostream& out) override;
};

class FlashTagShowFrame : public FlashSpriteEnabled {
public:
    FlashTagShowFrame() : FlashSpriteEnabled(1, 0) {}
    std::ostream& Write(std::ostream& out) override;
    bool IsFrame() const override { return true; }
};

class FlashTagBackgroundColor : public FlashTag {
public:
    FlashTagBackgroundColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue)
        : FlashTag(9, 3), m_red(red), m_green(green), m_blue(blue)
    {
    }
    std::ostream& Write(std::ostream& out) override;

private:
    std::uint8_t m_red;
    std::uint8_t m_green;
    std::uint8_t m_blue;
};

// Places a character at a depth; as constructed it names only the character (no matrix, no colour
// transform), and the optional fields are switched on by their setters.
class FlashTagPlaceObject2 : public FlashSpriteEnabled {
public:
    FlashTagPlaceObject2(std::uint16_t depth, std::uint16_t characterId)
        : FlashSpriteEnabled(26, 0), m_depth(depth), m_characterId(characterId)
    {
    }
    std::ostream& Write(std::ostream& out) override;

    void SetMove(bool move) { m_move = move; }
    void SetCharacterId(std::uint16_t characterId);
    void SetMatrix(const FlashMatrix& matrix);
    void SetColorTransform(const FlashColorTransform& transform);
    void SetRatio(std::uint16_t ratio);
    void SetName(const std::string& name);
    void SetClipDepth(std::uint16_t clipDepth);

    std::uint16_t GetDepth() const { return m_depth; }
    std::uint16_t GetCharacterId() const { return m_characterId; }
    // Set to 2 by writing: the colour transform always goes out with alpha terms.
    const FlashColorTransform& GetColorTransform() const { return m_colorTransform; }

private:
    bool m_hasName = false;
    bool m_hasCharacter = true;
    bool m_move = false;
    bool m_hasMatrix = false;
    bool m_hasColorTransform = false;
    bool m_hasRatio = false;
    bool m_hasClipDepth = false;
    std::uint16_t m_depth;
    std::string m_name;
    std::uint16_t m_characterId;
    FlashMatrix m_matrix;
    FlashColorTransform m_colorTransform;
    std::uint16_t m_ratio = 0;
    std::uint16_t m_clipDepth = 0;
};

class FlashTagRemoveObject2 : public FlashSpriteEnabled {
public:
    explicit FlashTagRemoveObject2(std::uint16_t depth) : FlashSpriteEnabled(28, 2), m_depth(depth) {}
    std::ostream& Write(std::ostream& out) override;

    std::uint16_t GetDepth() const { return m_depth; }

private:
    std::uint16_t m_depth;
};

#pragma once

#include <cstdint>
#include <istream>
#include <ostream>
#include <string_view>

// An SWF tag header: the short form (one word, code * 64 + length) for bodies below 63 bytes, the long
// form (code * 64 + 63, then a 32-bit length) from 63 bytes on. Tags write a header made for the occasion
// from their code and the length of the body they have just built.
class FlashTagHeader {
public:
    FlashTagHeader() = default;
    FlashTagHeader(std::uint16_t code, std::uint32_t length) : m_code(code), m_length(length) {}
    FlashTagHeader(const FlashTagHeader&) = default;
    FlashTagHeader& operator=(const FlashTagHeader&) = default;

    // Writes the header.
    virtual std::ostream& Write(std::ostream& out);
    // This library writes movies only: reading puts the stream in its failed state.
    virtual std::istream& Read(std::istream& in);
    virtual ~FlashTagHeader() = default;

    std::uint16_t GetTagCode() const { return m_code; }
    std::uint32_t GetTagLength() const { return m_length; }
    void SetTagCode(std::uint16_t code) { m_code = code; }
    void SetTagLength(std::uint32_t length) { m_length = length; }

private:
    std::uint16_t m_code = 0;
    std::uint32_t m_length = 0;
};

// The base of every tag. Concrete tags override Write (the whole tag, header included) and Read.
class FlashTag : public FlashTagHeader {
public:
    FlashTag() = default;
    FlashTag(std::uint16_t code, std::uint32_t length) : FlashTagHeader(code, length) {}

    // A plain FlashTag has no bytes of its own.
    std::ostream& Write(std::ostream& out) override { return out; }
    virtual bool IsFrame() const { return false; }
    virtual bool IsSpriteEnabled() const { return false; }

protected:
    // Writes a header with the code and the body's length, then the body built beforehand in memory.
    static std::ostream& WriteFramed(std::ostream& out, std::uint16_t code, std::string_view body);
};

// The tags that may also stand inside a sprite (display list, frame, sound stream and end tags).
class FlashSpriteEnabled : public FlashTag {
public:
    using FlashTag::FlashTag;

    bool IsSpriteEnabled() const override { return true; }
};

// Writes a tag (or a bare header) through its virtual Write slot.
inline std::ostream& operator<<(std::ostream& out, FlashTagHeader& tag)
{
    return tag.Write(out);
}

inline std::ostream& operator<<(std::ostream& out, FlashTagHeader&& tag)
{
    return tag.Write(out);
}

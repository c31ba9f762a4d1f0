#pragma once

#include <cstdint>
#include <memory>

// The character part of a tag (a bitmap or a shape). Every construction takes the next value of the
// process-wide 16-bit id counter, which starts at 1 and is never reset, so a second movie written in the
// same run continues the numbering. The counter is a plain global: one thread at a time.
class FlashIDEnabled {
public:
    FlashIDEnabled();
    // A copy would either define the same character twice or silently use up an id: characters are not
    // copied.
    FlashIDEnabled(const FlashIDEnabled&) = delete;
    FlashIDEnabled& operator=(const FlashIDEnabled&) = delete;

    std::uint16_t GetID() const { return m_id; }
    void SetID(std::uint16_t id) { m_id = id; }

    // How many characters can still be made before the counter runs past 65535 and would hand out ids
    // again: 65535 in a fresh process, 0 once it is used up. A movie writer checks this before it starts.
    static std::uint32_t RemainingIDs();

private:
    std::uint16_t m_id;
};

// The SWF format level (1, 2 or 3 as in DefineShape, DefineShape2, DefineShape3) of the structure that
// contains a part; writers set it from the enclosing structure before writing.
class FlashVersionEnabled {
public:
    FlashVersionEnabled() = default;
    FlashVersionEnabled(const FlashVersionEnabled&) = default;
    FlashVersionEnabled& operator=(const FlashVersionEnabled&) = default;
    virtual ~FlashVersionEnabled() = default;

    virtual void SetVersion(int version) { m_version = version; }
    virtual int GetVersion() const { return m_version; }

private:
    std::int32_t m_version = 1;
};

// Polymorphic copying: Copy makes a new heap object of the same most-derived type.
template <class Base>
class FlashCopyEnabled {
public:
    FlashCopyEnabled() = default;
    FlashCopyEnabled(const FlashCopyEnabled&) = default;
    FlashCopyEnabled& operator=(const FlashCopyEnabled&) = default;
    virtual ~FlashCopyEnabled() = default;

    virtual std::unique_ptr<Base> Copy() const = 0;
};

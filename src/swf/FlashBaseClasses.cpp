#include "FlashBaseClasses.h"

namespace {
std::uint16_t nextCharacterId = 1;
// Counted apart from the 16-bit counter, which wraps and so cannot tell a fresh run from a used-up one.
std::uint32_t idsHandedOut = 0;
constexpr std::uint32_t kUsableIds = 65535; // 1 to 65535
} // namespace

FlashIDEnabled::FlashIDEnabled() : m_id(nextCharacterId++)
{
    if (idsHandedOut < kUsableIds + 1)
        ++idsHandedOut;
}

std::uint32_t FlashIDEnabled::RemainingIDs()
{
    return idsHandedOut >= kUsableIds ? 0 : kUsableIds - idsHandedOut;
}

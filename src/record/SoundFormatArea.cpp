#include "record/SoundFormatArea.h"

#include <cstring>

namespace quolva::record {

static_assert(sizeof(store::SoundFormatArea) == platform::SoundFormat::kAreaSize);

platform::SoundFormat toPlatformFormat(const store::SoundFormatArea& area)
{
    platform::SoundFormat::Area bytes{};
    std::memcpy(bytes.data(), &area, bytes.size());
    return platform::SoundFormat::fromArea(bytes);
}

store::SoundFormatArea toSoundFormatArea(const platform::SoundFormat& format)
{
    const platform::SoundFormat::Area bytes = format.toArea();
    store::SoundFormatArea area{};
    std::memcpy(&area, bytes.data(), bytes.size());
    return area;
}

} // namespace quolva::record

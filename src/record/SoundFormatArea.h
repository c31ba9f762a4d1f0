#pragma once
#include "platform/WaveInTypes.h"
#include "store/WinTypes.h"

namespace quolva::record {

// The 20-byte sound format area as the sound input device takes it, and back: the same bytes, seen by
// the AVI services as the packed wave format record and two zero bytes.
platform::SoundFormat toPlatformFormat(const store::SoundFormatArea& area);
store::SoundFormatArea toSoundFormatArea(const platform::SoundFormat& format);

} // namespace quolva::record

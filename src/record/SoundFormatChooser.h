#pragma once
#include "platform/WaveInTypes.h"
#include "store/WinTypes.h"

class QWidget;

namespace quolva::record {

class RecordingSession;

// The 20-byte sound format area as the platform's sound services see it, and back.
platform::SoundFormat toPlatformFormat(const store::SoundFormatArea& area);
store::SoundFormatArea toSoundFormatArea(const platform::SoundFormat& format);

// The wizard's sound-format chooser (acmFormatChoose on the session's sound format area): titled
// "Select Audio Format", it starts at the session's format and offers the 16-bit PCM formats the input
// device accepts. A success puts the chosen format into the area; after a success or a cancel the audio
// stream description follows the format now in the area. Any other result changes nothing. Returns the
// chooser's result.
platform::MMResult ChooseSessionSoundFormat(QWidget* owner, RecordingSession& session);

} // namespace quolva::record

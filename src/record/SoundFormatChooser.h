#pragma once
#include "platform/WaveInTypes.h"

class QWidget;

namespace quolva::record {

class RecordingSession;

// The wizard's sound-format chooser (acmFormatChoose on the session's sound format area): titled
// "Select Audio Format", it starts at the session's format and offers the 16-bit PCM formats the input
// device accepts. A success puts the chosen format into the area; after a success or a cancel the audio
// stream description follows the format now in the area. Any other result changes nothing. Returns the
// chooser's result.
platform::MMResult ChooseSessionSoundFormat(QWidget* owner, RecordingSession& session);

} // namespace quolva::record

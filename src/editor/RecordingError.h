#pragma once
#include "store/StoreError.h"

namespace quolva::editor {

// A recording that cannot be opened, or a frame of it that cannot be read. The message says what failed
// and names the file.
class RecordingError : public store::StoreError {
public:
    using StoreError::StoreError;
};

// Long work (an export, an update run, dubbing) was asked to start while other work holds the recording.
// The message is the busy message for a message box.
class RecordingBusy : public RecordingError {
public:
    using RecordingError::RecordingError;
};

} // namespace quolva::editor

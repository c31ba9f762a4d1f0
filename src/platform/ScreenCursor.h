#pragma once
#include <QCursor>

namespace quolva::platform {

// The application-wide pointer: the recording panel sets its button cursors for the whole application,
// and the other windows set the default arrow back when the mouse moves over them.
void setScreenCursor(const QCursor& cursor);
void resetScreenCursor();

} // namespace quolva::platform

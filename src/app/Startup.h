#pragma once
#include "app/WindowSet.h"

#include <QString>

#include <memory>

namespace quolva::app {

// Creates the window set in its fixed order and shows the main window; the others stay hidden until a
// command shows them. A failure is shown in the standard error box and gives no window set.
// With a recording named (`quolva REC.avi`, as a desktop's "open with" starts it), the main window opens
// it as its open command does; a path that cannot be opened gets the same message.
std::unique_ptr<WindowSet> startUp(const QString& recording = QString());

} // namespace quolva::app

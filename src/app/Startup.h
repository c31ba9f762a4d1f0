#pragma once
#include "app/WindowSet.h"

#include <memory>

namespace quolva::app {

// Creates the window set in its fixed order and shows the main window; the others stay hidden until a
// command shows them. A failure is shown in the standard error box and gives no window set.
std::unique_ptr<WindowSet> startUp();

} // namespace quolva::app

#include "app/Startup.h"

#include "platform/Failures.h"

namespace quolva::app {

std::unique_ptr<WindowSet> startUp()
{
    std::unique_ptr<WindowSet> windows;
    platform::runGuarded([&] {
        auto created = std::make_unique<WindowSet>();
        created->mainWindow().show();
        windows = std::move(created);
    });
    return windows;
}

} // namespace quolva::app

#include "app/Startup.h"

#include "editor/Etool.h"
#include "platform/Failures.h"

namespace quolva::app {

std::unique_ptr<WindowSet> startUp(const QString& recording)
{
    std::unique_ptr<WindowSet> windows;
    platform::runGuarded([&] {
        auto created = std::make_unique<WindowSet>();
        created->mainWindow().show();
        windows = std::move(created);
    });
    if (windows && !recording.isEmpty())
        platform::runGuarded([&] { windows->Form7().OpenFromCommandLine(recording); });
    return windows;
}

} // namespace quolva::app

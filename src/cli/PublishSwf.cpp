#include "cli/Commands.h"
#include "cli/PublishCommands.h"

namespace quolva::cli {

int PublishSwf(editor::OpenRecording& /*recording*/, const PublishOptions& /*options*/)
{
    err(QStringLiteral("quolvactl publish: the SWF export is not available yet"));
    return 1;
}

} // namespace quolva::cli

#include "cli/Commands.h"
#include "cli/PublishCommands.h"

namespace quolva::cli {

int PublishAvi(editor::OpenRecording& /*recording*/, const PublishOptions& /*options*/)
{
    err(QStringLiteral("quolvactl publish: the AVI export is not available yet"));
    return 1;
}

} // namespace quolva::cli

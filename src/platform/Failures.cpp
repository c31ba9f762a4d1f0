#include "platform/Failures.h"

#include "platform/Prompts.h"

namespace quolva::platform {

void reportFailure(const std::exception& failure)
{
    prompts().error(QString::fromUtf8(failure.what()));
}

void reportUnknownFailure()
{
    prompts().error(QString());
}

} // namespace quolva::platform

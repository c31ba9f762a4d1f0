#include "platform/Failures.h"

#include "platform/Prompts.h"

#include <QtGlobal>

namespace quolva::platform {
namespace {

// While the error box is open its event loop keeps timers running; a tick that fails again must not
// stack a second box on the first. Such failures go to the log instead.
int boxesOpen = 0;

void showError(const QString& text)
{
    if (boxesOpen > 0) {
        qWarning("Quolva: failure while an error is shown: %s", qPrintable(text));
        return;
    }
    ++boxesOpen;
    try {
        prompts().error(text);
    } catch (...) {
        --boxesOpen;
        throw;
    }
    --boxesOpen;
}

} // namespace

void reportFailure(const std::exception& failure)
{
    showError(QString::fromUtf8(failure.what()));
}

void reportUnknownFailure()
{
    showError(QString());
}

} // namespace quolva::platform

#pragma once
#include <exception>
#include <utility>

namespace quolva::platform {

// Shows an unexpected failure in the application's standard error box: the exception's text, or an
// empty message for a failure without text. The program goes on.
void reportFailure(const std::exception& failure);
void reportUnknownFailure();

// Runs a handler; a failure that escapes it is reported and the handler is abandoned. Windows wrap
// the handlers they connect to signals in this, so that a failure never crosses the toolkit's frames.
template <typename Handler>
void runGuarded(Handler&& handler)
{
    try {
        std::forward<Handler>(handler)();
    } catch (const std::exception& failure) {
        reportFailure(failure);
    } catch (...) {
        reportUnknownFailure();
    }
}

// A slot that runs `handler` guarded: connect(button, &QAbstractButton::clicked, this, guarded([this] {…}));
template <typename Handler>
auto guarded(Handler handler)
{
    return [handler = std::move(handler)](auto&&...) mutable { runGuarded(handler); };
}

} // namespace quolva::platform

#pragma once
#include <QString>

namespace quolva::test {

// For gui and e2e tests: the reason the test rig is missing (no X display with a window manager, no sound
// server), or an empty text when it is there. Such tests fail with this reason; they never skip.
QString missingDisplay();
QString missingSoundServer();

// The path of a file in the source tree (tests/…, docs/…).
QString sourcePath(const QString& relative);

} // namespace quolva::test

// Fails the current test function when the X display is missing.
#define QUOLVA_REQUIRE_DISPLAY()                                                                                    \
    do {                                                                                                           \
        const QString missing_ = quolva::test::missingDisplay();                                                   \
        if (!missing_.isEmpty())                                                                                   \
            QFAIL(qPrintable(missing_));                                                                           \
    } while (false)

#define QUOLVA_REQUIRE_SOUND_SERVER()                                                                               \
    do {                                                                                                           \
        const QString missing_ = quolva::test::missingSoundServer();                                               \
        if (!missing_.isEmpty())                                                                                   \
            QFAIL(qPrintable(missing_));                                                                           \
    } while (false)

#pragma once
#include <QMargins>
#include <QRect>
#include <QSize>

#include <optional>

class QWidget;

namespace quolva::platform {

// A fixed-size dialog window with the given client size, optionally always on top.
void applyDialogBorder(QWidget& window, QSize clientSize, bool alwaysOnTop);

// Centres the window's frame on the screen it will appear on.
void centreOnDesktop(QWidget& window);

// A modal dialog about to open comes up above the program's always-on-top windows (the wizard, the
// publish dialog, the about box) while one is shown, whichever window it was opened for: behind one it
// could be neither seen nor answered, and the program would wait for it.
void keepAboveOnTopWindows(QWidget& dialog);

// Where the window system shows a window: its client area on the screen and the frame around it, in
// screen pixels, exact also at a scale factor other than 1 (where the window's own units are rounded).
// None until the window has a native window.
struct NativePlace {
    QRect client;
    QMargins frame;
};
std::optional<NativePlace> nativePlace(const QWidget& window);

} // namespace quolva::platform

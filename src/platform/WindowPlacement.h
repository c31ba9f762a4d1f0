#pragma once
#include <QSize>

class QWidget;

namespace quolva::platform {

// A fixed-size dialog window with the given client size, optionally always on top.
void applyDialogBorder(QWidget& window, QSize clientSize, bool alwaysOnTop);

// Centres the window's frame on the screen it will appear on.
void centreOnDesktop(QWidget& window);

} // namespace quolva::platform

#include "platform/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace quolva::platform {

void applyDialogBorder(QWidget& window, QSize clientSize, bool alwaysOnTop)
{
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                            | Qt::WindowCloseButtonHint;
    if (alwaysOnTop)
        flags |= Qt::WindowStaysOnTopHint;
    window.setWindowFlags(flags);
    window.setFixedSize(clientSize);
}

void centreOnDesktop(QWidget& window)
{
    const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect desktop = screen->availableGeometry();
    QRect frame = window.frameGeometry();
    frame.moveCenter(desktop.center());
    window.move(frame.topLeft());
}

} // namespace quolva::platform

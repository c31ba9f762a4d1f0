#include "platform/WindowPlacement.h"

#include <QApplication>
#include <QEvent>
#include <QVariant>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <qpa/qplatformwindow.h>

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

namespace {

void centreFrame(QWidget& window)
{
    const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect desktop = screen->availableGeometry();
    QRect frame = window.frameGeometry();
    frame.moveCenter(desktop.center());
    window.move(frame.topLeft());
}

// A window manager adds its decoration only after the window is shown, so the first centring cannot
// know the frame's size. Once the window knows its frame (at whatever event comes first after that), it
// is centred again, once per showing.
class RecentreOnceFramed : public QObject {
public:
    static constexpr const char* kPending = "quolvaRecentrePending";

    explicit RecentreOnceFramed(QWidget& window) : QObject(&window), window_(window)
    {
        window.setProperty(kPending, true);
        window.installEventFilter(this);
    }
    ~RecentreOnceFramed() override { window_.setProperty(kPending, QVariant()); }

    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Hide) {
            window_.removeEventFilter(this);
            deleteLater();
        } else if (window_.frameGeometry() != window_.geometry()) {
            window_.removeEventFilter(this);
            centreFrame(window_);
            deleteLater();
        }
        return false;
    }

private:
    QWidget& window_;
};

} // namespace

void centreOnDesktop(QWidget& window)
{
    centreFrame(window);
    if (window.frameGeometry() == window.geometry() && !window.property(RecentreOnceFramed::kPending).toBool())
        new RecentreOnceFramed(window);
}

void keepAboveOnTopWindows(QWidget& dialog)
{
    const QWidget* owner = dialog.parentWidget() ? dialog.parentWidget()->window() : nullptr;
    if (owner && (owner->windowFlags() & Qt::WindowStaysOnTopHint))
        return; // a dialog of an always-on-top window comes up above it already
    QWidget* onTop = nullptr;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window != &dialog && window->isVisible() && (window->windowFlags() & Qt::WindowStaysOnTopHint) &&
            (!onTop || window == QApplication::activeWindow()))
            onTop = window;
    }
    if (!onTop)
        return;
    // Window managers keep a dialog above the window it belongs to, but stack it with that window: a dialog
    // of a window under an always-on-top one would stay under it too. It belongs to the one on top instead.
    dialog.setParent(onTop, dialog.windowFlags() | Qt::WindowStaysOnTopHint);
}

std::optional<NativePlace> nativePlace(const QWidget& window)
{
    const QWindow* native = window.windowHandle();
    if (!native || !native->handle())
        return std::nullopt;
    return NativePlace{native->handle()->geometry(), native->handle()->frameMargins()};
}

} // namespace quolva::platform

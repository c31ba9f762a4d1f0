#include "record/Unit2.h"

#include "platform/WindowPlacement.h"

#include <QGuiApplication>
#include <QPainter>
#include <QRegion>
#include <QResizeEvent>
#include <QScreen>

namespace quolva::record {
namespace {

// The ring left opaque around the see-through client area, so that the region's edges stay visible
// while the user places it (the window manager's frame is outside the client area).
constexpr int kRingWidth = 2;

Qt::WindowFlags regionFlags()
{
    return Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint
           | Qt::CustomizeWindowHint;
}

// Between the window's own units and screen pixels.
QPoint toScreen(QPoint point, qreal scale)
{
    return (QPointF(point) * scale).toPoint();
}

QPoint fromScreen(QPoint point, qreal scale)
{
    return (QPointF(point) / scale).toPoint();
}

} // namespace

TForm2::TForm2(app::WindowSet& /*windows*/) : TForm2() {}

TForm2::TForm2()
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("取景窗口"));
    setWindowFlags(regionFlags());
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);
    move(304, 413);
    resize(325, 261);
}

qreal TForm2::screenScale() const
{
    const QScreen* shownOn = screen() ? screen() : QGuiApplication::primaryScreen();
    return shownOn ? shownOn->devicePixelRatio() : 1.0;
}

void TForm2::setClientSize(int width, int height)
{
    const QSize before = size();
    const qreal scale = screenScale();
    resize((QSizeF(width, height) / scale).toSize());
    // With a scale factor, not every size in screen pixels has one in the window's units (225 at 2):
    // the size asked for stands until the window is sized otherwise.
    askedOnScreen_ = QSize(width, height);
    askedSize_ = size();
    // A hidden window gets its resize event only when shown; the wizard must hear of it now.
    if (!isVisible() && size() != before) {
        const QSize onScreen = clientSizeOnScreen();
        emit clientResized(onScreen.width(), onScreen.height());
    }
}

QSize TForm2::clientSizeOnScreen() const
{
    if (size() == askedSize_)
        return askedOnScreen_;
    return (QSizeF(size()) * screenScale()).toSize();
}

void TForm2::setFullScreenMode()
{
    if (!fullScreen_) {
        // The region comes back where the user last saw its client area: a hidden window's own geometry
        // may be its old frame's corner.
        hiddenRegion_ = hidden_;
        const std::optional<Place> seen = knownPlace();
        regionGeometry_ = seen ? QRect(fromScreen(seen->client, screenScale()), size()) : geometry();
    }
    fullScreen_ = true;
    const bool wasVisible = isVisible();
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    // A hidden window is not laid out by the window manager: give it the screen's geometry directly.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        setGeometry(screen->geometry());
    setWindowState(Qt::WindowMaximized);
    if (wasVisible)
        show();
}

void TForm2::setRegionMode()
{
    const bool wasVisible = isVisible();
    const bool fromFullScreen = fullScreen_;
    if (fromFullScreen) {
        fullScreen_ = false;
        setWindowFlags(regionFlags());
    }
    setWindowState(Qt::WindowNoState);
    if (fromFullScreen) {
        if (regionGeometry_.isValid())
            setGeometry(regionGeometry_);
        hidden_ = hiddenRegion_;
    }
    if (wasVisible)
        show();
}

void TForm2::showForPositioning()
{
    setWindowState(Qt::WindowNoState);
    seeThrough_ = true;
    updateSeeThrough();
    show();
    raise();
}

void TForm2::hideForRecording()
{
    seeThrough_ = false;
    updateSeeThrough();
    hide();
}

std::optional<TForm2::Place> TForm2::knownPlace() const
{
    if (fullScreen_)
        return std::nullopt;
    if (!isVisible())
        return hidden_;
    if (const auto shown = platform::nativePlace(*this))
        return Place{shown->client.topLeft(), shown->frame};
    return std::nullopt;
}

QRect TForm2::captureRect() const
{
    const std::optional<Place> place = knownPlace();
    const QPoint topLeft = place ? place->client : toScreen(geometry().topLeft(), screenScale());
    return QRect(topLeft, clientSizeOnScreen());
}

QRect TForm2::frameRectOnScreen() const
{
    if (const std::optional<Place> place = knownPlace())
        return QRect(place->client, clientSizeOnScreen()).marginsAdded(place->frame);
    const qreal scale = screenScale();
    const QRect frame = frameGeometry();
    return QRect(toScreen(frame.topLeft(), scale), (QSizeF(frame.size()) * scale).toSize());
}

void TForm2::moveFrameOnScreen(QPoint topLeft)
{
    if (hidden_ && !isVisible() && !fullScreen_)
        hidden_->client = topLeft + QPoint(hidden_->frame.left(), hidden_->frame.top());
    move(fromScreen(topLeft, screenScale()));
}

void TForm2::placeClientOnScreen(QPoint topLeft)
{
    hidden_ = Place{topLeft, QMargins()};
    move(fromScreen(topLeft, screenScale()));
}

int TForm2::clientTopInFrame() const
{
    return captureRect().top() - frameRectOnScreen().top();
}

void TForm2::updateSeeThrough()
{
    if (!seeThrough_ || width() <= 2 * kRingWidth || height() <= 2 * kRingWidth) {
        clearMask();
        return;
    }
    const QRegion whole(rect());
    setMask(whole.subtracted(QRegion(rect().adjusted(kRingWidth, kRingWidth, -kRingWidth, -kRingWidth))));
}

void TForm2::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    updateSeeThrough();
    const QSize onScreen = clientSizeOnScreen();
    emit clientResized(onScreen.width(), onScreen.height());
}

void TForm2::hideEvent(QHideEvent* event)
{
    // Taken as the window goes, before the window manager's answer to the hiding moves it.
    if (!fullScreen_ && !event->spontaneous()) {
        if (const auto shown = platform::nativePlace(*this))
            hidden_ = Place{shown->client.topLeft(), shown->frame};
    }
    QWidget::hideEvent(event);
}

void TForm2::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    if (!seeThrough_)
        return;
    QPainter painter(this);
    painter.setPen(QPen(QColor(255, 0, 0), kRingWidth, Qt::DashLine));
    painter.drawRect(rect().adjusted(kRingWidth / 2, kRingWidth / 2, -kRingWidth / 2, -kRingWidth / 2));
}

} // namespace quolva::record

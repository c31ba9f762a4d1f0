#include "record/PanelFace.h"

#include "platform/ScreenCursor.h"
#include "record/PanelArtwork.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

#include <algorithm>
#include <stdexcept>

namespace quolva::record {
namespace {

constexpr QRect kPictureArea(0, 0, 154, 59); // Image1, stretched
constexpr QPoint kCloseBoxPicture(144, 0);  // Image5, 8 × 8

const QColor kWhite(255, 255, 255);
const QColor kBlack(0, 0, 0);
const QColor kSkyBlue(166, 202, 240);

QPainter::CompositionMode compositionOf(RasterMix mix)
{
    return mix == RasterMix::And ? QPainter::RasterOp_SourceAndDestination : QPainter::RasterOp_SourceOrDestination;
}

// The cursor id a button shows while the pointer is over it; 0 for the other shapes.
int cursorIdOf(PanelShapeId id)
{
    switch (id) {
    case PanelShapeId::Shape3: return 55; // wizard
    case PanelShapeId::Shape1: return 66; // record
    case PanelShapeId::Shape4: return 77; // return
    case PanelShapeId::Shape6: return 88; // stop
    default: return 0;
    }
}

} // namespace

const QColor PanelFace::kAqua(0, 255, 255);
const QColor PanelFace::kFuchsia(255, 0, 255);
const QColor PanelFace::kSilver(192, 192, 192);

bool PanelShape::contains(QPoint point) const
{
    if (!bounds.contains(point))
        return false;
    if (figure != Figure::Ellipse)
        return true;
    // Inside the ellipse inscribed in the bounds, measured from pixel centres.
    const double rx = bounds.width() / 2.0;
    const double ry = bounds.height() / 2.0;
    const double dx = (point.x() + 0.5 - bounds.left() - rx) / rx;
    const double dy = (point.y() + 0.5 - bounds.top() - ry) / ry;
    return dx * dx + dy * dy <= 1.0;
}

PanelFace::PanelFace(QWidget* panel)
    : QWidget(panel),
      closeBox_(closeBoxPicture()),
      shapes_{{
          {PanelShapeId::Shape2, "Shape2", QRect(0, 0, 153, 60), PanelShape::Figure::Rectangle, kWhite, RasterMix::And,
           kBlack, RasterMix::And, QString()},
          {PanelShapeId::Shape3, "Shape3", QRect(16, 8, 17, 17), PanelShape::Figure::Ellipse, kBlack, RasterMix::Or,
           QColor(), RasterMix::Or, QStringLiteral("设置向导")},
          {PanelShapeId::Shape1, "Shape1", QRect(49, 8, 16, 17), PanelShape::Figure::Ellipse, kBlack, RasterMix::Or,
           QColor(), RasterMix::Or, QStringLiteral("录制")},
          {PanelShapeId::Shape6, "Shape6", QRect(88, 6, 17, 19), PanelShape::Figure::Ellipse, kBlack, RasterMix::Or,
           QColor(), RasterMix::Or, QStringLiteral("停止")},
          {PanelShapeId::Shape4, "Shape4", QRect(120, 6, 17, 19), PanelShape::Figure::Ellipse, kBlack, RasterMix::Or,
           QColor(), RasterMix::Or, QStringLiteral("返回主窗口")},
          {PanelShapeId::Shape5, "Shape5", QRect(40, 50, 25, 9), PanelShape::Figure::RoundRect, kWhite, RasterMix::And,
           kSkyBlue, RasterMix::And, QStringLiteral("界面风格")},
          {PanelShapeId::Shape7, "Shape7", QRect(144, 0, 9, 9), PanelShape::Figure::Rectangle, kWhite, RasterMix::And,
           QColor(), RasterMix::And, QString()},
      }}
{
    setObjectName(QStringLiteral("PanelFace"));
    setMouseTracking(true);
    for (const int id : {55, 66, 77, 88})
        cursors_.emplace(id, panelCursor(id));
    setGeometry(panel->rect());
}

void PanelFace::setPicture(const QPixmap& picture)
{
    picture_ = picture;
    update();
}

const PanelShape& PanelFace::shape(PanelShapeId id) const
{
    const auto it = std::find_if(shapes_.begin(), shapes_.end(), [id](const PanelShape& s) { return s.id == id; });
    if (it == shapes_.end())
        throw std::logic_error("the panel has no such shape");
    return *it;
}

PanelShape& PanelFace::shapeRef(PanelShapeId id)
{
    return const_cast<PanelShape&>(std::as_const(*this).shape(id));
}

const PanelShape* PanelFace::shapeAt(QPoint point) const
{
    for (auto it = shapes_.rbegin(); it != shapes_.rend(); ++it) {
        if (it->contains(point))
            return &*it;
    }
    return nullptr;
}

QImage PanelFace::composedFace() const
{
    QImage image(size(), QImage::Format_RGB32);
    image.fill(palette().color(QPalette::Window));
    QPainter p(&image);
    p.drawPixmap(kPictureArea, picture_);

    for (const PanelShape& s : shapes_) {
        // The close-box picture lies over the drag surface and under its own shape.
        if (s.id == PanelShapeId::Shape3) {
            p.setCompositionMode(QPainter::CompositionMode_SourceOver);
            p.drawPixmap(kCloseBoxPicture, closeBox_);
        }

        const QRect r = s.bounds;
        // The figure's outline runs along the first and last pixel rows and columns of its bounds.
        const QRect edge = r.adjusted(0, 0, -1, -1);
        const auto drawFigure = [&] {
            switch (s.figure) {
            case PanelShape::Figure::Rectangle: p.drawRect(edge); break;
            case PanelShape::Figure::Ellipse: p.drawEllipse(edge); break;
            case PanelShape::Figure::RoundRect: {
                const qreal corner = std::min(r.width(), r.height()) / 4 / 2.0;
                p.drawRoundedRect(edge, corner, corner);
                break;
            }
            }
        };
        p.setCompositionMode(compositionOf(s.brushMix));
        p.setPen(Qt::NoPen);
        p.setBrush(s.brush);
        drawFigure();
        if (s.outline.isValid()) {
            p.setCompositionMode(compositionOf(s.outlineMix));
            p.setPen(QPen(s.outline, 0));
            p.setBrush(Qt::NoBrush);
            drawFigure();
        }
    }
    return image;
}

void PanelFace::paintEvent(QPaintEvent*)
{
    QPainter(this).drawImage(0, 0, composedFace());
}

bool PanelFace::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const PanelShape* s = shapeAt(help->pos());
        if (s && !s->hint.isEmpty()) {
            QToolTip::showText(help->globalPos(), s->hint, this, s->bounds);
        } else {
            QToolTip::hideText();
            event->ignore();
        }
        return true;
    }
    return QWidget::event(event);
}

void PanelFace::setBrush(PanelShapeId id, const QColor& colour)
{
    PanelShape& s = shapeRef(id);
    if (s.brush == colour)
        return;
    s.brush = colour;
    update();
}

void PanelFace::hover(const PanelShape& s)
{
    if (const int cursor = cursorIdOf(s.id)) {
        platform::setScreenCursor(cursors_.at(cursor));
        return;
    }
    switch (s.id) {
    case PanelShapeId::Shape5:
        setBrush(PanelShapeId::Shape5, kAqua);
        break;
    case PanelShapeId::Shape7:
        setBrush(PanelShapeId::Shape7, kFuchsia);
        break;
    case PanelShapeId::Shape2:
        setBrush(PanelShapeId::Shape5, kSilver);
        setBrush(PanelShapeId::Shape7, kWhite);
        platform::resetScreenCursor();
        break;
    default:
        break;
    }
}

void PanelFace::mousePressEvent(QMouseEvent* event)
{
    pressed_ = shapeAt(event->position().toPoint());
    if (pressed_ && pressed_->id == PanelShapeId::Shape2 && event->button() == Qt::LeftButton) {
        dragging_ = true;
        pressPoint_ = event->position().toPoint() - pressed_->bounds.topLeft();
    }
}

void PanelFace::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint point = event->position().toPoint();
    if (dragging_) {
        // The panel moves by the pointer's offset from the press point: the point under the pointer stays.
        const QPoint inSurface = point - shape(PanelShapeId::Shape2).bounds.topLeft();
        window()->move(window()->pos() + (inSurface - pressPoint_));
        return;
    }
    if (event->buttons() != Qt::NoButton && pressed_)
        return; // a button held down belongs to the shape that took the press
    if (const PanelShape* s = shapeAt(point))
        hover(*s);
}

void PanelFace::mouseReleaseEvent(QMouseEvent* event)
{
    // Like a captured mouse: the release goes to the shape that took the press.
    const PanelShape* s = pressed_ ? pressed_ : shapeAt(event->position().toPoint());
    pressed_ = nullptr;
    if (!s)
        return;
    const QPoint globalPos = event->globalPosition().toPoint();
    if (s->id == PanelShapeId::Shape2) {
        dragging_ = false;
        if (event->button() == Qt::RightButton)
            emit panelMenuRequested(globalPos);
        return;
    }
    if (event->button() != Qt::LeftButton)
        return;
    if (s->id == PanelShapeId::Shape5)
        emit skinMenuRequested(globalPos);
    else
        emit buttonReleased(s->id);
}

} // namespace quolva::record

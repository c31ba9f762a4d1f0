#include "app/Artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>

namespace quolva::app {
namespace {

void drawRecordingLight(QPainter& painter, QPointF centre, qreal radius)
{
    QRadialGradient glow(centre - QPointF(radius / 3, radius / 3), radius * 1.2);
    glow.setColorAt(0, QColor(255, 150, 150));
    glow.setColorAt(0.45, QColor(230, 30, 30));
    glow.setColorAt(1, QColor(140, 0, 0));
    painter.setPen(QPen(QColor(255, 255, 255), radius / 5));
    painter.setBrush(glow);
    painter.drawEllipse(centre, radius, radius);
}

// A small screen showing a window and the pointer, the subject of every recording.
void drawMiniScreen(QPainter& painter, const QRectF& area, QColor sky, int variant)
{
    QLinearGradient fill(area.topLeft(), area.bottomLeft());
    fill.setColorAt(0, sky.lighter(150));
    fill.setColorAt(1, sky);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRect(area);

    const QRectF window(area.left() + 4 + variant * 3, area.top() + 4, area.width() * 0.55, area.height() * 0.55);
    painter.setBrush(QColor(245, 245, 235));
    painter.drawRect(window);
    painter.setBrush(QColor(40, 70, 160));
    painter.drawRect(QRectF(window.left(), window.top(), window.width(), 3));

    QPainterPath arrow;
    const QPointF tip(area.right() - 10 - variant * 2, area.top() + 8 + variant * 2);
    arrow.moveTo(tip);
    arrow.lineTo(tip + QPointF(0, 9));
    arrow.lineTo(tip + QPointF(2.5, 6.5));
    arrow.lineTo(tip + QPointF(6, 6.5));
    arrow.closeSubpath();
    painter.setPen(QPen(Qt::black, 0.8));
    painter.setBrush(Qt::white);
    painter.drawPath(arrow);
}

} // namespace

QPixmap programIcon()
{
    QPixmap icon(32, 32);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);

    // Stand and base.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(120, 132, 150));
    painter.drawPolygon(QPolygonF({QPointF(13, 23), QPointF(19, 23), QPointF(21, 28), QPointF(11, 28)}));
    painter.drawRoundedRect(QRectF(7, 27.5, 18, 3), 1.5, 1.5);

    // Monitor and its screen.
    painter.setPen(QPen(QColor(15, 26, 46), 1));
    painter.setBrush(QColor(43, 58, 85));
    painter.drawRoundedRect(QRectF(1.5, 3.5, 29, 21), 3, 3);
    QLinearGradient screen(0, 6, 0, 22);
    screen.setColorAt(0, QColor(140, 205, 255));
    screen.setColorAt(1, QColor(40, 120, 215));
    painter.setPen(Qt::NoPen);
    painter.setBrush(screen);
    painter.drawRect(QRectF(4, 6, 24, 16));

    drawRecordingLight(painter, QPointF(21.5, 12.5), 4.5);
    return icon;
}

QPixmap aboutPicture()
{
    const int width = 113;
    const int height = 216;
    QPixmap picture(width, height);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);

    QLinearGradient sky(0, 0, 0, height);
    sky.setColorAt(0, QColor(8, 26, 104));
    sky.setColorAt(1, QColor(30, 100, 215));
    painter.fillRect(picture.rect(), sky);

    // A film strip running down the picture, its frames showing recorded screens.
    const QRectF strip(30, -4, 54, height + 8);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(18, 18, 22));
    painter.drawRect(strip);
    painter.setBrush(QColor(230, 230, 220));
    for (int y = 2; y < height; y += 14) {
        painter.drawRoundedRect(QRectF(strip.left() + 3, y, 5, 7), 1.5, 1.5);
        painter.drawRoundedRect(QRectF(strip.right() - 8, y, 5, 7), 1.5, 1.5);
    }
    const QColor skies[] = {QColor(70, 150, 90), QColor(170, 110, 40), QColor(60, 110, 190), QColor(150, 60, 130)};
    for (int frame = 0; frame < 4; ++frame)
        drawMiniScreen(painter, QRectF(strip.left() + 11, 8 + frame * 38, 32, 30), skies[frame], frame);

    // The sound track that is recorded with the frames.
    QPainterPath wave;
    for (int x = 0; x <= width; ++x) {
        const double y = 172 + 9 * std::sin(x / 6.0) * std::sin(x / 23.0);
        x == 0 ? wave.moveTo(x, y) : wave.lineTo(x, y);
    }
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(120, 230, 255), 2));
    painter.drawPath(wave);

    drawRecordingLight(painter, QPointF(57, 196), 13);
    return picture;
}

} // namespace quolva::app

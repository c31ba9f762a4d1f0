#include "record/PanelArtwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cmath>

namespace quolva::record {
namespace {

struct SkinColours {
    QColor light;
    QColor dark;
    QColor button;
};

SkinColours skinColours(int skin)
{
    switch (skin) {
    case 1: return {QColor(196, 150, 235), QColor(72, 26, 110), QColor(150, 90, 210)};  // amethyst
    case 2: return {QColor(130, 230, 170), QColor(8, 92, 58), QColor(40, 170, 110)};    // emerald
    case 3: return {QColor(200, 205, 120), QColor(70, 78, 22), QColor(140, 150, 60)};   // olive tree
    default: return {QColor(150, 205, 255), QColor(14, 52, 130), QColor(60, 130, 220)}; // blue crystal
    }
}

// A glossy round button with a symbol drawn by `symbol` inside `area`.
template <typename Symbol>
void drawRoundButton(QPainter& painter, const QRectF& area, const QColor& colour, Symbol symbol)
{
    QRadialGradient body(area.center() - QPointF(area.width() / 5, area.height() / 4), area.width() * 0.8);
    body.setColorAt(0, colour.lighter(170));
    body.setColorAt(0.6, colour);
    body.setColorAt(1, colour.darker(170));
    painter.setPen(QPen(colour.darker(250), 1));
    painter.setBrush(body);
    painter.drawEllipse(area.adjusted(0.5, 0.5, -0.5, -0.5));
    symbol(area);
}

QPainterPath arrowPath(QPointF tip, qreal scale)
{
    QPainterPath arrow;
    arrow.moveTo(tip);
    arrow.lineTo(tip + QPointF(0, 16 * scale));
    arrow.lineTo(tip + QPointF(4 * scale, 12.5 * scale));
    arrow.lineTo(tip + QPointF(7 * scale, 19 * scale));
    arrow.lineTo(tip + QPointF(9.5 * scale, 18 * scale));
    arrow.lineTo(tip + QPointF(6.5 * scale, 11.5 * scale));
    arrow.lineTo(tip + QPointF(11.5 * scale, 11.5 * scale));
    arrow.closeSubpath();
    return arrow;
}

} // namespace

QPixmap panelSkin(int skin)
{
    const SkinColours c = skinColours(skin);
    QPixmap picture(154, 59);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient face(0, 0, 0, 59);
    face.setColorAt(0, c.light);
    face.setColorAt(0.45, c.button);
    face.setColorAt(1, c.dark);
    p.fillRect(picture.rect(), face);
    // A crystal sheen across the upper half.
    QLinearGradient sheen(0, 0, 0, 28);
    sheen.setColorAt(0, QColor(255, 255, 255, 110));
    sheen.setColorAt(1, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(sheen);
    p.drawRoundedRect(QRectF(3, 2, 136, 26), 8, 8);

    // The status display where the lime status text appears.
    p.setBrush(QColor(10, 22, 14));
    p.setPen(QPen(c.dark.darker(160), 1));
    p.drawRoundedRect(QRectF(70.5, 33.5, 78, 17), 3, 3);

    const QColor ink(255, 255, 255);
    // Setup wizard: a magic wand with a star.
    drawRoundButton(p, QRectF(16, 8, 17, 17), c.button, [&](const QRectF& r) {
        p.setPen(QPen(ink, 1.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(r.left() + 5, r.bottom() - 4), QPointF(r.right() - 6, r.top() + 6));
        p.setPen(QPen(QColor(255, 240, 120), 1.2));
        const QPointF star(r.right() - 5.5, r.top() + 5.5);
        p.drawLine(star - QPointF(2.5, 0), star + QPointF(2.5, 0));
        p.drawLine(star - QPointF(0, 2.5), star + QPointF(0, 2.5));
    });
    // Record: a red light.
    drawRoundButton(p, QRectF(49, 8, 16, 17), c.button, [&](const QRectF& r) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(235, 30, 30));
        p.drawEllipse(r.center(), 4, 4);
    });
    // Stop: a square.
    drawRoundButton(p, QRectF(88, 6, 17, 19), c.button, [&](const QRectF& r) {
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        p.drawRect(QRectF(r.center().x() - 3.5, r.center().y() - 3.5, 7, 7));
    });
    // Return to the main window: a window with an arrow into it.
    drawRoundButton(p, QRectF(120, 6, 17, 19), c.button, [&](const QRectF& r) {
        p.setPen(QPen(ink, 1.2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(r.left() + 4.5, r.top() + 5.5, 8, 7));
        p.drawLine(QPointF(r.left() + 4.5, r.top() + 7.5), QPointF(r.left() + 12.5, r.top() + 7.5));
        p.setPen(QPen(QColor(255, 240, 120), 1.4));
        p.drawLine(QPointF(r.left() + 2, r.bottom() - 2), QPointF(r.left() + 7, r.bottom() - 6.5));
    });
    // The skin button: a small pill.
    QLinearGradient pill(0, 50, 0, 59);
    pill.setColorAt(0, c.light);
    pill.setColorAt(1, c.button.darker(130));
    p.setPen(QPen(c.dark, 1));
    p.setBrush(pill);
    p.drawRoundedRect(QRectF(40.5, 50.5, 24, 8), 4, 4);

    // The program's name, small, at the lower left.
    p.setPen(QColor(255, 255, 255, 200));
    QFont font;
    font.setPixelSize(9);
    font.setBold(true);
    p.setFont(font);
    p.drawText(QRectF(6, 31, 62, 14), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Quolva"));
    return picture;
}

QPixmap closeBoxPicture()
{
    QPixmap picture(8, 8);
    picture.fill(QColor(200, 40, 40));
    QPainter p(&picture);
    p.setPen(QPen(Qt::white, 1));
    p.drawLine(1, 1, 6, 6);
    p.drawLine(6, 1, 1, 6);
    return picture;
}

QCursor panelCursor(int id)
{
    QPixmap picture(32, 32);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::white);
    p.drawPath(arrowPath(QPointF(1, 1), 1.0));

    // A badge beside the arrow tells which button is under the pointer.
    const QRectF badge(14, 14, 14, 14);
    p.setPen(QPen(Qt::black, 1));
    switch (id) {
    case 55: // wizard
        p.setBrush(QColor(60, 130, 220));
        p.drawEllipse(badge);
        p.setPen(QPen(Qt::white, 1.6));
        p.drawLine(QPointF(18, 24), QPointF(24, 18));
        break;
    case 66: // record
        p.setBrush(QColor(230, 30, 30));
        p.drawEllipse(badge);
        break;
    case 77: // return
        p.setBrush(QColor(40, 170, 110));
        p.drawEllipse(badge);
        p.setPen(QPen(Qt::white, 1.6));
        p.drawLine(QPointF(18, 21), QPointF(25, 21));
        p.drawLine(QPointF(18, 21), QPointF(21, 18));
        p.drawLine(QPointF(18, 21), QPointF(21, 24));
        break;
    default: // 88, stop
        p.setBrush(QColor(40, 40, 40));
        p.drawRect(badge.adjusted(1, 1, -1, -1));
        break;
    }
    p.end();
    return QCursor(picture, 1, 1);
}

QPixmap wizardButtonPicture(WizardPicture which, bool pressed)
{
    QPixmap picture(48, 48);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF shift = pressed ? QPointF(1, 1) : QPointF(0, 0);

    // The raised or sunken button face.
    QLinearGradient face(0, 0, 0, 48);
    face.setColorAt(0, pressed ? QColor(190, 190, 190) : QColor(250, 250, 250));
    face.setColorAt(1, pressed ? QColor(235, 235, 235) : QColor(200, 200, 200));
    p.setBrush(face);
    p.setPen(QPen(pressed ? QColor(90, 90, 90) : QColor(140, 140, 140), 1));
    p.drawRoundedRect(QRectF(0.5, 0.5, 47, 47), 6, 6);
    p.translate(shift);

    if (which == WizardPicture::SoundFormat) {
        // A microphone over a sound wave.
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(70, 70, 90));
        p.drawRoundedRect(QRectF(19, 7, 10, 18), 5, 5);
        p.setPen(QPen(QColor(70, 70, 90), 2));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(15, 12, 18, 18), 180 * 16, 180 * 16);
        p.drawLine(QPointF(24, 30), QPointF(24, 34));
        QPainterPath wave;
        for (int x = 6; x <= 42; ++x) {
            const double y = 40 + 4 * std::sin((x - 6) / 3.0);
            x == 6 ? wave.moveTo(x, y) : wave.lineTo(x, y);
        }
        p.setPen(QPen(QColor(30, 120, 220), 2));
        p.drawPath(wave);
    } else {
        // A dashed capture frame with the pointer inside it.
        p.setPen(QPen(QColor(200, 30, 30), 2, Qt::DashLine));
        p.setBrush(QColor(220, 235, 255));
        p.drawRect(QRectF(7, 9, 34, 26));
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(Qt::white);
        p.drawPath(arrowPath(QPointF(24, 18), 0.9));
    }
    return picture;
}

} // namespace quolva::record

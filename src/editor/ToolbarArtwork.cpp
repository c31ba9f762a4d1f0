#include "editor/ToolbarArtwork.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace quolva::editor {
namespace {

constexpr QColor kInk(30, 30, 30);
constexpr QColor kFolder(240, 196, 60);
constexpr QColor kFolderDark(176, 128, 24);
constexpr QColor kGreen(20, 150, 40);
constexpr QColor kBlue(30, 80, 200);
constexpr QColor kRed(210, 30, 30);

QFont letterFont(bool bold, bool italic)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(14);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

void drawFolder(QPainter& p)
{
    p.setPen(QPen(kFolderDark, 1));
    p.setBrush(kFolder.darker(110));
    p.drawRect(QRectF(1.5, 3.5, 6, 2));  // the tab
    p.drawRect(QRectF(1.5, 4.5, 12, 9)); // the back
    p.setBrush(kFolder);
    QPolygonF front;
    front << QPointF(1.5, 13.5) << QPointF(3.5, 7.5) << QPointF(15.5, 7.5) << QPointF(13.5, 13.5);
    p.drawPolygon(front);
}

void drawFrame(QPainter& p, const QRectF& r)
{
    p.setPen(QPen(kInk, 1));
    p.setBrush(QColor(150, 200, 250));
    p.drawRect(r);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(60, 150, 60));
    QPolygonF hill;
    hill << QPointF(r.left() + 0.5, r.bottom() - 0.5) << QPointF(r.left() + r.width() * 0.4, r.top() + r.height() * 0.45)
         << QPointF(r.right() - 0.5, r.bottom() - 0.5);
    p.drawPolygon(hill);
}

void drawGreenArrow(QPainter& p, QPointF from, QPointF to)
{
    p.setPen(QPen(kGreen, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(from, to);
    const QPointF d = to - from;
    const qreal length = std::hypot(d.x(), d.y());
    const QPointF u = d / length;
    const QPointF n(-u.y(), u.x());
    QPolygonF head;
    head << to + u * 2.0 << to - u * 2.5 + n * 3.0 << to - u * 2.5 - n * 3.0;
    p.setPen(Qt::NoPen);
    p.setBrush(kGreen);
    p.drawPolygon(head);
}

void draw(QPainter& p, ToolbarArtwork::Picture picture)
{
    using Picture = ToolbarArtwork::Picture;
    switch (picture) {
    case Picture::Open:
        drawFolder(p);
        break;
    case Picture::Close:
        drawFolder(p);
        p.setPen(QPen(kRed, 2.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(8.5, 8.5), QPointF(14.5, 14.5));
        p.drawLine(QPointF(14.5, 8.5), QPointF(8.5, 14.5));
        break;
    case Picture::NextFrame: {
        p.setPen(Qt::NoPen);
        p.setBrush(kBlue);
        p.drawPolygon(QPolygonF{QPointF(3, 2.5), QPointF(11, 8), QPointF(3, 13.5)});
        p.drawRect(QRectF(11, 2.5, 2.5, 11));
        break;
    }
    case Picture::PreviousFrame: {
        p.setPen(Qt::NoPen);
        p.setBrush(kBlue);
        p.drawPolygon(QPolygonF{QPointF(13, 2.5), QPointF(5, 8), QPointF(13, 13.5)});
        p.drawRect(QRectF(2.5, 2.5, 2.5, 11));
        break;
    }
    case Picture::Play:
        p.setPen(QPen(kGreen.darker(140), 1));
        p.setBrush(kGreen);
        p.drawPolygon(QPolygonF{QPointF(3.5, 1.5), QPointF(14, 8), QPointF(3.5, 14.5)});
        break;
    case Picture::Pause:
        p.setPen(Qt::NoPen);
        p.setBrush(kBlue);
        p.drawRect(QRectF(3, 2, 3.5, 12));
        p.drawRect(QRectF(9.5, 2, 3.5, 12));
        break;
    case Picture::SaveFrame:
        drawFrame(p, QRectF(0.5, 0.5, 11, 9));
        p.setPen(QPen(kInk, 1));
        p.setBrush(kBlue);
        p.drawRect(QRectF(7.5, 7.5, 8, 8)); // the floppy disk
        p.setBrush(Qt::white);
        p.drawRect(QRectF(9.5, 7.5, 4, 3));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(200, 200, 200));
        p.drawRect(QRectF(9, 12, 5, 3));
        break;
    case Picture::Brightness: {
        p.setPen(QPen(QColor(230, 150, 0), 1.5, Qt::SolidLine, Qt::RoundCap));
        const QPointF c(8, 8);
        for (int i = 0; i < 8; ++i) {
            const qreal a = i * M_PI / 4;
            p.drawLine(c + QPointF(std::cos(a), std::sin(a)) * 5.2, c + QPointF(std::cos(a), std::sin(a)) * 7.3);
        }
        p.setPen(QPen(QColor(200, 120, 0), 1));
        p.setBrush(QColor(255, 210, 40));
        p.drawEllipse(c, 3.8, 3.8);
        break;
    }
    case Picture::ContinuousUpdate:
        drawFrame(p, QRectF(4.5, 0.5, 10, 7));
        drawFrame(p, QRectF(2.5, 3.5, 10, 7));
        drawFrame(p, QRectF(0.5, 6.5, 10, 7));
        drawGreenArrow(p, QPointF(9, 14), QPointF(14, 9.5));
        break;
    case Picture::SingleUpdate:
        drawFrame(p, QRectF(0.5, 3.5, 11, 9));
        drawGreenArrow(p, QPointF(9, 14), QPointF(14, 9.5));
        break;
    case Picture::EditPanel:
        p.setPen(QPen(kInk, 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(0.5, 1.5, 12, 13));
        p.setBrush(kBlue);
        p.drawRect(QRectF(0.5, 1.5, 4, 13)); // the panel at the left
        p.setPen(QPen(kInk, 1));
        p.setBrush(QColor(250, 200, 60)); // a pencil across
        p.drawPolygon(QPolygonF{QPointF(7, 12), QPointF(14, 5), QPointF(16, 7), QPointF(9, 14)});
        p.setBrush(kInk);
        p.drawPolygon(QPolygonF{QPointF(7, 12), QPointF(9, 14), QPointF(6, 15)});
        break;
    case Picture::Bold:
    case Picture::Italic:
    case Picture::Underline: {
        const QString letter = picture == Picture::Bold ? QStringLiteral("B")
                               : picture == Picture::Italic ? QStringLiteral("I")
                                                            : QStringLiteral("U");
        p.setFont(letterFont(picture == Picture::Bold, picture == Picture::Italic));
        p.setPen(kInk);
        p.drawText(QRect(0, -1, 16, 15), Qt::AlignCenter, letter);
        if (picture == Picture::Underline) {
            p.setPen(QPen(kInk, 1.2));
            p.drawLine(QPointF(3.5, 14.5), QPointF(12.5, 14.5));
        }
        break;
    }
    case Picture::FontHeight: {
        QFont big = letterFont(true, false);
        p.setFont(big);
        p.setPen(kInk);
        p.drawText(QRect(-1, 0, 11, 16), Qt::AlignCenter, QStringLiteral("A"));
        QFont small = big;
        small.setPixelSize(8);
        p.setFont(small);
        p.drawText(QRect(8, 6, 8, 10), Qt::AlignCenter, QStringLiteral("A"));
        p.setPen(QPen(kBlue, 1));
        p.drawLine(QPointF(12.5, 1), QPointF(12.5, 6));
        p.drawLine(QPointF(10.5, 3), QPointF(12.5, 1));
        p.drawLine(QPointF(14.5, 3), QPointF(12.5, 1));
        break;
    }
    case Picture::TextColour:
        p.setFont(letterFont(true, false));
        p.setPen(kInk);
        p.drawText(QRect(0, -2, 16, 14), Qt::AlignCenter, QStringLiteral("A"));
        p.setPen(Qt::NoPen);
        p.setBrush(kRed);
        p.drawRect(QRectF(1, 12, 5, 4));
        p.setBrush(kGreen);
        p.drawRect(QRectF(6, 12, 4, 4));
        p.setBrush(kBlue);
        p.drawRect(QRectF(10, 12, 5, 4));
        break;
    }
}

} // namespace

QPixmap ToolbarArtwork::pixmap(Picture picture)
{
    QPixmap pixmap(kSize, kSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    draw(painter, picture);
    return pixmap;
}

QPixmap ToolbarArtwork::boxStyle(int style)
{
    QPixmap pixmap(kSize, kSize);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box(3.5, 3.5, 9, 8);
    QPainterPath outline;
    outline.addRoundedRect(box, 2, 2);
    // The tail or stub, as a triangle reaching out of the box.
    QPolygonF tail;
    switch (style) {
    case 1: tail << QPointF(4.5, 9.5) << QPointF(0.5, 15.5) << QPointF(7.5, 10.5); break;  // bottom-left corner
    case 2: tail << QPointF(4.5, 6.5) << QPointF(0.5, 0.5) << QPointF(7.5, 4.5); break;    // top-left corner
    case 3: tail << QPointF(11.5, 6.5) << QPointF(15.5, 0.5) << QPointF(8.5, 4.5); break;  // top-right corner
    case 4: tail << QPointF(11.5, 9.5) << QPointF(15.5, 15.5) << QPointF(8.5, 10.5); break; // bottom-right corner
    case 5: tail << QPointF(11.5, 5.5) << QPointF(15.5, 7.5) << QPointF(11.5, 9.5); break;  // right edge
    case 6: tail << QPointF(4.5, 5.5) << QPointF(0.5, 7.5) << QPointF(4.5, 9.5); break;    // left edge
    case 7: tail << QPointF(6, 10.5) << QPointF(8, 15.5) << QPointF(10, 10.5); break;      // bottom edge
    default: break;
    }
    if (!tail.isEmpty()) {
        QPainterPath tailPath;
        tailPath.addPolygon(tail);
        tailPath.closeSubpath();
        outline = outline.united(tailPath);
    }
    p.setPen(QPen(QColor(70, 70, 150), 1.2));
    p.setBrush(Qt::white);
    p.drawPath(outline.simplified());
    p.setPen(QPen(kInk, 1));
    p.drawLine(QPointF(5.5, 6.5), QPointF(10.5, 6.5)); // two lines of text
    p.drawLine(QPointF(5.5, 8.5), QPointF(9, 8.5));
    return pixmap;
}

} // namespace quolva::editor

#include "editor/BoxPieces.h"

#include <QRect>

#include <array>
#include <stdexcept>
#include <string>

namespace quolva::editor {
namespace {

constexpr int kPiece = 23;  // the side of the square pieces
constexpr int kMargin = 10; // the black margin outside the line

// The tail piece, row by row: '.' black, '1' '2' '3' the shades, 'W' white. Rows 13 to 22 repeat row 13.
constexpr std::array<const char*, 14> kTailRows = {
    ".......................", ".2113..................", ".122133................",
    ".31222133..............", "..312122133............", "...3121122133..........",
    "....31211122133........", ".....312133322133......", "......31213W3322133....",
    ".......31213WW3322133..", "........31213WWW3322133", ".........3123WWWWW33222",
    "..........123WWWWWWW333", "..........123WWWWWWWWWW",
};

QRgb ColourOf(char code)
{
    switch (code) {
    case '1': return kBoxShade1;
    case '2': return kBoxShade2;
    case '3': return kBoxShade3;
    case 'W': return kBoxWhite;
    default: return kBoxBlack;
    }
}

// The line's colour at `depth` pixels in from the outer edge of a piece.
QRgb LineColour(int depth)
{
    if (depth < kMargin)
        return kBoxBlack;
    if (depth == kMargin)
        return kBoxShade1;
    if (depth == kMargin + 1)
        return kBoxShade2;
    if (depth == kMargin + 2)
        return kBoxShade3;
    return kBoxWhite;
}

QImage Blank(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(kBoxBlack);
    return image;
}

enum class Turn { Upright, MirroredLeftRight, MirroredTopBottom, Turned180 };

QImage Turned(const QImage& piece, Turn turn)
{
    switch (turn) {
    case Turn::Upright: return piece;
    case Turn::MirroredLeftRight: return piece.mirrored(true, false);
    case Turn::MirroredTopBottom: return piece.mirrored(false, true);
    case Turn::Turned180: return piece.mirrored(true, true);
    }
    return piece;
}

// Copies `piece`, turned, stretched to `target` by the nearest pixel, onto `picture`; pixels outside
// the picture are left out, and a target without area draws nothing.
void Place(QImage& picture, BoxPiece which, Turn turn, const QRect& target)
{
    if (target.width() <= 0 || target.height() <= 0)
        return;
    const QImage piece = Turned(BoxPieceImage(which), turn);
    for (int y = 0; y < target.height(); ++y) {
        const int py = target.top() + y;
        if (py < 0 || py >= picture.height())
            continue;
        const int sy = static_cast<int>(static_cast<long long>(y) * piece.height() / target.height());
        const auto* source = reinterpret_cast<const QRgb*>(piece.constScanLine(sy));
        auto* row = reinterpret_cast<QRgb*>(picture.scanLine(py));
        for (int x = 0; x < target.width(); ++x) {
            const int px = target.left() + x;
            if (px < 0 || px >= picture.width())
                continue;
            row[px] = source[static_cast<long long>(x) * piece.width() / target.width()];
        }
    }
}

// A rectangle given by its corners (right and bottom exclusive), as the drawing steps name them.
QRect Span(int left, int top, int right, int bottom)
{
    return QRect(left, top, right - left, bottom - top);
}

} // namespace

QImage BoxPieceImage(BoxPiece piece)
{
    switch (piece) {
    case BoxPiece::Corner: {
        QImage image = Blank(kPiece, kPiece);
        for (int y = 0; y < kPiece; ++y)
            for (int x = 0; x < kPiece; ++x)
                image.setPixel(x, y, x < kMargin || y < kMargin ? kBoxBlack : LineColour(std::min(x, y)));
        return image;
    }
    case BoxPiece::Tail: {
        QImage image = Blank(kPiece, kPiece);
        for (int y = 0; y < kPiece; ++y) {
            const char* row = kTailRows[static_cast<std::size_t>(std::min(y, 13))];
            for (int x = 0; x < kPiece; ++x)
                image.setPixel(x, y, ColourOf(row[x]));
        }
        return image;
    }
    case BoxPiece::EdgeAcross: {
        QImage image = Blank(kPiece, kPiece);
        for (int y = 0; y < kPiece; ++y)
            for (int x = 0; x < kPiece; ++x)
                image.setPixel(x, y, LineColour(y));
        return image;
    }
    case BoxPiece::EdgeDown: {
        QImage image = Blank(kPiece, kPiece);
        for (int y = 0; y < kPiece; ++y)
            for (int x = 0; x < kPiece; ++x)
                image.setPixel(x, y, LineColour(x));
        return image;
    }
    case BoxPiece::SideStub: {
        QImage image = Blank(kMargin, kPiece);
        for (int y = kMargin; y < kMargin + 3; ++y)
            for (int x = 0; x < kMargin; ++x)
                image.setPixel(x, y, LineColour(y));
        return image;
    }
    case BoxPiece::BottomStub: {
        QImage image = Blank(kPiece, kMargin);
        for (int y = 0; y < kMargin; ++y)
            for (int x = kMargin; x < kMargin + 3; ++x)
                image.setPixel(x, y, LineColour(x));
        return image;
    }
    }
    return {};
}

void DrawBoxStyle(QImage& picture, int style)
{
    if (style < 0 || style >= kBoxStyleCount)
        throw std::out_of_range("box style " + std::to_string(style) + " does not exist (0 to 7)");
    if (picture.isNull())
        return;
    if (picture.format() != QImage::Format_RGB32)
        picture = picture.convertToFormat(QImage::Format_RGB32);
    const int w = picture.width();
    const int h = picture.height();

    Place(picture, BoxPiece::Corner, Turn::Upright, QRect(0, 0, kPiece, kPiece));
    Place(picture, BoxPiece::Corner, Turn::MirroredLeftRight, QRect(w - kPiece, 0, kPiece, kPiece));
    Place(picture, BoxPiece::Corner, Turn::Turned180, QRect(w - kPiece, h - kPiece, kPiece, kPiece));
    Place(picture, BoxPiece::Corner, Turn::MirroredTopBottom, QRect(0, h - kPiece, kPiece, kPiece));

    Place(picture, BoxPiece::EdgeAcross, Turn::Upright, Span(kPiece, 0, w - kPiece, kPiece));
    Place(picture, BoxPiece::EdgeAcross, Turn::Turned180, Span(kPiece, h - kPiece, w - kPiece, h));
    Place(picture, BoxPiece::EdgeDown, Turn::Upright, Span(0, kPiece, kPiece, h - kPiece));
    Place(picture, BoxPiece::EdgeDown, Turn::Turned180, Span(w - kPiece, kPiece, w, h - kPiece));

    switch (style) {
    case 1: Place(picture, BoxPiece::Tail, Turn::MirroredTopBottom, QRect(0, h - kPiece, kPiece, kPiece)); break;
    case 2: Place(picture, BoxPiece::Tail, Turn::Upright, QRect(0, 0, kPiece, kPiece)); break;
    case 3: Place(picture, BoxPiece::Tail, Turn::MirroredLeftRight, QRect(w - kPiece, 0, kPiece, kPiece)); break;
    case 4: Place(picture, BoxPiece::Tail, Turn::Turned180, QRect(w - kPiece, h - kPiece, kPiece, kPiece)); break;
    case 5: Place(picture, BoxPiece::SideStub, Turn::Upright, Span(w - kMargin, h / 2 - 11, w, h / 2 + 12)); break;
    case 6: Place(picture, BoxPiece::SideStub, Turn::MirroredLeftRight, Span(0, h / 2 - 11, kMargin, h / 2 + 12)); break;
    case 7: Place(picture, BoxPiece::BottomStub, Turn::Upright, Span(w / 2 - 11, h - kMargin, w / 2 + 12, h)); break;
    default: break;
    }

    // The outline around the whole picture.
    for (int x = 0; x < w; ++x) {
        picture.setPixel(x, 0, kBoxBlack);
        picture.setPixel(x, h - 1, kBoxBlack);
    }
    for (int y = 0; y < h; ++y) {
        picture.setPixel(0, y, kBoxBlack);
        picture.setPixel(w - 1, y, kBoxBlack);
    }
}

} // namespace quolva::editor

#pragma once
#include <QImage>
#include <QRgb>

namespace quolva::editor {

// The six stock pictures a callout box is drawn from. Black lies outside the box line, the line is
// three shades wide (outermost first) and the inside is white.
enum class BoxPiece {
    Corner,     // 23 × 23
    Tail,       // 23 × 23: the corner with a band running out to the piece's top-left corner
    EdgeAcross, // 23 × 23: rows 10, 11, 12 are the line
    EdgeDown,   // 23 × 23: columns 10, 11, 12 are the line
    SideStub,   // 10 × 23: rows 10, 11, 12 are the line, across the full width
    BottomStub, // 23 × 10: columns 10, 11, 12 are the line, down the full height
};

inline constexpr QRgb kBoxBlack = qRgb(0, 0, 0);
inline constexpr QRgb kBoxShade1 = qRgb(160, 160, 192);
inline constexpr QRgb kBoxShade2 = qRgb(160, 192, 192);
inline constexpr QRgb kBoxShade3 = qRgb(128, 128, 192);
inline constexpr QRgb kBoxWhite = qRgb(255, 255, 255);

// Box styles: 0 a plain box; 1–4 a tail at the bottom-left, top-left, top-right, bottom-right corner;
// 5, 6 a stub on the right, left edge; 7 a stub on the bottom edge.
inline constexpr int kBoxStyleCount = 8;

// The piece as a 32-bit picture.
QImage BoxPieceImage(BoxPiece piece);

// Draws box `style` onto `picture` (32-bit): the four corners and four edges, the style's tail or stub,
// then a one-pixel black outline around the whole picture. Pieces are copied pixel for pixel; stretched
// pieces take the nearest source pixel.
void DrawBoxStyle(QImage& picture, int style);

} // namespace quolva::editor

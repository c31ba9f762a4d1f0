#pragma once
#include <QColor>
#include <QFont>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>

class QTextDocument;

namespace quolva::editor {

// One of the five text boxes that float over the picture on view.
struct TextBox {
    QImage picture;         // 32-bit; null until the first rendering
    QPoint position;        // top-left, in the scrolling area that also holds the picture on view
    bool transparent = false; // once framed, the colour of the bottom-left pixel is left out
    bool cleared = false;     // wiped by clearing: draws nothing until something is drawn on it again

    bool HasPicture() const { return !picture.isNull(); }
    // Something of the box is drawn, on the screen and into frames: it has a picture and is not cleared.
    bool Shows() const { return HasPicture() && !cleared; }
    // The colour left out when the box is transparent: that of its picture's bottom-left pixel.
    QRgb KeyColour() const;
    // The picture as the screen shows it: with the key colour fully see-through when transparent, and
    // wholly see-through when cleared.
    QImage Shown() const;
};

// The font all boxes are rendered in.
struct OverlayFont {
    QString face = QStringLiteral("宋体");
    int size = 12; // points, and the line spacing value: lines lie 1.5 × size pixels apart
    bool bold = false;
    bool italic = false;
    bool underline = false;
    QColor colour = Qt::black;

    // The font to draw with. Faces missing here ("宋体" is a Windows face) fall back to an installed
    // CJK face, so that Chinese text always renders.
    QFont ToFont() const;
};

// How the picture area lays out its scrolling content: where the picture's top-left lies in the content,
// and the content's size.
struct AreaLayout {
    QPoint origin;
    QSize size;
    bool operator==(const AreaLayout&) const = default;
};

// The layout of a content that must reach `extent` (in box coordinates, holding the picture's top-left
// corner) in a viewport of `viewport`. What lies left of or above the picture is reached by scrolling
// back from where the picture's top-left is at the viewport's corner, and that place stays in the scroll
// range: the content then reaches at least a viewport beyond the origin. So the area can keep the
// picture still on the screen while a box goes past the picture's left or top edge, the scroll position
// following the origin. Sizes are bounded by the largest a widget can be.
AreaLayout LayOutArea(QRect extent, QSize viewport);

// The text overlays without widgets: rendering the memo's lines into the chosen box, the box styles,
// transparency, clearing, dragging, the rising caption, and burning the boxes into a frame.
class OverlayBoxes {
public:
    static constexpr int kBoxCount = 5;
    // Image3, Image5, Image14, Image15, Image16: the order boxes are burnt in, and RadioGroup2's items.
    static constexpr std::array<QPoint, kBoxCount> kDesignPositions = {
        QPoint(40, 88), QPoint(216, 88), QPoint(216, 144), QPoint(40, 144), QPoint(40, 192)};
    // PopupMenu4's sizes.
    static constexpr std::array<int, 11> kSizes = {10, 12, 14, 16, 18, 20, 24, 26, 32, 40, 76};
    static constexpr int kMargin = 23; // text lies this far in from the picture's left and top edges
    static constexpr int kRiseIntervalMs = 21; // Timer2

    static const QString kCaption;        // "提示"
    static const QString kNoTextMessage;  // "请键入文字": render with an empty memo, try before any rendering
    static const QString kNotRisingMessage; // "没有文字": stop while the caption is not rising
    static const QString kBadSpeedMessage;  // the speed is not a whole number

    // The memo's text initially.
    static const QString kInitialText;

    // The faces ComboBox1 lists: the platform's installed font families.
    static QStringList FaceList();
    // The memo's lines as the memo shows them: every line of every paragraph, wrapped as laid out. An
    // empty memo has no lines.
    static QStringList MemoLines(const QTextDocument& memo);
    // The speed typed into Edit4, or nothing when it is not a whole number.
    static std::optional<std::int32_t> ParseSpeed(const QString& text);

    OverlayBoxes();

    TextBox& Box(int index);
    const TextBox& Box(int index) const;
    TextBox& Chosen() { return Box(chosen); }

    int chosen = 0;     // RadioGroup2: the box that rendering, the rise and clearing act on
    int mode = 0;       // RadioGroup1: 0 static text, 1 rising caption
    int boxStyle = 0;   // the box style button that is down
    OverlayFont font;

    // Renders the lines into the chosen box: a white picture (memo width + 23) × (lines × size × 1.5 +
    // 46), each line at x 23, y 23 + i × 1.5 × size (truncated); in static mode the box style is added.
    // False (nothing changes) when there is no line.
    bool Render(const QStringList& lines, int memoWidth);
    // Draws the chosen box style around the chosen box and makes the box transparent.
    void AddBoxStyle();
    // Fills the chosen box's picture with grey (128, 128, 128); the box then draws nothing, framed or not,
    // until it is rendered again.
    void Clear();
    // The part of the picture area that must be reachable, in box coordinates (the picture's top-left is
    // 0, 0): the picture of `pictureSize`, every box that shows, wherever it stands, and the picture's
    // top-left corner.
    QRect Extent(QSize pictureSize) const;
    // Draws every box that shows onto `frame`, in the order Image3, Image5, Image14, Image15,
    // Image16, at its position less the frame's own position in the scrolling area.
    void Burn(QImage& frame, QPoint framePosition) const;

    // --- The rising caption.
    std::int32_t RenderedLineCount() const { return renderedLineCount_; }
    std::int32_t Rise() const { return rise_; }
    // Try: the caption may rise once something was rendered.
    bool CanRise() const { return renderedLineCount_ > 0; }
    // One tick: the rise grows by `speed`; the chosen box's top becomes the picture's height less the rise.
    void RiseStep(std::int32_t speed, int pictureHeight);
    // Stop: the chosen box's top goes to the picture's height (just below it) and the rise to 0.
    void StopRise(int pictureHeight);

    // --- Dragging: one flag serves all five boxes.
    void BeginDrag(QPoint pressWithinBox);
    // The mouse at `pointWithinBox` of `box`: the box moves so the pressed point stays under the mouse.
    void DragTo(int box, QPoint pointWithinBox);
    void EndDrag() { dragging_ = false; }
    bool Dragging() const { return dragging_; }

private:
    std::array<TextBox, kBoxCount> boxes_;
    std::int32_t renderedLineCount_ = 0;
    std::int32_t rise_ = 0;
    bool dragging_ = false;
    QPoint pressPoint_;
};

} // namespace quolva::editor

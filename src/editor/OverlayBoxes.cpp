#include "editor/OverlayBoxes.h"

#include "editor/BoxPieces.h"
#include "store/DecimalText.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>

namespace quolva::editor {
namespace {

// Pictures are drawn at the screen resolution the point sizes were chosen for.
constexpr int kDotsPerMeter96Dpi = 3780;

std::int32_t Saturated(std::int64_t value)
{
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                                               std::numeric_limits<std::int32_t>::max()));
}

// Boxes go no further than widgets can be placed, however long a caption rises.
constexpr std::int64_t kFarthest = 16'777'215;

int Placed(std::int64_t coordinate)
{
    return static_cast<int>(std::clamp(coordinate, -kFarthest, kFarthest));
}

// The largest size of a widget (QWIDGETSIZE_MAX).
constexpr std::int64_t kLargestWidget = 16'777'215;

// One axis of LayOutArea: the origin and the size of the content for an extent from `low` to `high`
// (exclusive; low <= 0 <= high) in a viewport of `view` pixels.
std::pair<int, int> LayOutAxis(std::int64_t low, std::int64_t high, std::int64_t view)
{
    const std::int64_t origin = std::clamp<std::int64_t>(-low, 0, kLargestWidget);
    const std::int64_t size = origin > 0 ? origin + std::max(view, high) : high;
    return {static_cast<int>(origin), static_cast<int>(std::clamp<std::int64_t>(size, 0, kLargestWidget))};
}

} // namespace

AreaLayout LayOutArea(QRect extent, QSize viewport)
{
    const std::int64_t left = std::min(0, extent.left());
    const std::int64_t top = std::min(0, extent.top());
    const std::int64_t right = std::max<std::int64_t>(0, std::int64_t{extent.left()} + extent.width());
    const std::int64_t bottom = std::max<std::int64_t>(0, std::int64_t{extent.top()} + extent.height());
    const auto [x, width] = LayOutAxis(left, right, std::max(0, viewport.width()));
    const auto [y, height] = LayOutAxis(top, bottom, std::max(0, viewport.height()));
    return {QPoint(x, y), QSize(width, height)};
}

const QString OverlayBoxes::kCaption = QStringLiteral("提示");
const QString OverlayBoxes::kNoTextMessage = QStringLiteral("请键入文字");
const QString OverlayBoxes::kNotRisingMessage = QStringLiteral("没有文字");
const QString OverlayBoxes::kBadSpeedMessage = QStringLiteral("上升倍速必须是整数");
const QString OverlayBoxes::kInitialText = QStringLiteral("在此输入文字");

QRgb TextBox::KeyColour() const
{
    return picture.isNull() ? kBoxBlack : picture.pixel(0, picture.height() - 1);
}

QImage TextBox::Shown() const
{
    if (picture.isNull())
        return {};
    QImage shown = picture.convertToFormat(QImage::Format_ARGB32);
    if (cleared) {
        shown.fill(Qt::transparent);
        return shown;
    }
    if (!transparent)
        return shown;
    const QRgb key = KeyColour() | 0xff000000u;
    for (int y = 0; y < shown.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(shown.scanLine(y));
        for (int x = 0; x < shown.width(); ++x)
            if ((row[x] | 0xff000000u) == key)
                row[x] = 0;
    }
    return shown;
}

QFont OverlayFont::ToFont() const
{
    QFont result;
    result.setFamilies({face, QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
                        QStringLiteral("Noto Sans CJK"), QStringLiteral("AR PL UMing CN")});
    result.setPointSize(std::max(1, size));
    result.setBold(bold);
    result.setItalic(italic);
    result.setUnderline(underline);
    return result;
}

QStringList OverlayBoxes::FaceList()
{
    return QFontDatabase::families();
}

QStringList OverlayBoxes::MemoLines(const QTextDocument& memo)
{
    QStringList lines;
    if (memo.isEmpty())
        return lines;
    for (QTextBlock block = memo.begin(); block.isValid(); block = block.next()) {
        const QString text = block.text();
        const QTextLayout* layout = block.layout();
        if (layout == nullptr || layout->lineCount() == 0) {
            lines << text;
            continue;
        }
        for (int i = 0; i < layout->lineCount(); ++i) {
            const QTextLine line = layout->lineAt(i);
            lines << text.mid(line.textStart(), line.textLength());
        }
    }
    return lines;
}

std::optional<std::int32_t> OverlayBoxes::ParseSpeed(const QString& text)
{
    const store::DecimalParse parse = store::TryParseDecimalInt32(text.toStdString());
    if (!parse.Ok())
        return std::nullopt;
    return parse.value;
}

OverlayBoxes::OverlayBoxes()
{
    for (int i = 0; i < kBoxCount; ++i)
        boxes_[static_cast<std::size_t>(i)].position = kDesignPositions[static_cast<std::size_t>(i)];
}

TextBox& OverlayBoxes::Box(int index)
{
    if (index < 0 || index >= kBoxCount)
        throw std::out_of_range("text box " + std::to_string(index) + " does not exist (0 to 4)");
    return boxes_[static_cast<std::size_t>(index)];
}

const TextBox& OverlayBoxes::Box(int index) const
{
    return const_cast<OverlayBoxes*>(this)->Box(index);
}

bool OverlayBoxes::Render(const QStringList& lines, int memoWidth)
{
    if (lines.isEmpty())
        return false;
    const int width = std::max(1, memoWidth + kMargin);
    const double spacing = 1.5 * font.size;
    const double height = static_cast<double>(lines.size()) * spacing + 2 * kMargin;
    if (height > 32767 || width > 32767)
        throw std::runtime_error("文字框太大（" + std::to_string(width) + "×" + std::to_string(static_cast<long long>(height)) +
                                 " 像素），请减少文字或缩小字号");

    QImage picture(width, static_cast<int>(height), QImage::Format_RGB32);
    if (picture.isNull())
        throw std::runtime_error("没有足够的内存画出文字框");
    picture.setDotsPerMeterX(kDotsPerMeter96Dpi);
    picture.setDotsPerMeterY(kDotsPerMeter96Dpi);
    picture.fill(Qt::white);
    {
        QPainter painter(&picture);
        const QFont drawing = font.ToFont();
        painter.setFont(drawing);
        painter.setPen(font.colour);
        // Each line is drawn on the white brush, its cell's top at the line's y.
        painter.setBackgroundMode(Qt::OpaqueMode);
        painter.setBackground(Qt::white);
        const int ascent = QFontMetrics(drawing, &picture).ascent();
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const int y = static_cast<int>(static_cast<double>(i) * spacing + kMargin);
            painter.drawText(QPoint(kMargin, y + ascent), lines[i]);
        }
    }
    renderedLineCount_ = static_cast<std::int32_t>(std::min<qsizetype>(lines.size(), std::numeric_limits<std::int32_t>::max()));

    Chosen().picture = picture;
    Chosen().cleared = false;
    if (mode == 0)
        AddBoxStyle();
    return true;
}

void OverlayBoxes::AddBoxStyle()
{
    TextBox& box = Chosen();
    if (!box.HasPicture())
        return;
    DrawBoxStyle(box.picture, boxStyle);
    box.transparent = true;
    box.cleared = false; // the style is drawn on it: it shows
}

void OverlayBoxes::Clear()
{
    TextBox& box = Chosen();
    if (!box.HasPicture())
        return;
    // The grey stays the box's picture (a transparent box's key colour is now grey); whether the box was
    // ever framed or not, it is drawn no more.
    box.picture.fill(QColor(128, 128, 128));
    box.cleared = true;
}

QRect OverlayBoxes::Extent(QSize pictureSize) const
{
    std::int64_t left = 0;
    std::int64_t top = 0;
    std::int64_t right = std::max(0, pictureSize.width());
    std::int64_t bottom = std::max(0, pictureSize.height());
    for (const TextBox& box : boxes_) {
        if (!box.Shows())
            continue;
        left = std::min<std::int64_t>(left, box.position.x());
        top = std::min<std::int64_t>(top, box.position.y());
        right = std::max<std::int64_t>(right, std::int64_t{box.position.x()} + box.picture.width());
        bottom = std::max<std::int64_t>(bottom, std::int64_t{box.position.y()} + box.picture.height());
    }
    return QRect(static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
                 static_cast<int>(bottom - top));
}

void OverlayBoxes::Burn(QImage& frame, QPoint framePosition) const
{
    if (frame.isNull())
        return;
    if (frame.format() != QImage::Format_RGB32)
        frame = frame.convertToFormat(QImage::Format_RGB32);
    for (const TextBox& box : boxes_) {
        if (!box.Shows())
            continue;
        const QImage source = box.picture.format() == QImage::Format_RGB32
                                  ? box.picture
                                  : box.picture.convertToFormat(QImage::Format_RGB32);
        const QPoint at = box.position - framePosition;
        const QRgb key = box.KeyColour() & 0xffffffu;
        const int top = std::max(0, at.y());
        const int bottom = std::min(frame.height(), at.y() + source.height());
        const int left = std::max(0, at.x());
        const int right = std::min(frame.width(), at.x() + source.width());
        for (int y = top; y < bottom; ++y) {
            const auto* from = reinterpret_cast<const QRgb*>(source.constScanLine(y - at.y()));
            auto* to = reinterpret_cast<QRgb*>(frame.scanLine(y));
            for (int x = left; x < right; ++x) {
                const QRgb pixel = from[x - at.x()];
                if (box.transparent && (pixel & 0xffffffu) == key)
                    continue;
                to[x] = pixel | 0xff000000u;
            }
        }
    }
}

void OverlayBoxes::RiseStep(std::int32_t speed, int pictureHeight)
{
    rise_ = Saturated(std::int64_t{rise_} + speed);
    Chosen().position.setY(Placed(std::int64_t{pictureHeight} - rise_));
}

void OverlayBoxes::StopRise(int pictureHeight)
{
    Chosen().position.setY(pictureHeight);
    rise_ = 0;
}

void OverlayBoxes::BeginDrag(QPoint pressWithinBox)
{
    dragging_ = true;
    pressPoint_ = pressWithinBox;
}

void OverlayBoxes::DragTo(int box, QPoint pointWithinBox)
{
    if (!dragging_)
        return;
    TextBox& moved = Box(box);
    moved.position = QPoint(Placed(std::int64_t{moved.position.x()} + pointWithinBox.x() - pressPoint_.x()),
                            Placed(std::int64_t{moved.position.y()} + pointWithinBox.y() - pressPoint_.y()));
}

} // namespace quolva::editor

// The text boxes without a window: the rendered picture's size and line places, the eight box styles
// against the piece tables, transparency, clearing, burning into a frame, the rise, dragging, and
// Chinese text in a real CJK face.
#include "editor/BoxPieces.h"
#include "editor/OverlayBoxes.h"

#include <QAbstractTextDocumentLayout>
#include <QFontDatabase>
#include <QFontInfo>
#include <QTextDocument>
#include <QtTest>

using namespace quolva::editor;

namespace {

// The tail piece as drawn by hand: '.' black, '1' '2' '3' the shades from outside in, 'W' white.
const char* const kTail[23] = {
    ".......................", ".2113..................", ".122133................", ".31222133..............",
    "..312122133............", "...3121122133..........", "....31211122133........", ".....312133322133......",
    "......31213W3322133....", ".......31213WW3322133..", "........31213WWW3322133", ".........3123WWWWW33222",
    "..........123WWWWWWW333", "..........123WWWWWWWWWW", "..........123WWWWWWWWWW", "..........123WWWWWWWWWW",
    "..........123WWWWWWWWWW", "..........123WWWWWWWWWW", "..........123WWWWWWWWWW", "..........123WWWWWWWWWW",
    "..........123WWWWWWWWWW", "..........123WWWWWWWWWW", "..........123WWWWWWWWWW",
};

QRgb Code(char c)
{
    switch (c) {
    case '1': return qRgb(160, 160, 192);
    case '2': return qRgb(160, 192, 192);
    case '3': return qRgb(128, 128, 192);
    case 'W': return qRgb(255, 255, 255);
    default: return qRgb(0, 0, 0);
    }
}

// The line at `depth` pixels in from an outer edge: black margin of 10, the three shades, white.
QRgb Line(int depth)
{
    return depth < 10 ? Code('.') : depth == 10 ? Code('1') : depth == 11 ? Code('2') : depth == 12 ? Code('3') : Code('W');
}

// The plain box, pixel by pixel, from the distances to the nearest edges.
QRgb PlainBox(int x, int y, int w, int h)
{
    const int dx = std::min(x, w - 1 - x);
    const int dy = std::min(y, h - 1 - y);
    if (dx < 10 || dy < 10)
        return Code('.');
    return Line(std::min(dx, dy));
}

// What a style adds: a function of the position within the added piece's rectangle.
struct Addition {
    QRect area;
    std::function<QRgb(int, int)> pixel; // local coordinates within `area`
};

std::optional<Addition> StyleAddition(int style, int w, int h)
{
    const auto tail = [](bool flipX, bool flipY) {
        return [=](int x, int y) { return Code(kTail[flipY ? 22 - y : y][flipX ? 22 - x : x]); };
    };
    switch (style) {
    case 1: return Addition{QRect(0, h - 23, 23, 23), tail(false, true)};
    case 2: return Addition{QRect(0, 0, 23, 23), tail(false, false)};
    case 3: return Addition{QRect(w - 23, 0, 23, 23), tail(true, false)};
    case 4: return Addition{QRect(w - 23, h - 23, 23, 23), tail(true, true)};
    case 5:
    case 6:
        return Addition{QRect(style == 5 ? w - 10 : 0, h / 2 - 11, 10, 23), [](int, int y) {
                            return y >= 10 && y <= 12 ? Line(y) : Code('.');
                        }};
    case 7:
        return Addition{QRect(w / 2 - 11, h - 10, 23, 10), [](int x, int) {
                            return x >= 10 && x <= 12 ? Line(x) : Code('.');
                        }};
    default: return std::nullopt;
    }
}

QImage White(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

bool Inked(const QImage& picture, int y, int left, int right)
{
    for (int x = left; x < right; ++x)
        if ((picture.pixel(x, y) & 0xffffff) != 0xffffff)
            return true;
    return false;
}

} // namespace

class OverlayBoxesTest : public QObject {
    Q_OBJECT

private slots:
    // The rendered picture's size and where each line's ink begins.
    void renderedPictureSizeAndLinePlaces()
    {
        const struct {
            int lines, size, memoWidth, width, height;
            QList<int> lineTops;
        } cases[] = {
            {3, 12, 200, 223, 100, {23, 41, 59}},
            {1, 76, 200, 223, 160, {23}},
            {2, 10, 57, 80, 76, {23, 38}}, // 2 × 15 + 46
            {3, 13, 120, 143, 104, {23, 42, 62}}, // 19.5 apart: 23, 42.5 and 62 truncated; 104.5 high
        };
        for (const auto& c : cases) {
            OverlayBoxes boxes;
            boxes.mode = 1; // no box style: only the text is inked
            boxes.font.size = c.size;
            QStringList lines;
            for (int i = 0; i < c.lines; ++i)
                lines << QStringLiteral("国王") + QString::number(i);
            QVERIFY(boxes.Render(lines, c.memoWidth));
            const QImage& picture = boxes.Chosen().picture;
            QCOMPARE(picture.size(), QSize(c.width, c.height));
            QCOMPARE(boxes.RenderedLineCount(), c.lines);
            const double spacing = 1.5 * c.size;
            for (int i = 0; i < c.lines; ++i) {
                const int top = c.lineTops[i];
                const int bottom = static_cast<int>(top + spacing);
                int firstInk = -1;
                for (int y = top; y < bottom && firstInk < 0; ++y)
                    if (Inked(picture, y, 0, picture.width()))
                        firstInk = y;
                QVERIFY2(firstInk >= top && firstInk < top + spacing / 2,
                         qPrintable(QStringLiteral("line %1 at size %2 inks first at %3").arg(i).arg(c.size).arg(firstInk)));
            }
            for (int y = 0; y < 23; ++y)
                QVERIFY2(!Inked(picture, y, 0, picture.width()), "ink above the first line");
            for (int y = 0; y < picture.height(); ++y)
                QVERIFY2(!Inked(picture, y, 0, 23), "ink left of x 23");
        }
        OverlayBoxes boxes;
        QVERIFY(!boxes.Render({}, 200));
        QVERIFY(!boxes.Chosen().HasPicture());
        QCOMPARE(boxes.RenderedLineCount(), 0);
    }

    // Each style against the pieces drawn by hand: the plain box everywhere, the style's tail or stub
    // over it, and the black outline around everything.
    void boxStylesMatchThePieceTables()
    {
        for (const QSize size : {QSize(223, 100), QSize(160, 75)}) {
            const int w = size.width();
            const int h = size.height();
            for (int style = 0; style < kBoxStyleCount; ++style) {
                QImage picture = White(w, h);
                DrawBoxStyle(picture, style);
                const auto addition = StyleAddition(style, w, h);
                int mismatches = 0;
                QString first;
                for (int y = 0; y < h; ++y) {
                    for (int x = 0; x < w; ++x) {
                        QRgb expected = PlainBox(x, y, w, h);
                        if (addition && addition->area.contains(x, y))
                            expected = addition->pixel(x - addition->area.left(), y - addition->area.top());
                        if (x == 0 || y == 0 || x == w - 1 || y == h - 1)
                            expected = Code('.');
                        if ((picture.pixel(x, y) & 0xffffff) != (expected & 0xffffff) && mismatches++ == 0)
                            first = QStringLiteral("style %1 %2×%3: pixel (%4, %5) is %6, expected %7")
                                        .arg(style).arg(w).arg(h).arg(x).arg(y)
                                        .arg(picture.pixel(x, y) & 0xffffff, 6, 16, QLatin1Char('0'))
                                        .arg(expected & 0xffffff, 6, 16, QLatin1Char('0'));
                    }
                }
                QVERIFY2(mismatches == 0, qPrintable(first + QStringLiteral(" (%1 pixels differ)").arg(mismatches)));
            }
        }
        // Style 7's stub is centred on the bottom edge: the line reaches the edge at the middle columns.
        QImage picture = White(223, 100);
        DrawBoxStyle(picture, 7);
        QCOMPARE(picture.pixel(110, 95) & 0xffffff, Code('1') & 0xffffff);
        QCOMPARE(picture.pixel(111, 95) & 0xffffff, Code('2') & 0xffffff);
        QCOMPARE(picture.pixel(112, 95) & 0xffffff, Code('3') & 0xffffff);
    }

    void piecesHaveTheirSizes()
    {
        QCOMPARE(BoxPieceImage(BoxPiece::Corner).size(), QSize(23, 23));
        QCOMPARE(BoxPieceImage(BoxPiece::Tail).size(), QSize(23, 23));
        QCOMPARE(BoxPieceImage(BoxPiece::EdgeAcross).size(), QSize(23, 23));
        QCOMPARE(BoxPieceImage(BoxPiece::EdgeDown).size(), QSize(23, 23));
        QCOMPARE(BoxPieceImage(BoxPiece::SideStub).size(), QSize(10, 23));
        QCOMPARE(BoxPieceImage(BoxPiece::BottomStub).size(), QSize(23, 10));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, [] {
            QImage picture = White(50, 50);
            DrawBoxStyle(picture, 8);
        }());
    }

    // Static text is framed and transparent by its black outline; a later rendering as a rising caption
    // keeps the transparency, now by white; a box never framed is drawn with its white background.
    void transparencyFollowsTheBottomLeftPixel()
    {
        OverlayBoxes boxes;
        boxes.font.colour = QColor(0, 0, 255);
        boxes.boxStyle = 1;
        QVERIFY(boxes.Render({QStringLiteral("标注")}, 100));
        TextBox& framed = boxes.Chosen();
        QVERIFY(framed.transparent);
        QCOMPARE(framed.KeyColour() & 0xffffff, 0u);

        QImage frame(400, 300, QImage::Format_RGB32);
        frame.fill(QColor(10, 100, 10));
        QImage burnt = frame;
        boxes.Burn(burnt, QPoint(0, 0));
        const QPoint at = framed.position;
        QCOMPARE(burnt.pixel(at + QPoint(2, 2)), frame.pixel(at + QPoint(2, 2)));  // black margin left out
        QCOMPARE(burnt.pixel(at + QPoint(15, 40)) & 0xffffff, 0xffffffu);         // white inside drawn
        QCOMPARE(burnt.pixel(at + QPoint(10, 40)) & 0xffffff, Code('1') & 0xffffff); // the line drawn
        QVERIFY(burnt.pixel(at + QPoint(0, 0)) == frame.pixel(at));                // outline left out

        const QImage shown = framed.Shown();
        QCOMPARE(qAlpha(shown.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(shown.pixel(15, 40)), 255);

        boxes.mode = 1;
        QVERIFY(boxes.Render({QStringLiteral("字幕")}, 100));
        QVERIFY(framed.transparent);
        QCOMPARE(framed.KeyColour() & 0xffffff, 0xffffffu);
        burnt = frame;
        boxes.Burn(burnt, QPoint(0, 0));
        int text = 0;
        int background = 0;
        for (int y = 0; y < framed.picture.height(); ++y)
            for (int x = 0; x < framed.picture.width(); ++x) {
                const QRgb pixel = burnt.pixel(at + QPoint(x, y)) & 0xffffff;
                text += pixel != (frame.pixel(0, 0) & 0xffffff);
                background += pixel == 0xffffff;
            }
        QVERIFY2(text > 20, "the caption's text is burnt in");
        QCOMPARE(background, 0);

        boxes.chosen = 2;
        QVERIFY(boxes.Render({QStringLiteral("字幕")}, 100));
        QVERIFY(!boxes.Chosen().transparent);
        burnt = frame;
        boxes.Burn(burnt, QPoint(0, 0));
        QCOMPARE(burnt.pixel(boxes.Chosen().position) & 0xffffff, 0xffffffu);
    }

    // Clearing greys the chosen box's picture, and a cleared box draws nothing, on the screen or burnt
    // into a frame, whether it was framed (transparent) or only ever rendered as a rising caption; the
    // other boxes are untouched, and a later rendering shows again as it would have.
    void clearedBoxesDrawNothing()
    {
        for (const bool framed : {true, false}) {
            OverlayBoxes boxes;
            boxes.mode = framed ? 0 : 1;
            QVERIFY(boxes.Render({QStringLiteral("框")}, 80));
            boxes.chosen = 1;
            QVERIFY(boxes.Render({QStringLiteral("框")}, 80));
            QCOMPARE(boxes.Box(0).transparent, framed);
            QImage frame(500, 400, QImage::Format_RGB32);
            frame.fill(QColor(30, 60, 90));

            boxes.chosen = 0;
            boxes.Clear();
            for (QRgb pixel : {boxes.Box(0).picture.pixel(0, 0), boxes.Box(0).picture.pixel(50, 40)})
                QCOMPARE(pixel & 0xffffff, 0x808080u);
            const QImage shown = boxes.Box(0).Shown();
            QCOMPARE(shown.size(), boxes.Box(0).picture.size());
            int drawn = 0;
            for (int y = 0; y < shown.height(); ++y)
                for (int x = 0; x < shown.width(); ++x)
                    drawn += qAlpha(shown.pixel(x, y)) != 0;
            QCOMPARE(drawn, 0);
            boxes.Box(1).position += QPoint(200, 0); // apart from box 0
            QImage burnt = frame;
            boxes.Burn(burnt, QPoint(0, 0));
            const QRect cleared(boxes.Box(0).position, boxes.Box(0).picture.size());
            QCOMPARE(burnt.copy(cleared), frame.copy(cleared));
            QVERIFY(burnt.pixel(boxes.Box(1).position + QPoint(20, 20)) != frame.pixel(0, 0)); // box 1 untouched

            boxes.mode = 1;
            QVERIFY(boxes.Render({QStringLiteral("框")}, 80));
            QCOMPARE(boxes.Box(0).transparent, framed);
            burnt = frame;
            boxes.Burn(burnt, QPoint(0, 0));
            QCOMPARE(burnt.pixel(boxes.Box(0).position + QPoint(3, 3)) & 0xffffff, framed ? 0x1e3c5au : 0xffffffu);
            QVERIFY(burnt.copy(cleared) != frame.copy(cleared));
        }
        OverlayBoxes empty;
        empty.Clear(); // a box without a picture stays without one
        QVERIFY(!empty.Chosen().HasPicture());
    }

    // Boxes are burnt in the order Image3, Image5, Image14, Image15, Image16, at their places less the
    // frame's own, and cut at the frame's edges.
    void burningOrderPlacesAndEdges()
    {
        OverlayBoxes boxes;
        boxes.mode = 1;
        for (int i = 0; i < OverlayBoxes::kBoxCount; ++i) {
            boxes.chosen = i;
            QVERIFY(boxes.Render({QStringLiteral("x")}, 40));
            boxes.Chosen().picture.fill(QColor(i * 40, 0, 0));
            boxes.Chosen().position = QPoint(20 + 5 * i, 30 + 5 * i);
        }
        boxes.Box(4).position = QPoint(-30, 380); // partly outside the frame
        QImage frame(300, 400, QImage::Format_RGB32);
        frame.fill(Qt::green);
        boxes.Burn(frame, QPoint(5, 10));
        QCOMPARE(frame.pixel(15, 20), qRgb(0, 0, 0));       // only box 0 there
        QCOMPARE(frame.pixel(40, 45), qRgb(120, 0, 0));     // boxes 0 to 3 overlap: the last drawn shows
        QCOMPARE(frame.pixel(14, 19), qRgb(0, 255, 0));
        QCOMPARE(frame.pixel(0, 399), qRgb(160, 0, 0));     // box 4, cut at the left and bottom edges
        QCOMPARE(frame.size(), QSize(300, 400));
    }

    // What the picture area must reach: the picture, the boxes that show wherever they stand (beyond
    // the picture's edges too), and the picture's top-left corner; boxes without a picture or cleared
    // count for nothing.
    void extentCoversThePictureAndTheBoxesThatShow()
    {
        struct Placed {
            int box;
            QPoint at;
            bool cleared;
        };
        const struct {
            const char* name;
            QSize picture;
            QList<Placed> boxes;
            QRect extent;
        } cases[] = {
            {"picture only", {400, 300}, {}, {0, 0, 400, 300}},
            {"nothing", {0, 0}, {}, {0, 0, 0, 0}},
            {"no picture, one box", {0, 0}, {{0, {40, 88}, false}}, {0, 0, 40 + 103, 88 + 64}},
            {"inside", {400, 300}, {{0, {40, 88}, false}}, {0, 0, 400, 300}},
            {"half off the right edge", {400, 300}, {{1, {350, 88}, false}}, {0, 0, 350 + 103, 300}},
            {"below the picture", {400, 300}, {{2, {40, 300}, false}}, {0, 0, 400, 364}},
            {"above and left", {400, 300}, {{0, {-60, -40}, false}, {3, {380, 290}, false}},
             {-60, -40, 380 + 103 + 60, 290 + 64 + 40}},
            {"cleared", {400, 300}, {{0, {-60, -40}, true}, {4, {500, 20}, false}}, {0, 0, 603, 300}},
        };
        for (const auto& c : cases) {
            OverlayBoxes boxes;
            boxes.mode = 1;
            for (const Placed& placed : c.boxes) {
                boxes.chosen = placed.box;
                QVERIFY(boxes.Render({QStringLiteral("框")}, 80)); // 103 × 64
                boxes.Chosen().position = placed.at;
                if (placed.cleared)
                    boxes.Clear();
            }
            QVERIFY2(boxes.Extent(c.picture) == c.extent,
                     qPrintable(QStringLiteral("%1: %2, %3 %4×%5").arg(QLatin1String(c.name))
                                    .arg(boxes.Extent(c.picture).x()).arg(boxes.Extent(c.picture).y())
                                    .arg(boxes.Extent(c.picture).width()).arg(boxes.Extent(c.picture).height())));
        }
    }

    // The area's content: the extent itself while nothing lies left of or above the picture; otherwise
    // the picture moves into the content by that much, and the content reaches at least a viewport
    // beyond it, so that the picture can stay at the viewport's corner. Never larger than a widget can be.
    void areaLayoutReachesEverythingAndKeepsThePictureReachable()
    {
        const struct {
            QRect extent;
            QSize viewport;
            AreaLayout layout;
        } cases[] = {
            {{0, 0, 400, 300}, {600, 500}, {{0, 0}, {400, 300}}},
            {{0, 0, 0, 0}, {600, 500}, {{0, 0}, {0, 0}}},
            {{0, 0, 900, 700}, {600, 500}, {{0, 0}, {900, 700}}},
            {{-60, -40, 460, 340}, {600, 500}, {{60, 40}, {660, 540}}},
            {{-60, 0, 1060, 300}, {600, 500}, {{60, 0}, {1060, 300}}},
            {{0, -2000, 400, 2300}, {600, 500}, {{0, 2000}, {400, 2500}}},
            {{-16'777'215, 0, 16'777'615, 300}, {600, 500}, {{16'777'215, 0}, {16'777'215, 300}}},
            {{0, 0, 400, 300}, {0, 0}, {{0, 0}, {400, 300}}},
        };
        for (const auto& c : cases) {
            const AreaLayout layout = LayOutArea(c.extent, c.viewport);
            QVERIFY2(layout == c.layout, qPrintable(QStringLiteral("extent %1, %2 %3×%4: origin %5, %6, size %7×%8")
                                                       .arg(c.extent.x()).arg(c.extent.y())
                                                       .arg(c.extent.width()).arg(c.extent.height())
                                                       .arg(layout.origin.x()).arg(layout.origin.y())
                                                       .arg(layout.size.width()).arg(layout.size.height())));
        }
    }

    void captionRisesAndStops()
    {
        OverlayBoxes boxes;
        QVERIFY(!boxes.CanRise());
        boxes.mode = 1;
        boxes.chosen = 3;
        QVERIFY(boxes.Render({QStringLiteral("上升")}, 100));
        QVERIFY(boxes.CanRise());
        const int left = boxes.Chosen().position.x();
        boxes.RiseStep(3, 480);
        QCOMPARE(boxes.Chosen().position, QPoint(left, 477));
        boxes.RiseStep(3, 480);
        boxes.RiseStep(4, 480);
        QCOMPARE(boxes.Rise(), 10);
        QCOMPARE(boxes.Chosen().position.y(), 470);
        boxes.StopRise(480);
        QCOMPARE(boxes.Chosen().position, QPoint(left, 480));
        QCOMPARE(boxes.Rise(), 0);
        boxes.RiseStep(2, 480); // the next try starts from the bottom edge again
        QCOMPARE(boxes.Chosen().position.y(), 478);
        for (int i = 0; i < 3; ++i)
            boxes.RiseStep(std::numeric_limits<std::int32_t>::max(), 480); // no overflow, however fast
        QCOMPARE(boxes.Rise(), std::numeric_limits<std::int32_t>::max());
        QVERIFY(boxes.Chosen().position.y() < -1000000);
        QCOMPARE(boxes.Box(0).position, OverlayBoxes::kDesignPositions[0]); // other boxes stay

        QCOMPARE(OverlayBoxes::ParseSpeed(QStringLiteral("1")), std::optional<std::int32_t>(1));
        QCOMPARE(OverlayBoxes::ParseSpeed(QStringLiteral(" 12 ")), std::optional<std::int32_t>(12));
        QCOMPARE(OverlayBoxes::ParseSpeed(QStringLiteral("-2")), std::optional<std::int32_t>(-2));
        for (const char* bad : {"", "abc", "1.5", "3x", "99999999999"})
            QVERIFY2(!OverlayBoxes::ParseSpeed(QString::fromLatin1(bad)), bad);
    }

    void draggingKeepsThePressedPointUnderTheMouse()
    {
        OverlayBoxes boxes;
        boxes.DragTo(2, QPoint(50, 50)); // no drag started: nothing moves
        QCOMPARE(boxes.Box(2).position, OverlayBoxes::kDesignPositions[2]);
        boxes.BeginDrag(QPoint(10, 10));
        boxes.DragTo(2, QPoint(15, 4));
        QCOMPARE(boxes.Box(2).position, OverlayBoxes::kDesignPositions[2] + QPoint(5, -6));
        boxes.DragTo(2, QPoint(10, 10));
        QCOMPARE(boxes.Box(2).position, OverlayBoxes::kDesignPositions[2] + QPoint(5, -6));
        boxes.EndDrag();
        boxes.DragTo(2, QPoint(100, 100));
        QCOMPARE(boxes.Box(2).position, OverlayBoxes::kDesignPositions[2] + QPoint(5, -6));
    }

    // "宋体" is not on Linux: the first face falls back to an installed CJK face, and Chinese glyphs are
    // drawn for real (different characters give different ink, which missing-glyph boxes would not).
    void chineseRendersInARealCjkFace()
    {
        OverlayBoxes boxes;
        QCOMPARE(boxes.font.face, QStringLiteral("宋体"));
        const QFontInfo resolved(boxes.font.ToFont());
        QVERIFY2(QFontDatabase::writingSystems(resolved.family()).contains(QFontDatabase::SimplifiedChinese),
                 qPrintable(resolved.family()));
        QVERIFY(!OverlayBoxes::FaceList().isEmpty());

        boxes.mode = 1;
        boxes.font.size = 24;
        QVERIFY(boxes.Render({QStringLiteral("中")}, 60));
        const QImage first = boxes.Chosen().picture;
        QVERIFY(boxes.Render({QStringLiteral("国")}, 60));
        const QImage second = boxes.Chosen().picture;
        QVERIFY(first != second);

        boxes.font.bold = true;
        QVERIFY(boxes.Render({QStringLiteral("国")}, 60));
        qint64 boldInk = 0, plainInk = 0;
        for (int y = 0; y < second.height(); ++y)
            for (int x = 0; x < second.width(); ++x) {
                plainInk += 255 - qGray(second.pixel(x, y));
                boldInk += 255 - qGray(boxes.Chosen().picture.pixel(x, y));
            }
        QVERIFY2(boldInk > plainInk, "bold draws more ink");
    }

    void memoLinesAreTheLinesAsLaidOut()
    {
        QTextDocument memo;
        QCOMPARE(OverlayBoxes::MemoLines(memo), QStringList());
        memo.setPlainText(QStringLiteral("第一行\n\n第三行"));
        QCOMPARE(OverlayBoxes::MemoLines(memo), (QStringList{QStringLiteral("第一行"), QString(), QStringLiteral("第三行")}));

        const QString longLine = QStringLiteral("一二三四五六七八九十一二三四五六七八九十");
        memo.setPlainText(longLine);
        memo.setTextWidth(60);
        (void)memo.documentLayout()->documentSize(); // lays the text out
        const QStringList wrapped = OverlayBoxes::MemoLines(memo);
        QVERIFY2(wrapped.size() > 2, qPrintable(wrapped.join(u'|')));
        QCOMPARE(wrapped.join(QString()), longLine);
    }
};

QTEST_MAIN(OverlayBoxesTest)
#include "test_overlay_boxes.moc"

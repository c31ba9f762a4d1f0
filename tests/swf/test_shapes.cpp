// Styles, style arrays, shape records, bounds, ownership of copied styles, and DefineShape3.

#include "SwfTestSupport.h"

#include <QTest>

#include <memory>

using namespace swftest;

namespace {

FlashMatrix twentyTimes()
{
    FlashMatrix matrix;
    matrix.SetScale(FlashFixed(20.0), FlashFixed(20.0));
    matrix.SetTranslate(0, 0);
    return matrix;
}

// The export's rectangle: one clipped bitmap fill, fill style 1 selected, a move to the origin and four
// edges. Everything the caller made is gone once the tag is built.
std::unique_ptr<FlashTagDefineShape3> rectangleShapeTag(std::uint16_t bitmapId, std::int16_t width, std::int16_t height)
{
    auto fill = std::make_unique<FlashFillStyleBitmap>(bitmapId, twentyTimes(), false);
    auto fills = std::make_unique<FlashFillStyleArray>();
    fills->AddStyle(fill.get());
    auto shape = std::make_unique<FlashShapeWithStyle>();
    shape->SetFillStyles(*fills);
    FlashShapeRecordChange selectFill;
    selectFill.SetFillStyle1(1);
    shape->AddRecord(selectFill);
    shape->AddRecord(FlashShapeRecordChange(0, 0));
    shape->AddRecord(FlashShapeRecordStraight(width, 0));
    shape->AddRecord(FlashShapeRecordStraight(0, height));
    shape->AddRecord(FlashShapeRecordStraight(static_cast<std::int16_t>(-width), 0));
    shape->AddRecord(FlashShapeRecordStraight(0, static_cast<std::int16_t>(-height)));
    auto tag = std::make_unique<FlashTagDefineShape3>(*shape);
    shape.reset();
    fills.reset();
    fill.reset();
    return tag;
}

QString recordBits(FlashShapeRecord& record, FlashShapeWriteState& state)
{
    BitBuffer bits;
    record.Write(bits, state);
    return bitString(bits);
}

QString recordBits(FlashShapeRecord&& record)
{
    FlashShapeWriteState state;
    return recordBits(record, state);
}

} // namespace

class TestShapes : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<FlashTagDefineBitsLossless2> m_firstBitmap;
    std::unique_ptr<FlashTagDefineShape3> m_firstShape;
    std::vector<unsigned char> m_pixels = testPicture(4, 4, 0);

private slots:
    void initTestCase()
    {
        // The first two characters of the run: bitmap 1 and the shape that fills a rectangle with it.
        m_firstBitmap = std::make_unique<FlashTagDefineBitsLossless2>(5, 4, 4, FlashZLibBitmapData(m_pixels.data(), 64));
        m_firstShape = rectangleShapeTag(m_firstBitmap->GetID(), 6400, 4800);
    }

    void workedDefineShape3()
    {
        QCOMPARE(m_firstBitmap->GetID(), std::uint16_t(1));
        QCOMPARE(m_firstShape->GetID(), std::uint16_t(2));
        QCOMPARE(m_firstShape->GetBounds(), FlashRect(-100, -100, 6500, 4900));
        const QByteArray expected = hex("27 08 02 00 77 F3 8C B2 7F 38 99 20 01 41 01 00 D9 40 00 05 00 00 01 00 00 10"
                                        "12 08 4F 06 40 3C 52 C0 F0 9C 03 C6 D4 00 00");
        QCOMPARE(expected.size(), 41);
        QCOMPARE(written(*m_firstShape), expected);
        // Writing again gives the same bytes: the tag does not depend on anything the caller freed.
        QCOMPARE(written(*m_firstShape), expected);
        QCOMPARE(m_firstShape->GetShape().GetVersion(), 3);
    }

    void fillStyles()
    {
        FlashFillStyleSolid solid(FlashRGB(10, 20, 30));
        QCOMPARE(written(solid), hex("00 0A 14 1E"));
        solid.SetVersion(3);
        QCOMPARE(written(solid), hex("00 0A 14 1E FF"));
        QCOMPARE(written(FlashFillStyleSolid()), hex("00 00 00 00"));

        FlashMatrix moved;
        moved.SetTranslate(100, -50);
        QCOMPARE(written(FlashFillStyleBitmap(0x0102, moved, true)), hex("40 02 01 10 C9 9C"));
        QCOMPARE(written(FlashFillStyleBitmap(7, FlashMatrix(), false)), hex("41 07 00 02 00"));
        QCOMPARE(FlashFillStyleBitmap(7, FlashMatrix(), true).GetType(), std::uint8_t(0x40));

        FlashGradientRecord gradient;
        gradient.AddGradient(0, FlashRGB(255, 0, 0));
        gradient.AddGradient(255, FlashRGB(0, 0, 255, 128));
        FlashFillStyleGradient linear(0x10, FlashMatrix(), gradient);
        QCOMPARE(written(linear), hex("10 02 00 02 00 FF 00 00 FF 00 00 FF"));
        linear.SetVersion(3);
        QCOMPARE(written(linear), hex("10 02 00 02 00 FF 00 00 FF FF 00 00 FF 80"));
        QCOMPARE(written(FlashFillStyleGradient()), hex("00 02 00 00"));

        QCOMPARE(written(FlashFillStyle()), QByteArray());
    }

    void lineStyles()
    {
        FlashLineStyle line(20, FlashRGB(1, 2, 3));
        QCOMPARE(written(line), hex("14 00 01 02 03"));
        line.SetVersion(3);
        QCOMPARE(written(line), hex("14 00 01 02 03 FF"));
        QCOMPARE(written(FlashLineStyle()), hex("00 00 00 00 00"));
    }

    void copiesKeepTheirType()
    {
        const FlashFillStyleBitmap bitmap(9, twentyTimes(), true);
        const std::unique_ptr<FlashFillStyle> copy = bitmap.Copy();
        QVERIFY(dynamic_cast<FlashFillStyleBitmap*>(copy.get()) != nullptr);
        QCOMPARE(written(*copy), written(bitmap));

        FlashFillStyleSolid solid(FlashRGB(1, 2, 3));
        solid.SetVersion(3);
        const std::unique_ptr<FlashFillStyle> solidCopy = solid.Copy();
        QVERIFY(dynamic_cast<FlashFillStyleSolid*>(solidCopy.get()) != nullptr);
        QCOMPARE(solidCopy->GetVersion(), 3);
        QCOMPARE(written(*solidCopy), hex("00 01 02 03 FF"));

        const FlashLineStyle line(40, FlashRGB(4, 5, 6));
        QCOMPARE(written(*line.Copy()), written(line));
    }

    void styleArrayCounts_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("version");
        QTest::addColumn<QByteArray>("countBytes");
        QTest::addColumn<int>("styleBytes");
        QTest::newRow("300 at version 3") << 300 << 3 << hex("FF 2C 01") << 5;
        QTest::newRow("300 at version 2") << 300 << 2 << hex("FF 2C 01") << 4;
        QTest::newRow("300 at version 1") << 300 << 1 << hex("2C") << 4;
        QTest::newRow("254 at version 3") << 254 << 3 << hex("FE") << 5;
        QTest::newRow("255 at version 2") << 255 << 2 << hex("FF FF 00") << 4;
        QTest::newRow("255 at version 1") << 255 << 1 << hex("FF") << 4;
        QTest::newRow("none") << 0 << 3 << hex("00") << 5;
    }

    void styleArrayCounts()
    {
        QFETCH(int, count);
        QFETCH(int, version);
        QFETCH(QByteArray, countBytes);
        QFETCH(int, styleBytes);

        std::vector<std::unique_ptr<FlashFillStyleSolid>> styles;
        FlashFillStyleArray fills;
        fills.SetVersion(version);
        for (int i = 0; i < count; ++i) {
            styles.push_back(std::make_unique<FlashFillStyleSolid>(FlashRGB(static_cast<std::int16_t>(i % 200), 0, 0)));
            QCOMPARE(fills.AddStyle(styles.back().get()), i + 1);
        }
        const QByteArray bytes = written(fills);
        QCOMPARE(bytes.left(countBytes.size()), countBytes);
        QCOMPARE(bytes.size(), countBytes.size() + count * styleBytes);
        if (count > 0)
            QCOMPARE(bytes.mid(countBytes.size() + styleBytes, 2), hex("00 01"));
        // Writing hands the array's version down to its styles.
        for (const auto& style : styles)
            QCOMPARE(style->GetVersion(), version);

        std::vector<std::unique_ptr<FlashLineStyle>> lineStyles;
        FlashLineStyleArray lines;
        lines.SetVersion(version);
        for (int i = 0; i < count; ++i) {
            lineStyles.push_back(std::make_unique<FlashLineStyle>(20, FlashRGB(0, 0, 0)));
            lines.AddStyle(lineStyles.back().get());
        }
        const QByteArray lineBytes = written(lines);
        QCOMPARE(lineBytes.left(countBytes.size()), countBytes);
        QCOMPARE(lineBytes.size(), countBytes.size() + count * (styleBytes + 1));
    }

    void aStyleArrayRefusesAMissingStyle()
    {
        FlashFillStyleArray fills;
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, fills.AddStyle(nullptr));
        FlashLineStyleArray lines;
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, lines.AddStyle(nullptr));
        QCOMPARE(fills.GetCount(), std::size_t(0));
    }

    void styleArrayCopiesOwnFreshStyles()
    {
        auto red = std::make_unique<FlashFillStyleSolid>(FlashRGB(255, 0, 0));
        auto bitmap = std::make_unique<FlashFillStyleBitmap>(3, FlashMatrix(), true);
        auto fills = std::make_unique<FlashFillStyleArray>();
        fills->SetVersion(3);
        fills->AddStyle(red.get());
        fills->AddStyle(bitmap.get());
        const QByteArray original = written(*fills);

        FlashFillStyleArray copy(*fills);
        QCOMPARE(copy.GetCount(), std::size_t(2));
        QVERIFY(copy.GetStyles()[0] != red.get());
        QVERIFY(copy.GetStyles()[1] != bitmap.get());
        QCOMPARE(copy.GetVersion(), 3);

        FlashFillStyleArray assigned;
        assigned = copy;
        assigned = assigned;
        QVERIFY(assigned.GetStyles()[0] != copy.GetStyles()[0]);

        // The copies live on after the caller's styles and array are gone.
        fills.reset();
        red.reset();
        bitmap.reset();
        QCOMPARE(written(copy), original);
        QCOMPARE(written(assigned), original);

        FlashFillStyleArray moved(std::move(assigned));
        QCOMPARE(written(moved), original);
    }

    void changeRecords()
    {
        FlashShapeWriteState oneFill{1, 0};
        FlashShapeRecordChange selectFill;
        selectFill.SetFillStyle1(1);
        QCOMPARE(recordBits(selectFill, oneFill), QStringLiteral("0001001"));

        QCOMPARE(recordBits(FlashShapeRecordChange(0, 0)), QStringLiteral("000001" "00001" "0" "0"));
        QCOMPARE(recordBits(FlashShapeRecordChange(-100, 300)),
                 QStringLiteral("000001" "01010" "1110011100" "0100101100"));

        // Indexes take the widths of the running state: fill 0, fill 1, then line.
        FlashShapeWriteState widths{3, 2};
        FlashShapeRecordChange all(1, -1);
        all.SetFillStyle0(5);
        all.SetFillStyle1(2);
        all.SetLineStyle(3);
        QCOMPARE(recordBits(all, widths), QStringLiteral("001111" "00010" "01" "11" "101" "010" "11"));
    }

    void changeRecordWithNewStyles()
    {
        auto solid = std::make_unique<FlashFillStyleSolid>(FlashRGB(1, 2, 3));
        auto line = std::make_unique<FlashLineStyle>(20, FlashRGB(4, 5, 6));
        FlashFillStyleArray fills;
        fills.AddStyle(solid.get());
        fills.AddStyle(solid.get());
        fills.AddStyle(solid.get());
        FlashLineStyleArray lines;
        lines.AddStyle(line.get());

        FlashShapeRecordChange change;
        change.SetFillStyle1(3);
        change.SetNewStyles(fills, lines);
        // The record keeps its own copies.
        solid.reset();
        line.reset();

        FlashShapeRecordChange copied(change);
        QVERIFY(copied.GetNewFillStyles().GetStyles()[0] != change.GetNewFillStyles().GetStyles()[0]);

        FlashShapeWriteState state{2, 0};
        copied.SetVersion(3);
        BitBuffer bits;
        bits.WriteBits(0b11, 2); // something already in the buffer: the styles start on a byte boundary
        copied.Write(bits, state);
        // Flags, the fill 1 index in the old width, padding, then the arrays and the new widths byte.
        const QString styles = bitString(hex("03 00 01 02 03 FF 00 01 02 03 FF 00 01 02 03 FF  01 14 00 04 05 06 FF  21"));
        QCOMPARE(bitString(bits), QStringLiteral("11" "010100" "11" "000000") + styles);
        QCOMPARE(state.fillIndexWidth, 2);
        QCOMPARE(state.lineIndexWidth, 1);
        QCOMPARE(copied.GetNewFillStyles().GetVersion(), 3);
        QCOMPARE(copied.GetNewFillStyles().GetStyles()[0]->GetVersion(), 3);
    }

    void edges()
    {
        QCOMPARE(recordBits(FlashShapeRecordStraight(6400, 0)), QStringLiteral("11" "1100" "00" "01100100000000"));
        QCOMPARE(recordBits(FlashShapeRecordStraight(0, -4800)), QStringLiteral("11" "1100" "01" "10110101000000"));
        // Width 2 is raised to the smallest field of 3 bits.
        QCOMPARE(recordBits(FlashShapeRecordStraight(1, 1)), QStringLiteral("11" "0001" "1" "001" "001"));
        QCOMPARE(recordBits(FlashShapeRecordStraight(0, 0)), QStringLiteral("11" "0001" "01" "000"));
        QCOMPARE(recordBits(FlashShapeRecordStraight(-32768, 32767)),
                 QStringLiteral("11" "1111" "1" "11000000000000000" "00111111111111111"));
        // Control point first, then the anchor.
        QCOMPARE(recordBits(FlashShapeRecordCurved(10, -3, 4, 5)),
                 QStringLiteral("10" "0011" "00100" "00101" "01010" "11101"));
        QCOMPARE(recordBits(FlashShapeRecordEnd()), QStringLiteral("000000"));
    }

    void shapeFollowsTheDrawingOrder()
    {
        auto fill = std::make_unique<FlashFillStyleSolid>(FlashRGB(9, 9, 9));
        FlashFillStyleArray fills;
        fills.AddStyle(fill.get());
        FlashShapeWithStyle shape;
        shape.SetFillStyles(fills);
        // The shape refers to the caller's style until it is copied.
        QCOMPARE(shape.GetFillStyles().GetStyles()[0], fill.get());

        shape.AddRecord(FlashShapeRecordStraight(1, 1));
        shape.AddRecord(FlashShapeRecordChange(0, 0));
        shape.AddRecord(FlashShapeRecordCurved(10, -3, 4, 5));
        shape.AddRecord(FlashShapeRecordStraight(0, 0));
        QCOMPARE(shape.GetOrder(), (std::vector<flash_pair<int, int>>{{1, 0}, {0, 0}, {2, 0}, {1, 1}}));

        shape.SetVersion(3);
        const QByteArray bytes = written(shape);
        // Fill array at version 3, empty line array, then the index widths 1 and 0 and the records.
        QCOMPARE(bytes.left(7), hex("01 00 09 09 09 FF 00"));
        QCOMPARE(bitString(bytes.mid(7)),
                 paddedBits("0001 0000" "11 0001 1 001 001" "000001 00001 0 0" "10 0011 00100 00101 01010 11101"
                            "11 0001 01 000" "000000"));
        QCOMPARE(fill->GetVersion(), 3);
        QCOMPARE(shape.GetChangeRecords()[0].GetVersion(), 3);
        QCOMPARE(shape.GetStraightRecords()[1].GetVersion(), 3);
    }

    void shapeStartsWithTheIndexWidths()
    {
        auto fill = std::make_unique<FlashFillStyleSolid>();
        FlashFillStyleArray fills;
        fills.AddStyle(fill.get());
        FlashShapeWithStyle shape;
        shape.SetFillStyles(fills);
        const QByteArray bytes = written(shape);
        QCOMPARE(bytes, hex("01 00 00 00 00 00  10 00"));

        std::vector<std::unique_ptr<FlashLineStyle>> lineStyles;
        FlashLineStyleArray lines;
        for (int i = 0; i < 3; ++i) {
            lineStyles.push_back(std::make_unique<FlashLineStyle>());
            lines.AddStyle(lineStyles.back().get());
        }
        shape.SetLineStyles(lines);
        QCOMPARE(written(shape).mid(5 + 1 + 3 * 5), hex("12 00"));
    }

    void bounds()
    {
        FlashShape empty;
        QCOMPARE(empty.GetBounds(), FlashRect(-100, -100, 100, 100));

        // A change without a move collects nothing; the start (0, 0) is not a point of its own.
        FlashShape moveOnly;
        FlashShapeRecordChange selectFill;
        selectFill.SetFillStyle1(1);
        moveOnly.AddRecord(selectFill);
        QCOMPARE(moveOnly.GetBounds(), FlashRect(-100, -100, 100, 100));
        moveOnly.AddRecord(FlashShapeRecordChange(1000, 2000));
        QCOMPARE(moveOnly.GetBounds(), FlashRect(900, 1900, 1100, 2100));

        // Edges are relative to the pen; a curve contributes its control point and its anchor.
        FlashShape curve;
        curve.AddRecord(FlashShapeRecordChange(0, 0));
        curve.AddRecord(FlashShapeRecordCurved(100, -300, 100, 200));
        curve.AddRecord(FlashShapeRecordStraight(-500, 0));
        QCOMPARE(curve.GetBounds(), FlashRect(-400, -200, 300, 300));

        // Points beyond one 16-bit edge (a rectangle drawn with two edges per side) keep their place.
        FlashShape far;
        far.AddRecord(FlashShapeRecordChange(40000, 0));
        QCOMPARE(far.GetBounds(), FlashRect(39900, -100, 40100, 100));
        FlashShape wide;
        wide.AddRecord(FlashShapeRecordChange(0, 0));
        wide.AddRecord(FlashShapeRecordStraight(19190, 0));
        wide.AddRecord(FlashShapeRecordStraight(19190, 0));
        wide.AddRecord(FlashShapeRecordStraight(0, -21580));
        QCOMPARE(wide.GetBounds(), FlashRect(-100, -21680, 38480, 100));
    }

    void shapeTagOwnsItsCopy()
    {
        const std::unique_ptr<FlashTagDefineShape3> tag = rectangleShapeTag(m_firstBitmap->GetID(), 20, 40);
        QVERIFY(tag->GetID() > m_firstShape->GetID());
        const QByteArray bytes = written(*tag);
        QCOMPARE(parseTags(bytes).size(), 1);
        QCOMPARE(parseTags(bytes)[0].code, 32);
        QCOMPARE(tag->GetShape().GetFillStyles().GetCount(), std::size_t(1));
        QCOMPARE(tag->GetShape().GetFillStyles().GetStyles()[0]->GetVersion(), 3);
    }

    void shapesCopyAndAssign()
    {
        auto fill = std::make_unique<FlashFillStyleSolid>(FlashRGB(1, 1, 1));
        auto line = std::make_unique<FlashLineStyle>(20, FlashRGB(2, 2, 2));
        FlashFillStyleArray fills;
        fills.AddStyle(fill.get());
        FlashLineStyleArray lines;
        lines.AddStyle(line.get());
        FlashShapeWithStyle shape;
        shape.SetFillStyles(fills);
        shape.SetLineStyles(lines);
        FlashShapeRecordChange change(5, 5);
        change.SetNewStyles(fills, lines);
        shape.AddRecord(change);
        shape.AddRecord(FlashShapeRecordStraight(100, 0));
        const QByteArray original = written(shape);

        FlashShapeWithStyle copy(shape);
        FlashShapeWithStyle assigned;
        assigned = shape;
        fill.reset();
        line.reset();
        QCOMPARE(written(copy), original);
        QCOMPARE(written(assigned), original);
    }
};

QTEST_GUILESS_MAIN(TestShapes)
#include "test_shapes.moc"

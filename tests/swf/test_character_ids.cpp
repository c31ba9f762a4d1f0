// The process-wide character id counter. Nothing in this program takes an id before the first test.

#include "SwfTestSupport.h"

#include <QTest>

using namespace swftest;

namespace {

// The character ids written into a movie's DefineBitsLossless2, DefineShape3 and PlaceObject2 tags.
struct IdsInFile {
    std::vector<std::uint16_t> bitmaps;
    std::vector<std::uint16_t> shapes;
    std::vector<std::uint16_t> placed;
};

IdsInFile idsInFile(const QByteArray& file)
{
    IdsInFile ids;
    for (const ParsedTag& tag : parseTags(movieBody(file))) {
        if (tag.code == 36)
            ids.bitmaps.push_back(static_cast<std::uint16_t>(readU16(tag.body, 0)));
        else if (tag.code == 32)
            ids.shapes.push_back(static_cast<std::uint16_t>(readU16(tag.body, 0)));
        else if (tag.code == 26)
            ids.placed.push_back(static_cast<std::uint16_t>(readU16(tag.body, 3)));
    }
    return ids;
}

} // namespace

class TestCharacterIds : public QObject {
    Q_OBJECT

private slots:
    void firstIdIsOne()
    {
        const unsigned char pixel[4] = {255, 1, 2, 3};
        FlashTagDefineBitsLossless2 bitmap(5, 1, 1, FlashZLibBitmapData(pixel, 4));
        QCOMPARE(bitmap.GetID(), std::uint16_t(1));
        // A shape tag that is never written still uses up its id.
        FlashTagDefineShape3 unused{FlashShapeWithStyle()};
        QCOMPARE(unused.GetID(), std::uint16_t(2));
    }

    void secondMovieContinuesTheNumbering()
    {
        const std::vector<unsigned char> tone = testTone(4 * samplesPerBlock);

        const WrittenMovie first = writeTestMovie(8, 6, 3, tone);
        QCOMPARE(first.bitmapIds, (std::vector<std::uint16_t>{3, 5, 7}));
        QCOMPARE(first.shapeIds, (std::vector<std::uint16_t>{4, 6, 8}));
        const IdsInFile firstInFile = idsInFile(first.file);
        QCOMPARE(firstInFile.bitmaps, first.bitmapIds);
        QCOMPARE(firstInFile.shapes, first.shapeIds);
        QCOMPARE(firstInFile.placed, first.shapeIds);

        const WrittenMovie second = writeTestMovie(8, 6, 2, tone);
        QCOMPARE(second.bitmapIds, (std::vector<std::uint16_t>{9, 11}));
        QCOMPARE(second.shapeIds, (std::vector<std::uint16_t>{10, 12}));
        const IdsInFile secondInFile = idsInFile(second.file);
        QCOMPARE(secondInFile.bitmaps, second.bitmapIds);
        QCOMPARE(secondInFile.placed, second.shapeIds);

        // Each shape fills itself with the bitmap defined just before it: the fill names that bitmap.
        for (const ParsedTag& tag : parseTags(movieBody(second.file)))
            if (tag.code == 32) {
                const quint16 shapeId = static_cast<quint16>(readU16(tag.body, 0));
                const int rectBytes = (5 + 4 * (static_cast<quint8>(tag.body[2]) >> 3) + 7) / 8;
                QCOMPARE(tag.body.mid(2 + rectBytes, 2), hex("01 41"));
                QCOMPARE(readU16(tag.body, 2 + rectBytes + 2), quint32(shapeId - 1));
            }
    }

    // Runs last: it uses up the counter.
    void remainingIdsCountDownToNothing()
    {
        // 12 ids were handed out above.
        QCOMPARE(FlashIDEnabled::RemainingIDs(), 65535u - 12u);
        std::uint16_t last = 0;
        while (FlashIDEnabled::RemainingIDs() > 1)
            last = FlashIDEnabled().GetID();
        QCOMPARE(last, std::uint16_t(65534));
        QCOMPARE(FlashIDEnabled().GetID(), std::uint16_t(65535));
        QCOMPARE(FlashIDEnabled::RemainingIDs(), 0u);
        // The 16-bit counter wraps, but the count of what is left does not come back.
        QCOMPARE(FlashIDEnabled().GetID(), std::uint16_t(0));
        QCOMPARE(FlashIDEnabled().GetID(), std::uint16_t(1));
        QCOMPARE(FlashIDEnabled::RemainingIDs(), 0u);
    }
};

QTEST_GUILESS_MAIN(TestCharacterIds)
#include "test_character_ids.moc"

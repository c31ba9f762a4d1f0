// The tags: fixed layouts, header forms, PlaceObject2 options and the compressed bitmaps.

#include "SwfTestSupport.h"

#include <QTest>

#include <zlib.h>

#include <memory>
#include <random>

using namespace swftest;

namespace {

QByteArray inflate(const QByteArray& zlibStream, qsizetype expectedSize)
{
    QByteArray out(expectedSize + 16, '\0');
    auto outLength = static_cast<uLongf>(out.size());
    const int result = uncompress(reinterpret_cast<Bytef*>(out.data()), &outLength,
                                  reinterpret_cast<const Bytef*>(zlibStream.constData()),
                                  static_cast<uLong>(zlibStream.size()));
    if (result != Z_OK)
        return QByteArray("inflate failed");
    out.resize(static_cast<qsizetype>(outLength));
    return out;
}

QByteArray adler32Of(const QByteArray& bytes)
{
    const uLong sum = adler32(adler32(0, nullptr, 0), reinterpret_cast<const Bytef*>(bytes.constData()),
                              static_cast<uInt>(bytes.size()));
    // The zlib trailer is big-endian.
    return hex(QByteArray::number(static_cast<qulonglong>(sum), 16).rightJustified(8, '0').constData());
}

QByteArray id16(std::uint16_t id)
{
    return QByteArray(1, static_cast<char>(id & 0xFF)) + QByteArray(1, static_cast<char>(id >> 8));
}

} // namespace

class TestTags : public QObject {
    Q_OBJECT

private slots:
    void fixedLayouts()
    {
        QCOMPARE(written(FlashTagEnd()), hex("00 00"));
        QCOMPARE(written(FlashTagShowFrame()), hex("40 00"));
        QCOMPARE(written(FlashTagBackgroundColor(255, 255, 255)), hex("43 02 FF FF FF"));
        QCOMPARE(written(FlashTagBackgroundColor(1, 2, 3)), hex("43 02 01 02 03"));
        QCOMPARE(written(FlashTagRemoveObject2(1)), hex("02 07 01 00"));
        QCOMPARE(written(FlashTagRemoveObject2(300)), hex("02 07 2C 01"));
    }

    void soundStreamHeads()
    {
        QCOMPARE(written(FlashTagSoundStreamHead2(3, 1, 0, 0, 3, 1, 0, 1470)), hex("44 0B 0E 0E BE 05"));
        // 11025 Hz 16-bit mono, 1378 samples a block; 44100 Hz 8-bit stereo, 5512 samples.
        QCOMPARE(written(FlashTagSoundStreamHead2(1, 1, 0, 0, 1, 1, 0, 1378)), hex("44 0B 06 06 62 05"));
        QCOMPARE(written(FlashTagSoundStreamHead2(3, 0, 1, 0, 3, 0, 1, 5512)), hex("44 0B 0D 0D 88 15"));
        QCOMPARE(written(FlashTagSoundStreamHead2(0, 0, 0, 3, 0, 0, 0, 0)), hex("44 0B 00 30 00 00"));
        // A code too large for its field does not spill into the neighbouring field.
        QCOMPARE(written(FlashTagSoundStreamHead2(5, 2, 0, 0, 4, 0, 3, 0)), hex("44 0B 04 01 00 00"));
    }

    void soundStreamBlocks()
    {
        QCOMPARE(written(FlashTagSoundStreamBlock(nullptr, 0)), hex("C0 04"));
        // A missing buffer makes an empty block rather than a header that promises bytes.
        QCOMPARE(written(FlashTagSoundStreamBlock(nullptr, 500)), hex("C0 04"));

        std::vector<unsigned char> samples(63);
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = static_cast<unsigned char>(i * 37);
        const QByteArray data(reinterpret_cast<const char*>(samples.data()), 63);

        QCOMPARE(written(FlashTagSoundStreamBlock(samples.data(), 62)), hex("FE 04") + data.left(62));
        QCOMPARE(written(FlashTagSoundStreamBlock(samples.data(), 63)), hex("FF 04 3F 00 00 00") + data);
    }

    void frameAndSpriteKinds()
    {
        std::vector<unsigned char> pixels(4, 255);
        FlashShapeWithStyle shape;
        std::vector<std::unique_ptr<FlashTag>> sprite;
        sprite.push_back(std::make_unique<FlashTagEnd>());
        sprite.push_back(std::make_unique<FlashTagShowFrame>());
        sprite.push_back(std::make_unique<FlashTagPlaceObject2>(1, 1));
        sprite.push_back(std::make_unique<FlashTagRemoveObject2>(1));
        sprite.push_back(std::make_unique<FlashTagSoundStreamHead2>(1, 1, 0, 0, 1, 1, 0, 1378));
        sprite.push_back(std::make_unique<FlashTagSoundStreamBlock>(nullptr, 0));
        std::vector<std::unique_ptr<FlashTag>> definitions;
        definitions.push_back(std::make_unique<FlashTagBackgroundColor>(0, 0, 0));
        definitions.push_back(
            std::make_unique<FlashTagDefineBitsLossless2>(5, 1, 1, FlashZLibBitmapData(pixels.data(), 4)));
        definitions.push_back(std::make_unique<FlashTagDefineShape3>(shape));

        for (const auto& tag : sprite) {
            QVERIFY(tag->IsSpriteEnabled());
            QCOMPARE(tag->IsFrame(), dynamic_cast<FlashTagShowFrame*>(tag.get()) != nullptr);
        }
        for (const auto& tag : definitions) {
            QVERIFY(!tag->IsSpriteEnabled());
            QVERIFY(!tag->IsFrame());
        }
    }

    void writingThroughTheBaseSlot()
    {
        FlashTagPlaceObject2 place(1, 2);
        FlashTag& asTag = place;
        std::ostringstream out;
        asTag.Write(out) << FlashTagShowFrame();
        QCOMPARE(bytesOf(out.str()), hex("85 06 02 01 00 02 00 40 00"));
    }

    void placeObjectAsConstructed()
    {
        QCOMPARE(written(FlashTagPlaceObject2(1, 2)), hex("85 06 02 01 00 02 00"));
        QCOMPARE(written(FlashTagPlaceObject2(300, 0x1234)), hex("85 06 02 2C 01 34 12"));
    }

    void placeObjectWithEveryOption()
    {
        FlashTagPlaceObject2 place(300, 7);
        place.SetMove(true);
        place.SetMatrix(FlashMatrix());
        place.SetColorTransform(FlashColorTransform());
        place.SetRatio(5);
        place.SetName("ab");
        place.SetClipDepth(9);
        // Flags 0x7F; depth, id, matrix 02 00, colour transform with alpha 24, ratio, name, clip depth.
        QCOMPARE(written(place), hex("8F 06 7F 2C 01 07 00 02 00 24 05 00 61 62 00 09 00"));
        QCOMPARE(place.GetColorTransform().GetVersion(), 2);

        // Move and matrix flags join the character flag.
        FlashTagPlaceObject2 moveOnly(4, 9);
        moveOnly.SetMove(true);
        moveOnly.SetMatrix([] {
            FlashMatrix m;
            m.SetTranslate(100, -50);
            return m;
        }());
        QCOMPARE(written(moveOnly), hex("88 06 07 04 00 09 00 10 C9 9C"));

        // A name ends at its first zero byte, so the fields after it stay where a reader looks for them.
        FlashTagPlaceObject2 named(1, 1);
        named.SetName(std::string("a\0b", 3));
        QCOMPARE(written(named), hex("87 06 22 01 00 01 00 61 00"));
    }

    void losslessBitmapOfTwoPixels()
    {
        const unsigned char pixels[8] = {0xFF, 0x10, 0x20, 0x30, 0xFF, 0x40, 0x50, 0x60};
        FlashTagDefineBitsLossless2 bitmap(5, 2, 1, FlashZLibBitmapData(pixels, 8));
        const QByteArray bytes = written(bitmap);

        const QList<ParsedTag> tags = parseTags(bytes);
        QCOMPARE(tags.size(), 1);
        QCOMPARE(tags[0].code, 36);
        QVERIFY(!tags[0].longHeader);
        const QByteArray body = tags[0].body;
        QCOMPARE(body.left(7), id16(bitmap.GetID()) + hex("05 02 00 01 00"));
        const QByteArray image = body.mid(7);
        QCOMPARE(image.left(2), hex("78 DA"));
        const QByteArray raw(reinterpret_cast<const char*>(pixels), 8);
        QCOMPARE(inflate(image, 8), raw);
        QCOMPARE(image.right(4), adler32Of(raw));
        QVERIFY(bitmap.GetData().GetAlpha());
        // The pixels stay the caller's: the tag points at them.
        QCOMPARE(bitmap.GetData().GetData(), pixels);
    }

    void colourMappedBitmap()
    {
        // 2 x 2 indexes, rows padded to 4 bytes.
        const unsigned char indexes[8] = {0, 1, 0, 0, 1, 0, 0, 0};
        FlashZLibBitmapData data(indexes, 8);
        data.AddColor(FlashRGB(255, 0, 0));
        data.AddColor(FlashRGB(0, 0, 255, 128));
        FlashTagDefineBitsLossless2 bitmap(3, 2, 2, data);
        const QList<ParsedTag> tags = parseTags(written(bitmap));
        QCOMPARE(tags.size(), 1);
        const QByteArray body = tags[0].body;
        QCOMPARE(body.left(8), id16(bitmap.GetID()) + hex("03 02 00 02 00 01"));
        QCOMPARE(inflate(body.mid(8), 16), hex("FF 0000 FF  00 00 FF 80") + QByteArray(reinterpret_cast<const char*>(indexes), 8));
        // The caller's data object keeps its own alpha flag.
        QVERIFY(!data.GetAlpha());
    }

    void bitmapDataWithoutAlphaWritesRgbTable()
    {
        const unsigned char index = 0;
        FlashZLibBitmapData data(&index, 1);
        data.AddColor(FlashRGB(1, 2, 3, 4));
        QCOMPARE(inflate(written(data), 4), hex("01 02 03 00"));
        // No pixels and no table still make a valid zlib stream.
        QCOMPARE(inflate(written(FlashZLibBitmapData(nullptr, 99)), 0), QByteArray());
    }

    void largeBitmapTakesTheLongHeader()
    {
        std::mt19937 random(7);
        std::vector<unsigned char> pixels(64 * 64 * 4);
        for (auto& byte : pixels)
            byte = static_cast<unsigned char>(random());
        const FlashZLibBitmapData data(pixels.data(), static_cast<std::uint32_t>(pixels.size()));
        FlashTagDefineBitsLossless2 bitmap(5, 64, 64, data);
        const QByteArray bytes = written(bitmap);
        QCOMPARE(bytes.left(2), hex("3F 09"));
        QCOMPARE(readU32(bytes, 2), quint32(bytes.size() - 6));
        // Incompressible pixels still fit the output buffer.
        const QByteArray raw(reinterpret_cast<const char*>(pixels.data()), static_cast<qsizetype>(pixels.size()));
        QCOMPARE(inflate(bytes.mid(6 + 7), raw.size()), raw);
    }

    void charactersTakeIncreasingIds()
    {
        const unsigned char pixel[4] = {255, 0, 0, 0};
        FlashTagDefineBitsLossless2 first(5, 1, 1, FlashZLibBitmapData(pixel, 4));
        FlashTagDefineShape3 second{FlashShapeWithStyle()};
        FlashTagDefineBitsLossless2 third(5, 1, 1, FlashZLibBitmapData(pixel, 4));
        QCOMPARE(second.GetID(), std::uint16_t(first.GetID() + 1));
        QCOMPARE(third.GetID(), std::uint16_t(first.GetID() + 2));
        // Writing does not take ids.
        written(third);
        FlashTagDefineShape3 fourth{FlashShapeWithStyle()};
        QCOMPARE(fourth.GetID(), std::uint16_t(first.GetID() + 3));
    }
};

QTEST_GUILESS_MAIN(TestTags)
#include "test_tags.moc"

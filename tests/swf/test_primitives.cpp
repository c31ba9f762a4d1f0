// Bit packing, field widths, the value records, tag headers, the file header and gc_vector ownership.

#include "SwfTestSupport.h"

#include <QTest>

#include <limits>

using namespace swftest;

namespace {

// Counts live instances so that ownership mistakes show as wrong counts (and, under the sanitizers, as
// leaks or double frees).
struct Counted {
    static inline int alive = 0;
    Counted() { ++alive; }
    Counted(const Counted&) = delete;
    virtual ~Counted() { --alive; }
};

struct CountedDerived : Counted {
    static inline int derivedAlive = 0;
    CountedDerived() { ++derivedAlive; }
    ~CountedDerived() override { --derivedAlive; }
};

} // namespace

Q_DECLARE_METATYPE(FlashRect)

class TestPrimitives : public QObject {
    Q_OBJECT

private slots:
    void bitsArePackedMostSignificantFirst()
    {
        BitBuffer negative;
        negative.WriteBits(-3, 4);
        QCOMPARE(bitString(negative), QStringLiteral("1101"));
        QCOMPARE(written(negative), hex("D0"));

        // Fields run across byte boundaries and only the low n bits of a value count.
        BitBuffer bits;
        bits.WriteBits(0b101, 3);
        bits.WriteBits(0x7FFFF1FF, 9);
        bits.WriteBits(0, 0);
        QCOMPARE(bits.GetBitPosition(), 12);
        QCOMPARE(written(bits), hex("BF F0"));

        // Aligning appends nothing by itself; the next write starts a fresh byte.
        bits.AlignToByte();
        QCOMPARE(bits.GetBitPosition(), 16);
        QCOMPARE(bits.GetBytes().size(), std::size_t(2));
        bits.AlignToByte();
        QCOMPARE(bits.GetBitPosition(), 16);
        bits.WriteBits(1, 1);
        QCOMPARE(written(bits), hex("BF F0 80"));

        // Widths beyond 64 bits repeat the sign.
        BitBuffer wide;
        wide.WriteBits(-1, 66);
        wide.WriteBits(1, 66);
        QCOMPARE(bitString(wide), QString(66, QLatin1Char('1')) + QString(65, QLatin1Char('0')) + QLatin1Char('1'));
    }

    void fieldWidths_data()
    {
        QTest::addColumn<qint64>("value");
        QTest::addColumn<int>("significantBits");
        QTest::addColumn<int>("signedWidth");
        QTest::newRow("0") << qint64(0) << 0 << 1;
        QTest::newRow("1") << qint64(1) << 1 << 2;
        QTest::newRow("3") << qint64(3) << 2 << 3;
        QTest::newRow("16384") << qint64(16384) << 15 << 16;
        QTest::newRow("32767") << qint64(32767) << 15 << 16;
        QTest::newRow("6400") << qint64(6400) << 13 << 14;
        QTest::newRow("20.0 as 16.16") << qint64(20 * 65536) << 21 << 22;
    }

    void fieldWidths()
    {
        QFETCH(qint64, value);
        QFETCH(int, significantBits);
        QFETCH(int, signedWidth);
        QCOMPARE(FlashSignificantBits(static_cast<std::uint64_t>(value)), significantBits);
        QCOMPARE(FlashSignedBitWidth(value), signedWidth);
        QCOMPARE(FlashSignedBitWidth(-value), signedWidth);
    }

    void groupWidthIsTheWidestMember()
    {
        QCOMPARE(FlashSignedBitWidth({0, 0}), 1);
        QCOMPARE(FlashSignedBitWidth({-100, 6500, 4900}), 14);
        QCOMPARE(FlashSignedBitWidth({-32768, 1}), 17);
        QCOMPARE(FlashSignedBitWidth({std::numeric_limits<std::int64_t>::min()}), 65);
    }

    void rectangles_data()
    {
        QTest::addColumn<FlashRect>("rect");
        QTest::addColumn<int>("width");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("all zeros") << FlashRect() << 1 << hex("08 00");
        QTest::newRow("6420 x 4820") << FlashRect(0, 0, 6420, 4820) << 14 << hex("70 00 0C 8A 00 00 96 A0");
        QTest::newRow("12820 x 8020") << FlashRect(0, 0, 12820, 8020) << 15 << hex("78 00 06 42 80 00 0F AA 00");
        QTest::newRow("shape bounds") << FlashRect(-100, -100, 6500, 4900) << 14 << hex("77 F3 8C B2 7F 38 99 20");
        // Both x values are written before both y values.
        QTest::newRow("x before y") << FlashRect(1, 2, 3, 4) << 4 << hex("20 99 20");
    }

    void rectangles()
    {
        QFETCH(FlashRect, rect);
        QFETCH(int, width);
        QFETCH(QByteArray, bytes);
        QCOMPARE(rect.GetBitWidth(), width);
        QCOMPARE(rect.GetByteCount(), bytes.size());
        QCOMPARE(written(rect), bytes);
    }

    void colours()
    {
        QCOMPARE(written(FlashRGB()), hex("00 00 00"));
        QCOMPARE(written(FlashRGB(10, 20, 30)), hex("0A 14 1E"));
        QCOMPARE(written(FlashRGB(10, 20, 30, 40)), hex("0A 14 1E 28"));
        // 255 and above saturate; anything else keeps its low 8 bits.
        QCOMPARE(written(FlashRGB(255, 256, 1000, -2)), hex("FF FF FF FE"));
        QCOMPARE(written(FlashRGB(-1, -256, 0)), hex("FF 00 00"));

        FlashRGB color(1, 2, 3);
        QCOMPARE(color.GetA(), std::int16_t(255));
        color.SetAlphaWriteMode(true);
        QCOMPARE(written(color), hex("01 02 03 FF"));
    }

    void fixedPoint()
    {
        const FlashFixed twenty(20.0);
        QCOMPARE(twenty.GetIntegerPart(), std::int16_t(20));
        QCOMPARE(twenty.GetFraction(), std::uint16_t(0));
        QCOMPARE(twenty.ConvertToRaw(), 20 * 65536);

        const FlashFixed minusOneAndHalf(-1.5);
        QCOMPARE(minusOneAndHalf.GetIntegerPart(), std::int16_t(-2));
        QCOMPARE(minusOneAndHalf.GetFraction(), std::uint16_t(32768));
        QCOMPARE(minusOneAndHalf.ConvertToRaw(), -98304);

        // The fraction is truncated, never rounded up.
        QCOMPARE(FlashFixed(0.99999999).GetFraction(), std::uint16_t(65535));
        // A fraction that comes out as a whole unit carries into the integer part.
        QCOMPARE(FlashFixed(-1e-20), FlashFixed(0, 0));
        // Out-of-range and non-numbers stay defined.
        QCOMPARE(FlashFixed(std::nan("")), FlashFixed(0, 0));
        QCOMPARE(FlashFixed(65536.0 + 3.0).GetIntegerPart(), std::int16_t(3));
    }

    void frameRates_data()
    {
        QTest::addColumn<double>("rate");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("10") << 10.0 << hex("00 0A");
        QTest::newRow("8") << 8.0 << hex("00 08");
        QTest::newRow("12.5") << 12.5 << hex("80 0C");
    }

    void frameRates()
    {
        QFETCH(double, rate);
        QFETCH(QByteArray, bytes);
        QCOMPARE(written(FlashFixed8(rate)), bytes);
    }

    void matrices()
    {
        QCOMPARE(written(FlashMatrix()), hex("02 00"));

        FlashMatrix scaled;
        scaled.SetScale(FlashFixed(20.0), FlashFixed(20.0));
        scaled.SetTranslate(0, 0);
        QCOMPARE(written(scaled), hex("D9 40 00 05 00 00 01 00"));

        FlashMatrix moved;
        moved.SetTranslate(100, -50);
        QCOMPARE(written(moved), hex("10 C9 9C"));

        FlashMatrix rotated;
        rotated.SetRotate(FlashFixed(1.0), FlashFixed(-1.0));
        QCOMPARE(bitString(written(rotated)), paddedBits("0 1 10010 010000000000000000 110000000000000000 00001 0 0"));
    }

    void colourTransforms()
    {
        FlashColorTransform plain;
        QCOMPARE(written(plain), hex("04"));
        // With alpha the default alpha of 255 widens the fields even when no terms are present.
        plain.SetVersion(2);
        QCOMPARE(written(plain), hex("24"));

        FlashColorTransform terms;
        terms.SetMultTerms(FlashRGB(256, 128, 0, 255));
        terms.SetAddTerms(FlashRGB(-10, 0, 5, 0));
        QCOMPARE(bitString(written(terms)),
                 paddedBits("1 1 1010  0100000000 0010000000 0000000000  1111110110 0000000000 0000000101"));
        terms.SetVersion(2);
        QCOMPARE(bitString(written(terms)),
                 paddedBits("1 1 1010  0100000000 0010000000 0000000000 0011111111"
                            "          1111110110 0000000000 0000000101 0000000000"));
    }

    void tagHeaders_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<quint32>("length");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("ShowFrame") << 1 << 0u << hex("40 00");
        QTest::newRow("End") << 0 << 0u << hex("00 00");
        QTest::newRow("SetBackgroundColor") << 9 << 3u << hex("43 02");
        QTest::newRow("62 bytes, short") << 36 << 62u << hex("3E 09");
        QTest::newRow("63 bytes, long") << 36 << 63u << hex("3F 09 3F 00 00 00");
        QTest::newRow("large") << 36 << 0x01234567u << hex("3F 09 67 45 23 01");
    }

    void tagHeaders()
    {
        QFETCH(int, code);
        QFETCH(quint32, length);
        QFETCH(QByteArray, bytes);
        QCOMPARE(written(FlashTagHeader(static_cast<std::uint16_t>(code), length)), bytes);
    }

    void aPlainTagWritesNothing()
    {
        // The code and length a tag object carries are not a header of their own.
        FlashTag tag(9, 3);
        QCOMPARE(written(tag), QByteArray());
        QVERIFY(!tag.IsFrame());
        QVERIFY(!tag.IsSpriteEnabled());
    }

    void readingIsRefused()
    {
        std::istringstream in(std::string("\x40\x00", 2));
        FlashTagShowFrame frame;
        FlashTagHeader& asHeader = frame;
        asHeader.Read(in);
        QVERIFY(in.fail());
    }

    void fileHeaders()
    {
        const FlashHeader small(5, 100, 6420, 4820, 10.0, 3);
        QCOMPARE(small.GetHeaderLength(), 20u);
        QCOMPARE(written(small), QByteArray("FWS\x05", 4) + hex("78 00 00 00  70 00 0C 8A 00 00 96 A0  00 0A  03 00"));

        // The RECT takes 9 bytes here, and the file length counts all 21 header bytes.
        const FlashHeader large(5, 1000, 12820, 8020, 8.0, 0x1234);
        QCOMPARE(large.GetHeaderLength(), 21u);
        QCOMPARE(written(large),
                 QByteArray("FWS\x05", 4) + hex("FD 03 00 00  78 00 06 42 80 00 0F AA 00  00 08  34 12"));
    }

    void movieIsHeaderThenBody()
    {
        FlashMovie movie;
        movie.Body() << FlashTagBackgroundColor(255, 255, 255) << FlashTagShowFrame() << FlashTagEnd();
        QCOMPARE(movie.GetBodyLength(), 9u);
        std::ostringstream file;
        movie.WriteTo(file, 5, 6420, 4820, 8.0, 1);
        const QByteArray bytes = bytesOf(file.str());
        QCOMPARE(bytes.size(), 29);
        QCOMPARE(bytes.left(8), QByteArray("FWS\x05", 4) + hex("1D 00 00 00"));
        QCOMPARE(bytes.mid(20), hex("43 02 FF FF FF 40 00 00 00"));
    }

    void gcVectorOwnsItsElements()
    {
        {
            gc_vector<Counted*> owner;
            owner.push_back(new Counted);
            owner.push_back(new CountedDerived);
            QCOMPARE(Counted::alive, 2);

            // A copy takes nothing: the elements stay owned once, by the original.
            gc_vector<Counted*> copy(owner);
            QVERIFY(copy.empty());
            copy.push_back(new Counted);
            copy = owner;
            QVERIFY(copy.empty());
            QCOMPARE(Counted::alive, 2);

            // A move hands the elements over.
            gc_vector<Counted*> moved(std::move(owner));
            QCOMPARE(moved.size(), std::size_t(2));
            QVERIFY(owner.empty());
            gc_vector<Counted*> target;
            target.push_back(new Counted);
            target = std::move(moved);
            QCOMPARE(target.size(), std::size_t(2));
            QCOMPARE(Counted::alive, 2);
        }
        // Deletion goes through the virtual destructor.
        QCOMPARE(Counted::alive, 0);
        QCOMPARE(CountedDerived::derivedAlive, 0);

        gc_vector<FlashByteBuffer*> buffers;
        buffers.push_back(new FlashByteBuffer(100, 7));
        buffers.clear();
        QVERIFY(buffers.empty());
    }
};

QTEST_GUILESS_MAIN(TestPrimitives)
#include "test_primitives.moc"

// When zlib cannot compress a bitmap, the bitmap tag still goes out, with its prefix and no image data.
// This program provides its own compress2, which the writer's calls reach instead of zlib's, and makes
// it fail the way zlib does when memory or the output buffer runs out.

#include "SwfTestSupport.h"

#include <QTest>

#include <zlib.h>

using namespace swftest;

namespace {
int failureToReport = Z_MEM_ERROR;
int compressCalls = 0;
} // namespace

extern "C" int compress2(Bytef*, uLongf* destLen, const Bytef*, uLong, int level)
{
    ++compressCalls;
    if (level != 9)
        return Z_STREAM_ERROR;
    *destLen = 0;
    return failureToReport;
}

class TestBitmapCompressFailure : public QObject {
    Q_OBJECT

private slots:
    void bitmapKeepsItsPrefix_data()
    {
        QTest::addColumn<int>("failure");
        QTest::newRow("out of memory") << Z_MEM_ERROR;
        QTest::newRow("output does not fit") << Z_BUF_ERROR;
    }

    void bitmapKeepsItsPrefix()
    {
        QFETCH(int, failure);
        failureToReport = failure;
        const int callsBefore = compressCalls;

        const std::vector<unsigned char> pixels = testPicture(40, 30, 0);
        FlashTagDefineBitsLossless2 argb(5, 40, 30, FlashZLibBitmapData(pixels.data(), static_cast<std::uint32_t>(pixels.size())));
        const QByteArray id = QByteArray(1, static_cast<char>(argb.GetID() & 0xFF)) + QByteArray(1, static_cast<char>(argb.GetID() >> 8));
        QCOMPARE(written(argb), hex("07 09") + id + hex("05 28 00 1E 00"));

        FlashZLibBitmapData mapped(pixels.data(), 40 * 30);
        mapped.AddColor(FlashRGB(1, 2, 3));
        FlashTagDefineBitsLossless2 colourMapped(3, 40, 30, mapped);
        const QByteArray mappedId = QByteArray(1, static_cast<char>(colourMapped.GetID() & 0xFF)) +
                                    QByteArray(1, static_cast<char>(colourMapped.GetID() >> 8));
        QCOMPARE(written(colourMapped), hex("08 09") + mappedId + hex("03 28 00 1E 00 00"));

        QCOMPARE(compressCalls, callsBefore + 2);
    }

    void movieGoesOnAfterAFailedBitmap()
    {
        failureToReport = Z_MEM_ERROR;
        const WrittenMovie movie = writeTestMovie(16, 12, 2, testTone(3000));
        const QList<ParsedTag> tags = parseTags(movieBody(movie.file));
        QList<int> codes;
        for (const ParsedTag& tag : tags)
            codes << tag.code;
        QCOMPARE(codes, (QList<int>{9, 45, 36, 32, 26, 1, 19, 36, 32, 28, 26, 1, 19, 0}));
        QCOMPARE(tags[2].body.size(), 7);
    }
};

QTEST_GUILESS_MAIN(TestBitmapCompressFailure)
#include "test_bitmap_compress_failure.moc"

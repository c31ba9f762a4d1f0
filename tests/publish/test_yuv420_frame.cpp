// Frames decoded straight into the video encoders' layout: back in RGB they are the store's pictures (cut
// or filled out with black when of another size), the padding is exactly black, a frame is filled again
// only when nobody else holds it, and a damaged record is refused.
#include "PublishTestSupport.h"
#include "editor/FrameReader.h"
#include "publish/Yuv420Frame.h"
#include "store/Jpeg.h"

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include <QBuffer>
#include <QtTest>

using namespace quolva;
using namespace quolva::test;

namespace {

store::FrameRecord recordOf(const QImage& picture, bool grey = false)
{
    store::FrameRecord record;
    if (grey) { // one component, not the store's sampling: Qt's own writer
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        picture.convertToFormat(QImage::Format_Grayscale8).save(&buffer, "JPG", 90);
        record.jpeg.assign(bytes.begin(), bytes.end());
    } else {
        record.jpeg = store::EncodeJpeg({picture.constBits(), picture.width(), picture.height(),
                                         static_cast<std::ptrdiff_t>(picture.bytesPerLine()), store::PixelLayout::Xrgb32});
    }
    record.jpegSize = static_cast<std::int32_t>(record.jpeg.size());
    return record;
}

// The frame's top left `width` × `height` as 24-bit R, G, B rows, through the BT.601 video-range matrix.
QByteArray rgbOf(const AVFrame& frame, int width, int height)
{
    QByteArray rgb(width * height * 3, 0);
    SwsContext* back = sws_getContext(width, height, AV_PIX_FMT_YUV420P, width, height, AV_PIX_FMT_RGB24,
                                      SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr);
    uint8_t* to[1] = {reinterpret_cast<uint8_t*>(rgb.data())};
    const int toStride[1] = {width * 3};
    sws_scale(back, frame.data, frame.linesize, 0, height, to, toStride);
    sws_freeContext(back);
    return rgb;
}

QByteArray rgbOf(const QImage& picture)
{
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    QByteArray bytes;
    for (int y = 0; y < rgb.height(); ++y)
        bytes.append(reinterpret_cast<const char*>(rgb.constScanLine(y)), rgb.width() * 3);
    return bytes;
}

// Samples of a plane outside its first `width` × `height` that are not `value`.
int strayOutside(const AVFrame& frame, int plane, int width, int height, int planeWidth, int planeHeight, int value)
{
    int stray = 0;
    for (int y = 0; y < planeHeight; ++y)
        for (int x = y < height ? width : 0; x < planeWidth; ++x)
            stray += frame.data[plane][y * frame.linesize[plane] + x] != value;
    return stray;
}

} // namespace

class Yuv420FrameTest : public QObject {
    Q_OBJECT

private slots:
    void decodesStraightIntoTheEncodersFrame_data()
    {
        QTest::addColumn<QSize>("picture"); // as stored
        QTest::addColumn<QSize>("movie");   // the recording's first frame's size
        QTest::addColumn<QSize>("coded");   // the encoder's frame
        QTest::addColumn<bool>("grey");     // stored with one component: converted through a picture
        QTest::newRow("even size") << QSize(64, 48) << QSize(64, 48) << QSize(64, 48) << false;
        QTest::newRow("odd size, padded to even") << QSize(161, 121) << QSize(161, 121) << QSize(162, 122) << false;
        QTest::newRow("odd size, not padded") << QSize(161, 121) << QSize(161, 121) << QSize(161, 121) << false;
        QTest::newRow("a larger frame is cut") << QSize(80, 60) << QSize(66, 50) << QSize(66, 50) << false;
        QTest::newRow("a smaller frame is filled out") << QSize(31, 17) << QSize(66, 50) << QSize(66, 50) << false;
        QTest::newRow("in a larger frame") << QSize(64, 48) << QSize(64, 48) << QSize(96, 64) << false;
        QTest::newRow("a wide frame, one block row") << QSize(1921, 9) << QSize(1921, 9) << QSize(1922, 10) << false;
        QTest::newRow("a grey picture, odd size") << QSize(161, 121) << QSize(161, 121) << QSize(162, 122) << true;
        QTest::newRow("a larger odd frame is cut to an odd size") << QSize(80, 60) << QSize(65, 49) << QSize(66, 50) << false;
    }
    void decodesStraightIntoTheEncodersFrame()
    {
        QFETCH(QSize, picture);
        QFETCH(QSize, movie);
        QFETCH(QSize, coded);
        QFETCH(bool, grey);
        const publish::Yuv420Size size{movie.width(), movie.height(), coded.width(), coded.height()};
        const store::FrameRecord record = recordOf(ScreenLikePicture(3, picture.width(), picture.height()), grey);
        const QString storePath = QStringLiteral("frames.xxx");

        publish::AvFramePtr frame = publish::DecodeToYuv420(record, storePath, size);
        QCOMPARE(frame->format, int(AV_PIX_FMT_YUV420P));
        QCOMPARE(frame->width, coded.width());
        QCOMPARE(frame->height, coded.height());

        // The store's picture, cut or filled out with black to the movie's size.
        const QImage expected = editor::DecodeFramePicture(record, storePath).copy(0, 0, movie.width(), movie.height());
        const QByteArray want = rgbOf(expected);
        const double psnr = Psnr(rgbOf(*frame, movie.width(), movie.height()).constData(), want.constData(), want.size());
        QVERIFY2(psnr >= 34, qPrintable(QString::number(psnr)));

        // Black around it, exactly.
        const int chromaWidth = (movie.width() + 1) / 2, chromaHeight = (movie.height() + 1) / 2;
        QCOMPARE(strayOutside(*frame, 0, movie.width(), movie.height(), coded.width(), coded.height(), 16), 0);
        for (int c = 1; c < 3; ++c)
            QCOMPARE(strayOutside(*frame, c, chromaWidth, chromaHeight, (coded.width() + 1) / 2, (coded.height() + 1) / 2, 128), 0);

        // A free frame is filled again, with the same pixels; one that is still held elsewhere is not.
        AVFrame* const first = frame.get();
        const QByteArray once = rgbOf(*frame, coded.width(), coded.height());
        frame = publish::DecodeToYuv420(record, storePath, size, std::move(frame));
        QCOMPARE(frame.get(), first);
        QCOMPARE(rgbOf(*frame, coded.width(), coded.height()), once);
        publish::AvFramePtr holder(av_frame_clone(frame.get()));
        frame = publish::DecodeToYuv420(record, storePath, size, std::move(frame));
        QVERIFY(frame->data[0] != holder->data[0]);
        QCOMPARE(rgbOf(*holder, coded.width(), coded.height()), once);
    }

    // The last column of an odd picture keeps its own colour: nothing of the next row's first pixel (red
    // here, on blue) is mixed into it, whether the samples are the JPEG's or converted from a picture.
    void anOddPicturesLastColumnKeepsItsColour_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::newRow("the JPEG's own samples") << QSize(65, 49);
        QTest::newRow("converted from a larger picture") << QSize(80, 60);
    }
    void anOddPicturesLastColumnKeepsItsColour()
    {
        QFETCH(QSize, picture);
        QImage stored(picture, QImage::Format_RGB32);
        stored.fill(QColor(20, 40, 220));
        for (int y = 0; y < stored.height(); ++y)
            stored.setPixel(0, y, qRgb(230, 20, 20));
        const publish::AvFramePtr frame =
            publish::DecodeToYuv420(recordOf(stored), QStringLiteral("frames.xxx"), {65, 49, 66, 50});
        const QByteArray rgb = rgbOf(*frame, 65, 49);
        int worst = 0;
        for (int y = 0; y < 49; ++y)
            for (int c = 0; c < 3; ++c)
                worst = std::max(worst, std::abs(static_cast<unsigned char>(rgb[(y * 65 + 64) * 3 + c]) - (c == 0 ? 20 : c == 1 ? 40 : 220)));
        QVERIFY2(worst <= 12, qPrintable(QString::number(worst)));
    }

    // A record cut short is refused with the store's kind of error, never a partly grey frame.
    void refusesADamagedRecord()
    {
        store::FrameRecord record = recordOf(ScreenLikePicture(0, 64, 48));
        record.jpeg.resize(record.jpeg.size() / 2);
        QVERIFY_THROWS_EXCEPTION(editor::RecordingError,
                                 publish::DecodeToYuv420(record, QStringLiteral("frames.xxx"), {64, 48, 64, 48}));
    }
};

QTEST_GUILESS_MAIN(Yuv420FrameTest)
#include "test_yuv420_frame.moc"

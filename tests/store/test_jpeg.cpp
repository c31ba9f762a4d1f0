// JPEG encoding of frames and decoding them back: the exact parameters, the same bytes for the same
// picture whatever its memory layout, and errors (never crashes or grey pictures) for bad data.
#include "store/Jpeg.h"

#include <QtTest>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <jpeglib.h>

using namespace quolva::store;

namespace {

// A screen-like picture: flat panels, thin lines, some noise; deterministic for a seed.
std::vector<std::uint8_t> BusyRgb(int width, int height, std::uint32_t seed)
{
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    std::uint32_t state = seed * 2654435761u + 1;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
            const bool line = (x % 23 == 0) || (y % 17 == 3);
            p[0] = line ? 20 : static_cast<std::uint8_t>((x * 255) / std::max(1, width - 1));
            p[1] = line ? 20 : static_cast<std::uint8_t>(((x / 40 + y / 30) % 2) * 180 + (state & 15));
            p[2] = line ? 200 : static_cast<std::uint8_t>((y * 255) / std::max(1, height - 1) ^ (state >> 28));
        }
    }
    return rgb;
}

// The same pixels in the QImage::Format_RGB32 memory order (B, G, R, X), with rows padded by `pad`
// bytes; X and padding hold junk that must not matter.
std::vector<std::uint8_t> ToXrgb(const std::vector<std::uint8_t>& rgb, int width, int height, int pad)
{
    const std::size_t stride = static_cast<std::size_t>(width) * 4 + pad;
    std::vector<std::uint8_t> xrgb(stride * height, 0xA5);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* s = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
            std::uint8_t* d = &xrgb[y * stride + static_cast<std::size_t>(x) * 4];
            d[0] = s[2];
            d[1] = s[1];
            d[2] = s[0];
            d[3] = static_cast<std::uint8_t>(x * 7 + y);
        }
    return xrgb;
}

// An independent encoder with the frame parameters written out plainly: 24-bit RGB input,
// jpeg_set_defaults, quality 90 with baseline forced, the floating-point DCT.
std::vector<std::uint8_t> ReferenceEncode(const std::vector<std::uint8_t>& rgb, int width, int height)
{
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    info.dct_method = JDCT_FLOAT;
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(&rgb[static_cast<std::size_t>(info.next_scanline) * width * 3]);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    std::vector<std::uint8_t> out(buffer, buffer + size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return out;
}

PictureView RgbView(const std::vector<std::uint8_t>& rgb, int width, int height)
{
    return {rgb.data(), width, height, static_cast<std::ptrdiff_t>(width) * 3, PixelLayout::Rgb24};
}

std::size_t FindMarker(const std::vector<std::uint8_t>& jpeg, std::uint8_t marker)
{
    for (std::size_t i = 0; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == marker)
            return i;
    return std::string::npos;
}

std::string MessageOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const JpegError& error) {
        return error.what();
    }
    return {};
}

} // namespace

class JpegTest : public QObject {
    Q_OBJECT

private slots:
    void encodesWithTheFrameParameters_data();
    void encodesWithTheFrameParameters();
    void sameBytesForSamePixelsInEveryLayout_data();
    void sameBytesForSamePixelsInEveryLayout();
    void isBaselineJfifWithTwoByTwoLuminance();
    void decodesBackToSizeAndColours();
    void readsDimensionsFromHeaderAlone();
    void refusesPicturesItCannotEncode();
    void refusesDamagedData();
    void refusesAbsurdDimensionsBeforeDecoding();
};

void JpegTest::encodesWithTheFrameParameters_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("1x1") << 1 << 1;
    QTest::newRow("odd 17x9") << 17 << 9;
    QTest::newRow("640x480") << 640 << 480;
    QTest::newRow("1920x1080") << 1920 << 1080;
}

void JpegTest::encodesWithTheFrameParameters()
{
    QFETCH(int, width);
    QFETCH(int, height);
    const auto rgb = BusyRgb(width, height, 1);
    const auto ours = EncodeJpeg(RgbView(rgb, width, height));
    QVERIFY(ours == ReferenceEncode(rgb, width, height));
    QVERIFY(ours == EncodeJpeg(RgbView(rgb, width, height))); // and again the same
}

void JpegTest::sameBytesForSamePixelsInEveryLayout_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("1x1") << 1 << 1;
    QTest::newRow("3x2") << 3 << 2;
    QTest::newRow("odd 33x17") << 33 << 17;
    QTest::newRow("101x77") << 101 << 77;
    QTest::newRow("640x480") << 640 << 480;
    QTest::newRow("1366x768") << 1366 << 768;
}

// The 32-bit screen grab goes into the encoder as it lies (libjpeg-turbo's BGRX input); that is only
// allowed because the bytes equal those of a 24-bit RGB copy, which this holds it to.
void JpegTest::sameBytesForSamePixelsInEveryLayout()
{
    QFETCH(int, width);
    QFETCH(int, height);
    const auto rgb = BusyRgb(width, height, 7);
    const auto expected = EncodeJpeg(RgbView(rgb, width, height));

    for (int pad : {0, 4, 12}) {
        const auto xrgb = ToXrgb(rgb, width, height, pad);
        const PictureView view{xrgb.data(), width, height, static_cast<std::ptrdiff_t>(width) * 4 + pad,
                               PixelLayout::Xrgb32};
        QVERIFY2(EncodeJpeg(view) == expected, qPrintable(QString("XRGB, padding %1").arg(pad)));
    }

    // 24-bit rows with junk padding (QImage::Format_RGB888 pads rows to 4 bytes).
    const std::size_t stride = static_cast<std::size_t>(width) * 3 + 5;
    std::vector<std::uint8_t> padded(stride * height, 0x5A);
    for (int y = 0; y < height; ++y)
        std::memcpy(&padded[y * stride], &rgb[static_cast<std::size_t>(y) * width * 3], static_cast<std::size_t>(width) * 3);
    QVERIFY(EncodeJpeg({padded.data(), width, height, static_cast<std::ptrdiff_t>(stride), PixelLayout::Rgb24}) ==
            expected);

    // B, G, R rows, as a DIB holds them.
    std::vector<std::uint8_t> bgr(rgb.size());
    for (std::size_t i = 0; i < rgb.size(); i += 3) {
        bgr[i] = rgb[i + 2];
        bgr[i + 1] = rgb[i + 1];
        bgr[i + 2] = rgb[i];
    }
    QVERIFY(EncodeJpeg({bgr.data(), width, height, static_cast<std::ptrdiff_t>(width) * 3, PixelLayout::Bgr24}) == expected);
}

void JpegTest::isBaselineJfifWithTwoByTwoLuminance()
{
    const auto rgb = BusyRgb(64, 48, 3);
    const auto jpeg = EncodeJpeg(RgbView(rgb, 64, 48));
    QVERIFY(jpeg.size() > 20);
    QCOMPARE(jpeg[0], std::uint8_t(0xFF));
    QCOMPARE(jpeg[1], std::uint8_t(0xD8));
    QCOMPARE(FindMarker(jpeg, 0xE0), std::size_t(2)); // APP0 right after SOI
    QCOMPARE(std::string(reinterpret_cast<const char*>(&jpeg[6]), 5), std::string("JFIF\0", 5));
    QCOMPARE(FindMarker(jpeg, 0xC2), std::string::npos); // not progressive
    const std::size_t sof = FindMarker(jpeg, 0xC0);      // baseline
    QVERIFY(sof != std::string::npos);
    QCOMPARE(int(jpeg[sof + 9]), 3);    // three components
    QCOMPARE(int(jpeg[sof + 11]), 0x22); // luminance sampled 2×2
    QCOMPARE(int(jpeg[sof + 14]), 0x11);
    QCOMPARE(int(jpeg[sof + 17]), 0x11);
    // Quality 90 scales the standard luminance table by 20 %: its DC entry 16 becomes 3.
    const std::size_t dqt = FindMarker(jpeg, 0xDB);
    QVERIFY(dqt != std::string::npos);
    QCOMPARE(int(jpeg[dqt + 4]), 0x00); // 8-bit table 0
    QCOMPARE(int(jpeg[dqt + 5]), 3);
    QCOMPARE(jpeg[jpeg.size() - 2], std::uint8_t(0xFF));
    QCOMPARE(jpeg[jpeg.size() - 1], std::uint8_t(0xD9));
}

void JpegTest::decodesBackToSizeAndColours()
{
    // Flat 16×16 tiles of known colours: after JPEG each tile's middle keeps its colour closely.
    const int width = 160, height = 96;
    const std::uint8_t colours[][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255},
                                       {0, 0, 0},   {128, 64, 32}, {20, 200, 180}};
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    auto colourAt = [&](int x, int y) { return colours[(x / 16 + 3 * (y / 16)) % 7]; };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            std::memcpy(&rgb[(static_cast<std::size_t>(y) * width + x) * 3], colourAt(x, y), 3);

    const auto xrgb = ToXrgb(rgb, width, height, 0);
    const Picture picture = DecodeJpeg(EncodeJpeg({xrgb.data(), width, height, width * 4, PixelLayout::Xrgb32}));
    QCOMPARE(picture.Width(), width);
    QCOMPARE(picture.Height(), height);
    QCOMPARE(picture.Stride(), std::ptrdiff_t(width * 3));
    QCOMPARE(picture.Bytes().size(), std::size_t(width * height * 3));
    int worst = 0;
    for (int y = 4; y < height; y += 16)
        for (int x = 4; x < width; x += 16)
            for (int dy = 0; dy < 8; ++dy)
                for (int dx = 0; dx < 8; ++dx)
                    for (int c = 0; c < 3; ++c)
                        worst = std::max(worst, std::abs(int(picture.Row(y + dy)[(x + dx) * 3 + c]) -
                                                         int(colourAt(x, y)[c])));
    QVERIFY2(worst <= 12, qPrintable(QString("largest colour error %1").arg(worst)));
}

void JpegTest::readsDimensionsFromHeaderAlone()
{
    const auto rgb = BusyRgb(123, 45, 2);
    auto jpeg = EncodeJpeg(RgbView(rgb, 123, 45));
    const std::size_t sos = FindMarker(jpeg, 0xDA);
    jpeg.resize(sos + 2 + (jpeg[sos + 2] << 8 | jpeg[sos + 3])); // up to the scan header: no picture data
    const JpegDimensions size = ReadJpegDimensions(jpeg);
    QCOMPARE(size.width, 123);
    QCOMPARE(size.height, 45);
}

void JpegTest::refusesPicturesItCannotEncode()
{
    const std::vector<std::uint8_t> pixels(64 * 4);
    QVERIFY(MessageOf([&] { EncodeJpeg({pixels.data(), 0, 4, 12, PixelLayout::Rgb24}); }).find("0×4") !=
            std::string::npos);
    QVERIFY(!MessageOf([&] { EncodeJpeg({pixels.data(), 4, -1, 12, PixelLayout::Rgb24}); }).empty());
    QVERIFY(!MessageOf([&] { EncodeJpeg({nullptr, 4, 4, 12, PixelLayout::Rgb24}); }).empty());
    QVERIFY(MessageOf([&] { EncodeJpeg({pixels.data(), 4, 4, 15, PixelLayout::Xrgb32}); }).find("apart") !=
            std::string::npos);
    QVERIFY(!MessageOf([&] { EncodeJpeg({pixels.data(), 70000, 1, 210000, PixelLayout::Rgb24}); }).empty());
}

void JpegTest::refusesDamagedData()
{
    const auto rgb = BusyRgb(200, 120, 9);
    const auto jpeg = EncodeJpeg(RgbView(rgb, 200, 120));
    QVERIFY(!DecodeJpeg(jpeg).IsEmpty());

    const std::vector<std::uint8_t> none;
    QVERIFY(MessageOf([&] { DecodeJpeg(none, "frame 3"); }).find("frame 3") != std::string::npos);

    const std::vector<std::uint8_t> text{'h', 'e', 'l', 'l', 'o'};
    const std::string garbage = MessageOf([&] { DecodeJpeg(text, "the frame at offset 16"); });
    QVERIFY2(garbage.find("the frame at offset 16") != std::string::npos, garbage.c_str());

    // Cut anywhere: the decoder must refuse rather than fill the rest with grey.
    for (std::size_t cut : {jpeg.size() - 2, jpeg.size() * 3 / 4, jpeg.size() / 2, std::size_t(300), std::size_t(3)}) {
        const std::vector<std::uint8_t> truncated(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(cut));
        QVERIFY2(!MessageOf([&] { DecodeJpeg(truncated); }).empty(), qPrintable(QString("cut at %1").arg(cut)));
    }
}

void JpegTest::refusesAbsurdDimensionsBeforeDecoding()
{
    const auto rgb = BusyRgb(16, 16, 4);
    auto jpeg = EncodeJpeg(RgbView(rgb, 16, 16));
    const std::size_t sof = FindMarker(jpeg, 0xC0);
    // Claim 60000×60000 pixels (about 10 GB decoded) in a file of a few hundred bytes.
    jpeg[sof + 5] = 0xEA;
    jpeg[sof + 6] = 0x60;
    jpeg[sof + 7] = 0xEA;
    jpeg[sof + 8] = 0x60;
    QCOMPARE(ReadJpegDimensions(jpeg).width, 60000);
    const std::string message = MessageOf([&] { DecodeJpeg(jpeg); });
    QVERIFY2(message.find("too large") != std::string::npos, message.c_str());
}

QTEST_GUILESS_MAIN(JpegTest)
#include "test_jpeg.moc"

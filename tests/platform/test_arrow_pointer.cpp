// The arrow pointer drawn into frames: its picture, where it lands and how it is clipped at the frame's
// edges.

#include "platform/ArrowPointer.h"

#include <QtTest>

using namespace quolva::platform;

namespace {

const QRgb kGround = qRgb(40, 90, 140);

QImage groundFrame(QImage::Format format = QImage::Format_RGB32)
{
    QImage frame(120, 90, format);
    frame.fill(kGround);
    return frame;
}

// What the frame must look like with the picture's top-left corner at `origin`: each frame pixel looked
// up in the picture, the picture's opaque pixels replacing the ground.
QImage expectedFrame(QPoint origin)
{
    QImage frame = groundFrame();
    const QImage& arrow = arrowPointerImage();
    for (int y = 0; y < frame.height(); ++y) {
        for (int x = 0; x < frame.width(); ++x) {
            const QPoint inArrow(x - origin.x(), y - origin.y());
            if (arrow.rect().contains(inArrow) && qAlpha(arrow.pixel(inArrow)) == 255)
                frame.setPixel(x, y, arrow.pixel(inArrow));
        }
    }
    return frame;
}

int changedPixels(const QImage& frame)
{
    int changed = 0;
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x)
            changed += frame.pixel(x, y) != kGround;
    return changed;
}

int opaquePixels(const QImage& image)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += qAlpha(image.pixel(x, y)) == 255;
    return n;
}

}  // namespace

class TestArrowPointer : public QObject {
    Q_OBJECT

private slots:
    void pictureIsAnOutlinedArrowWithItsTipAtEightEight()
    {
        const QImage& arrow = arrowPointerImage();
        QCOMPARE(arrow.size(), QSize(32, 32));
        QCOMPARE(arrow.pixel(kArrowPointerTip), qRgb(0, 0, 0));
        QCOMPARE(arrow.pixel(kArrowPointerTip + QPoint(1, 3)), qRgb(255, 255, 255));
        int white = 0;
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x) {
                const QRgb p = arrow.pixel(x, y);
                const int a = qAlpha(p);
                QVERIFY2(a == 0 || a == 255, "the arrow has hard edges");
                // Nothing above or left of the tip: the tip is the arrow's top-left point.
                if (x < kArrowPointerTip.x() || y < kArrowPointerTip.y())
                    QCOMPARE(a, 0);
                if (a == 255) {
                    QVERIFY(p == qRgb(0, 0, 0) || p == qRgb(255, 255, 255));
                    white += p == qRgb(255, 255, 255);
                }
            }
        }
        QVERIFY(white > 40);
    }

    void tipLandsOnThePointer()
    {
        QImage frame = groundFrame();
        drawArrowPointer(frame, QPoint(50, 40));
        QCOMPARE(frame.pixel(50, 40), qRgb(0, 0, 0));
        QCOMPARE(frame, expectedFrame(QPoint(42, 32)));
    }

    void placementAndClipping_data()
    {
        QTest::addColumn<QPoint>("client");
        QTest::addColumn<bool>("whole");
        QTest::addColumn<bool>("none");
        // At the client origin the picture starts at (-8, -8): its lower-right part, the arrow, shows.
        QTest::newRow("client origin") << QPoint(0, 0) << true << false;
        QTest::newRow("just left of the region") << QPoint(-4, 30) << false << false;
        QTest::newRow("just above the region") << QPoint(30, -6) << false << false;
        QTest::newRow("above and left") << QPoint(-3, -3) << false << false;
        QTest::newRow("bottom-right corner") << QPoint(116, 85) << false << false;
        QTest::newRow("far left") << QPoint(-400, 40) << false << true;
        QTest::newRow("far below") << QPoint(60, 900) << false << true;
        QTest::newRow("just beyond the right edge") << QPoint(120, 40) << false << true;
    }

    void placementAndClipping()
    {
        QFETCH(QPoint, client);
        QFETCH(bool, whole);
        QFETCH(bool, none);
        QImage frame = groundFrame();
        drawArrowPointer(frame, client);
        QCOMPARE(frame, expectedFrame(client - QPoint(8, 8)));
        const int changed = changedPixels(frame);
        const int total = opaquePixels(arrowPointerImage());
        if (whole)
            QCOMPARE(changed, total);
        else if (none)
            QCOMPARE(changed, 0);
        else
            QVERIFY2(changed > 0 && changed < total, qPrintable(QString::number(changed)));
    }

    void otherFrameFormatsGetTheSamePicture()
    {
        QImage frame = groundFrame(QImage::Format_RGB888);
        drawArrowPointer(frame, QPoint(-2, 5));
        QCOMPARE(frame.convertToFormat(QImage::Format_RGB32), expectedFrame(QPoint(-10, -3)));
    }
};

QTEST_MAIN(TestArrowPointer)
#include "test_arrow_pointer.moc"

// A screen cast's monitor on the desktop: a desktop rectangle comes from the right stream pixels (at
// the monitor's place and scale), black beyond the monitor; the pointer's stream point lands where it is
// on the desktop.
#include "platform/MonitorStream.h"

#include <QPainter>
#include <QtTest>

using quolva::platform::MonitorStream;

namespace {

// A stream picture whose every pixel tells where it lies in stream pixels: red x / 8, green y / 8.
QImage streamPicture(QSize size)
{
    QImage picture(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            picture.setPixel(x, y, qRgb(x / 8 % 256, y / 8 % 256, 200));
    return picture;
}

} // namespace

class MonitorStreamTest : public QObject {
    Q_OBJECT
private slots:
    void grabsTheDesktopRectangleFromTheStream_data()
    {
        QTest::addColumn<QPoint>("monitorAt");
        QTest::addColumn<QSize>("streamSize");
        QTest::addColumn<QRect>("rect");
        QTest::addColumn<QPoint>("probe");       // a pixel of the grabbed picture
        QTest::addColumn<QPoint>("streamPixel"); // the stream pixel it must show, or (-1, -1) for black
        const QSize monitor(1280, 720);
        QTest::newRow("one monitor at 0,0") << QPoint(0, 0) << monitor << QRect(100, 100, 200, 150) << QPoint(40, 24)
                                            << QPoint(140, 124);
        QTest::newRow("over the right edge: black beyond") << QPoint(0, 0) << monitor << QRect(1180, 650, 200, 150)
                                                           << QPoint(150, 20) << QPoint(-1, -1);
        QTest::newRow("over the right edge: the monitor's part") << QPoint(0, 0) << monitor << QRect(1180, 650, 200, 150)
                                                                 << QPoint(40, 24) << QPoint(1220, 674);
        QTest::newRow("a second monitor right of the first") << QPoint(1280, 0) << monitor << QRect(1400, 100, 200, 150)
                                                             << QPoint(40, 24) << QPoint(160, 124);
        QTest::newRow("left of a second monitor: black") << QPoint(1280, 0) << monitor << QRect(1200, 100, 200, 150)
                                                          << QPoint(20, 24) << QPoint(-1, -1);
        QTest::newRow("a monitor scaled to 200 %") << QPoint(0, 0) << QSize(2560, 1440) << QRect(100, 100, 200, 150)
                                                   << QPoint(40, 24) << QPoint(280, 248);
    }
    void grabsTheDesktopRectangleFromTheStream()
    {
        QFETCH(QPoint, monitorAt);
        QFETCH(QSize, streamSize);
        QFETCH(QRect, rect);
        QFETCH(QPoint, probe);
        QFETCH(QPoint, streamPixel);
        const MonitorStream monitor{monitorAt, QSize(1280, 720), streamSize};
        const QImage stream = streamPicture(streamSize);
        QImage into(rect.size(), QImage::Format_RGB32);
        into.fill(Qt::white);
        monitor.grab(rect, into, [&stream](const QRect& source, QImage& part) {
            const QRect inside = source & stream.rect();
            QPainter(&part).drawImage(inside.topLeft() - source.topLeft(), stream, inside);
        });
        const QColor expected = streamPixel.x() < 0 ? QColor(Qt::black) : QColor(stream.pixel(streamPixel));
        const QColor shown = into.pixelColor(probe);
        QVERIFY2(std::abs(shown.red() - expected.red()) <= 1 && std::abs(shown.green() - expected.green()) <= 1
                     && shown.blue() == expected.blue(),
                 qPrintable(QStringLiteral("shows %1, expected %2").arg(shown.name(), expected.name())));
    }

    void thePointerLandsWhereItIsOnTheDesktop_data()
    {
        QTest::addColumn<QPoint>("monitorAt");
        QTest::addColumn<QSize>("streamSize");
        QTest::addColumn<QPoint>("onStream");
        QTest::addColumn<QPoint>("onDesktop");
        QTest::newRow("one monitor") << QPoint(0, 0) << QSize(1280, 720) << QPoint(150, 130) << QPoint(150, 130);
        QTest::newRow("a second monitor") << QPoint(1280, 0) << QSize(1280, 720) << QPoint(150, 130) << QPoint(1430, 130);
        QTest::newRow("scaled to 200 %") << QPoint(0, 0) << QSize(2560, 1440) << QPoint(300, 260) << QPoint(150, 130);
    }
    void thePointerLandsWhereItIsOnTheDesktop()
    {
        QFETCH(QPoint, monitorAt);
        QFETCH(QSize, streamSize);
        QFETCH(QPoint, onStream);
        QFETCH(QPoint, onDesktop);
        QCOMPARE((MonitorStream{monitorAt, QSize(1280, 720), streamSize}.onDesktop(onStream)), onDesktop);
    }
};

QTEST_MAIN(MonitorStreamTest)
#include "test_monitor_stream.moc"

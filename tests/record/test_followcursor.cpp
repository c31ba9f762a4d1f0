// The follow-cursor step on a 1024 × 768 screen, viewfinder at (100, 100), outer 660 × 522, client 640 × 480
// under a title bar that ends 22 pixels below the window's top.
#include "record/Unit4.h"

#include <QtTest>

using quolva::record::FollowCursorGeometry;
using quolva::record::FollowCursorStep;

class FollowCursorTest : public QObject {
    Q_OBJECT
private:
    static QPoint step(QPoint pointer, QPoint windowPos = {100, 100}, QSize window = {660, 522},
                       QSize client = {640, 480}, int clientTop = 22)
    {
        return FollowCursorStep(FollowCursorGeometry{pointer, windowPos, window, client, QSize(1024, 768), clientTop});
    }

private slots:
    void movesTheViewfinderToKeepThePointerInside_data()
    {
        QTest::addColumn<QPoint>("pointer");
        QTest::addColumn<QPoint>("expected");
        QTest::newRow("inside the margins: no move") << QPoint(200, 300) << QPoint(100, 100);
        QTest::newRow("left margin, pinned at the screen's left edge") << QPoint(30, 300) << QPoint(0, 100);
        QTest::newRow("top margin, pinned with the title bar above the screen") << QPoint(300, 60) << QPoint(100, -22);
        QTest::newRow("right margin") << QPoint(760, 300) << QPoint(150, 100);
        QTest::newRow("right margin, pinned at the screen's right edge") << QPoint(1000, 300) << QPoint(364, 100);
        QTest::newRow("bottom margin, pinned at the screen's bottom edge") << QPoint(300, 760) << QPoint(100, 246);
        QTest::newRow("left margin away from the edge") << QPoint(120, 300) << QPoint(70, 100);
        QTest::newRow("top margin away from the edge") << QPoint(300, 150) << QPoint(100, 78);
        QTest::newRow("bottom margin away from the edge") << QPoint(300, 600) << QPoint(100, 128);
        QTest::newRow("corner: both axes move") << QPoint(20, 20) << QPoint(0, -22);
    }
    void movesTheViewfinderToKeepThePointerInside()
    {
        QFETCH(QPoint, pointer);
        QFETCH(QPoint, expected);
        QCOMPARE(step(pointer), expected);
    }

    // Pinned at the top, the client area stays on the screen whatever the title bar's height: a region
    // recorded without a window (no title bar) stays at the top edge instead of 22 rows above it.
    void pinnedAtTheTopTheClientAreaStaysOnTheScreen_data()
    {
        QTest::addColumn<QSize>("window");
        QTest::addColumn<int>("clientTop");
        QTest::addColumn<int>("top");
        QTest::newRow("a title bar of 22 rows") << QSize(660, 522) << 22 << -22;
        QTest::newRow("a title bar of 30 rows: the title bar's top rows above the screen") << QSize(660, 532) << 30 << -22;
        QTest::newRow("a title bar of 21 rows (openbox)") << QSize(642, 502) << 21 << -21;
        QTest::newRow("no frame") << QSize(640, 480) << 0 << 0;
    }
    void pinnedAtTheTopTheClientAreaStaysOnTheScreen()
    {
        QFETCH(QSize, window);
        QFETCH(int, clientTop);
        QFETCH(int, top);
        QCOMPARE(step(QPoint(300, 60), QPoint(100, 100), window, QSize(640, 480), clientTop), QPoint(100, top));
    }

    void exactlyOnTheMarginDoesNotMove()
    {
        QCOMPARE(step(QPoint(150, 172)), QPoint(100, 100));  // dx = 50, dy = 72
        QCOMPARE(step(QPoint(690, 530)), QPoint(100, 100));  // dx = 590 = CW - 50, dy = 430 = CH - 50
    }

    void aRegionNarrowerThanTheMarginsLetsTheLaterTestWin()
    {
        // Client 80 × 100: a pointer 40 pixels in is both too near the left and too near the right.
        const QPoint moved = step(QPoint(340, 300), QPoint(300, 100), QSize(100, 142), QSize(80, 100));
        QCOMPARE(moved.x(), 340 - 100 + 50); // the right-margin rule, applied last
    }
};

QTEST_APPLESS_MAIN(FollowCursorTest)
#include "test_followcursor.moc"

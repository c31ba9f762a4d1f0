// The screen on a real X display: a grab shows what the screen shows at that place (our windows of known
// colours), black beyond the screen's edges, by each grab method; the pointer is where xdotool put it.

#include "platform/Screen.h"

#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QRasterWindow>
#include <QtTest>

using namespace quolva::platform;
using Method = Screen::GrabMethod;

Q_DECLARE_METATYPE(Screen::GrabMethod)

namespace {

// A borderless window painted in two halves.
class TwoColourWindow : public QRasterWindow {
public:
    TwoColourWindow(QColor left, QColor right, QRect geometry) : m_left(left), m_right(right)
    {
        setFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        setGeometry(geometry);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(0, 0, width() / 2, height(), m_left);
        p.fillRect(width() / 2, 0, width() - width() / 2, height(), m_right);
    }

private:
    QColor m_left, m_right;
};

const QRgb kRed = qRgb(220, 20, 30), kBlue = qRgb(20, 40, 230), kGreen = qRgb(10, 200, 60),
           kYellow = qRgb(240, 220, 10), kBlack = qRgb(0, 0, 0);

}  // namespace

class GuiScreen : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(QGuiApplication::platformName() == QLatin1String("xcb"),
                 "needs an X display: run under scripts/with-rig.sh");
        const QSize size = QGuiApplication::primaryScreen()->geometry().size();
        m_middle = std::make_unique<TwoColourWindow>(kRed, kBlue, QRect(100, 150, 200, 100));
        m_corner = std::make_unique<TwoColourWindow>(kGreen, kGreen, QRect(0, 0, 60, 60));
        m_farCorner = std::make_unique<TwoColourWindow>(kYellow, kYellow,
                                                        QRect(size.width() - 50, size.height() - 40, 50, 40));
        for (QWindow* w : {m_middle.get(), m_corner.get(), m_farCorner.get()}) {
            w->show();
            QVERIFY(QTest::qWaitForWindowExposed(w));
        }
        // Until the server has the painted pixels.
        Screen screen;
        QImage probe;
        QVERIFY(QTest::qWaitFor([&] {
            screen.grab(QRect(110, 160, 1, 1), probe);
            return probe.pixel(0, 0) == kRed;
        }, 5000));
    }

    void automaticChoosesSharedMemory()
    {
        // Xvfb offers MIT-SHM to local clients.
        QCOMPARE(Screen().method(), Method::XcbShm);
    }

    void grabShowsTheScreen_data()
    {
        QTest::addColumn<Method>("method");
        QTest::newRow("MIT-SHM") << Method::XcbShm;
        QTest::newRow("GetImage") << Method::XcbGetImage;
        QTest::newRow("Qt") << Method::QtScreen;
    }

    void grabShowsTheScreen()
    {
        QFETCH(Method, method);
        Screen screen(method);
        QCOMPARE(screen.method(), method);
        QImage frame;
        screen.grab(QRect(90, 140, 220, 120), frame);
        QCOMPARE(frame.size(), QSize(220, 120));
        QCOMPARE(frame.format(), QImage::Format_RGB32);
        QCOMPARE(frame.pixel(10, 10), kRed);    // the window's top-left pixel
        QCOMPARE(frame.pixel(109, 109), kRed);  // last pixel of the left half
        QCOMPARE(frame.pixel(110, 10), kBlue);
        QCOMPARE(frame.pixel(209, 109), kBlue);  // the window's bottom-right pixel
        QVERIFY(frame.pixel(210, 110) != kBlue);
    }

    void grabBeyondTheEdgesIsBlack_data() { grabShowsTheScreen_data(); }

    void grabBeyondTheEdgesIsBlack()
    {
        QFETCH(Method, method);
        Screen screen(method);
        QImage frame;
        screen.grab(QRect(-30, -20, 80, 70), frame);
        QCOMPARE(frame.size(), QSize(80, 70));
        QCOMPARE(frame.pixel(0, 0), kBlack);
        QCOMPARE(frame.pixel(29, 69), kBlack);  // left of the screen
        QCOMPARE(frame.pixel(79, 19), kBlack);  // above the screen
        QCOMPARE(frame.pixel(30, 20), kGreen);  // the screen's (0, 0)
        QCOMPARE(frame.pixel(79, 69), kGreen);

        const QSize size = screen.size();
        screen.grab(QRect(size.width() - 30, size.height() - 20, 60, 50), frame);
        QCOMPARE(frame.size(), QSize(60, 50));
        QCOMPARE(frame.pixel(0, 0), kYellow);
        QCOMPARE(frame.pixel(29, 19), kYellow);  // the screen's last pixel
        QCOMPARE(frame.pixel(30, 0), kBlack);
        QCOMPARE(frame.pixel(0, 20), kBlack);
        QCOMPARE(frame.pixel(59, 49), kBlack);

        screen.grab(QRect(-500, 100, 40, 40), frame);  // wholly off screen
        QCOMPARE(frame.pixel(0, 0), kBlack);
        QCOMPARE(frame.pixel(39, 39), kBlack);
    }

    void grabReusesTheImage()
    {
        Screen screen;
        QImage frame;
        screen.grab(QRect(100, 150, 64, 48), frame);
        const uchar* pixels = frame.constBits();
        for (int i = 0; i < 5; ++i)
            screen.grab(QRect(100 + i, 150, 64, 48), frame);
        QCOMPARE(frame.constBits(), pixels);
        QCOMPARE(frame.pixel(0, 0), kRed);
        screen.grab(QRect(0, 0, 32, 32), frame);  // another size: a new image
        QCOMPARE(frame.size(), QSize(32, 32));
        QCOMPARE(frame.pixel(31, 31), kGreen);
    }

    void screenSizeIsTheDisplays()
    {
        QCOMPARE(Screen().size(), QGuiApplication::primaryScreen()->geometry().size());
    }

    void pointerIsWhereXdotoolPutIt()
    {
        Screen screen;
        for (const QPoint p : {QPoint(321, 234), QPoint(0, 0), QPoint(777, 555)}) {
            QCOMPARE(QProcess::execute(QStringLiteral("xdotool"),
                                       {QStringLiteral("mousemove"), QString::number(p.x()), QString::number(p.y())}),
                     0);
            QTRY_COMPARE_WITH_TIMEOUT(screen.getCursorPos(), p, 2000);
        }
    }

    void cleanupTestCase()
    {
        m_middle.reset();
        m_corner.reset();
        m_farCorner.reset();
    }

private:
    std::unique_ptr<QWindow> m_middle, m_corner, m_farCorner;
};

QTEST_MAIN(GuiScreen)
#include "gui_screen.moc"

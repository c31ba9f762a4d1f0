// The screen and hotkey services without an X display (offscreen): the screen falls back to Qt's grab,
// and hotkeys report that they are unavailable instead of failing.

#include "platform/GlobalHotkeys.h"
#include "platform/Screen.h"

#include <QGuiApplication>
#include <QPainter>
#include <QRasterWindow>
#include <QScreen>
#include <QtTest>

using namespace quolva::platform;

namespace {

class ColourWindow : public QRasterWindow {
public:
    explicit ColourWindow(QColor colour) : m_colour(colour) {}

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(QRect(QPoint(), size()), m_colour); }

private:
    QColor m_colour;
};

}  // namespace

class TestPlatformOffscreen : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QCOMPARE(QGuiApplication::platformName(), QStringLiteral("offscreen")); }

    void screenFallsBackToQt()
    {
        Screen screen;
        QCOMPARE(screen.method(), Screen::GrabMethod::QtScreen);
        QCOMPARE(screen.size(), QGuiApplication::primaryScreen()->geometry().size());
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, Screen(Screen::GrabMethod::XcbShm));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, Screen(Screen::GrabMethod::XcbGetImage));
    }

    void grabShowsOurWindowAndBlackBeyondTheScreen()
    {
        ColourWindow window(QColor(200, 30, 60));
        window.setGeometry(0, 0, 100, 80);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        Screen screen;
        QImage frame;
        screen.grab(QRect(-20, -10, 60, 50), frame);
        QCOMPARE(frame.size(), QSize(60, 50));
        QCOMPARE(frame.format(), QImage::Format_RGB32);
        QCOMPARE(frame.pixel(5, 5), qRgb(0, 0, 0));     // left of and above the screen
        QCOMPARE(frame.pixel(25, 15), qRgb(200, 30, 60));
        QCOMPARE(frame.pixel(59, 49), qRgb(200, 30, 60));

        const QSize size = screen.size();
        screen.grab(QRect(size.width() + 10, 0, 30, 30), frame);  // wholly beyond the right edge
        QCOMPARE(frame.size(), QSize(30, 30));
        QCOMPARE(frame.pixel(0, 0), qRgb(0, 0, 0));
        QCOMPARE(frame.pixel(29, 29), qRgb(0, 0, 0));

        QVERIFY_THROWS_EXCEPTION(std::runtime_error, screen.grab(QRect(0, 0, 0, 10), frame));
    }

    void hotkeysAreUnavailable()
    {
        GlobalHotkeys hotkeys;
        QVERIFY(!hotkeys.isAvailable());
        QCOMPARE(hotkeys.registerHotKey(0x10DF, Qt::ShiftModifier, Qt::Key_Up),
                 GlobalHotkeys::Registration::Unavailable);
        QVERIFY(!hotkeys.unregisterHotKey(0x10DF));
        const QString text = GlobalHotkeys::describe(GlobalHotkeys::Registration::Unavailable, Qt::ShiftModifier, Qt::Key_Up);
        QVERIFY2(text.contains(QLatin1String("Shift+Up")), qPrintable(text));
    }
};

QTEST_MAIN(TestPlatformOffscreen)
#include "test_platform_offscreen.moc"

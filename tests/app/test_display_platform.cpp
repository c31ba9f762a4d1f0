// The window system the program chooses: XWayland under a Wayland session, the user's own choice kept.
#include "app/DisplayPlatform.h"

#include <QtTest>

using quolva::app::DisplayChoice;

class DisplayPlatformTest : public QObject {
    Q_OBJECT
private slots:
    void choosesXcbUnderWaylandOnly_data()
    {
        QTest::addColumn<QByteArray>("display");
        QTest::addColumn<QByteArray>("wayland");
        QTest::addColumn<QByteArray>("platform"); // "-" for unset
        QTest::addColumn<int>("choice");
        QTest::addColumn<QByteArray>("platformAfter");
        QTest::newRow("X11 session") << QByteArray(":0") << QByteArray() << QByteArray("-") << int(DisplayChoice::AsIs) << QByteArray("-");
        QTest::newRow("Wayland with XWayland") << QByteArray(":0") << QByteArray("wayland-0") << QByteArray("-")
                                               << int(DisplayChoice::XWayland) << QByteArray("xcb");
        QTest::newRow("Wayland, platform chosen by the user") << QByteArray(":0") << QByteArray("wayland-0")
                                                              << QByteArray("wayland") << int(DisplayChoice::AsIs) << QByteArray("wayland");
        QTest::newRow("Wayland without XWayland") << QByteArray() << QByteArray("wayland-0") << QByteArray("-")
                                                  << int(DisplayChoice::NoDisplay) << QByteArray("-");
        QTest::newRow("headless run") << QByteArray() << QByteArray() << QByteArray("offscreen") << int(DisplayChoice::AsIs)
                                      << QByteArray("offscreen");
    }
    void choosesXcbUnderWaylandOnly()
    {
        QFETCH(QByteArray, display);
        QFETCH(QByteArray, wayland);
        QFETCH(QByteArray, platform);
        QFETCH(int, choice);
        QFETCH(QByteArray, platformAfter);
        const auto set = [](const char* name, const QByteArray& value) {
            if (value.isEmpty() || value == "-")
                qunsetenv(name);
            else
                qputenv(name, value);
        };
        set("DISPLAY", display);
        set("WAYLAND_DISPLAY", wayland);
        set("QT_QPA_PLATFORM", platform);
        QCOMPARE(int(quolva::app::chooseDisplayPlatform()), choice);
        QCOMPARE(qEnvironmentVariableIsSet("QT_QPA_PLATFORM") ? qgetenv("QT_QPA_PLATFORM") : QByteArray("-"), platformAfter);
        QVERIFY(quolva::app::xwaylandNote().contains(QStringLiteral("X11")));
    }
};

QTEST_APPLESS_MAIN(DisplayPlatformTest)
#include "test_display_platform.moc"

// The window system the program chooses: XWayland under a Wayland session, the user's own choice kept.
#include "app/DisplayPlatform.h"

#include <QProcess>
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

    // A display that nobody serves is named before Qt would abort on it, on the X11 platform only; the
    // program then says so and ends with status 2 instead of dumping core.
    void tellsWhenTheXDisplayCannotBeReached_data()
    {
        QTest::addColumn<QByteArray>("platform"); // "-" for unset
        QTest::addColumn<bool>("told");
        QTest::newRow("X11 by default") << QByteArray("-") << true;
        QTest::newRow("xcb chosen") << QByteArray("xcb") << true;
        QTest::newRow("offscreen: no display needed") << QByteArray("offscreen") << false;
    }
    void tellsWhenTheXDisplayCannotBeReached()
    {
        QFETCH(QByteArray, platform);
        QFETCH(bool, told);
        qputenv("DISPLAY", ":4077");
        platform == "-" ? qunsetenv("QT_QPA_PLATFORM") : qputenv("QT_QPA_PLATFORM", platform);
        const QString said = quolva::app::unreachableXDisplay();
        QCOMPARE(!said.isEmpty(), told);
        if (told)
            QVERIFY2(said.contains(QStringLiteral("\":4077\"")), qPrintable(said));
        if (platform == "-") {
            QProcess program;
            program.start(qEnvironmentVariable("QUOLVA_BIN_DIR") + QStringLiteral("/quolva"));
            QVERIFY(program.waitForFinished(30000));
            QCOMPARE(program.exitStatus(), QProcess::NormalExit);
            QCOMPARE(program.exitCode(), 2);
            QVERIFY(program.readAllStandardError().contains("cannot connect to the X display \":4077\""));
        }
    }
};

QTEST_APPLESS_MAIN(DisplayPlatformTest)
#include "test_display_platform.moc"

// Start-up on a real X display: the window set, captions and title, the about box, help and exit.
#include "ScreenPictures.h"
#include "Rig.h"
#include "ScriptedPrompts.h"
#include "app/Application.h"
#include "app/HelpFile.h"
#include "app/Startup.h"
#include "app/Unit8.h"
#include "editor/Etool.h"
#include "publish/Unit6.h"
#include "record/PanelFace.h"
#include "record/Unit1.h"
#include "record/Unit2.h"
#include "record/Unit5.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

using quolva::test::RecordingShell;
using quolva::test::ScriptedPrompts;

using quolva::test::distinctColours;

namespace {

QString className(const QWidget* window)
{
    return QString::fromLatin1(window->metaObject()->className()).section(QStringLiteral("::"), -1);
}

} // namespace

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QUOLVA_REQUIRE_DISPLAY(); }

    void createsTheWindowSetInOrderWithOnlyTheMainWindowShown()
    {
        const auto windows = quolva::app::startUp();
        QVERIFY(windows);
        QStringList order;
        for (const QWidget* window : windows->creationOrder())
            order << className(window);
        QCOMPARE(order, (QStringList{"TForm7", "TForm1", "TForm2", "TForm5", "TForm6", "TForm8"}));
        QCOMPARE(&windows->mainWindow(), static_cast<QWidget*>(&windows->Form7()));
        QVERIFY(QTest::qWaitForWindowExposed(&windows->mainWindow()));
        for (const QWidget* window : windows->creationOrder().mid(1))
            QVERIFY2(!window->isVisible(), qPrintable(className(window)));
        QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Quolva4.1"));
    }

    void windowsCarryTheirCaptionsAndSizes()
    {
        const auto windows = quolva::app::startUp();
        QCOMPARE(windows->Form7().windowTitle(), QStringLiteral("Quolva 4.1"));
        QCOMPARE(windows->Form2().windowTitle(), QStringLiteral("取景窗口"));
        QCOMPARE(windows->Form5().windowTitle(), QStringLiteral("捕捉设置向导"));
        QCOMPARE(windows->Form6().windowTitle(), QStringLiteral("发布所录AVI文件"));
        QCOMPARE(windows->Form8().windowTitle(), QStringLiteral("关于"));
        QCOMPARE(windows->Form1().size(), QSize(154, 60));
        QVERIFY(windows->Form1().windowFlags() & Qt::FramelessWindowHint);
        const QSize screen = QGuiApplication::primaryScreen()->size();
        QCOMPARE(windows->Form1().pos(), QPoint(screen.width() - 230, screen.height() - 140));
        QCOMPARE(windows->Form8().size(), QSize(317, 216));
    }

    void aboutBoxShowsPictureIconVersionAndCloseButton()
    {
        const auto windows = quolva::app::startUp();
        quolva::app::TForm8& about = windows->Form8();
        windows->Form7().N18Click(); // the help menu's "关于(&a)..." runs the panel's about command
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        QVERIFY(!about.isModal());
        QVERIFY(about.windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(about.palette().color(QPalette::Window), QColor(0, 0, 255));

        QCOMPARE(about.Image1->geometry(), QRect(317 - 113, 0, 113, 216));
        QVERIFY(distinctColours(about.Image1->pixmap().toImage()) > 50);
        QCOMPARE(about.Image2->geometry(), QRect(24, 16, 32, 32));
        QVERIFY(distinctColours(about.Image2->pixmap().toImage()) > 10);
        QCOMPARE(about.Label2->text(), QStringLiteral("Quolva V4.1"));
        QCOMPARE(about.Label2->pos(), QPoint(40, 56));
        QCOMPARE(about.Label2->font().pixelSize(), 32);
        QVERIFY(about.Label2->font().bold());
        QCOMPARE(about.Label2->palette().color(QPalette::WindowText), QColor(192, 192, 192));
        QCOMPARE(about.SpeedButton1->text(), QStringLiteral("关闭"));
        QCOMPARE(about.SpeedButton1->toolTip(), QStringLiteral("关闭"));
        QCOMPARE(about.SpeedButton1->geometry(), QRect(120, 160, 57, 25));

        // The screen shows the box: blue around the label, silver strokes of the version text.
        QTest::qWait(200);
        const QImage shot = about.screen()->grabWindow(about.winId()).toImage();
        QCOMPARE(shot.pixelColor(10, 200), QColor(0, 0, 255));
        int silver = 0;
        for (int y = 56; y < 56 + about.Label2->height(); ++y)
            for (int x = 40; x < 40 + about.Label2->width(); ++x)
                silver += shot.pixelColor(x, y) == QColor(192, 192, 192);
        QVERIFY2(silver > 100, qPrintable(QString::number(silver)));
        const QString screenshots = qEnvironmentVariable("QUOLVA_SCREENSHOT_DIR");
        if (!screenshots.isEmpty())
            QVERIFY(shot.save(QDir(screenshots).filePath(QStringLiteral("about-box.png"))));

        QTest::mouseClick(about.SpeedButton1, Qt::LeftButton);
        QTRY_VERIFY(!about.isVisible());
    }

    void helpOpensTheHelpFileBesideTheProgram()
    {
        RecordingShell::Installed shell;
        ScriptedPrompts::Installed prompts;
        const auto windows = quolva::app::startUp();
        windows->Form7().N19Click();
        const QString expected = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("Zentra.chm"));
        QCOMPARE(shell->opened, QStringList{expected});
        QVERIFY2(QFileInfo(expected).size() > 1000, "the build places the compiled help file beside the program");
        QVERIFY(prompts->messages.isEmpty());
    }

    void helpThatCannotBeOpenedIsReported()
    {
        RecordingShell::Installed shell;
        shell->succeed = false;
        ScriptedPrompts::Installed prompts;
        const auto windows = quolva::app::startUp();
        windows->Form1().N1Click();
        QCOMPARE(prompts->messages.size(), 1);
        QVERIFY(prompts->messages.front().text.contains(QStringLiteral("Zentra.chm")));
        QCOMPARE(prompts->messages.front().icon, quolva::platform::MessageIcon::Warning);
    }

    void closingTheMainWindowEndsTheProgram()
    {
        const auto windows = quolva::app::startUp();
        windows->Form8().show(); // another window left open does not keep the program running
        QTimer::singleShot(50, &windows->Form7(), [&] { windows->Form7().close(); });
        QTimer watchdog;
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(3); });
        watchdog.start(5000);
        QCOMPARE(QCoreApplication::exec(), 0);
    }

    // Ways users end the program under a window manager: the main window's close button (the manager
    // sends WM_DELETE_WINDOW, as wmctrl -c does) and the panel's close box clicked with the pointer.
    void closingThroughTheWindowManagerOrThePanelEndsTheProgram_data()
    {
        QTest::addColumn<bool>("panelCloseBox");
        QTest::newRow("main window closed by the window manager") << false;
        QTest::newRow("panel's close box") << true;
    }
    void closingThroughTheWindowManagerOrThePanelEndsTheProgram()
    {
        QFETCH(bool, panelCloseBox);
        const auto windows = quolva::app::startUp();
        QVERIFY(QTest::qWaitForWindowExposed(&windows->Form7()));
        QProcess hand;
        if (panelCloseBox) {
            quolva::record::TForm1& panel = windows->Form1();
            windows->Form7().hide();
            panel.show();
            QVERIFY(QTest::qWaitForWindowExposed(&panel));
            QTest::qWait(200); // placed by the window manager
            const QPoint box = panel.mapToGlobal(panel.face->shape(quolva::record::PanelShapeId::Shape7).bounds.center());
            hand.start(QStringLiteral("xdotool"), {"mousemove", QString::number(box.x()), QString::number(box.y()),
                                                   "sleep", "0.2", "click", "1"});
        } else {
            hand.start(QStringLiteral("wmctrl"), {"-c", windows->Form7().windowTitle()});
        }
        QVERIFY(hand.waitForStarted());
        QTimer watchdog;
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(3); });
        watchdog.start(5000);
        QCOMPARE(QCoreApplication::exec(), 0);
        hand.waitForFinished();
        QCOMPARE(hand.exitCode(), 0);
    }

    // Where the windows open under a window manager, as the screen shows them (their outer frames): the
    // wizard and the about box centred on the desktop, the panel 230 and 140 pixels from the right and
    // bottom edges.
    void windowsOpenWhereTheyBelong()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = quolva::app::startUp();
        QScreen* screen = QGuiApplication::primaryScreen();
        const QRect desktop = screen->availableGeometry();
        const QSize size = screen->size();
        const auto frameOnScreen = [](QWidget& window) {
            // The frame as the window manager placed it: the client's place on the root window grown by
            // the decoration the manager announces.
            QProcess probe;
            probe.start(QStringLiteral("xwininfo"), {"-id", QString::number(window.winId())});
            probe.waitForFinished();
            QMap<QString, int> g;
            for (const QByteArray& line : probe.readAllStandardOutput().split('\n'))
                if (line.contains(':'))
                    g.insert(QString::fromLatin1(line.left(line.indexOf(':')).trimmed()), line.mid(line.indexOf(':') + 1).trimmed().toInt());
            QProcess extents;
            extents.start(QStringLiteral("xprop"), {"-id", QString::number(window.winId()), "_NET_FRAME_EXTENTS"});
            extents.waitForFinished();
            const QString text = QString::fromLatin1(extents.readAllStandardOutput());
            QList<int> e{0, 0, 0, 0};
            if (text.contains('='))
                for (int i = 0; i < 4; ++i)
                    e[i] = text.section('=', 1).section(',', i, i).trimmed().toInt();
            return QRect(g.value("Absolute upper-left X") - e[0], g.value("Absolute upper-left Y") - e[2],
                         g.value("Width") + e[0] + e[1], g.value("Height") + e[2] + e[3]);
        };
        quolva::record::TForm1& panel = windows->Form1();
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        QTRY_COMPARE(frameOnScreen(panel).topLeft(), QPoint(size.width() - 230, size.height() - 140));

        for (QWidget* window : {static_cast<QWidget*>(&windows->Form5()), static_cast<QWidget*>(&windows->Form8())}) {
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window));
            QTest::qWait(300); // the manager's decoration and placement are applied after the window shows
            const QRect frame = frameOnScreen(*window);
            QVERIFY2((frame.center() - desktop.center()).manhattanLength() <= 2,
                     qPrintable(QStringLiteral("%1: frame %2,%3 %4x%5, desktop centre %6,%7")
                                    .arg(className(window)).arg(frame.x()).arg(frame.y()).arg(frame.width())
                                    .arg(frame.height()).arg(desktop.center().x()).arg(desktop.center().y())));
            window->hide();
        }
    }
};

int main(int argc, char** argv)
{
    quolva::app::QuolvaApplication application(argc, argv);
    StartupTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "gui_startup.moc"

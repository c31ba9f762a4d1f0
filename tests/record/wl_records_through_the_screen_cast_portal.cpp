// Recording on a Wayland desktop, in the GPU-less GNOME rig (scripts/with-wayland-rig.sh): quolvactl
// record reads the screen through the desktop's screen cast portal, so a native Wayland window (which an
// X11 grab sees as black) reaches the frames with its colours, its changes and the pointer; a region
// over the monitor's edge is black outside; following the pointer works; without an approval the start
// is refused after a bounded wait, and without the portal the X11 path records as before.
#include "Quolvactl.h"
#include "RecordGuiSupport.h"
#include "WaylandSupport.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

using namespace quolva;
using quolva::test::Helper;
using quolva::test::approveScreenCast;
using quolva::test::kGreen;
using quolva::test::kRed;
using quolva::test::near;
using quolva::test::writeScreenCastToken;


class ScreenCastPortalRecording : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir;
    std::unique_ptr<Helper> window;

    QList<QImage> record(const QString& name, const QStringList& options, test::QuolvactlRun* run = nullptr)
    {
        const QString target = dir.filePath(name);
        const test::QuolvactlRun done = test::RunQuolvactl(QStringList{QStringLiteral("record"), target} + options);
        if (run)
            *run = done;
        if (done.status != 0)
            qWarning().noquote() << done.out << done.err;
        return QFile::exists(target + QStringLiteral(".xxx")) ? test::framesOf(target) : QList<QImage>();
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(qEnvironmentVariable("QUOLVA_WAYLAND_RIG") == QLatin1String("1"), "run through scripts/with-wayland-rig.sh");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("config"))));
        qputenv("QUOLVA_SOUND_SOURCE", "tone:440");
        window = std::make_unique<Helper>(QStringLiteral("colour_window.py"),
                                          QStringList{kRed.name(), kGreen.name()}, QStringLiteral("colour window up"));
        QVERIFY2(window->up(QStringLiteral("colour window up")), qPrintable(window->output()));
    }

    // A region over the native window: its colour, a change of it within two frames, and the arrow where
    // the pointer is; the approval is kept for the next recording.
    void recordsANativeWindowWithItsChangesAndThePointer()
    {
        approveScreenCast();
        Helper pointer(QStringLiteral("move_pointer.py"), {"150", "130", "--stay"}, QStringLiteral("pointer 150 130"));
        QVERIFY2(pointer.up(QStringLiteral("pointer 150 130")), qPrintable(pointer.output()));

        // The colour turns green one second into the recording.
        QProcess recording;
        recording.setProcessChannelMode(QProcess::MergedChannels);
        const QString target = dir.filePath(QStringLiteral("native.avi"));
        recording.start(qEnvironmentVariable("QUOLVA_BIN_DIR") + QStringLiteral("/quolvactl"),
                        {"record", target, "--region", "200x150+100+100", "--seconds", "3"});
        QByteArray said;
        QElapsedTimer started;
        while (!said.contains("recording ") && recording.waitForReadyRead(20000))
            said += recording.readAll();
        started.start();
        QVERIFY2(said.contains("recording "), said.constData());
        QTest::qWait(1000);
        ::kill(pid_t(window->pid()), SIGUSR1);
        const qint64 changedAt = started.elapsed();
        QVERIFY(recording.waitForFinished(30000));
        said += recording.readAll();
        QVERIFY2(recording.exitCode() == 0, said.constData());

        const QList<QImage> frames = test::framesOf(target);
        QVERIFY2(frames.size() >= 25, qPrintable(QString::number(frames.size())));
        QVERIFY(near(frames.front().pixelColor(180, 20), kRed));
        int firstGreen = -1;
        for (int i = 0; i < frames.size() && firstGreen < 0; ++i)
            if (near(frames[i].pixelColor(180, 20), kGreen))
                firstGreen = i;
        const int due = int(changedAt / 100);
        QVERIFY2(firstGreen >= 0 && firstGreen <= due + 2 + 1, // a tick of slack for the start line's latency
                 qPrintable(QStringLiteral("the colour changed at frame %1, the window changed it at frame %2")
                                .arg(firstGreen).arg(due)));
        const std::optional<QPoint> tip = test::arrowTipIn(frames.back());
        QVERIFY2(tip && (*tip - QPoint(50, 30)).manhattanLength() <= 3,
                 qPrintable(tip ? QStringLiteral("arrow at %1,%2").arg(tip->x()).arg(tip->y()) : QStringLiteral("no arrow")));

        // A second recording starts from the kept approval, without asking.
        QVERIFY(!record(QStringLiteral("again.avi"), {"--region", "64x48+0+0", "--seconds", "1"}).isEmpty());
        ::kill(pid_t(window->pid()), SIGUSR1); // back to red for the next cases
    }

    // The whole monitor, and a region over its corner: what lies beyond the monitor is black.
    void fullScreenAndARegionOverTheMonitorsEdge()
    {
        approveScreenCast();
        QList<QImage> frames = record(QStringLiteral("whole.avi"), {"--full-screen", "--seconds", "1"});
        QVERIFY(!frames.isEmpty());
        QCOMPARE(frames.back().size(), QSize(1280, 720));
        QVERIFY(near(frames.back().pixelColor(640, 360), kRed));
        test::saveScreenshot(frames.back(), QStringLiteral("wayland-frame-through-the-portal.png"));

        frames = record(QStringLiteral("edge.avi"), {"--region", "200x150+1180+650", "--seconds", "1"});
        QVERIFY(!frames.isEmpty());
        QVERIFY(near(frames.back().pixelColor(50, 35), kRed));
        QVERIFY(near(frames.back().pixelColor(150, 35), Qt::black));
        QVERIFY(near(frames.back().pixelColor(50, 110), Qt::black));
    }

    // Following the pointer: the region goes where the pointer is, which then lies inside it.
    void followsThePointer()
    {
        approveScreenCast();
        Helper pointer(QStringLiteral("move_pointer.py"), {"900", "500", "--stay"}, QStringLiteral("pointer 900 500"));
        QVERIFY2(pointer.up(QStringLiteral("pointer 900 500")), qPrintable(pointer.output()));
        const QList<QImage> frames = record(QStringLiteral("follow.avi"), {"--region", "200x150+100+100", "--follow", "--seconds", "1"});
        QVERIFY(frames.size() >= 5);
        const std::optional<QPoint> tip = test::arrowTipIn(frames.back());
        QVERIFY2(tip && QRect(40, 40, 120, 70).contains(*tip),
                 qPrintable(tip ? QStringLiteral("arrow at %1,%2").arg(tip->x()).arg(tip->y()) : QStringLiteral("no arrow")));
    }

    // No approval kept and nobody answers the chooser: a clear refusal after a bounded wait, no files.
    void withoutAnApprovalTheStartIsRefused()
    {
        writeScreenCastToken(QString());
        qputenv("QUOLVA_SCREENCAST_WAIT_SECONDS", "3");
        test::QuolvactlRun run;
        QElapsedTimer took;
        took.start();
        record(QStringLiteral("refused.avi"), {"--region", "64x48+0+0", "--seconds", "1"}, &run);
        qunsetenv("QUOLVA_SCREENCAST_WAIT_SECONDS");
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains(QStringLiteral("did not answer")), qPrintable(run.err));
        QVERIFY2(took.elapsed() < 20000, qPrintable(QString::number(took.elapsed())));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("refused.avi"))));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("refused.avi.xxx"))));
    }

    // A Wayland desktop without the portal: the X11 path, which sees no native window, and says so.
    void withoutThePortalX11RecordsAsBefore()
    {
        const QByteArray bus = qgetenv("DBUS_SESSION_BUS_ADDRESS");
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/quolva-no-bus");
        test::QuolvactlRun run;
        const QList<QImage> frames = record(QStringLiteral("x11.avi"), {"--region", "200x150+100+100", "--seconds", "1"}, &run);
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus);
        QCOMPARE(run.status, 0);
        QVERIFY2(run.err.contains(QStringLiteral("XWayland")), qPrintable(run.err));
        QVERIFY(!frames.isEmpty());
        QVERIFY(!near(frames.back().pixelColor(100, 75), kRed));
    }
};

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    ScreenCastPortalRecording test;
    return QTest::qExec(&test, argc, argv);
}

#include "wl_records_through_the_screen_cast_portal.moc"

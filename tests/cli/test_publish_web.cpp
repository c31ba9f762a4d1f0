// quolvactl publish --mp4/--webm/--gif run as a program: the movie with a progress line and a summary,
// --quality reaching the encoder, and mistaken command lines (status 2) or movies that cannot be made
// (status 1, nothing left behind) told in one message.
#include "Quolvactl.h"
#include "../publish/PublishTestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

using namespace quolva;
using namespace quolva::test;

class PublishWebCommandTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void commandLines_data()
    {
        QTest::addColumn<QStringList>("options"); // OUT stands for the output's path
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("says");
        QTest::newRow("mp4") << QStringList{"--mp4", "OUT"} << 0
                             << "wrote OUT: MP4 (H.264), 11 frames at 11.00 frames a second, 1.000 s of sound";
        QTest::newRow("webm without sound") << QStringList{"--webm", "OUT", "--track", "none"} << 0
                                            << "wrote OUT: WebM (VP9), 11 frames at 11.00 frames a second, no sound";
        QTest::newRow("gif") << QStringList{"--gif", "OUT", "--quality", "20"} << 0
                             << "wrote OUT: GIF, 11 frames at 11.00 frames a second";
        QTest::newRow("no dubbed track 2") << QStringList{"--mp4", "OUT", "--track", "2"} << 1 << "没有第 2 条配音";
        QTest::newRow("missing folder") << QStringList{"--webm", "no/such/OUT"} << 1 << "无法创建文件";
        QTest::newRow("two outputs") << QStringList{"--mp4", "OUT", "--gif", "OUT"} << 2 << "give one of --mp4, --webm and --gif";
        QTest::newRow("a track for a gif") << QStringList{"--gif", "OUT", "--track", "1"} << 2 << "a GIF has no sound";
        QTest::newRow("a bad track") << QStringList{"--mp4", "OUT", "--track", "first"} << 2 << "--track needs";
        QTest::newRow("a codec") << QStringList{"--mp4", "OUT", "--codec", "h264"} << 2 << "--codec belongs to --avi";
    }
    void commandLines()
    {
        QFETCH(QStringList, options);
        QFETCH(int, status);
        QFETCH(QString, says);
        QTemporaryDir out;
        const QString rec = MakeRecording(dir_.path(), QStringLiteral("rec.avi"), {.frames = 11, .width = 64, .height = 48});
        const QString movie = out.filePath(QStringLiteral("movie"));
        options.replaceInStrings(QStringLiteral("OUT"), movie);
        says.replace(QStringLiteral("OUT"), movie);
        const QuolvactlRun run = RunQuolvactl(QStringList{QStringLiteral("publish"), rec} + options);
        QCOMPARE(run.status, status);
        if (status == 0) {
            QCOMPARE(run.out.trimmed(), says);
            QVERIFY2(run.err.contains(QStringLiteral(" 100 %")) && !run.err.contains(QStringLiteral("x264")),
                     qPrintable(run.err));
            QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("movie")});
        } else {
            QVERIFY2(run.err.contains(says), qPrintable(run.err));
            QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
        }
    }

    // --quality maps onto the encoder's own scale: the smallest quality gives a smaller movie than the best.
    void qualityReachesTheEncoder()
    {
        const QString rec = MakeScreenRecording(dir_.path(), QStringLiteral("screen.avi"), 160, 120, 10);
        qint64 sizes[2] = {};
        for (int i = 0; i < 2; ++i) {
            const QString movie = dir_.filePath(QStringLiteral("q%1.webm").arg(i));
            const QuolvactlRun run =
                RunQuolvactl({"publish", rec, "--webm", movie, "--track", "none", "--quality", i == 0 ? "0" : "100"});
            QVERIFY2(run.status == 0, qPrintable(run.err));
            sizes[i] = QFileInfo(movie).size();
        }
        QVERIFY2(sizes[0] * 2 < sizes[1], qPrintable(QStringLiteral("%1 %2").arg(sizes[0]).arg(sizes[1])));
    }
};

QTEST_GUILESS_MAIN(PublishWebCommandTest)
#include "test_publish_web.moc"

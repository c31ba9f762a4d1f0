// The flusher of a recording's files: a round at once, one each interval, a last one at the stop, which
// never waits for the interval to run out; a file it cannot open is named in its failure while the
// others are flushed. (What reaches the disk is proved by record_e2e_recording_survives_a_power_cut.)
#include "store/FileFlusher.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <fstream>
#include <thread>

using namespace quolva;

class FileFlusherTest : public QObject {
    Q_OBJECT
private slots:
    void flushesUntilStopped_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<int>("intervalMs");
        QTest::addColumn<int>("runMs");
        QTest::addColumn<int>("fewestRounds");
        QTest::addColumn<QString>("failure");
        QTest::newRow("every interval") << QStringList{"a.avi", "a.avi.xxx"} << 20 << 200 << 4 << QString();
        QTest::newRow("stopped long before the interval") << QStringList{"a.avi"} << 60000 << 50 << 2 << QString();
        QTest::newRow("a file that cannot be opened")
            << QStringList{"gone/a.avi", "a.avi.xxx"} << 60000 << 0 << 2
            << QStringLiteral("/gone/a.avi\" to the disk: it cannot be opened: No such file or directory");
    }

    void flushesUntilStopped()
    {
        QFETCH(QStringList, files);
        QFETCH(int, intervalMs);
        QFETCH(int, runMs);
        QFETCH(int, fewestRounds);
        QFETCH(QString, failure);
        QTemporaryDir dir;
        std::vector<std::filesystem::path> paths;
        for (const QString& name : files) {
            paths.emplace_back(dir.filePath(name).toStdString());
            if (!name.startsWith(QLatin1String("gone/")))
                std::ofstream(paths.back()) << "recorded bytes";
        }

        store::FileFlusher flusher{std::chrono::milliseconds(intervalMs)};
        QElapsedTimer running;
        running.start();
        flusher.start(paths);
        QVERIFY(flusher.isRunning());
        std::this_thread::sleep_for(std::chrono::milliseconds(runMs));
        QElapsedTimer stopping;
        stopping.start();
        flusher.stop();
        QVERIFY2(stopping.elapsed() < 1000, qPrintable(QString::number(stopping.elapsed())));
        QVERIFY(!flusher.isRunning());
        flusher.stop(); // a second stop does nothing

        const store::FileFlusher::Figures figures = flusher.figures();
        // The first round, one per interval that ran out, the last one.
        const qint64 mostRounds = 2 + running.elapsed() / intervalMs;
        QVERIFY2(figures.rounds >= fewestRounds && figures.rounds <= mostRounds,
                 qPrintable(QStringLiteral("%1 rounds, at most %2").arg(figures.rounds).arg(mostRounds)));
        QVERIFY(figures.cpuSeconds >= 0 && figures.longestRoundSeconds > 0);
        if (failure.isEmpty())
            QCOMPARE(QString::fromStdString(flusher.failure()), QString());
        else
            QVERIFY2(QString::fromStdString(flusher.failure()).endsWith(failure), flusher.failure().c_str());
    }
};

QTEST_GUILESS_MAIN(FileFlusherTest)
#include "test_file_flusher.moc"

// A commit killed part way: the program runs an update in a child process (this same program, started
// with --commit-child) and kills it with SIGKILL between writing and renaming, and at random moments of
// the commit. Afterwards `quolvactl check` accepts the recording and its frame store holds either all
// the old records or all the new ones.
#include "RecordingFixture.h"
#include "editor/FrameRewriter.h"
#include "editor/OpenRecording.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <thread>
#include <unistd.h>

using namespace quolva;

namespace {

constexpr int kFrames = 60;
constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr int kFirst = 20; // the run replaces frames 21 to 30
constexpr int kRun = 10;

void Say(char c)
{
    (void)::write(STDOUT_FILENO, &c, 1);
}

// The child: opens the recording, steps to frame kFirst + 1, runs an update of kRun frames (each frame
// with a white block burnt in) and commits. It says 'C' as the commit begins and 'D' when it is done;
// with "pause" it says 'F' once the new store is flushed and waits there to be killed.
int RunChild(const QString& path, bool pauseBeforeRename)
{
    try {
        editor::OpenRecording recording;
        recording.Open(path);
        QImage onView;
        for (int i = 0; i <= kFirst; ++i)
            onView = recording.NextFrame();
        editor::FrameRewriter rewriter(recording);
        rewriter.Start(QString::number(kRun));
        while (!rewriter.RunComplete()) {
            QImage burnt = onView;
            for (int y = 10; y < 60; ++y)
                for (int x = 10; x < 90; ++x)
                    burnt.setPixel(x, y, qRgb(255, 255, 255));
            rewriter.EncodeFrame(burnt);
            const QImage next = rewriter.Advance();
            if (!next.isNull())
                onView = next;
        }
        if (pauseBeforeRename)
            rewriter.commitHook = [](editor::CommitStage stage) {
                if (stage == editor::CommitStage::Flushed) {
                    Say('F');
                    for (;;)
                        ::pause();
                }
            };
        Say('C');
        rewriter.Commit();
        Say('D');
        recording.Close();
        return 0;
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "child: %s\n", failure.what());
        return 1;
    }
}

QByteArray Digest(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
                                          : QByteArray();
}

void CopyOver(const QString& from, const QString& to)
{
    QFile::remove(to);
    QVERIFY(QFile::copy(from, to));
}

} // namespace

class CommitInterruptedTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString path, framesPath, pristine, oldDigest, newDigest;

    // Starts the child on the recording; it has written `signal` when this returns.
    bool StartChild(QProcess& child, const QStringList& mode, char signal)
    {
        child.start(QCoreApplication::applicationFilePath(), QStringList{QStringLiteral("--commit-child"), path} + mode);
        if (!child.waitForStarted(10000))
            return false;
        QByteArray said;
        while (!said.contains(signal)) {
            if (!child.waitForReadyRead(60000))
                return false;
            said += child.readAllStandardOutput();
        }
        return true;
    }

    void Check(const char* when, bool& sawOld, bool& sawNew)
    {
        const QByteArray digest = Digest(framesPath);
        QVERIFY2(digest == oldDigest || digest == newDigest, when);
        (digest == oldDigest ? sawOld : sawNew) = true;
        QProcess check;
        check.start(QDir(qEnvironmentVariable("QUOLVA_BIN_DIR")).filePath(QStringLiteral("quolvactl")),
                    {QStringLiteral("check"), path});
        QVERIFY(check.waitForFinished(60000));
        QVERIFY2(check.exitStatus() == QProcess::NormalExit && check.exitCode() == 0,
                 qPrintable(QStringLiteral("%1: %2").arg(when, QString::fromUtf8(check.readAllStandardError()))));
    }

    void Restore()
    {
        CopyOver(pristine, framesPath);
        for (const QString& name : QDir(dir.path()).entryList({QStringLiteral("*.new-*")}, QDir::Files))
            QFile::remove(QDir(dir.path()).filePath(name));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(!qEnvironmentVariable("QUOLVA_BIN_DIR").isEmpty());
        path = test::MakeRecording(dir.path(), QStringLiteral("killed.avi"),
                                   {.frames = kFrames, .width = kWidth, .height = kHeight});
        framesPath = editor::OpenRecording::FrameStorePathOf(path);
        pristine = dir.filePath(QStringLiteral("pristine.xxx"));
        QVERIFY(QFile::copy(framesPath, pristine));
        oldDigest = Digest(framesPath);

        // The store as a whole commit leaves it.
        QProcess child;
        QVERIFY(StartChild(child, {}, 'D'));
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitCode(), 0);
        newDigest = Digest(framesPath);
        QVERIFY(newDigest != oldDigest);
        Restore();
    }

    // Killed with the new store complete on disk but not yet renamed: the old store is there, whole.
    void killedBetweenWritingAndRenaming()
    {
        QProcess child;
        QVERIFY(StartChild(child, {QStringLiteral("pause")}, 'F'));
        const QStringList beside = QDir(dir.path()).entryList({QStringLiteral("*.new-*")}, QDir::Files);
        QCOMPARE(beside.size(), 1); // the new store, written beside the old one
        child.kill();
        QVERIFY(child.waitForFinished(10000));
        QCOMPARE(Digest(framesPath), oldDigest);
        bool sawOld = false, sawNew = false;
        Check("killed before the rename", sawOld, sawNew);
        QVERIFY(sawOld);
        Restore();
    }

    // Killed at random moments from the start of the commit to a little past its usual end.
    void killedAtRandomMoments()
    {
        QElapsedTimer clock;
        QProcess timed;
        QVERIFY(StartChild(timed, {}, 'C'));
        clock.start();
        QVERIFY(timed.waitForFinished(60000));
        const qint64 commitUs = std::max<qint64>(2000, clock.nsecsElapsed() / 1000);
        Restore();

        bool sawOld = false, sawNew = false;
        QRandomGenerator random(20240613);
        for (int round = 0; round < 16; ++round) {
            QProcess child;
            QVERIFY(StartChild(child, {}, 'C'));
            const auto delay = std::chrono::microseconds(random.bounded(commitUs * 3 / 2));
            std::this_thread::sleep_for(delay);
            child.kill();
            QVERIFY(child.waitForFinished(10000));
            Check(qPrintable(QStringLiteral("killed %1 µs into the commit").arg(delay.count())), sawOld, sawNew);
            Restore();
        }
        qInfo("commit takes about %lld µs; kills found the old store: %s, the new one: %s", commitUs,
              sawOld ? "yes" : "no", sawNew ? "yes" : "no");
    }
};

int main(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "--commit-child") == 0)
        return RunChild(QString::fromLocal8Bit(argv[2]), argc >= 4 && std::strcmp(argv[3], "pause") == 0);
    QCoreApplication app(argc, argv);
    CommitInterruptedTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_commit_interrupted.moc"

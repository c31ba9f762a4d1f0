// quolvactl publish --swf run as a program: the movie is written with a progress line and a summary,
// and a movie that cannot be written gives status 1 with the reason, leaving nothing behind.
#include "Quolvactl.h"
#include "../publish/SwfExportSupport.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace quolva;
using namespace quolva::test;

namespace {

using Run = test::QuolvactlRun;

Run quolvactl(const QStringList& arguments)
{
    return test::RunQuolvactl(arguments);
}

} // namespace

class PublishSwfCommandTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void publishesAMovie()
    {
        const QString rec = MakeRecording(dir.path(), QStringLiteral("rec.avi"), {.frames = 11, .width = 64, .height = 48});
        const QString movie = dir.filePath(QStringLiteral("rec.swf"));
        const Run run = quolvactl({QStringLiteral("publish"), rec, QStringLiteral("--swf"), movie});
        QVERIFY2(run.status == 0, qPrintable(run.err));
        // 11 frames over 1 s of sound: 11 frames a second, 10 of them written.
        QCOMPARE(run.out.trimmed(), QStringLiteral("wrote %1: 10 frames at 11.00 frames a second, sound at 11025 Hz").arg(movie));
        QVERIFY2(run.err.contains(QStringLiteral("publish --swf: frame 10 of 10, 100 %")), qPrintable(run.err));
        const SwfFile swf = ParseSwf(ReadFile(movie));
        QCOMPARE(swf.frameCount, quint16(10));
        QCOMPARE(swf.rateInteger, quint8(11));
        QCOMPARE(swf.tagsOf(36).size(), 10);
    }

    void reportsAMovieThatCannotBeWritten()
    {
        const QString rec = MakeRecording(dir.path(), QStringLiteral("bad.avi"), {.frames = 3});
        const QString movie = dir.filePath(QStringLiteral("no/such/folder/bad.swf"));
        const Run run = quolvactl({QStringLiteral("publish"), rec, QStringLiteral("--swf"), movie});
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains(QStringLiteral("quolvactl publish: 无法创建文件 \"%1\"").arg(movie)), qPrintable(run.err));
        QVERIFY(run.out.isEmpty());
    }
};

QTEST_GUILESS_MAIN(PublishSwfCommandTest)
#include "test_publish_swf.moc"

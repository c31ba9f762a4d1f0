// The recorder is killed in the middle of a recording: the AVI file reopens with the sound written so
// far, `quolvactl repair` puts the frame store in order, and the editor's reads of both files work.
#include "Rig.h"
#include "store/AviFileServices.h"
#include "store/FrameStoreWalk.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <fstream>

#include <csignal>
#include <sys/types.h>

using namespace quolva;

namespace {

QString quolvactl()
{
    return QDir(qEnvironmentVariable("QUOLVA_BIN_DIR", QCoreApplication::applicationDirPath()))
        .filePath(QStringLiteral("quolvactl"));
}

struct Run {
    int status;
    QString output;
};

Run run(const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(quolvactl(), arguments);
    process.waitForFinished(60000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAll())};
}

} // namespace

class KilledRecordingIsRepaired : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QUOLVA_REQUIRE_DISPLAY();
        QUOLVA_REQUIRE_SOUND_SERVER();
    }

    void aRecordingKilledMidwayIsRepaired()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("crash.avi"));
        const QString framesPath = target + QStringLiteral(".xxx");

        QProcess recorder;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QUOLVA_SOUND_SOURCE"), QStringLiteral("tone:440"));
        recorder.setProcessEnvironment(environment);
        recorder.start(quolvactl(), {QStringLiteral("record"), target, QStringLiteral("--seconds"), QStringLiteral("60"),
                                     QStringLiteral("--region"), QStringLiteral("320x240+10+10")});
        QVERIFY(recorder.waitForStarted());
        QTest::qWait(2600); // two sound buffers and about 25 frames
        ::kill(static_cast<pid_t>(recorder.processId()), SIGKILL);
        QVERIFY(recorder.waitForFinished());
        QCOMPARE(recorder.exitStatus(), QProcess::CrashExit);

        // The header still says 0: the count is brought up to date only when a recording stops.
        {
            store::FrameStore frames = store::FrameStore::OpenFrameStoreReadOnly(framesPath.toStdString());
            QCOMPARE(frames.ReadFrameCount(), 0);
            QVERIFY(frames.Size() > 16);
        }
        // The AVI file reopens with the sound written so far.
        {
            store::PAVIFILE file;
            store::PAVISTREAM audio;
            QCOMPARE(store::AVIFileOpen(&file, target.toStdString(), store::OF_READ), store::AVIERR_OK);
            QCOMPARE(store::AVIFileGetStream(file, &audio, store::streamtypeAUDIO, 0), store::AVIERR_OK);
            QVERIFY2(store::AVIStreamLength(audio) >= 2 * 22054, qPrintable(QString::number(store::AVIStreamLength(audio))));
            QVERIFY(!file->wasComplete());
        }

        // Before the repair, the check finds the recording unfinished.
        const Run before = run({QStringLiteral("check"), target});
        QVERIFY2(before.status == 1, qPrintable(before.output));

        // A torn last record, as a kill in the middle of an append leaves it.
        {
            std::ofstream torn(framesPath.toStdString(), std::ios::binary | std::ios::app);
            torn << "5" << "12345" << "not the whole picture";
        }

        const Run repair = run({QStringLiteral("repair"), target});
        QVERIFY2(repair.status == 0, qPrintable(repair.output));
        QVERIFY2(repair.output.contains(QStringLiteral("torn")), qPrintable(repair.output));
        QVERIFY2(repair.output.contains(QStringLiteral("header count 0 ->")), qPrintable(repair.output));
        QVERIFY2(repair.output.contains(QStringLiteral("index completed")), qPrintable(repair.output));

        const Run check = run({QStringLiteral("check"), target});
        QVERIFY2(check.status == 0, qPrintable(check.output));

        // A second repair finds nothing to do.
        const Run again = run({QStringLiteral("repair"), target});
        QVERIFY2(again.status == 0 && again.output.contains(QStringLiteral("nothing to repair")), qPrintable(again.output));

        // What the editor reads: the header count, frames forwards and backwards, the sound track.
        store::FrameStore frames = store::FrameStore::OpenFrameStore(framesPath.toStdString());
        const std::int32_t count = frames.ReadFrameCount();
        QVERIFY2(count >= 15 && count <= 30, qPrintable(QString::number(count)));
        const store::FrameStoreWalk walk = store::WalkFramesForwards(frames);
        QVERIFY(walk.Clean());
        QCOMPARE(std::int64_t(walk.recordStarts.size()), std::int64_t(count));
        frames.Seek(store::kFrameStoreHeaderSize);
        const store::Picture first = frames.DecodeFrame(frames.ReadNextFrame());
        QCOMPARE(first.Width(), 320);
        QCOMPARE(first.Height(), 240);
        frames.Seek(frames.Size());
        const store::Picture last = frames.DecodeFrame(frames.ReadPreviousFrame());
        QCOMPARE(last.Width(), 320);

        store::PAVIFILE file;
        store::PAVISTREAM audio;
        QCOMPARE(store::AVIFileOpen(&file, target.toStdString(), store::OF_READWRITE | store::OF_SHARE_DENY_NONE),
                 store::AVIERR_OK);
        QVERIFY(file->wasComplete());
        QCOMPARE(store::AVIFileGetStream(file, &audio, store::streamtypeAUDIO, 0), store::AVIERR_OK);
        std::vector<char> sound(4096);
        store::LONG bytes = 0;
        store::LONG samples = 0;
        QCOMPARE(store::AVIStreamRead(audio, 0, 1000, sound.data(), store::LONG(sound.size()), &bytes, &samples),
                 store::AVIERR_OK);
        QVERIFY(bytes > 0);
        store::AVIStreamRelease(audio);
        store::AVIFileRelease(file);
    }
};

QTEST_MAIN(KilledRecordingIsRepaired)
#include "e2e_killed_recording_is_repaired.moc"

// The repair of a recording that was never finished, shared by quolvactl and the editor: what the
// inspection finds without writing, and what the repair then sets right.
#include "../support/TestFiles.h"
#include "store/AviFile.h"
#include "store/AviFileServices.h"
#include "store/RecordingRepair.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/wait.h>
#include <unistd.h>

using namespace quolva::store;

namespace {

// A file name part of its own for each data row.
int nextCase()
{
    static int count = 0;
    return ++count;
}

std::string record(const std::string& payload)
{
    const std::string size = std::to_string(payload.size());
    const std::string digits = std::to_string(size.size());
    return digits + size + payload + size + digits;
}

std::string header(const std::string& text)
{
    std::string bytes = text;
    bytes.resize(16, ' ');
    return bytes;
}

void writeFile(const QString& path, const std::string& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes.data(), qint64(bytes.size())), qint64(bytes.size()));
}

SoundFormatArea soundFormat()
{
    SoundFormatArea area{};
    area.format = {WAVE_FORMAT_PCM, 1, 11025, 22050, 2, 16, 0};
    return area;
}

// An AVI file with one audio stream of `blocks` × 2000 bytes; `finished` false: the writer dies before
// releasing it, as a crashed recording leaves it.
void writeSoundTrack(const QString& path, int blocks, bool finished)
{
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        PAVIFILE avi;
        PAVISTREAM audio;
        AVIFileOpen(&avi, path.toStdString(), OF_CREATE | OF_WRITE | OF_SHARE_DENY_NONE);
        AVISTREAMINFOA info{};
        info.fccType = streamtypeAUDIO;
        info.dwScale = 1;
        info.dwRate = 11025;
        info.dwSampleSize = 2;
        AVIFileCreateStream(avi, &audio, info);
        const SoundFormatArea format = soundFormat();
        AVIStreamSetFormat(audio, 0, &format, sizeof format);
        const std::string block(2000, '\x11');
        for (int i = 0; i < blocks; ++i)
            AVIStreamWrite(audio, AVIStreamLength(audio), 2000, block.data(), 2000, 0, nullptr, nullptr);
        if (finished) {
            AVIStreamRelease(audio);
            AVIFileRelease(avi);
        }
        _exit(0);
    }
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

} // namespace

class RecordingRepairTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    QString target(const char* name) const { return dir.filePath(QLatin1String(name)); }

private slots:
    // What the inspection finds, and that it writes nothing.
    void inspectionFindsUnfinishedRecordings_data()
    {
        QTest::addColumn<QString>("headerText");
        QTest::addColumn<int>("records");
        QTest::addColumn<bool>("tornTail");
        QTest::addColumn<bool>("aviFinished");
        QTest::addColumn<bool>("inspected");
        QTest::addColumn<bool>("unfinished");
        QTest::newRow("finished") << "3" << 3 << false << true << true << false;
        QTest::newRow("header behind its records") << "1" << 3 << false << true << true << true;
        QTest::newRow("header of a crash") << "0" << 2 << true << true << true << true;
        QTest::newRow("AVI not finished") << "2" << 2 << false << false << true << true;
        QTest::newRow("no record at all") << "0" << 0 << false << true << true << false;
        // More counted than present is no sign of a crash: the open and the steps report it.
        QTest::newRow("header ahead of its records") << "5" << 2 << false << true << true << false;
        QTest::newRow("header not a number") << "x1" << 2 << false << true << false << false;
    }
    void inspectionFindsUnfinishedRecordings()
    {
        QFETCH(QString, headerText);
        QFETCH(int, records);
        QFETCH(bool, tornTail);
        QFETCH(bool, aviFinished);
        QFETCH(bool, inspected);
        QFETCH(bool, unfinished);
        const QString avi = dir.filePath(QStringLiteral("inspect-%1.avi").arg(nextCase()));
        writeSoundTrack(avi, 3, aviFinished);
        std::string store = header(headerText.toStdString());
        for (int i = 0; i < records; ++i)
            store += record(std::string(100 + i, char('a' + i)));
        if (tornTail)
            store += record(std::string(300, 'z')).substr(0, 120);
        writeFile(avi + ".xxx", store);
        const QByteArray aviBefore = quolva::test::DigestOf(avi);
        const QByteArray storeBefore = quolva::test::DigestOf(avi + ".xxx");

        const RecordingDamage damage = InspectRecording(avi.toStdString());
        QCOMPARE(damage.inspected, inspected);
        QCOMPARE(damage.Unfinished(), unfinished);
        if (inspected) {
            QCOMPARE(damage.records, records);
            QCOMPARE(damage.frameStoreFault, tornTail);
            QCOMPARE(damage.aviComplete, aviFinished);
        }
        QCOMPARE(quolva::test::DigestOf(avi), aviBefore);
        QCOMPARE(quolva::test::DigestOf(avi + ".xxx"), storeBefore);
    }

    void inspectionOfMissingFilesKnowsNothing()
    {
        const QString avi = target("alone.avi");
        writeSoundTrack(avi, 1, true);
        QVERIFY(!InspectRecording(avi.toStdString()).inspected); // no frame store
        writeFile(target("nothing.avi.xxx"), header("0"));
        QVERIFY(!InspectRecording(target("nothing.avi").toStdString()).inspected); // no AVI file
    }

    // A crashed recording: header 0, a torn last record, the AVI file not finished. The repair sets all
    // three right, and a second repair finds nothing to do.
    void repairFinishesACrashedRecording()
    {
        const QString avi = target("crashed.avi");
        writeSoundTrack(avi, 5, false);
        const std::string whole = header("0") + record(std::string(50, 'a')) + record(std::string(60, 'b'));
        writeFile(avi + ".xxx", whole + record(std::string(70, 'c')).substr(0, 30));

        const RecordingRepair repair = RepairRecording(avi.toStdString());
        QVERIFY(repair.frameStoreFound);
        QCOMPARE(repair.frames.oldCount, 0);
        QCOMPARE(repair.frames.newCount, 2);
        QCOMPARE(repair.frames.cutBytes, std::int64_t(30));
        QVERIFY(!repair.aviWasComplete);
        QVERIFY(repair.Changed());

        QFile store(avi + ".xxx");
        QVERIFY(store.open(QIODevice::ReadOnly));
        QCOMPARE(store.readAll().toStdString(), header("2") + whole.substr(16));
        const RecordingDamage after = InspectRecording(avi.toStdString());
        QVERIFY(after.inspected);
        QVERIFY(!after.Unfinished());
        QVERIFY(!after.frameStoreFault);
        PAVIFILE file;
        QCOMPARE(AVIFileOpen(&file, avi.toStdString(), OF_READ), AVIERR_OK);
        PAVISTREAM audio;
        QCOMPARE(AVIFileGetStream(file, &audio, streamtypeAUDIO, 0), AVIERR_OK);
        QCOMPARE(AVIStreamLength(audio), 5 * 2000);
        AVIStreamRelease(audio);
        AVIFileRelease(file);

        const QByteArray aviBefore = quolva::test::DigestOf(avi);
        const RecordingRepair again = RepairRecording(avi.toStdString());
        QVERIFY(!again.Changed());
        QCOMPARE(quolva::test::DigestOf(avi), aviBefore);
    }

    void repairWithoutAFrameStoreFinishesTheAvi()
    {
        const QString avi = target("soundonly.avi");
        writeSoundTrack(avi, 2, false);
        const RecordingRepair repair = RepairRecording(avi.toStdString());
        QVERIFY(!repair.frameStoreFound);
        QVERIFY(!repair.FrameStoreChanged());
        QVERIFY(!repair.aviWasComplete);
        QVERIFY(!QFile::exists(avi + ".xxx"));
        QVERIFY(AviFile::open(avi.toStdString(), OF_READ)->wasComplete());
    }
};

QTEST_GUILESS_MAIN(RecordingRepairTest)
#include "test_recording_repair.moc"

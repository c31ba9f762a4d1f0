// Checking and repairing a frame store: both copies of every size, torn last records, stale headers.
#include "store/FrameStoreWalk.h"

#include <QTemporaryDir>
#include <QtTest>

#include <fstream>

using namespace quolva::store;

namespace {

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// A record whose "JPEG" is `payload` (the walk checks framing, not pictures).
std::string Record(const std::string& payload)
{
    const std::string size = std::to_string(payload.size());
    const std::string digits = std::to_string(size.size());
    return digits + size + payload + size + digits;
}

std::string Header(int count)
{
    std::string text = std::to_string(count);
    text.resize(16, ' ');
    return text;
}

} // namespace

class FrameStoreWalkTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir;
    std::string path() const { return dir.filePath(QStringLiteral("rec.avi.xxx")).toStdString(); }

private slots:
    void cleanStoreWalksTheSameRecordsBothWays()
    {
        const std::string records[] = {Record("a"), Record(std::string(12, 'b')), Record(std::string(1234, 'c')), Record("")};
        std::string file = Header(4);
        std::vector<std::int64_t> starts;
        for (const std::string& record : records) {
            starts.push_back(std::int64_t(file.size()));
            file += record;
        }
        WriteFile(path(), file);
        FrameStore store = FrameStore::OpenFrameStore(path());
        const FrameStoreWalk forwards = WalkFramesForwards(store);
        const FrameStoreWalk backwards = WalkFramesBackwards(store);
        QVERIFY(forwards.Clean());
        QVERIFY(backwards.Clean());
        QCOMPARE(forwards.recordStarts, starts);
        QCOMPARE(backwards.recordStarts, starts);
        QCOMPARE(forwards.goodEnd, std::int64_t(file.size()));
    }

    void faultsAreFoundWhereTheyAre_data()
    {
        QTest::addColumn<QByteArray>("tail");
        QTest::addColumn<QString>("expected");
        QTest::newRow("trailing size differs") << QByteArray("15hello6") + "1" << "does not match";
        QTest::newRow("trailing digit count differs") << QByteArray("15hello52") << "does not match";
        QTest::newRow("leading digit count not a digit") << QByteArray("x5hello51") << "not a digit";
        QTest::newRow("size not a number") << QByteArray("1zhelloz1") << "not a number";
        QTest::newRow("cut inside the picture") << QByteArray("3100abc") << "cut short";
        QTest::newRow("three stray bytes") << QByteArray("150") << "cut short";
    }
    void faultsAreFoundWhereTheyAre()
    {
        QFETCH(QByteArray, tail);
        QFETCH(QString, expected);
        const std::string good = Header(1) + Record("first");
        WriteFile(path(), good + tail.toStdString());
        FrameStore store = FrameStore::OpenFrameStore(path());
        const FrameStoreWalk walk = WalkFramesForwards(store);
        QVERIFY(!walk.Clean());
        QVERIFY2(QString::fromStdString(walk.fault).contains(expected), walk.fault.c_str());
        QCOMPARE(walk.faultOffset, std::int64_t(good.size()));
        QCOMPARE(walk.goodEnd, std::int64_t(good.size()));
        QCOMPARE(walk.recordStarts.size(), std::size_t(1));
        QVERIFY(!WalkFramesBackwards(store).Clean());
    }

    void repairCutsATornRecordAndCountsTheRest()
    {
        // A crash while recording: the header still says 0 and the last record is torn.
        const std::string whole = Header(0) + Record("one") + Record("two") + Record("three");
        WriteFile(path(), whole + "2" + "40" + "only part of the picture");
        FrameStore store = FrameStore::OpenFrameStore(path());
        const FrameStoreRepair repair = RepairFrameStore(store);
        QCOMPARE(repair.oldCount, 0);
        QCOMPARE(repair.newCount, 3);
        QCOMPARE(repair.cutBytes, std::int64_t(1 + 2 + 24));
        QVERIFY(!repair.fault.empty());
        store.Close();
        QCOMPARE(ReadFile(path()), Header(3) + Record("one") + Record("two") + Record("three"));
        FrameStore again = FrameStore::OpenFrameStore(path());
        QCOMPARE(again.ReadFrameCount(), 3);
        QVERIFY(WalkFramesForwards(again).Clean());
    }

    // Repair cuts only a torn tail: bytes after the damage from which no whole record can be read. Damage
    // followed by records that the readers still read is reported with its offset, and the store is left
    // as it is, header included.
    void repairCutsOnlyATornTail_data()
    {
        QTest::addColumn<QByteArray>("damaged");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<bool>("cut");
        const QByteArray later = QByteArray::fromStdString(Record("four") + Record("five"));
        QTest::newRow("torn picture at the end") << QByteArray("240only part") << QByteArray() << true;
        QTest::newRow("zeros at the end") << QByteArray(9, '\0') << QByteArray() << true;
        QTest::newRow("torn size at the end") << QByteArray("3") << QByteArray() << true;
        QTest::newRow("trailing size damaged in the middle") << QByteArray("15hello61") << later << false;
        QTest::newRow("trailing size damaged, last record") << QByteArray("15hello61") << QByteArray() << false;
        QTest::newRow("leading digit damaged in the middle") << QByteArray("x5hello51") << later << false;
        QTest::newRow("leading size runs past the end, records follow") << QByteArray("3999hello51") << later << false;
    }
    void repairCutsOnlyATornTail()
    {
        QFETCH(QByteArray, damaged);
        QFETCH(QByteArray, after);
        QFETCH(bool, cut);
        const std::string good = Header(0) + Record("one") + Record("two") + Record("three");
        const std::string file = good + damaged.toStdString() + after.toStdString();
        WriteFile(path(), file);
        FrameStore store = FrameStore::OpenFrameStore(path());
        const FrameStoreRepair repair = RepairFrameStore(store);
        store.Close();
        QVERIFY(!repair.fault.empty());
        QCOMPARE(repair.faultOffset, std::int64_t(good.size()));
        QCOMPARE(repair.damagedInMiddle, !cut);
        if (cut) {
            QCOMPARE(repair.cutBytes, std::int64_t(damaged.size()));
            QCOMPARE(ReadFile(path()), Header(3) + good.substr(16));
        } else {
            QCOMPARE(repair.cutBytes, std::int64_t(0));
            QCOMPARE(ReadFile(path()), file);
        }
    }

    void repairOfAConsistentStoreChangesNothing()
    {
        const std::string whole = Header(2) + Record("one") + Record("two");
        WriteFile(path(), whole);
        FrameStore store = FrameStore::OpenFrameStore(path());
        const FrameStoreRepair repair = RepairFrameStore(store);
        QCOMPARE(repair.newCount, 2);
        QCOMPARE(repair.oldCount, 2);
        QCOMPARE(repair.cutBytes, std::int64_t(0));
        store.Close();
        QCOMPARE(ReadFile(path()), whole);
    }

    void repairRewritesAHeaderThatIsNotANumber()
    {
        WriteFile(path(), std::string("garbage!garbage!") + Record("one"));
        FrameStore store = FrameStore::OpenFrameStore(path());
        const FrameStoreRepair repair = RepairFrameStore(store);
        QCOMPARE(repair.oldCount, -1);
        QCOMPARE(repair.newCount, 1);
        store.Close();
        QCOMPARE(ReadFile(path()), Header(1) + Record("one"));
    }
};

QTEST_APPLESS_MAIN(FrameStoreWalkTest)
#include "test_framestore_walk.moc"

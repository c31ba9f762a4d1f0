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

// The least the walk takes for a whole JPEG: the start-of-image marker first, the end-of-image marker last.
std::string Jpeg(const std::string& inside)
{
    return "\xFF\xD8" + inside + "\xFF\xD9";
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

    // A record whose trailing size or digit count is damaged, while its leading size frames a whole JPEG
    // and the next record starts right after it (or the file ends there): the forward walk reads it and
    // goes on, naming the damaged field, and repair writes the field again from the leading copy, in the
    // same number of bytes, changing nothing else. Anything less certain stays a fault that repair leaves
    // alone.
    void damagedTrailersAreMendedWhereTheRestAgrees_data()
    {
        QTest::addColumn<QByteArray>("damaged");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<bool>("mendable");
        const std::string jpeg = Jpeg("hello"); // 9 bytes: the record is "19", the picture, "91"
        const QByteArray later = QByteArray::fromStdString(Record(Jpeg("four")) + Record(Jpeg("five")));
        const auto bytes = [&](const std::string& trailer) { return QByteArray::fromStdString("19" + jpeg + trailer); };
        QTest::newRow("trailing size changed, records follow") << bytes("81") << later << true;
        QTest::newRow("trailing size changed, last record") << bytes("81") << QByteArray() << true;
        QTest::newRow("trailing digit count changed") << bytes("97") << later << true;
        QTest::newRow("trailing size not a number") << bytes("x1") << later << true;
        QTest::newRow("trailing field a byte short") << bytes("8") << later << false;
        QTest::newRow("trailing field a byte long") << bytes("091") << QByteArray() << false;
        QTest::newRow("no end-of-image marker") << QByteArray("17\xFF\xD8hello61") << later << false;
        QTest::newRow("no start-of-image marker") << QByteArray("19hello\xFF\xD9\xFF\xD9" "81") << later << false;
        QTest::newRow("no record follows") << bytes("81") << QByteArray("garbage, not a record") << false;
    }
    void damagedTrailersAreMendedWhereTheRestAgrees()
    {
        QFETCH(QByteArray, damaged);
        QFETCH(QByteArray, after);
        QFETCH(bool, mendable);
        const int records = 4 + (after.startsWith('1') ? 2 : 0);
        const std::string good = Header(records) + Record(Jpeg("one")) + Record(Jpeg("two")) + Record(Jpeg("three"));
        const std::string file = good + damaged.toStdString() + after.toStdString();
        WriteFile(path(), file);
        FrameStore store = FrameStore::OpenFrameStore(path());
        const FrameStoreWalk walk = WalkFramesForwards(store);
        QVERIFY(!walk.Clean());
        if (mendable) {
            QVERIFY2(walk.fault.empty(), walk.fault.c_str());
            QCOMPARE(walk.recordStarts.size(), std::size_t(records));
            QCOMPARE(walk.goodEnd, std::int64_t(file.size()));
            QCOMPARE(walk.damagedTrailers.size(), std::size_t(1));
            const DamagedTrailer& trailer = walk.damagedTrailers.front();
            QCOMPARE(trailer.recordOffset, std::int64_t(good.size()));
            QCOMPARE(trailer.fieldOffset, std::int64_t(good.size() + 2 + 9));
            QCOMPARE(trailer.found, damaged.right(2).toStdString());
            QCOMPARE(trailer.expected, std::string("91"));
            QVERIFY(!trailer.fault.empty());
        } else {
            QCOMPARE(walk.faultOffset, std::int64_t(good.size()));
            QCOMPARE(walk.recordStarts.size(), std::size_t(3));
            QVERIFY(walk.damagedTrailers.empty());
        }

        const FrameStoreRepair repair = RepairFrameStore(store);
        store.Close();
        QCOMPARE(repair.damagedInMiddle, !mendable);
        QCOMPARE(repair.cutBytes, std::int64_t(0));
        if (mendable) {
            QCOMPARE(repair.mendedTrailers.size(), std::size_t(1));
            QCOMPARE(repair.newCount, records);
            QCOMPARE(ReadFile(path()), good + Record(Jpeg("hello")) + after.toStdString());
            FrameStore again = FrameStore::OpenFrameStore(path());
            QVERIFY(WalkFramesForwards(again).Clean());
            QVERIFY(WalkFramesBackwards(again).Clean());
        } else {
            QVERIFY(repair.mendedTrailers.empty());
            QCOMPARE(ReadFile(path()), file);
        }
    }

    // A damaged trailer before a torn tail (the program died while recording): both are set right at once.
    void repairMendsATrailerAndCutsATornTail()
    {
        const std::string good = Header(0) + Record(Jpeg("one"));
        WriteFile(path(), good + "19" + Jpeg("hello") + "81" + "240" + Jpeg("only part"));
        FrameStore store = FrameStore::OpenFrameStore(path());
        const FrameStoreRepair repair = RepairFrameStore(store);
        store.Close();
        QVERIFY(!repair.damagedInMiddle);
        QCOMPARE(repair.mendedTrailers.size(), std::size_t(1));
        QCOMPARE(repair.cutBytes, std::int64_t(3 + 13));
        QCOMPARE(repair.newCount, 2);
        QCOMPARE(ReadFile(path()), Header(2) + good.substr(16) + Record(Jpeg("hello")));
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

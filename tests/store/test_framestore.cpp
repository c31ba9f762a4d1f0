// The frame store file: header, records framed at both ends, walking forwards and backwards, the
// count update, and failures that name the file and leave it as it was.
#include "TestPictures.h"
#include "store/FrameStore.h"
#include "store/Jpeg.h"

#include <QtTest>

#include <csignal>
#include <fstream>
#include <functional>
#include <sys/resource.h>

using namespace quolva::store;

namespace {

using storetest::Busy;
using storetest::TestPicture;

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string AsString(const std::vector<std::uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

// The error text of `action`, or "" when it did not throw StoreError.
std::string MessageOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const StoreError& error) {
        return error.what();
    }
    return {};
}

#define VERIFY_MESSAGE_HAS(message, part)                                                                   \
    QVERIFY2(!(message).empty() && (message).find(std::string(part)) != std::string::npos,                  \
             qPrintable(QString("message \"%1\" lacks \"%2\"")                                             \
                            .arg(QString::fromStdString(message), QString::fromStdString(std::string(part)))))

} // namespace

class FrameStoreTest : public QObject {
    Q_OBJECT

private slots:
    void init();

    void freshStoreIsZeroAndFifteenSpaces();
    void recordIsFramedBySizeAtBothEnds();
    void recordsOfEveryDigitCount();
    void appendedFramesReadBackInBothDirections();
    void countUpdateWritesDigitsInPlace();
    void countUpdateBlanksStaleDigitsAfterLeadingBlanks();
    void countUpdateRefusesInvalidResults();
    void blankPaddedFieldsReadTheSame();
    void eachDirectionReadsOnlyItsOwnCopyOfTheSize();
    void openForAppendContinuesAtTheEnd();
    void readsPastTheEndsFail();
    void damagedFieldsFailWithFileAndOffset_data();
    void damagedFieldsFailWithFileAndOffset();
    void badHeadersAndMissingFilesFail();
    void appendRefusesWhatIsNotAFrame();
    void fullDiskLeavesTheStoreAsItWas();
    void decodeFrameNamesTheFile();
    void plainBytesCopyRunsOfRecords();
    void closedAndReadOnlyStoresRefuseWork();

private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::string path_;
};

void FrameStoreTest::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    path_ = dir_->filePath("demo.avi.xxx").toStdString();
}

void FrameStoreTest::freshStoreIsZeroAndFifteenSpaces()
{
    WriteFile(path_, std::string(5000, 'z')); // replaced, not appended to
    FrameStore store = FrameStore::CreateFrameStore(path_);
    QCOMPARE(store.Position(), std::int64_t(16));
    QCOMPARE(store.Size(), std::int64_t(16));
    QCOMPARE(ReadFile(path_), std::string("0               "));
    QCOMPARE(store.ReadFrameCount(), 0);
    QCOMPARE(store.Path().string(), path_);
}

void FrameStoreTest::recordIsFramedBySizeAtBothEnds()
{
    std::vector<std::uint8_t> jpeg(512);
    for (std::size_t i = 0; i < jpeg.size(); ++i)
        jpeg[i] = static_cast<std::uint8_t>(i * 31);
    const auto record = FrameStore::FrameRecordFromJpeg(jpeg);
    QCOMPARE(record.size(), std::size_t(520));
    QCOMPARE(AsString(record).substr(0, 4), std::string("3512"));
    QCOMPARE(AsString(record).substr(516), std::string("5123"));
    QVERIFY(std::equal(jpeg.begin(), jpeg.end(), record.begin() + 4));

    const TestPicture picture = Busy(48, 32, 5);
    const auto encoded = FrameStore::EncodeFrameRecord(picture.View());
    const auto expectedJpeg = EncodeJpeg(picture.View());
    QCOMPARE(AsString(encoded), AsString(FrameStore::FrameRecordFromJpeg(expectedJpeg)));
}

void FrameStoreTest::recordsOfEveryDigitCount()
{
    FrameStore store = FrameStore::CreateFrameStore(path_);
    const std::vector<std::size_t> sizes{0, 9, 10, 99, 100, 12345, 100000};
    for (std::size_t size : sizes)
        store.AppendRecord(FrameStore::FrameRecordFromJpeg(std::vector<std::uint8_t>(size, 0x42)));
    QCOMPARE(AsString(FrameStore::FrameRecordFromJpeg({})), std::string("1001"));

    store.Seek(16);
    std::int64_t expectedOffset = 16;
    for (std::size_t size : sizes) {
        const FrameRecord record = store.ReadNextFrame();
        const int d = static_cast<int>(std::to_string(size).size());
        QCOMPARE(record.digitCount, d);
        QCOMPARE(record.jpegSize, std::int32_t(size));
        QCOMPARE(record.jpeg.size(), size);
        QCOMPARE(record.offset, expectedOffset);
        QCOMPARE(record.Length(), std::int64_t(size) + 2 * d + 2);
        expectedOffset += record.Length();
        QCOMPARE(store.Position(), expectedOffset);
    }
    QCOMPARE(store.Position(), store.Size());
}

void FrameStoreTest::appendedFramesReadBackInBothDirections()
{
    std::vector<std::vector<std::uint8_t>> records;
    {
        FrameStore store = FrameStore::CreateFrameStore(path_);
        for (int i = 0; i < 6; ++i) {
            const TestPicture picture = Busy(40 + i, 30, static_cast<std::uint32_t>(i));
            const std::int64_t before = store.Size();
            store.AppendFrame(picture.View());
            records.push_back(FrameStore::EncodeFrameRecord(picture.View()));
            QCOMPARE(store.Size(), before + std::int64_t(records.back().size()));
            QCOMPARE(store.Position(), store.Size());
        }
    }
    std::string expected = "0               ";
    for (const auto& record : records)
        expected += AsString(record);
    QCOMPARE(ReadFile(path_), expected); // the file is exactly header + records, nothing else

    FrameStore store = FrameStore::OpenFrameStore(path_);
    QCOMPARE(store.Position(), std::int64_t(0));
    store.Seek(16);
    std::vector<std::int64_t> starts;
    for (const auto& record : records) {
        const std::int64_t start = store.Position();
        starts.push_back(start);
        const FrameRecord read = store.ReadNextFrame();
        QCOMPARE(AsString(FrameStore::FrameRecordFromJpeg(read.jpeg)), AsString(record));
        // The start of the record just read, as the readers that track boundaries compute it.
        QCOMPARE(store.Position() - (read.jpegSize + 2 * read.digitCount + 2), start);

        // Forward then backward returns the same record and ends where the forward read began.
        const FrameRecord again = store.ReadPreviousFrame();
        QVERIFY(again.jpeg == read.jpeg);
        QCOMPARE(again.offset, start);
        QCOMPARE(store.Position(), start);
        store.Seek(read.End());
    }
    QCOMPARE(store.Position(), store.Size());

    for (std::size_t i = records.size(); i-- > 0;) {
        const FrameRecord read = store.ReadPreviousFrame();
        QCOMPARE(AsString(FrameStore::FrameRecordFromJpeg(read.jpeg)), AsString(records[i]));
        QCOMPARE(store.Position(), starts[i]);
    }
    QCOMPARE(store.Position(), std::int64_t(16));

    // Skipping walks the same boundaries without reading pictures.
    const FrameRecord skipped = store.SkipNextFrame();
    QVERIFY(skipped.jpeg.empty());
    QCOMPARE(store.Position(), starts[1]);
    QCOMPARE(store.SkipPreviousFrame().offset, std::int64_t(16));

    const Picture first = store.DecodeFrame(store.ReadNextFrame());
    QCOMPARE(first.Width(), 40);
    QCOMPARE(first.Height(), 30);
}

void FrameStoreTest::countUpdateWritesDigitsInPlace()
{
    {
        FrameStore store = FrameStore::CreateFrameStore(path_);
        const TestPicture picture = Busy(16, 16, 1);
        for (int i = 0; i < 37; ++i)
            store.AppendFrame(picture.View());
        QCOMPARE(store.ReadFrameCount(), 0); // the header lags behind while a recording runs
        QCOMPARE(store.Position(), std::int64_t(16));
        store.AddToFrameCount(37);
        QCOMPARE(store.Position(), store.Size());
    }
    QCOMPARE(ReadFile(path_).substr(0, 16), std::string("37              "));

    // Continuing a store whose header says 9 with 3 more frames.
    std::string body = ReadFile(path_).substr(16);
    WriteFile(path_, "9               " + body);
    {
        FrameStore store = FrameStore::OpenFrameStoreForAppend(path_);
        store.AddToFrameCount(3);
        QCOMPARE(store.ReadFrameCount(), 12);
    }
    QCOMPARE(ReadFile(path_), "12              " + body); // the records are untouched

    // Bytes after the count's text are left as they are, whatever they hold.
    WriteFile(path_, std::string("37\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 16) + body);
    FrameStore::OpenFrameStoreForAppend(path_).AddToFrameCount(63);
    QCOMPARE(ReadFile(path_).substr(0, 16), std::string("100\0\0\0\0\0\0\0\0\0\0\0\0\0", 16));
}

// The count is written from byte 0; a header whose digits stood further right (blanks in front, which
// reads the same) must not keep a stale digit behind the new ones.
void FrameStoreTest::countUpdateBlanksStaleDigitsAfterLeadingBlanks()
{
    WriteFile(path_, "   9            ");
    FrameStore store = FrameStore::OpenFrameStoreForAppend(path_);
    QCOMPARE(store.ReadFrameCount(), 9);
    store.AddToFrameCount(3);
    QCOMPARE(ReadFile(path_), std::string("12              "));
    QCOMPARE(store.ReadFrameCount(), 12);

    WriteFile(path_, "        1234    ");
    FrameStore::OpenFrameStoreForAppend(path_).AddToFrameCount(1);
    QCOMPARE(ReadFile(path_), std::string("1235            "));

    store.AddToFrameCount(0);
    QCOMPARE(ReadFile(path_), std::string("1235            "));
}

void FrameStoreTest::countUpdateRefusesInvalidResults()
{
    WriteFile(path_, "2147483000      ");
    FrameStore store = FrameStore::OpenFrameStoreForAppend(path_);
    std::string message = MessageOf([&] { store.AddToFrameCount(1000); });
    VERIFY_MESSAGE_HAS(message, path_.c_str());
    message = MessageOf([&] { store.AddToFrameCount(-2147483647); });
    VERIFY_MESSAGE_HAS(message, "not a valid frame count");
    QCOMPARE(ReadFile(path_), std::string("2147483000      "));
    store.AddToFrameCount(647);
    QCOMPARE(store.ReadFrameCount(), 2147483647);
}

void FrameStoreTest::blankPaddedFieldsReadTheSame()
{
    // Stripped like every number of the store: " 12" in a 3-digit field is 12.
    const std::string picture = "ABCDEFGHIJKL";
    WriteFile(path_, "  2             " + std::string("3 12") + picture + std::string("\t12") + "3");
    FrameStore store = FrameStore::OpenFrameStore(path_);
    QCOMPARE(store.ReadFrameCount(), 2);
    FrameRecord forward = store.ReadNextFrame();
    QCOMPARE(forward.digitCount, 3);
    QCOMPARE(forward.jpegSize, 12);
    QCOMPARE(AsString(forward.jpeg), picture);
    QCOMPARE(store.Position(), store.Size());
    FrameRecord backward = store.ReadPreviousFrame();
    QCOMPARE(AsString(backward.jpeg), picture);
    QCOMPARE(store.Position(), std::int64_t(16));
}

// Forward reads take the leading size and skip the trailing copy; backward reads the reverse.
void FrameStoreTest::eachDirectionReadsOnlyItsOwnCopyOfTheSize()
{
    WriteFile(path_, "1               " + std::string("15") + "hello" + "??");
    FrameStore store = FrameStore::OpenFrameStore(path_);
    store.Seek(16);
    QCOMPARE(AsString(store.ReadNextFrame().jpeg), std::string("hello"));
    QCOMPARE(store.Position(), store.Size());
    QVERIFY(!MessageOf([&] { store.ReadPreviousFrame(); }).empty());

    WriteFile(path_, "1               " + std::string("??") + "hello" + "51");
    store.Seek(store.Size());
    QCOMPARE(AsString(store.ReadPreviousFrame().jpeg), std::string("hello"));
    QCOMPARE(store.Position(), std::int64_t(16));
    QVERIFY(!MessageOf([&] { store.ReadNextFrame(); }).empty());
}

void FrameStoreTest::openForAppendContinuesAtTheEnd()
{
    const TestPicture a = Busy(20, 10, 1), b = Busy(20, 10, 2);
    {
        FrameStore store = FrameStore::CreateFrameStore(path_);
        store.AppendFrame(a.View());
        store.AddToFrameCount(1);
    }
    const std::int64_t sizeAfterFirst = static_cast<std::int64_t>(ReadFile(path_).size());
    {
        FrameStore store = FrameStore::OpenFrameStoreForAppend(path_);
        QCOMPARE(store.Position(), sizeAfterFirst);
        store.Seek(16); // appends go to the end wherever the position stands
        store.AppendFrame(b.View());
        store.AddToFrameCount(1);
    }
    FrameStore store = FrameStore::OpenFrameStoreReadOnly(path_);
    QCOMPARE(store.ReadFrameCount(), 2);
    QVERIFY(store.ReadNextFrame().jpeg == EncodeJpeg(a.View()));
    QVERIFY(store.ReadNextFrame().jpeg == EncodeJpeg(b.View()));
    QCOMPARE(store.Position(), store.Size());
}

void FrameStoreTest::readsPastTheEndsFail()
{
    FrameStore store = FrameStore::CreateFrameStore(path_);
    std::string message = MessageOf([&] { store.ReadNextFrame(); });
    VERIFY_MESSAGE_HAS(message, path_.c_str());
    VERIFY_MESSAGE_HAS(message, "offset 16");
    QCOMPARE(store.Position(), std::int64_t(16));

    message = MessageOf([&] { store.ReadPreviousFrame(); });
    VERIFY_MESSAGE_HAS(message, path_.c_str());
    VERIFY_MESSAGE_HAS(message, "offset 16");

    store.AppendFrame(Busy(8, 8, 1).View());
    const std::int64_t end = store.Position();
    message = MessageOf([&] { store.ReadNextFrame(); });
    VERIFY_MESSAGE_HAS(message, ("offset " + std::to_string(end)).c_str());
    store.Seek(end + 100);
    QVERIFY(!MessageOf([&] { store.ReadNextFrame(); }).empty());
    QVERIFY(!MessageOf([&] { store.ReadPreviousFrame(); }).empty());
    QCOMPARE(store.Position(), end + 100);
    QVERIFY(!MessageOf([&] { store.Seek(-1); }).empty());
    QVERIFY(!MessageOf([&] { store.Read(end + 1); }).empty());
}

void FrameStoreTest::damagedFieldsFailWithFileAndOffset_data()
{
    QTest::addColumn<QByteArray>("records"); // what follows a good first record
    QTest::addColumn<bool>("forward");
    QTest::addColumn<QString>("expected");
    QTest::newRow("digit count not a number") << QByteArray("x5hello51") << true << "not a whole number";
    QTest::newRow("digit count blank") << QByteArray(" 5hello51") << true << "empty";
    QTest::newRow("digit count zero") << QByteArray("05hello50") << true << "not 1 to 9";
    QTest::newRow("size not a number") << QByteArray("21xhello1x2") << true << "not a whole number";
    QTest::newRow("size negative") << QByteArray("2-5hello-52") << true << "negative";
    QTest::newRow("cut short in the picture") << QByteArray("15hel") << true << "cut short";
    QTest::newRow("cut short in the trailer") << QByteArray("15hello5") << true << "cut short";
    QTest::newRow("cut short in the size") << QByteArray("912") << true << "cut short";
    QTest::newRow("huge size in a small file") << QByteArray("9999999999hello") << true << "cut short";
    QTest::newRow("backward digit count not a number") << QByteArray("15hello5x") << false << "not a whole number";
    QTest::newRow("backward digit count zero") << QByteArray("15hello50") << false << "not 1 to 9";
    QTest::newRow("backward size not a number") << QByteArray("15hellox1") << false << "not a whole number";
    QTest::newRow("backward size negative") << QByteArray("2-5hello-52") << false << "negative";
    QTest::newRow("backward reaches into the header") << QByteArray("hel202") << false << "cut short";
    QTest::newRow("backward huge size") << QByteArray("hello9999999999") << false << "cut short";
}

void FrameStoreTest::damagedFieldsFailWithFileAndOffset()
{
    QFETCH(QByteArray, records);
    QFETCH(bool, forward);
    QFETCH(QString, expected);
    const std::string first = "16abcdef61";
    WriteFile(path_, "2               " + first + records.toStdString());
    const std::string before = ReadFile(path_);

    FrameStore store = FrameStore::OpenFrameStore(path_);
    const std::int64_t boundary = 16 + static_cast<std::int64_t>(first.size());
    store.Seek(forward ? boundary : store.Size());
    const std::int64_t position = store.Position();
    const std::string message = MessageOf([&] { forward ? store.ReadNextFrame() : store.ReadPreviousFrame(); });
    VERIFY_MESSAGE_HAS(message, expected.toStdString());
    VERIFY_MESSAGE_HAS(message, path_.c_str());
    VERIFY_MESSAGE_HAS(message, ("offset " + std::to_string(position)).c_str());
    QCOMPARE(store.Position(), position); // a failed read does not move
    QCOMPARE(ReadFile(path_), before);
}

void FrameStoreTest::badHeadersAndMissingFilesFail()
{
    const std::string missing = dir_->filePath("nothing.avi.xxx").toStdString();
    for (auto open : {&FrameStore::OpenFrameStoreForAppend, &FrameStore::OpenFrameStore,
                      &FrameStore::OpenFrameStoreReadOnly}) {
        const std::string message = MessageOf([&] { open(missing); });
        VERIFY_MESSAGE_HAS(message, missing.c_str());
        VERIFY_MESSAGE_HAS(message, "No such file");
    }
    QVERIFY(!QFile::exists(QString::fromStdString(missing))); // opening never creates

    const std::string folder = dir_->path().toStdString();
    VERIFY_MESSAGE_HAS(MessageOf([&] { FrameStore::OpenFrameStore(folder); }), folder.c_str());
    const std::string nowhere = dir_->filePath("no/such/folder/x.avi.xxx").toStdString();
    VERIFY_MESSAGE_HAS(MessageOf([&] { FrameStore::CreateFrameStore(nowhere); }), nowhere.c_str());

    // Frames are never appended to a file that is not a frame store.
    WriteFile(path_, "RIFF....AVI LIST....hdrl");
    std::string message = MessageOf([&] { FrameStore::OpenFrameStoreForAppend(path_); });
    VERIFY_MESSAGE_HAS(message, "frame count");
    VERIFY_MESSAGE_HAS(message, "RIFF");
    QCOMPARE(ReadFile(path_), std::string("RIFF....AVI LIST....hdrl"));

    WriteFile(path_, "12");
    message = MessageOf([&] { FrameStore::OpenFrameStoreForAppend(path_); });
    VERIFY_MESSAGE_HAS(message, "shorter than its 16-byte header");
    FrameStore store = FrameStore::OpenFrameStore(path_);
    QVERIFY(!MessageOf([&] { store.ReadFrameCount(); }).empty());
    QVERIFY(!MessageOf([&] { store.AddToFrameCount(1); }).empty());
    QCOMPARE(ReadFile(path_), std::string("12"));

    WriteFile(path_, "                ");
    VERIFY_MESSAGE_HAS(MessageOf([&] { FrameStore::OpenFrameStore(path_).ReadFrameCount(); }), "empty");
    WriteFile(path_, "99999999999     ");
    VERIFY_MESSAGE_HAS(MessageOf([&] { FrameStore::OpenFrameStore(path_).ReadFrameCount(); }), "32-bit");
}

void FrameStoreTest::appendRefusesWhatIsNotAFrame()
{
    FrameStore store = FrameStore::CreateFrameStore(path_);
    for (const char* bad : {"", "1", "15hello5", "15hello61", "15hello52", "25hello51", "05hello50", "15hellox51",
                            "1-1x-11", "16hello61"}) {
        const std::string text = bad;
        const std::vector<std::uint8_t> bytes(text.begin(), text.end());
        QVERIFY2(!MessageOf([&] { store.AppendRecord(bytes); }).empty(), bad);
    }
    const std::vector<std::uint8_t> pixels(16);
    const std::string message = MessageOf([&] { store.AppendFrame({pixels.data(), 0, 4, 0, PixelLayout::Rgb24}); });
    VERIFY_MESSAGE_HAS(message, path_.c_str());
    VERIFY_MESSAGE_HAS(message, "0×4");
    QCOMPARE(store.Size(), std::int64_t(16));
    const std::string good = "15hello51";
    store.AppendRecord(std::vector<std::uint8_t>(good.begin(), good.end()));
    QCOMPARE(ReadFile(path_), "0               " + good);
}

// A full disk (here: the file size limit) fails the append with the file's name and cuts the file back.
void FrameStoreTest::fullDiskLeavesTheStoreAsItWas()
{
    FrameStore store = FrameStore::CreateFrameStore(path_);
    const TestPicture picture = Busy(64, 64, 3); // noise: several kilobytes of JPEG
    store.AppendFrame(picture.View());
    store.AppendFrame(picture.View());
    const std::string before = ReadFile(path_);
    const std::int64_t position = store.Position();

    auto* const formerHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit former{};
    QVERIFY(::getrlimit(RLIMIT_FSIZE, &former) == 0);
    rlimit limited = former;
    limited.rlim_cur = static_cast<rlim_t>(before.size() + 1000); // part of a record fits, not all
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &limited) == 0);
    std::string message = MessageOf([&] { store.AppendFrame(picture.View()); });
    const std::string recordMessage = MessageOf([&] { store.AppendRecord(FrameStore::EncodeFrameRecord(picture.View())); });
    ::setrlimit(RLIMIT_FSIZE, &former);
    std::signal(SIGXFSZ, formerHandler);

    VERIFY_MESSAGE_HAS(message, path_.c_str());
    VERIFY_MESSAGE_HAS(message, "too large");
    VERIFY_MESSAGE_HAS(message, ("cut back to its former " + std::to_string(before.size())).c_str());
    VERIFY_MESSAGE_HAS(recordMessage, path_.c_str());
    QCOMPARE(ReadFile(path_), before);
    QCOMPARE(store.Position(), position);

    // The store goes on working once there is room again.
    store.AppendFrame(picture.View());
    store.AddToFrameCount(3);
    store.Seek(16);
    for (int i = 0; i < 3; ++i)
        QVERIFY(store.ReadNextFrame().jpeg == EncodeJpeg(picture.View()));
    QCOMPARE(store.Position(), store.Size());
}

void FrameStoreTest::decodeFrameNamesTheFile()
{
    WriteFile(path_, "1               15hello51");
    FrameStore store = FrameStore::OpenFrameStore(path_);
    store.Seek(16);
    const FrameRecord record = store.ReadNextFrame();
    const std::string message = MessageOf([&] { store.DecodeFrame(record); });
    VERIFY_MESSAGE_HAS(message, path_.c_str());
    VERIFY_MESSAGE_HAS(message, "offset 16");
}

// What the editor does when it rewrites a run: copy the bytes before it, new records, the bytes after.
void FrameStoreTest::plainBytesCopyRunsOfRecords()
{
    std::vector<TestPicture> pictures;
    FrameStore store = FrameStore::CreateFrameStore(path_);
    for (int i = 0; i < 4; ++i) {
        pictures.push_back(Busy(24, 16, static_cast<std::uint32_t>(10 + i)));
        store.AppendFrame(pictures.back().View());
    }
    store.AddToFrameCount(4);
    store.Seek(16);
    store.SkipNextFrame();
    const std::int64_t runStart = store.Position();
    store.SkipNextFrame();
    const std::int64_t runEnd = store.Position();

    const TestPicture replacement = Busy(24, 16, 99);
    const std::string copyPath = dir_->filePath("a.xxx").toStdString();
    FrameStore copy = FrameStore::CreateFrameStore(copyPath);
    copy.Seek(0);
    store.Seek(0);
    copy.Write(store.Read(runStart));
    copy.Write(FrameStore::EncodeFrameRecord(replacement.View()));
    store.Seek(runEnd);
    copy.Write(store.Read(store.Size() - runEnd));
    QCOMPARE(store.Position(), store.Size());

    QCOMPARE(copy.ReadFrameCount(), 4);
    const std::vector<const TestPicture*> expected{&pictures[0], &replacement, &pictures[2], &pictures[3]};
    for (const TestPicture* picture : expected)
        QVERIFY(copy.ReadNextFrame().jpeg == EncodeJpeg(picture->View()));
    QCOMPARE(copy.Position(), copy.Size());
}

void FrameStoreTest::closedAndReadOnlyStoresRefuseWork()
{
    FrameStore store = FrameStore::CreateFrameStore(path_);
    store.Close();
    store.Close(); // closing twice is harmless
    QVERIFY(!store.IsOpen());
    VERIFY_MESSAGE_HAS(MessageOf([&] { store.ReadFrameCount(); }), "closed");
    VERIFY_MESSAGE_HAS(MessageOf([&] { store.AppendFrame(Busy(8, 8, 1).View()); }), path_.c_str());

    FrameStore moved = FrameStore::OpenFrameStoreReadOnly(path_);
    FrameStore reader = std::move(moved);
    QVERIFY(!moved.IsOpen());
    QCOMPARE(reader.ReadFrameCount(), 0);
    VERIFY_MESSAGE_HAS(MessageOf([&] { reader.AppendFrame(Busy(8, 8, 1).View()); }), "reading only");
    VERIFY_MESSAGE_HAS(MessageOf([&] { reader.AddToFrameCount(1); }), "reading only");
    QCOMPARE(ReadFile(path_), std::string("0               "));
}

QTEST_GUILESS_MAIN(FrameStoreTest)
#include "test_framestore.moc"

// Frame stores beyond 2 GiB and 4 GiB, and records with 9-digit sizes. The big files are sparse:
// the pictures of the huge records are holes, so these tests need almost no disk and run in well
// under a second; only the framing digits and a few real frames are written.
#include "TestPictures.h"
#include "store/FrameStore.h"
#include "store/Jpeg.h"

#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quolva::store;

namespace {

constexpr std::int64_t k2GiB = std::int64_t{1} << 31;
constexpr std::int64_t k4GiB = std::int64_t{1} << 32;

using storetest::Busy;
using storetest::TestPicture;

bool WriteAt(int descriptor, std::int64_t offset, const std::string& bytes)
{
    return ::pwrite(descriptor, bytes.data(), bytes.size(), offset) == static_cast<ssize_t>(bytes.size());
}

bool WriteAt(int descriptor, std::int64_t offset, const std::vector<std::uint8_t>& bytes)
{
    return WriteAt(descriptor, offset, std::string(bytes.begin(), bytes.end()));
}

// Lays out records with 9-digit sizes from `from` up to `to`, written independently of the store code:
// "9", the size, the picture (a hole), the size, "9". Returns their start offsets.
std::vector<std::int64_t> WriteHoleRecords(int descriptor, std::int64_t from, std::int64_t to)
{
    constexpr std::int64_t kLongest = 999'999'999 + 20;
    const std::int64_t count = (to - from + kLongest - 1) / kLongest;
    std::vector<std::int64_t> starts;
    std::int64_t offset = from;
    for (std::int64_t i = 0; i < count; ++i) {
        const std::int64_t length = i + 1 == count ? to - offset : (to - from) / count;
        const std::string size = std::to_string(length - 20);
        if (size.size() != 9 || !WriteAt(descriptor, offset, "9" + size) ||
            !WriteAt(descriptor, offset + length - 10, size + "9"))
            return {};
        starts.push_back(offset);
        offset += length;
    }
    return starts;
}

std::string MessageOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const StoreError& error) {
        return error.what();
    }
    return {};
}

} // namespace

class FrameStoreLargeTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void nineDigitSizeGivesRecordOfSizePlusTwenty();
    void walksAndAppendsBeyondTwoAndFourGiB();

private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::string path_;
};

void FrameStoreLargeTest::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    path_ = dir_->filePath("big.avi.xxx").toStdString();
}

void FrameStoreLargeTest::nineDigitSizeGivesRecordOfSizePlusTwenty()
{
    constexpr std::int32_t n = 100'000'000;
    {
        std::vector<std::uint8_t> jpeg(n, 0x11);
        jpeg.front() = 0xAA;
        jpeg.back() = 0xBB;
        const auto record = FrameStore::FrameRecordFromJpeg(jpeg);
        QCOMPARE(record.size(), std::size_t(n) + 20);
        QCOMPARE(std::string(record.begin(), record.begin() + 10), std::string("9100000000"));
        QCOMPARE(std::string(record.end() - 10, record.end()), std::string("1000000009"));
        QCOMPARE(record[10], std::uint8_t(0xAA));
        QCOMPARE(record[record.size() - 11], std::uint8_t(0xBB));
    }
    // One byte more than nine digits can say: refused. (A mapping of zero pages, so nothing is allocated.)
    constexpr std::size_t kTooLarge = 1'000'000'000;
    void* const zeros = ::mmap(nullptr, kTooLarge, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    QVERIFY(zeros != MAP_FAILED);
    const std::string refused = MessageOf([&] {
        FrameStore::FrameRecordFromJpeg(std::span(static_cast<const std::uint8_t*>(zeros), kTooLarge));
    });
    ::munmap(zeros, kTooLarge);
    QVERIFY2(refused.find("too large") != std::string::npos, refused.c_str());

    // Read back from a sparse file: the picture is a hole with a marker byte at each end.
    FrameStore::CreateFrameStore(path_).Close();
    const int descriptor = ::open(path_.c_str(), O_RDWR | O_CLOEXEC);
    QVERIFY(descriptor >= 0);
    const bool written = WriteAt(descriptor, 16, std::string("9100000000\xAA")) &&
                         WriteAt(descriptor, 16 + 10 + n - 1, std::string("\xBB" "1000000009"));
    ::close(descriptor);
    QVERIFY(written);

    FrameStore store = FrameStore::OpenFrameStoreForAppend(path_);
    QCOMPARE(store.Position(), std::int64_t(16) + n + 20);
    const TestPicture small = Busy(16, 16, 1);
    store.AppendFrame(small.View());
    store.Seek(16);
    const FrameRecord record = store.ReadNextFrame();
    QCOMPARE(record.digitCount, 9);
    QCOMPARE(record.jpegSize, n);
    QCOMPARE(record.Length(), std::int64_t(n) + 20);
    QCOMPARE(record.jpeg.size(), std::size_t(n));
    QCOMPARE(record.jpeg.front(), std::uint8_t(0xAA));
    QCOMPARE(record.jpeg.back(), std::uint8_t(0xBB));
    QCOMPARE(store.ReadNextFrame().jpeg, EncodeJpeg(small.View()));
    store.ReadPreviousFrame();
    QCOMPARE(store.ReadPreviousFrame().jpeg.back(), std::uint8_t(0xBB));
    QCOMPARE(store.Position(), std::int64_t(16));
}

void FrameStoreLargeTest::walksAndAppendsBeyondTwoAndFourGiB()
{
    // Real frames A and B straddle the 2 GiB and 4 GiB marks; huge hole records fill the space between;
    // frame C is appended by the store itself beyond 4 GiB.
    const TestPicture a = Busy(32, 24, 1), b = Busy(40, 24, 2), c = Busy(48, 24, 3);
    const auto recordA = FrameStore::EncodeFrameRecord(a.View());
    const auto recordB = FrameStore::EncodeFrameRecord(b.View());
    const std::int64_t startA = k2GiB - std::int64_t(recordA.size()) / 2;
    const std::int64_t startB = k4GiB - std::int64_t(recordB.size()) / 2;

    FrameStore::CreateFrameStore(path_).Close();
    const int descriptor = ::open(path_.c_str(), O_RDWR | O_CLOEXEC);
    QVERIFY(descriptor >= 0);
    const auto holesBeforeA = WriteHoleRecords(descriptor, 16, startA);
    const auto holesBeforeB = WriteHoleRecords(descriptor, startA + std::int64_t(recordA.size()), startB);
    const bool written = WriteAt(descriptor, startA, recordA) && WriteAt(descriptor, startB, recordB);
    struct stat status {};
    ::fstat(descriptor, &status);
    ::close(descriptor);
    QVERIFY(written && !holesBeforeA.empty() && !holesBeforeB.empty());
    QVERIFY2(status.st_blocks * 512 < 64 * 1024 * 1024, "the file system does not keep holes in sparse files");
    const std::int64_t endB = startB + std::int64_t(recordB.size());
    QCOMPARE(std::int64_t(status.st_size), endB);

    FrameStore store = FrameStore::OpenFrameStoreForAppend(path_);
    QCOMPARE(store.Position(), endB);
    store.AppendFrame(c.View());
    const std::int64_t end = store.Position();
    QCOMPARE(store.Size(), end);
    QVERIFY(end > k4GiB);
    const std::int32_t frames = std::int32_t(holesBeforeA.size() + holesBeforeB.size()) + 3;
    store.AddToFrameCount(frames);
    QCOMPARE(store.Position(), end);
    QCOMPARE(store.ReadFrameCount(), frames);

    // Backwards from the end to the first record.
    store.Seek(end);
    QCOMPARE(store.ReadPreviousFrame().jpeg, EncodeJpeg(c.View()));
    QCOMPARE(store.Position(), endB);
    FrameRecord read = store.ReadPreviousFrame();
    QCOMPARE(read.offset, startB);
    QCOMPARE(read.jpeg, EncodeJpeg(b.View()));
    for (auto it = holesBeforeB.rbegin(); it != holesBeforeB.rend(); ++it) {
        QCOMPARE(store.SkipPreviousFrame().offset, *it);
        QCOMPARE(store.Position(), *it);
    }
    read = store.ReadPreviousFrame();
    QCOMPARE(read.offset, startA);
    QCOMPARE(store.DecodeFrame(read).Width(), 32);
    for (auto it = holesBeforeA.rbegin(); it != holesBeforeA.rend(); ++it)
        QCOMPARE(store.SkipPreviousFrame().offset, *it);
    QCOMPARE(store.Position(), std::int64_t(16));

    // And forwards again.
    for (std::size_t i = 0; i < holesBeforeA.size(); ++i)
        store.SkipNextFrame();
    QCOMPARE(store.Position(), startA);
    QCOMPARE(store.ReadNextFrame().jpeg, EncodeJpeg(a.View()));
    for (std::size_t i = 0; i < holesBeforeB.size(); ++i)
        store.SkipNextFrame();
    QCOMPARE(store.ReadNextFrame().jpeg, EncodeJpeg(b.View()));
    QCOMPARE(store.ReadNextFrame().jpeg, EncodeJpeg(c.View()));
    QCOMPARE(store.Position(), store.Size());

    // A full disk beyond 4 GiB cuts the file back to the same 64-bit size.
    auto* const formerHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit former{};
    QVERIFY(::getrlimit(RLIMIT_FSIZE, &former) == 0);
    rlimit limited = former;
    limited.rlim_cur = static_cast<rlim_t>(end + 10);
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &limited) == 0);
    const std::string full = MessageOf([&] { store.AppendFrame(c.View()); });
    ::setrlimit(RLIMIT_FSIZE, &former);
    std::signal(SIGXFSZ, formerHandler);
    QVERIFY2(full.find("former " + std::to_string(end) + " bytes") != std::string::npos, full.c_str());
    QCOMPARE(store.Size(), end);
    QCOMPARE(store.Position(), end);

    // A record cut short beyond 4 GiB is reported with its 64-bit offset.
    QVERIFY(::truncate(path_.c_str(), end - 1) == 0);
    store.Seek(endB);
    const std::string cut = MessageOf([&] { store.ReadNextFrame(); });
    QVERIFY2(cut.find("offset " + std::to_string(endB) + " is cut short") != std::string::npos, cut.c_str());
}

QTEST_GUILESS_MAIN(FrameStoreLargeTest)
#include "test_framestore_large.moc"

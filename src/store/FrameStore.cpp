#include "store/FrameStore.h"

#include "store/DecimalText.h"
#include "store/Jpeg.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <string_view>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace quolva::store {

static_assert(sizeof(off_t) == 8, "frame stores beyond 2 GiB need 64-bit file offsets");

namespace {

constexpr std::string_view kFreshHeader = "0               ";
static_assert(kFreshHeader.size() == kFrameStoreHeaderSize);

// Large transfers go in pieces the kernel accepts in one call.
constexpr std::int64_t kMaxTransfer = std::int64_t{1} << 30;

std::string SystemText(int error) { return std::generic_category().message(error); }

std::string Quoted(const std::filesystem::path& path) { return "\"" + path.string() + "\""; }

std::string_view AsText(const std::uint8_t* bytes, std::size_t count)
{
    return {reinterpret_cast<const char*>(bytes), count};
}

enum class OpenMode { Create, ReadWrite, ReadOnly };

int OpenDescriptor(const std::filesystem::path& path, OpenMode mode)
{
    int flags = O_CLOEXEC | O_NONBLOCK; // O_NONBLOCK: never hang on a FIFO; cleared below
    switch (mode) {
    case OpenMode::Create: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    case OpenMode::ReadWrite: flags |= O_RDWR; break;
    case OpenMode::ReadOnly: flags |= O_RDONLY; break;
    }
    const char* verb = mode == OpenMode::Create ? "Cannot create frame store " : "Cannot open frame store ";
    int descriptor;
    do {
        descriptor = ::open(path.c_str(), flags, 0666);
    } while (descriptor < 0 && errno == EINTR);
    if (descriptor < 0)
        throw StoreError(verb + Quoted(path) + ": " + SystemText(errno));
    struct stat status {};
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(descriptor);
        throw StoreError(verb + Quoted(path) + ": it is not a regular file");
    }
    ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
    return descriptor;
}

// Writes everything or reports the errno of the failure (0 on success).
int WriteAllAt(int descriptor, std::vector<iovec> parts, std::int64_t offset)
{
    std::size_t first = 0;
    while (first < parts.size()) {
        if (parts[first].iov_len == 0) {
            ++first;
            continue;
        }
        const int count = static_cast<int>(std::min<std::size_t>(parts.size() - first, IOV_MAX));
        const ssize_t written = ::pwritev(descriptor, parts.data() + first, count, offset);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (written == 0)
            return EIO;
        offset += written;
        auto left = static_cast<std::size_t>(written);
        while (left > 0) {
            const std::size_t step = std::min(left, parts[first].iov_len);
            parts[first].iov_base = static_cast<char*>(parts[first].iov_base) + step;
            parts[first].iov_len -= step;
            left -= step;
            if (parts[first].iov_len == 0)
                ++first;
        }
    }
    return 0;
}

iovec Part(std::span<const std::uint8_t> bytes)
{
    // pwritev only reads through iov_base.
    return {const_cast<std::uint8_t*>(bytes.data()), bytes.size()};
}

std::string Framing(std::int64_t jpegSize)
{
    const std::string size = std::to_string(jpegSize);
    return std::to_string(size.size()) + size;
}

} // namespace

FrameStore::FrameStore(int descriptor, std::filesystem::path path, std::int64_t position)
    : descriptor_(descriptor), path_(std::move(path)), position_(position)
{
}

FrameStore::FrameStore(FrameStore&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)), path_(std::move(other.path_)),
      position_(std::exchange(other.position_, 0)), readOnly_(other.readOnly_)
{
}

FrameStore& FrameStore::operator=(FrameStore&& other) noexcept
{
    if (this != &other) {
        Close();
        descriptor_ = std::exchange(other.descriptor_, -1);
        path_ = std::move(other.path_);
        position_ = std::exchange(other.position_, 0);
        readOnly_ = other.readOnly_;
    }
    return *this;
}

FrameStore::~FrameStore() { Close(); }

void FrameStore::Close()
{
    if (descriptor_ >= 0)
        ::close(std::exchange(descriptor_, -1));
}

FrameStore FrameStore::CreateFrameStore(const std::filesystem::path& path)
{
    FrameStore store(OpenDescriptor(path, OpenMode::Create), path, 0);
    std::vector<iovec> parts{Part(std::span(reinterpret_cast<const std::uint8_t*>(kFreshHeader.data()),
                                            kFreshHeader.size()))};
    if (const int error = WriteAllAt(store.descriptor_, std::move(parts), 0); error != 0)
        throw StoreError("Cannot create frame store " + Quoted(path) + ": writing its header failed: " +
                         SystemText(error));
    store.position_ = kFrameStoreHeaderSize;
    return store;
}

FrameStore FrameStore::OpenFrameStoreForAppend(const std::filesystem::path& path)
{
    FrameStore store(OpenDescriptor(path, OpenMode::ReadWrite), path, 0);
    store.ReadFrameCount();
    store.position_ = store.Size();
    return store;
}

FrameStore FrameStore::OpenFrameStore(const std::filesystem::path& path)
{
    return FrameStore(OpenDescriptor(path, OpenMode::ReadWrite), path, 0);
}

FrameStore FrameStore::OpenFrameStoreReadOnly(const std::filesystem::path& path)
{
    FrameStore store(OpenDescriptor(path, OpenMode::ReadOnly), path, 0);
    store.readOnly_ = true;
    return store;
}

FrameStore FrameStore::OpenReader() const
{
    int copy;
    do {
        copy = ::fcntl(Descriptor(), F_DUPFD_CLOEXEC, 0);
    } while (copy < 0 && errno == EINTR);
    if (copy < 0)
        Fail("cannot open a reader: " + SystemText(errno));
    FrameStore reader(copy, path_, kFrameStoreHeaderSize);
    reader.readOnly_ = true;
    return reader;
}

int FrameStore::Descriptor() const
{
    if (descriptor_ < 0)
        throw StoreError("Frame store " + Quoted(path_) + " is closed");
    return descriptor_;
}

int FrameStore::WritableDescriptor() const
{
    const int descriptor = Descriptor();
    if (readOnly_)
        Fail("it was opened for reading only");
    return descriptor;
}

void FrameStore::Fail(const std::string& what) const
{
    throw StoreError("Frame store " + Quoted(path_) + ": " + what);
}

std::int64_t FrameStore::Size() const
{
    struct stat status {};
    if (::fstat(Descriptor(), &status) != 0)
        Fail("cannot learn its size: " + SystemText(errno));
    return status.st_size;
}

void FrameStore::Seek(std::int64_t position)
{
    Descriptor();
    if (position < 0)
        Fail("cannot move to the negative offset " + std::to_string(position));
    position_ = position;
}

void FrameStore::Truncate(std::int64_t size)
{
    const int descriptor = WritableDescriptor();
    if (size < kFrameStoreHeaderSize)
        Fail("cannot cut the file to " + std::to_string(size) + " bytes: the header needs 16");
    if (::ftruncate(descriptor, size) != 0)
        Fail("cannot cut the file to " + std::to_string(size) + " bytes: " + SystemText(errno));
    position_ = std::min(position_, size);
}

void FrameStore::ReadExactly(std::int64_t offset, std::uint8_t* into, std::int64_t count, const char* purpose) const
{
    const int descriptor = Descriptor();
    while (count > 0) {
        const ssize_t got = ::pread(descriptor, into, static_cast<std::size_t>(std::min(count, kMaxTransfer)), offset);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            Fail(std::string("cannot read ") + purpose + " at offset " + std::to_string(offset) + ": " +
                 SystemText(errno));
        }
        if (got == 0)
            Fail(std::string("the file ends at offset ") + std::to_string(offset) + ", in the middle of " + purpose);
        into += got;
        offset += got;
        count -= got;
    }
}

std::vector<std::uint8_t> FrameStore::EncodeFrameRecord(const PictureView& picture)
{
    return FrameRecordFromJpeg(EncodeJpeg(picture));
}

std::vector<std::uint8_t> FrameStore::FrameRecordFromJpeg(std::span<const std::uint8_t> jpeg)
{
    if (jpeg.size() > static_cast<std::size_t>(kMaxFrameJpegSize))
        throw StoreError("A picture of " + std::to_string(jpeg.size()) +
                         " bytes is too large for a frame record (at most 999999999)");
    const std::string head = Framing(static_cast<std::int64_t>(jpeg.size()));
    std::vector<std::uint8_t> record;
    record.reserve(jpeg.size() + 2 * head.size());
    record.insert(record.end(), head.begin(), head.end());
    record.insert(record.end(), jpeg.begin(), jpeg.end());
    record.insert(record.end(), head.begin() + 1, head.end()); // the size again,
    record.push_back(static_cast<std::uint8_t>(head.front()));  // then the digit count
    return record;
}

void FrameStore::AppendAtEnd(std::span<const std::uint8_t> head, std::span<const std::uint8_t> jpeg,
                             std::span<const std::uint8_t> tail)
{
    const int descriptor = WritableDescriptor();
    const std::int64_t formerSize = Size();
    std::vector<iovec> parts{Part(head), Part(jpeg), Part(tail)};
    const int error = WriteAllAt(descriptor, std::move(parts), formerSize);
    if (error != 0) {
        // A full disk must not leave half a record behind: the next reader would take it for a frame.
        std::string repair = "the file was cut back to its former " + std::to_string(formerSize) + " bytes";
        if (::ftruncate(descriptor, formerSize) != 0)
            repair = "cutting the file back to its former " + std::to_string(formerSize) + " bytes failed too: " +
                     SystemText(errno);
        throw StoreWriteError("Frame store " + Quoted(path_) + ": cannot append a frame at offset " +
                              std::to_string(formerSize) + ": " + SystemText(error) + "; " + repair);
    }
    position_ = formerSize + static_cast<std::int64_t>(head.size() + jpeg.size() + tail.size());
}

void FrameStore::AppendFrame(const PictureView& picture)
{
    WritableDescriptor();
    std::vector<std::uint8_t> jpeg;
    try {
        jpeg = EncodeJpeg(picture);
    } catch (const JpegError& error) {
        Fail(std::string("cannot append a frame: ") + error.what());
    }
    if (jpeg.size() > static_cast<std::size_t>(kMaxFrameJpegSize))
        Fail("a picture of " + std::to_string(jpeg.size()) + " bytes is too large for a frame record");
    const std::string framing = Framing(static_cast<std::int64_t>(jpeg.size()));
    const std::string closing = framing.substr(1) + framing.front();
    AppendAtEnd(std::span(reinterpret_cast<const std::uint8_t*>(framing.data()), framing.size()), jpeg,
                std::span(reinterpret_cast<const std::uint8_t*>(closing.data()), closing.size()));
}

void FrameStore::AppendRecord(std::span<const std::uint8_t> record)
{
    WritableDescriptor();
    // The same reading rules as the readers: a record they could not walk in both directions is refused.
    auto parse = [&](std::size_t from, std::size_t count) {
        return TryParseDecimalInt32(AsText(record.data() + from, count));
    };
    bool wellFramed = record.size() >= 4;
    if (wellFramed) {
        const DecimalParse leadingDigits = parse(0, 1);
        const DecimalParse trailingDigits = parse(record.size() - 1, 1);
        wellFramed = leadingDigits.Ok() && trailingDigits.Ok() && leadingDigits.value >= 1 &&
                     leadingDigits.value <= 9 && leadingDigits.value == trailingDigits.value;
        if (wellFramed) {
            const auto d = static_cast<std::size_t>(leadingDigits.value);
            wellFramed = record.size() >= 2 * d + 2;
            if (wellFramed) {
                const DecimalParse leadingSize = parse(1, d);
                const DecimalParse trailingSize = parse(record.size() - 1 - d, d);
                wellFramed = leadingSize.Ok() && trailingSize.Ok() && leadingSize.value >= 0 &&
                             leadingSize.value == trailingSize.value &&
                             record.size() == static_cast<std::size_t>(leadingSize.value) + 2 * d + 2;
            }
        }
    }
    if (!wellFramed)
        Fail("cannot append " + std::to_string(record.size()) + " bytes that are not one frame record");
    AppendAtEnd(record, {}, {});
}

FrameRecord FrameStore::ReadNextFrame() { return ReadForward(true); }
FrameRecord FrameStore::ReadPreviousFrame() { return ReadBackward(true); }
FrameRecord FrameStore::SkipNextFrame() { return ReadForward(false); }
FrameRecord FrameStore::SkipPreviousFrame() { return ReadBackward(false); }

int FrameStore::ParseDigitCount(std::uint8_t field, const std::string& at) const
{
    const DecimalParse digits = TryParseDecimalInt32(AsText(&field, 1));
    if (!digits.Ok())
        Fail(DecimalTextMessage(AsText(&field, 1), "the digit count of the frame" + at, digits.problem));
    if (digits.value < 1 || digits.value > 9)
        Fail("the digit count of the frame" + at + " is " + std::to_string(digits.value) + ", not 1 to 9");
    return digits.value;
}

std::int32_t FrameStore::ParseJpegSize(const std::uint8_t* field, int digitCount, const std::string& at) const
{
    const std::string_view text = AsText(field, static_cast<std::size_t>(digitCount));
    const DecimalParse jpegSize = TryParseDecimalInt32(text);
    if (!jpegSize.Ok())
        Fail(DecimalTextMessage(text, "the size of the frame" + at, jpegSize.problem));
    if (jpegSize.value < 0)
        Fail("the size of the frame" + at + " is negative: " + std::to_string(jpegSize.value));
    return jpegSize.value;
}

FrameRecord FrameStore::ReadForward(bool withJpeg)
{
    const std::int64_t start = position_;
    const std::int64_t size = Size();
    const std::string at = " at offset " + std::to_string(start);
    if (start >= size)
        Fail("there is no frame" + at + ": the file ends at offset " + std::to_string(size));

    std::uint8_t field[9];
    ReadExactly(start, field, 1, "a digit count");
    const int d = ParseDigitCount(field[0], at);

    if (start + 1 + d > size)
        Fail("the frame" + at + " is cut short: the file ends inside its size");
    ReadExactly(start + 1, field, d, "a frame size");
    const std::int32_t jpegSize = ParseJpegSize(field, d, at);

    FrameRecord record;
    record.offset = start;
    record.digitCount = d;
    record.jpegSize = jpegSize;
    // Checked before anything is allocated: a damaged size never turns into a huge buffer.
    if (record.End() > size)
        Fail("the frame" + at + " is cut short: it needs " + std::to_string(record.Length()) +
             " bytes, but the file ends after " + std::to_string(size - start));
    if (withJpeg) {
        record.jpeg.resize(static_cast<std::size_t>(record.jpegSize));
        ReadExactly(start + 1 + d, record.jpeg.data(), record.jpegSize, "a frame picture");
    }
    position_ = record.End();
    return record;
}

FrameRecord FrameStore::ReadBackward(bool withJpeg)
{
    const std::int64_t end = position_;
    const std::int64_t size = Size();
    const std::string at = " ending at offset " + std::to_string(end);
    if (end <= kFrameStoreHeaderSize)
        Fail("there is no frame before offset " + std::to_string(end) + ": the first frame starts at offset 16");
    if (end > size)
        Fail("there is no frame" + at + ": the file ends at offset " + std::to_string(size));

    std::uint8_t field[9];
    ReadExactly(end - 1, field, 1, "a digit count");
    const int d = ParseDigitCount(field[0], at);

    if (end - 1 - d < kFrameStoreHeaderSize)
        Fail("the frame" + at + " is cut short: its size would lie in the header");
    ReadExactly(end - 1 - d, field, d, "a frame size");
    const std::int32_t jpegSize = ParseJpegSize(field, d, at);

    FrameRecord record;
    record.digitCount = d;
    record.jpegSize = jpegSize;
    record.offset = end - record.Length();
    if (record.offset < kFrameStoreHeaderSize)
        Fail("the frame" + at + " is cut short: it would need " + std::to_string(record.Length()) +
             " bytes, but only " + std::to_string(end - kFrameStoreHeaderSize) + " follow the header");
    if (withJpeg) {
        record.jpeg.resize(static_cast<std::size_t>(record.jpegSize));
        ReadExactly(record.offset + 1 + d, record.jpeg.data(), record.jpegSize, "a frame picture");
    }
    position_ = record.offset;
    return record;
}

std::vector<std::uint8_t> FrameStore::ReadHeaderBytes()
{
    const std::int64_t size = Size();
    if (size < kFrameStoreHeaderSize)
        Fail("the file is " + std::to_string(size) + " bytes long, shorter than its 16-byte header");
    std::vector<std::uint8_t> header(kFrameStoreHeaderSize);
    ReadExactly(0, header.data(), kFrameStoreHeaderSize, "the header");
    return header;
}

std::int32_t FrameStore::ReadFrameCount()
{
    const std::vector<std::uint8_t> header = ReadHeaderBytes();
    const std::string_view text = AsText(header.data(), header.size());
    const DecimalParse count = TryParseDecimalInt32(text);
    if (!count.Ok())
        Fail(DecimalTextMessage(text, "the frame count in the header", count.problem));
    position_ = kFrameStoreHeaderSize;
    return count.value;
}

void FrameStore::AddToFrameCount(std::int32_t k)
{
    const int descriptor = WritableDescriptor();
    const std::vector<std::uint8_t> header = ReadHeaderBytes();
    const std::string_view text = AsText(header.data(), header.size());
    const DecimalParse count = TryParseDecimalInt32(text);
    if (!count.Ok())
        Fail(DecimalTextMessage(text, "the frame count in the header", count.problem));
    const std::int64_t updated = std::int64_t{count.value} + k;
    if (updated < 0 || updated > INT32_MAX)
        Fail("cannot add " + std::to_string(k) + " frames to the count " + std::to_string(count.value) +
             ": the result " + std::to_string(updated) + " is not a valid frame count");

    // The new digits go from byte 0 and the padding after the old text is left alone. Only where the
    // old text reached further (blanks in front of it) are its leftover characters blanked, so that no
    // stale digit survives behind the new ones.
    const std::string digits = std::to_string(updated);
    std::vector<std::uint8_t> rewritten = header;
    std::copy(digits.begin(), digits.end(), rewritten.begin());
    const auto lastOfOld = static_cast<std::size_t>(
        std::find_if(header.rbegin(), header.rend(), [](std::uint8_t c) { return c > 32; }).base() - header.begin());
    for (std::size_t i = digits.size(); i < lastOfOld; ++i)
        rewritten[i] = ' ';
    const std::size_t changed = std::max(digits.size(), lastOfOld);

    const int error = WriteAllAt(descriptor, {Part(std::span(rewritten.data(), changed))}, 0);
    if (error != 0) {
        std::string repair = "the header was restored";
        if (WriteAllAt(descriptor, {Part(std::span(header.data(), changed))}, 0) != 0)
            repair = "restoring the header failed too";
        Fail("cannot write the frame count " + digits + " into the header: " + SystemText(error) + "; " + repair);
    }
    position_ = Size();
}

Picture FrameStore::DecodeFrame(const FrameRecord& record) const
{
    return DecodeJpeg(record.jpeg,
                      "the frame at offset " + std::to_string(record.offset) + " of frame store " + Quoted(path_));
}

std::vector<std::uint8_t> FrameStore::Read(std::int64_t count)
{
    const std::int64_t size = Size();
    if (count < 0 || position_ > size || count > size - position_)
        Fail("cannot read " + std::to_string(count) + " bytes at offset " + std::to_string(position_) +
             ": the file ends at offset " + std::to_string(size));
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count));
    ReadExactly(position_, bytes.data(), count, "bytes");
    position_ += count;
    return bytes;
}

void FrameStore::Write(std::span<const std::uint8_t> bytes)
{
    const int descriptor = WritableDescriptor();
    const std::int64_t formerSize = Size();
    const int error = WriteAllAt(descriptor, {Part(bytes)}, position_);
    if (error != 0) {
        // Bytes written past the former end are taken back; bytes overwritten within it cannot be.
        std::string repair;
        if (Size() > formerSize && ::ftruncate(descriptor, formerSize) != 0)
            repair = "; cutting the file back to its former " + std::to_string(formerSize) + " bytes failed too";
        Fail("cannot write " + std::to_string(bytes.size()) + " bytes at offset " + std::to_string(position_) +
             ": " + SystemText(error) + repair);
    }
    position_ += static_cast<std::int64_t>(bytes.size());
}

} // namespace quolva::store

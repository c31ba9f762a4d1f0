#include "store/FrameStoreWalk.h"

#include "store/DecimalText.h"

#include <algorithm>
#include <optional>
#include <string_view>

namespace quolva::store {
namespace {

std::string_view Text(const std::vector<std::uint8_t>& bytes)
{
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

std::string Shown(const std::vector<std::uint8_t>& bytes)
{
    return PrintableBytes(Text(bytes));
}

bool StartsWith(const std::vector<std::uint8_t>& bytes, std::uint8_t a, std::uint8_t b)
{
    return bytes.size() >= 2 && bytes[0] == a && bytes[1] == b;
}

// The digit count d as one character "1" to "9", or 0 when the byte is not one.
int DigitCount(std::uint8_t byte)
{
    return byte >= '1' && byte <= '9' ? byte - '0' : 0;
}

// The size text of d characters as a number, or -1 when it is not a decimal number of 0 or more.
std::int64_t SizeOf(const std::vector<std::uint8_t>& text)
{
    const DecimalParse parsed = TryParseDecimalInt32(Text(text));
    return parsed.Ok() && parsed.value >= 0 ? parsed.value : -1;
}

// True when a record seems to start at `at`: a digit count, a size that is a number, and the JPEG
// start-of-image marker after them (the rest may be cut off by the end of the file).
bool RecordStartsAt(FrameStore& store, std::int64_t at, std::int64_t fileSize)
{
    if (fileSize - at < 4)
        return false;
    store.Seek(at);
    const int d = DigitCount(store.Read(1).front());
    if (d == 0 || fileSize - at < 1 + std::int64_t{d} + 2)
        return false;
    return SizeOf(store.Read(d)) >= 0 && StartsWith(store.Read(2), 0xFF, 0xD8);
}

// Whether the record at `start`, whose leading digit count d and size n are read and whose trailing
// field does not match them, is whole by its leading size: n bytes of a whole JPEG, and the next record
// or the end of the file right after it.
bool WholeByLeadingSize(FrameStore& store, std::int64_t start, int d, std::int64_t n, std::int64_t fileSize)
{
    if (n < 4)
        return false;
    const std::int64_t picture = start + 1 + d;
    store.Seek(picture);
    if (!StartsWith(store.Read(2), 0xFF, 0xD8))
        return false;
    store.Seek(picture + n - 2);
    if (!StartsWith(store.Read(2), 0xFF, 0xD9))
        return false;
    const std::int64_t end = picture + n + d + 1;
    return end == fileSize || RecordStartsAt(store, end, fileSize);
}

// The record that starts at `start`, checked in full; its end, or -1 with `fault` set. A record whose
// trailing field alone is damaged (DamagedTrailer) is read: `damaged` tells what was found.
std::int64_t CheckRecordAt(FrameStore& store, std::int64_t start, std::int64_t fileSize, std::string& fault,
                           std::optional<DamagedTrailer>* damaged = nullptr)
{
    if (fileSize - start < 4) {
        fault = "a record is cut short: only " + std::to_string(fileSize - start) + " bytes remain";
        return -1;
    }
    store.Seek(start);
    const int d = DigitCount(store.Read(1).front());
    if (d == 0) {
        fault = "the leading digit count is not a digit from 1 to 9";
        return -1;
    }
    if (fileSize - start < 2 + 2 * std::int64_t{d}) {
        fault = "a record is cut short inside its size";
        return -1;
    }
    const std::vector<std::uint8_t> leading = store.Read(d);
    const std::int64_t n = SizeOf(leading);
    if (n < 0) {
        fault = "the leading size \"" + Shown(leading) + "\" is not a number";
        return -1;
    }
    const std::int64_t end = start + n + 2 * std::int64_t{d} + 2;
    if (end > fileSize) {
        fault = "a record of " + std::to_string(n) + " picture bytes is cut short by the end of the file";
        return -1;
    }
    const std::int64_t field = start + 1 + d + n;
    store.Seek(field);
    const std::vector<std::uint8_t> trailer = store.Read(std::size_t(d) + 1);
    std::vector<std::uint8_t> expected = leading;
    expected.push_back(static_cast<std::uint8_t>('0' + d));
    if (trailer != expected) {
        const std::vector<std::uint8_t> trailing(trailer.begin(), trailer.end() - 1);
        fault = "the trailing size \"" + Shown(trailing) + "\" with digit count \"" + Shown({trailer.back()}) +
                "\" does not match the leading \"" + Shown(leading) + "\" with \"" + std::to_string(d) + "\"";
        if (damaged == nullptr || !WholeByLeadingSize(store, start, d, n, fileSize))
            return -1;
        *damaged = DamagedTrailer{start, field, std::string(Text(trailer)), std::string(Text(expected)), fault};
        fault.clear();
    }
    return end;
}

// True when the readers, which trust the leading size, read the record at `start` whole: its leading
// digit count and size are numbers and it ends within the file.
bool ReadableForwards(FrameStore& store, std::int64_t start, std::int64_t fileSize)
{
    if (fileSize - start < 4)
        return false;
    store.Seek(start);
    const int d = DigitCount(store.Read(1).front());
    if (d == 0 || fileSize - start < 2 + 2 * std::int64_t{d})
        return false;
    const std::int64_t n = SizeOf(store.Read(d));
    return n >= 0 && start + n + 2 * std::int64_t{d} + 2 <= fileSize;
}

// A fault at `faultOffset` is a torn tail when nothing after it can be read: the record there is not whole
// even by its leading size, and walking back from the end of the file finds no whole record after it.
bool TornTail(FrameStore& store, std::int64_t faultOffset)
{
    const std::int64_t fileSize = store.Size();
    if (ReadableForwards(store, faultOffset, fileSize))
        return false;
    const FrameStoreWalk backwards = WalkFramesBackwards(store);
    return backwards.recordStarts.empty() || backwards.recordStarts.back() <= faultOffset;
}

} // namespace

std::string PrintableBytes(std::string_view bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (const char c : bytes) {
        const auto byte = static_cast<std::uint8_t>(c);
        if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
            text += c;
        } else {
            text += "\\x";
            text += digits[byte >> 4];
            text += digits[byte & 0xF];
        }
    }
    return text;
}

FrameStoreWalk WalkFramesForwards(FrameStore& store)
{
    FrameStoreWalk walk;
    const std::int64_t fileSize = store.Size();
    std::int64_t position = kFrameStoreHeaderSize;
    while (position < fileSize) {
        std::optional<DamagedTrailer> damaged;
        const std::int64_t end = CheckRecordAt(store, position, fileSize, walk.fault, &damaged);
        if (end < 0) {
            walk.faultOffset = position;
            break;
        }
        if (damaged)
            walk.damagedTrailers.push_back(std::move(*damaged));
        walk.recordStarts.push_back(position);
        walk.goodEnd = end;
        position = end;
    }
    return walk;
}

FrameStoreRepair RepairFrameStore(FrameStore& store)
{
    FrameStoreRepair repair;
    const DecimalParse header = TryParseDecimalInt32(Text([&] {
        store.Seek(0);
        return store.Read(kFrameStoreHeaderSize);
    }()));
    repair.oldCount = header.Ok() ? header.value : -1;

    const FrameStoreWalk walk = WalkFramesForwards(store);
    if (!walk.ReachedTheEnd()) {
        repair.fault = walk.fault;
        repair.faultOffset = walk.faultOffset;
        if (!TornTail(store, walk.faultOffset)) {
            // Readable frames follow: cutting here would delete them. Reported, not changed.
            repair.damagedInMiddle = true;
            repair.newCount = repair.oldCount;
            store.Seek(store.Size());
            return repair;
        }
        repair.cutBytes = store.Size() - walk.goodEnd;
        store.Truncate(walk.goodEnd);
    }
    // Each damaged trailing field is written again in its own bytes; nothing else moves.
    for (const DamagedTrailer& trailer : walk.damagedTrailers) {
        store.Seek(trailer.fieldOffset);
        store.Write({reinterpret_cast<const std::uint8_t*>(trailer.expected.data()), trailer.expected.size()});
    }
    repair.mendedTrailers = walk.damagedTrailers;
    repair.newCount = static_cast<std::int32_t>(walk.recordStarts.size());
    if (repair.newCount != repair.oldCount) {
        // The whole header is written again: the old one may not even be a number.
        std::string text = std::to_string(repair.newCount);
        text.resize(kFrameStoreHeaderSize, ' ');
        store.Seek(0);
        store.Write({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
    }
    store.Seek(store.Size());
    return repair;
}

FrameStoreWalk WalkFramesBackwards(FrameStore& store)
{
    FrameStoreWalk walk;
    const std::int64_t fileSize = store.Size();
    walk.goodEnd = fileSize;
    std::int64_t end = fileSize;
    while (end > kFrameStoreHeaderSize) {
        // The trailing digit count and size tell where the record starts.
        std::int64_t start = -1;
        if (end - kFrameStoreHeaderSize >= 4) {
            store.Seek(end - 1);
            const int d = DigitCount(store.Read(1).front());
            if (d != 0 && end - kFrameStoreHeaderSize >= 2 + 2 * std::int64_t{d}) {
                store.Seek(end - 1 - d);
                const std::int64_t n = SizeOf(store.Read(d));
                if (n >= 0)
                    start = end - (n + 2 * std::int64_t{d} + 2);
            }
        }
        if (start < kFrameStoreHeaderSize) {
            walk.fault = "the record ending here has no readable trailing size, or one that points before the first record";
            walk.faultOffset = end;
            break;
        }
        std::string fault;
        if (CheckRecordAt(store, start, fileSize, fault) != end) {
            walk.fault = fault.empty() ? "the record found backwards does not end where the walk came from" : fault;
            walk.faultOffset = start;
            break;
        }
        walk.recordStarts.push_back(start);
        end = start;
    }
    std::reverse(walk.recordStarts.begin(), walk.recordStarts.end());
    return walk;
}

} // namespace quolva::store

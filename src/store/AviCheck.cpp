#include "AviCheck.h"

#include "AviError.h"
#include "AviLayout.h"
#include "AviRawFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <set>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>

namespace quolva::store {

using detail::padded;

namespace {

constexpr std::size_t kMaxStreams = 100;                 // stream numbers are two decimal digits
constexpr std::uint32_t kUnfinishedSize = 0xFFFFFFFFu;   // the placeholder some writers leave
constexpr DWORD AVIIF_LIST = 0x01;
// Chunks met by the walk are remembered: a bound on them bounds the memory a hostile file can take
// (hours of recording hold a few million).
constexpr std::size_t kMaxChunks = std::size_t{1} << 24;
// Index entries are read in batches of this many bytes, however large an index claims to be.
constexpr std::size_t kEntryBatchBytes = 64 * 1024;

struct Chunk {
    FOURCC id = 0;
    std::uint32_t size = 0;
    std::uint64_t pos = 0; // of the chunk header
    std::uint64_t dataPos() const { return pos + 8; }
    std::uint64_t dataEnd() const { return pos + 8 + size; }
    std::uint64_t end() const { return pos + 8 + padded(size); }
};

// A data chunk as the walk found it.
struct DataChunk {
    std::uint64_t pos; // of the chunk header
    std::uint32_t size;
    FOURCC id;
};

struct IndexChunk {
    Chunk chunk;
    bool named = false;
};

struct StreamHeader {
    FOURCC type = 0;
    DWORD sampleSize = 0;
    bool hasSuperIndex = false;
    std::uint64_t superIndexPos = 0; // of the indx chunk header
    std::uint32_t superEntries = 0;  // entries in use, checked to fit the chunk
};

struct Part {
    std::uint64_t riffPos = 0;
    std::uint64_t moviPos = 0; // of the LIST header
    std::size_t firstChunk = 0; // range of the part's data chunks in the walk's list
    std::size_t endChunk = 0;
};

std::string FourccText(FOURCC id)
{
    std::string text;
    for (int i = 0; i < 4; ++i) {
        const auto c = static_cast<char>((id >> (8 * i)) & 0xFF);
        if (c < 0x20 || c > 0x7E) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "0x%08X", id);
            return hex;
        }
        text += c;
    }
    return "'" + text + "'";
}

// The stream a data chunk belongs to: its id is two decimal digits and two letters ('01wb', '00dc',
// '00pc'); -1 for any other id.
int StreamOfChunk(FOURCC id)
{
    const unsigned c0 = id & 0xFF, c1 = (id >> 8) & 0xFF, c2 = (id >> 16) & 0xFF, c3 = (id >> 24) & 0xFF;
    auto digit = [](unsigned c) { return c >= '0' && c <= '9'; };
    auto letter = [&](unsigned c) { return digit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (!digit(c0) || !digit(c1) || !letter(c2) || !letter(c3))
        return -1;
    return static_cast<int>((c0 - '0') * 10 + (c1 - '0'));
}

bool IsStandardIndexId(FOURCC id)
{
    return (id & 0xFFFF) == mmioFOURCC('i', 'x', 0, 0) && StreamOfChunk((id >> 16) | mmioFOURCC(0, 0, 'i', 'x')) >= 0;
}

std::string Num(std::uint64_t value) { return std::to_string(value); }

// The fault that ends the check, thrown inside the checker only.
struct Found {
    AviFault fault;
    std::uint64_t offset;
    std::string what;
};

[[noreturn]] void Fail(AviFault fault, std::uint64_t offset, std::string what)
{
    throw Found{fault, offset, std::move(what)};
}

template <typename T> T Load(const std::uint8_t* p)
{
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

// Reads the entries of an index one after the other, a batch at a time, so that an index never becomes
// one buffer of the size it claims. The caller has checked that `count` entries lie inside the file.
class EntryReader {
public:
    EntryReader(const detail::AviRawFile& file, std::uint64_t first, std::size_t entrySize, std::uint64_t count)
        : file_(file), first_(first), entrySize_(entrySize), count_(count)
    {
    }
    // Entry k, for k rising from 0.
    const std::uint8_t* Entry(std::uint64_t k)
    {
        if (k < batchFirst_ || k >= batchFirst_ + batchCount_) {
            batchFirst_ = k;
            batchCount_ = std::min<std::uint64_t>(count_ - k, kEntryBatchBytes / entrySize_);
            batch_.resize(static_cast<std::size_t>(batchCount_ * entrySize_));
            file_.readAt(first_ + k * entrySize_, batch_.data(), batch_.size());
        }
        return batch_.data() + (k - batchFirst_) * entrySize_;
    }
    std::uint64_t Position(std::uint64_t k) const { return first_ + k * entrySize_; }

private:
    const detail::AviRawFile& file_;
    std::uint64_t first_;
    std::size_t entrySize_;
    std::uint64_t count_;
    std::vector<std::uint8_t> batch_;
    std::uint64_t batchFirst_ = 0;
    std::uint64_t batchCount_ = 0;
};

class Checker {
public:
    Checker(const detail::AviRawFile& file, AviCheckReport& report) : file_(file), size_(file.size()), report_(report) {}

    void Run()
    {
        WalkRiffParts();
        CheckIdx1();
        CheckOpenDmlIndexes();
        CheckKeyFrames();
        report_.streams = static_cast<int>(streams_.size());
        report_.parts = parts_.size();
        report_.dataChunks = chunks_.size();
        report_.hasIdx1 = idx1_.has_value();
    }

private:
    Chunk ChunkAt(std::uint64_t pos) const
    {
        std::uint32_t head[2];
        file_.readAt(pos, head, sizeof head);
        return {head[0], head[1], pos};
    }
    FOURCC FourccAt(std::uint64_t pos) const
    {
        FOURCC id = 0;
        file_.readAt(pos, &id, sizeof id);
        return id;
    }
    // The head of an index chunk (after the chunk header); the caller has checked that it fits.
    detail::AVIMETAINDEX IndexHead(const Chunk& c) const
    {
        detail::AVIMETAINDEX head{};
        file_.readAt(c.dataPos(), &head, sizeof head);
        return head;
    }
    void CountChunk(std::uint64_t pos)
    {
        if (chunks_.size() + indexChunks_.size() >= kMaxChunks)
            Fail(AviFault::Structure, pos,
                 "the file holds more than " + Num(kMaxChunks) + " chunks, more than this check takes on");
    }
    IndexChunk* FindIndexChunk(std::uint64_t pos)
    {
        const auto found = std::lower_bound(indexChunks_.begin(), indexChunks_.end(), pos,
                                            [](const IndexChunk& ix, std::uint64_t at) { return ix.chunk.pos < at; });
        return found != indexChunks_.end() && found->chunk.pos == pos ? &*found : nullptr;
    }

    // The next chunk of a list running from `at` to `end`, its data inside the list (the pad byte of the
    // last chunk may be missing).
    Chunk ChildAt(std::uint64_t at, std::uint64_t end, const std::string& list) const
    {
        if (end - at < 8)
            Fail(AviFault::Structure, at,
                 Num(end - at) + " bytes at the end of " + list + " are too few for a chunk header");
        const Chunk c = ChunkAt(at);
        if (c.dataEnd() > end)
            Fail(AviFault::Structure, at,
                 "the chunk " + FourccText(c.id) + " of " + Num(c.size) + " bytes reaches past the end of " + list +
                     " at offset " + Num(end));
        return c;
    }

    void WalkRiffParts();
    void WalkPart(std::uint64_t riffPos, std::uint64_t end, bool first);
    void ReadHeaderList(const Chunk& hdrl);
    void ReadStreamList(const Chunk& strl);
    void WalkMovi(std::uint64_t begin, std::uint64_t end, const std::string& list, bool inRecList);
    void CheckIdx1();
    void CheckOpenDmlIndexes();
    void CheckStreamIndexes(std::size_t stream, const std::vector<std::size_t>& expected);
    void CheckKeyFrames();

    const detail::AviRawFile& file_;
    const std::uint64_t size_;
    AviCheckReport& report_;

    std::vector<StreamHeader> streams_;
    std::uint32_t announcedStreams_ = 0;
    std::vector<Part> parts_;
    std::vector<DataChunk> chunks_; // every data chunk, in file order
    std::vector<IndexChunk> indexChunks_; // ix## chunks, in file order
    std::set<std::uint64_t> recLists_;
    std::optional<Chunk> idx1_;
    // Per data chunk: -1 not said, 0 not a key frame, 1 a key frame.
    std::vector<std::int8_t> keyInIdx1_;
    std::vector<std::int8_t> keyInStandard_;
};

void Checker::WalkRiffParts()
{
    if (size_ < 12)
        Fail(AviFault::NotAvi, 0, "the file is only " + Num(size_) + " bytes long: it is not an AVI file");
    std::uint64_t pos = 0;
    while (pos < size_) {
        const bool first = parts_.empty();
        const std::string expected = first ? "RIFF 'AVI '" : "RIFF 'AVIX'";
        if (size_ - pos < 12 && !first)
            Fail(AviFault::Structure, pos,
                 Num(size_ - pos) + " stray bytes follow the last RIFF part");
        std::uint32_t head[3];
        file_.readAt(pos, head, sizeof head);
        if (head[0] != detail::ckRIFF || head[2] != (first ? detail::formAVI : detail::formAVIX)) {
            if (first)
                Fail(AviFault::NotAvi, 0, "the file does not begin with RIFF 'AVI ': it is not an AVI file");
            Fail(AviFault::Structure, pos,
                 "the bytes after the last RIFF part are not a RIFF 'AVIX' part (they begin with " +
                     FourccText(head[0]) + ")");
        }
        const std::uint32_t riffSize = head[1];
        if (riffSize == 0 || riffSize == kUnfinishedSize)
            Fail(AviFault::Unfinished, pos,
                 "the " + expected + " part has the size " + (riffSize == 0 ? "0" : "-1") +
                     " that its writer leaves until it finishes the file: not finished; run quolvactl repair");
        const std::uint64_t end = pos + 8 + riffSize;
        if (end > size_)
            Fail(AviFault::CutShort, pos,
                 "the " + expected + " part claims " + Num(riffSize) + " bytes, but the file ends after " +
                     Num(size_ - pos - 8) + ": the file is cut short; run quolvactl repair");
        if (riffSize < 4)
            Fail(AviFault::Structure, pos, "the " + expected + " part has the size " + Num(riffSize));
        WalkPart(pos, end, first);
        pos = std::min(padded(end), size_);
    }
}

void Checker::WalkPart(std::uint64_t riffPos, std::uint64_t end, bool first)
{
    const std::string list = std::string(first ? "the RIFF 'AVI ' part" : "the RIFF 'AVIX' part") + " at offset " +
                             Num(riffPos);
    Part part;
    part.riffPos = riffPos;
    bool haveHdrl = false, haveMovi = false;
    for (std::uint64_t at = riffPos + 12; at < end;) {
        const Chunk c = ChildAt(at, end, list);
        if (c.id == detail::ckLIST) {
            // Writers set the movi size when they finish the part, the RIFF size last.
            if (c.size == 0 && end - c.pos >= 12 && FourccAt(c.dataPos()) == detail::listMovi)
                Fail(AviFault::Unfinished, c.pos,
                     "the movi list has the size 0 that its writer leaves until it finishes the file: not finished; "
                     "run quolvactl repair");
            if (c.size < 4)
                Fail(AviFault::Structure, c.pos, "a LIST of " + Num(c.size) + " bytes has no room for its type");
            const FOURCC type = FourccAt(c.dataPos());
            if (type == detail::listHdrl && first && !haveHdrl) {
                haveHdrl = true;
                ReadHeaderList(c);
            } else if (type == detail::listMovi) {
                if (haveMovi)
                    Fail(AviFault::Structure, c.pos, list + " holds a second movi list");
                if (first && !haveHdrl)
                    Fail(AviFault::Structure, c.pos, "the movi list comes before the header list (hdrl)");
                haveMovi = true;
                part.moviPos = c.pos;
                part.firstChunk = chunks_.size();
                WalkMovi(c.dataPos() + 4, c.dataEnd(), "the movi list at offset " + Num(c.pos), false);
                part.endChunk = chunks_.size();
            }
            // Other lists (INFO, odml, ...) are allowed and not looked into.
        } else if (c.id == detail::ckIdx1 && first && haveMovi && !idx1_) {
            idx1_ = c;
        } else if (IsStandardIndexId(c.id)) {
            CountChunk(c.pos);
            indexChunks_.push_back({c, false}); // a standard index outside movi, as the format allows
        }
        at = c.end();
    }
    if (first && !haveHdrl)
        Fail(AviFault::Structure, riffPos, list + " has no header list (hdrl)");
    if (!haveMovi)
        Fail(AviFault::Structure, riffPos, list + " has no movi list");
    parts_.push_back(part);
}

void Checker::ReadHeaderList(const Chunk& hdrl)
{
    const std::string list = "the header list at offset " + Num(hdrl.pos);
    bool haveAvih = false;
    for (std::uint64_t at = hdrl.dataPos() + 4; at < hdrl.dataEnd();) {
        const Chunk c = ChildAt(at, hdrl.dataEnd(), list);
        if (c.id == detail::ckAvih && !haveAvih) {
            if (c.size < sizeof(detail::MainAVIHeader))
                Fail(AviFault::Structure, c.pos, "the main header (avih) has only " + Num(c.size) + " bytes, not 56");
            detail::MainAVIHeader avih{};
            file_.readAt(c.dataPos(), &avih, sizeof avih);
            announcedStreams_ = avih.dwStreams;
            haveAvih = true;
        } else if (c.id == detail::ckLIST && c.size >= 4 && FourccAt(c.dataPos()) == detail::listStrl) {
            if (streams_.size() >= kMaxStreams)
                Fail(AviFault::Structure, c.pos, "the header holds more than " + Num(kMaxStreams) + " streams");
            ReadStreamList(c);
        }
        at = c.end();
    }
    if (!haveAvih)
        Fail(AviFault::Structure, hdrl.pos, "the header list has no main header (avih)");
    if (announcedStreams_ != streams_.size())
        Fail(AviFault::Structure, hdrl.pos,
             "the main header announces " + Num(announcedStreams_) + " streams, the header list holds " +
                 Num(streams_.size()));
}

void Checker::ReadStreamList(const Chunk& strl)
{
    const std::string list = "the stream list at offset " + Num(strl.pos);
    StreamHeader stream;
    bool haveStrh = false;
    for (std::uint64_t at = strl.dataPos() + 4; at < strl.dataEnd();) {
        const Chunk c = ChildAt(at, strl.dataEnd(), list);
        if (c.id == detail::ckStrh && !haveStrh) {
            if (c.size < 48)
                Fail(AviFault::Structure, c.pos, "the stream header (strh) has only " + Num(c.size) + " bytes");
            detail::AVIStreamHeader h{};
            file_.readAt(c.dataPos(), &h, std::min<std::size_t>(c.size, sizeof h));
            stream.type = h.fccType;
            stream.sampleSize = h.dwSampleSize;
            haveStrh = true;
        } else if (c.id == detail::ckIndx && !stream.hasSuperIndex) {
            if (c.size < sizeof(detail::AVIMETAINDEX))
                Fail(AviFault::SuperIndex, c.pos, "the super index (indx) has only " + Num(c.size) + " bytes");
            const detail::AVIMETAINDEX head = IndexHead(c);
            if (head.wLongsPerEntry != 4 || head.bIndexType != detail::AVI_INDEX_OF_INDEXES)
                Fail(AviFault::SuperIndex, c.pos,
                     "the stream's indx is not a super index (" + Num(head.wLongsPerEntry) + " longs per entry, type " +
                         Num(head.bIndexType) + ")");
            const std::size_t room = (c.size - sizeof(detail::AVIMETAINDEX)) / sizeof(detail::AVISUPERINDEXENTRY);
            if (head.nEntriesInUse > room)
                Fail(AviFault::SuperIndex, c.pos,
                     "the super index says " + Num(head.nEntriesInUse) + " entries are in use, but it has room for " +
                         Num(room));
            stream.hasSuperIndex = true;
            stream.superIndexPos = c.pos;
            stream.superEntries = head.nEntriesInUse;
        }
        at = c.end();
    }
    if (!haveStrh)
        Fail(AviFault::Structure, strl.pos, "a stream list has no stream header (strh)");
    streams_.push_back(std::move(stream));
}

void Checker::WalkMovi(std::uint64_t begin, std::uint64_t end, const std::string& list, bool inRecList)
{
    for (std::uint64_t at = begin; at < end;) {
        const Chunk c = ChildAt(at, end, list);
        int stream = -1;
        if (c.id == detail::ckLIST) {
            // 'rec ' lists group the chunks of one moment; they do not nest.
            if (inRecList || c.size < 4 || FourccAt(c.dataPos()) != detail::listRec)
                Fail(AviFault::Structure, c.pos, list + " holds a LIST that is not a 'rec ' list of data chunks");
            CountChunk(c.pos);
            recLists_.insert(c.pos);
            WalkMovi(c.dataPos() + 4, c.dataEnd(), "the 'rec ' list at offset " + Num(c.pos), true);
        } else if (IsStandardIndexId(c.id)) {
            CountChunk(c.pos);
            indexChunks_.push_back({c, false});
        } else if ((stream = StreamOfChunk(c.id)) >= 0) {
            if (static_cast<std::size_t>(stream) >= streams_.size())
                Fail(AviFault::Structure, c.pos,
                     "the chunk " + FourccText(c.id) + " belongs to stream " + Num(static_cast<unsigned>(stream)) +
                         ", but the file has " + Num(streams_.size()) + " streams");
            CountChunk(c.pos);
            chunks_.push_back({c.pos, c.size, c.id});
        } else if (c.id != detail::ckJUNK) {
            Fail(AviFault::Structure, c.pos,
                 list + " holds a chunk with the id " + FourccText(c.id) +
                     ", which is no stream's data, no index and no padding");
        }
        at = c.end();
    }
}

void Checker::CheckIdx1()
{
    keyInIdx1_.assign(chunks_.size(), -1);
    if (!idx1_)
        return;
    const Chunk& idx1 = *idx1_;
    if (idx1.size % sizeof(detail::AVIINDEXENTRY) != 0)
        Fail(AviFault::Idx1, idx1.pos, "idx1 has " + Num(idx1.size) + " bytes, not a whole number of 16-byte entries");
    EntryReader entries(file_, idx1.dataPos(), sizeof(detail::AVIINDEXENTRY), idx1.size / sizeof(detail::AVIINDEXENTRY));
    const Part& part = parts_.front();
    const std::uint64_t moviFourcc = part.moviPos + 8;
    const std::size_t count = idx1.size / sizeof(detail::AVIINDEXENTRY);
    std::size_t next = part.firstChunk; // the chunk the next entry must name
    std::optional<std::uint64_t> base;
    for (std::size_t k = 0; k < count; ++k) {
        detail::AVIINDEXENTRY e;
        std::memcpy(&e, entries.Entry(k), sizeof e);
        const std::uint64_t entryPos = entries.Position(k);
        const std::string entry = "idx1 entry " + Num(k + 1) + " (" + FourccText(e.ckid) + ", offset " +
                                  Num(e.dwChunkOffset) + ", " + Num(e.dwChunkLength) + " bytes)";
        if ((e.dwFlags & AVIIF_LIST) != 0 || e.ckid == detail::listRec) {
            const bool found = base ? recLists_.contains(*base + e.dwChunkOffset)
                                    : recLists_.contains(moviFourcc + e.dwChunkOffset) || recLists_.contains(e.dwChunkOffset);
            if (!found)
                Fail(AviFault::Idx1, entryPos, entry + " names a 'rec ' list where the movi list holds none");
            continue;
        }
        if (next == part.endChunk)
            Fail(AviFault::Idx1, entryPos,
                 entry + " names more chunks than the first movi list holds (" + Num(part.endChunk - part.firstChunk) + ")");
        const DataChunk& truth = chunks_[next];
        if (!base) {
            // Offsets count from the 'movi' fourcc, or - in files of some writers - from the start of the file.
            if (moviFourcc + e.dwChunkOffset == truth.pos)
                base = moviFourcc;
            else if (e.dwChunkOffset == truth.pos)
                base = 0;
            else
                Fail(AviFault::Idx1, entryPos,
                     entry + " names no chunk: the first chunk of the movi list lies at file offset " + Num(truth.pos) +
                         ", offset " + Num(truth.pos - moviFourcc) + " from the 'movi' fourcc");
        }
        const std::uint64_t named = *base + e.dwChunkOffset;
        if (named != truth.pos || e.ckid != truth.id || e.dwChunkLength != truth.size)
            Fail(AviFault::Idx1, entryPos,
                 entry + " names " + FourccText(e.ckid) + " of " + Num(e.dwChunkLength) + " bytes at file offset " +
                     Num(named) + ", but chunk " + Num(next - part.firstChunk + 1) + " of the movi list is " +
                     FourccText(truth.id) + " of " + Num(truth.size) + " bytes at file offset " + Num(truth.pos));
        keyInIdx1_[next] = (e.dwFlags & AVIIF_KEYFRAME) != 0 ? 1 : 0;
        ++next;
    }
    if (next != part.endChunk)
        Fail(AviFault::Idx1, chunks_[next].pos,
             "idx1 names " + Num(next - part.firstChunk) + " chunks, but the first movi list holds " +
                 Num(part.endChunk - part.firstChunk) + ": the chunk " + FourccText(chunks_[next].id) +
                 " at this offset is named by no idx1 entry");
}

void Checker::CheckOpenDmlIndexes()
{
    keyInStandard_.assign(chunks_.size(), -1);
    const bool openDml = std::any_of(streams_.begin(), streams_.end(), [](const StreamHeader& s) { return s.superEntries > 0; });
    if (openDml) {
        std::vector<std::vector<std::size_t>> byStream(streams_.size());
        for (std::size_t i = 0; i < chunks_.size(); ++i)
            byStream[static_cast<std::size_t>(StreamOfChunk(chunks_[i].id))].push_back(i);
        for (std::size_t s = 0; s < streams_.size(); ++s)
            CheckStreamIndexes(s, byStream[s]);
    } else {
        if (parts_.size() > 1)
            Fail(AviFault::MissingIndex, parts_[1].riffPos,
                 "the file has " + Num(parts_.size()) +
                     " RIFF parts but no OpenDML index (indx): the chunks of the parts after the first are named by no index");
        if (!idx1_ && !chunks_.empty())
            Fail(AviFault::MissingIndex, chunks_.front().pos,
                 "the file has no index (neither idx1 nor indx): its " + Num(chunks_.size()) +
                     " data chunks are named by none; run quolvactl repair");
    }
    for (const IndexChunk& ix : indexChunks_) {
        if (!ix.named)
            Fail(AviFault::SuperIndex, ix.chunk.pos,
                 "the standard index " + FourccText(ix.chunk.id) + " at this offset is named by no super index (indx)");
    }
}

void Checker::CheckStreamIndexes(std::size_t s, const std::vector<std::size_t>& expected)
{
    const StreamHeader& stream = streams_[s];
    const std::string name = "stream " + Num(s);
    if (stream.superEntries == 0) {
        if (!expected.empty())
            Fail(AviFault::MissingIndex, chunks_[expected.front()].pos,
                 name + "'s super index (indx) names no standard index, though other streams have one: its " +
                     Num(expected.size()) + " chunks, the first at this offset, are named by no OpenDML index");
        return;
    }
    std::size_t next = 0; // the stream's chunk the next entry must name
    EntryReader superEntries(file_, stream.superIndexPos + 8 + sizeof(detail::AVIMETAINDEX),
                             sizeof(detail::AVISUPERINDEXENTRY), stream.superEntries);
    for (std::uint32_t k = 0; k < stream.superEntries; ++k) {
        const std::uint8_t* raw = superEntries.Entry(k);
        const struct {
            std::uint64_t offset;
            std::uint32_t size;
            std::uint32_t duration;
            std::uint64_t entryPos;
        } e{Load<std::uint64_t>(raw), Load<DWORD>(raw + 8), Load<DWORD>(raw + 12), superEntries.Position(k)};
        const std::string entry = "entry " + Num(k + 1) + " of " + name + "'s super index at offset " + Num(stream.superIndexPos);
        IndexChunk* const found = FindIndexChunk(e.offset);
        if (found == nullptr)
            Fail(AviFault::SuperIndex, e.entryPos,
                 entry + " names offset " + Num(e.offset) + ", where no standard index (ix##) chunk lies");
        const Chunk ix = found->chunk;
        if (ix.id != detail::indexChunkId(static_cast<int>(s)))
            Fail(AviFault::SuperIndex, e.entryPos,
                 entry + " names the chunk " + FourccText(ix.id) + " at offset " + Num(ix.pos) + "; the standard indexes of " +
                     name + " are " + FourccText(detail::indexChunkId(static_cast<int>(s))));
        if (found->named)
            Fail(AviFault::SuperIndex, e.entryPos, entry + " names the standard index at offset " + Num(ix.pos) + " a second time");
        if (e.size != 8 + ix.size && e.size != 8 + padded(ix.size))
            Fail(AviFault::SuperIndex, e.entryPos,
                 entry + " gives the size " + Num(e.size) + " for the standard index at offset " + Num(ix.pos) +
                     ", which takes " + Num(8 + ix.size) + " bytes");
        found->named = true;

        const std::string index = "the standard index " + FourccText(ix.id) + " at offset " + Num(ix.pos);
        if (ix.size < sizeof(detail::AVIMETAINDEX))
            Fail(AviFault::StandardIndex, ix.pos, index + " has only " + Num(ix.size) + " bytes");
        const detail::AVIMETAINDEX head = IndexHead(ix);
        const WORD longsPerEntry = head.wLongsPerEntry;
        const BYTE subType = head.bIndexSubType, type = head.bIndexType;
        const DWORD inUse = head.nEntriesInUse;
        const DWORD chunkId = head.dwChunkId;
        std::uint64_t base;
        std::memcpy(&base, &head.dwReserved[0], sizeof base);
        if (longsPerEntry != 2 || subType != 0 || type != detail::AVI_INDEX_OF_CHUNKS)
            Fail(AviFault::StandardIndex, ix.pos,
                 index + " is not an index of chunks (" + Num(longsPerEntry) + " longs per entry, type " + Num(type) +
                     ", subtype " + Num(subType) + ")");
        if (StreamOfChunk(chunkId) != static_cast<int>(s))
            Fail(AviFault::StandardIndex, ix.pos, index + " indexes the chunk id " + FourccText(chunkId) + ", not one of " + name);
        const std::size_t room = (ix.size - sizeof(detail::AVIMETAINDEX)) / sizeof(detail::AVISTDINDEXENTRY);
        if (inUse > room)
            Fail(AviFault::StandardIndex, ix.pos,
                 index + " says " + Num(inUse) + " entries are in use, but it has room for " + Num(room));
        std::uint64_t bytesNamed = 0;
        EntryReader entries(file_, ix.dataPos() + sizeof(detail::AVIMETAINDEX), sizeof(detail::AVISTDINDEXENTRY), inUse);
        for (std::uint32_t j = 0; j < inUse; ++j) {
            const std::uint64_t entryPos = entries.Position(j);
            const auto offset = Load<DWORD>(entries.Entry(j));
            const auto sizeAndFlag = Load<DWORD>(entries.Entry(j) + 4);
            const std::uint64_t dataPos = base + offset;
            const std::uint32_t size = sizeAndFlag & ~detail::AVISTDINDEX_DELTAFRAME;
            const std::string what = "entry " + Num(j + 1) + " of " + index;
            if (next == expected.size())
                Fail(AviFault::StandardIndex, entryPos,
                     what + " names data at offset " + Num(dataPos) + ", but " + name + " has only " +
                         Num(expected.size()) + " chunks");
            const DataChunk& truth = chunks_[expected[next]];
            if (dataPos != truth.pos + 8 || size != truth.size)
                Fail(AviFault::StandardIndex, entryPos,
                     what + " names " + Num(size) + " bytes of data at file offset " + Num(dataPos) + ", but chunk " +
                         Num(next + 1) + " of " + name + " (" + FourccText(truth.id) + ") holds " + Num(truth.size) +
                         " bytes of data at file offset " + Num(truth.pos + 8));
            keyInStandard_[expected[next]] = (sizeAndFlag & detail::AVISTDINDEX_DELTAFRAME) != 0 ? 0 : 1;
            bytesNamed += size;
            ++next;
        }
        const std::uint64_t duration = stream.sampleSize != 0 ? bytesNamed / stream.sampleSize : inUse;
        if (e.duration != duration)
            Fail(AviFault::SuperIndex, e.entryPos,
                 entry + " gives the duration " + Num(e.duration) + ", but the chunks of " + index + " make " +
                     Num(duration) + (stream.sampleSize != 0 ? " samples of " + Num(stream.sampleSize) + " bytes" : " chunks"));
        ++report_.standardIndexes;
    }
    if (next != expected.size())
        Fail(AviFault::MissingIndex, chunks_[expected[next]].pos,
             "the standard indexes of " + name + " name " + Num(next) + " of its " + Num(expected.size()) +
                 " chunks: the chunk " + FourccText(chunks_[expected[next]].id) + " at this offset is named by none");
}

void Checker::CheckKeyFrames()
{
    std::vector<bool> seen(streams_.size(), false);
    for (std::size_t i = 0; i < chunks_.size(); ++i) {
        const DataChunk& c = chunks_[i];
        const auto s = static_cast<std::size_t>(StreamOfChunk(c.id));
        const int inIdx1 = keyInIdx1_[i], inStandard = keyInStandard_[i];
        const std::string chunk = "the chunk " + FourccText(c.id) + " at this offset";
        if (inIdx1 >= 0 && inStandard >= 0 && inIdx1 != inStandard)
            Fail(AviFault::KeyFrames, c.pos,
                 chunk + " is " + (inIdx1 != 0 ? "" : "not ") + "a key frame in idx1, but " + (inStandard != 0 ? "" : "not ") +
                     "one in its standard index");
        if (std::max(inIdx1, inStandard) == 0) {
            if (streams_[s].type == streamtypeAUDIO)
                Fail(AviFault::KeyFrames, c.pos, chunk + " holds sound but is not marked as a key frame; every sound chunk is one");
            if (!seen[s])
                Fail(AviFault::KeyFrames, c.pos,
                     chunk + ", the first of stream " + Num(s) + ", is not marked as a key frame: playback could not start");
        }
        seen[s] = true;
    }
}

} // namespace

std::string_view AviFaultName(AviFault fault)
{
    switch (fault) {
    case AviFault::None: return "none";
    case AviFault::NotAvi: return "not an AVI file";
    case AviFault::Unfinished: return "not finished";
    case AviFault::CutShort: return "cut short";
    case AviFault::Structure: return "structure";
    case AviFault::MissingIndex: return "missing index";
    case AviFault::Idx1: return "idx1";
    case AviFault::SuperIndex: return "super index";
    case AviFault::StandardIndex: return "standard index";
    case AviFault::KeyFrames: return "key frames";
    }
    return "unknown";
}

AviCheckReport CheckAviFile(const std::filesystem::path& path)
{
    // O_NONBLOCK: opening a FIFO must not hang; only regular files are checked.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        throw AviError(AVIERR_FILEOPEN, "Cannot open AVI file " + detail::quoted(path) + ": " + std::strerror(errno));
    detail::AviRawFile file(fd, path);
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
        throw AviError(AVIERR_FILEOPEN, "Cannot check AVI file " + detail::quoted(path) + ": it is not a regular file");

    AviCheckReport report;
    try {
        Checker(file, report).Run();
    } catch (const Found& found) {
        report.fault = found.fault;
        report.faultOffset = found.offset;
        report.message = "AVI file " + detail::quoted(path) + ", offset " + Num(found.offset) + ": " + found.what;
    }
    return report;
}

} // namespace quolva::store

#include "AviReader.h"

#include "AviError.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>

namespace quolva::store::detail {

namespace {

constexpr int kMaxStreams = 100;                  // stream numbers are two decimal digits
constexpr std::uint32_t kMaxHeaderChunk = 1u << 20; // formats and other header chunks larger than this are refused
// Every data chunk found is remembered (24 bytes each); a file of empty 8-byte chunks would otherwise take
// three times its size in memory. Real recordings stay far below this: a day of 30 frames a second and
// its sound in 20 chunks a second is about 4.3 million.
constexpr std::size_t kMaxChunks = std::size_t{1} << 22;

struct Chunk {
    FOURCC id = 0;
    std::uint32_t size = 0;
    std::uint64_t pos = 0; // of the chunk header
    std::uint64_t dataPos() const { return pos + 8; }
    std::uint64_t end() const { return pos + 8 + padded(size); }
};

bool printable(FOURCC id)
{
    for (int i = 0; i < 4; ++i) {
        unsigned c = (id >> (8 * i)) & 0xFF;
        if (c < 0x20 || c > 0x7E)
            return false;
    }
    return true;
}

template <typename T> T load(const std::uint8_t* p)
{
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

// Indexes found for one RIFF part: per stream, its chunks and the standard indexes that named them.
struct PartIndex {
    std::vector<std::vector<ChunkRef>> chunks;
    std::vector<std::vector<SuperEntry>> super;
    bool fromOpenDml = false;
};

struct RawSuperEntry {
    std::uint64_t offset;
    std::uint32_t size;
    std::uint32_t duration;
    int stream;
};

class Reader {
public:
    explicit Reader(const AviRawFile& file) : file_(file), fileSize_(file.size()) {}

    ParsedAvi run();

private:
    [[noreturn]] void bad(const std::string& why) const
    {
        throw AviError(AVIERR_BADFORMAT, "AVI file " + quoted(file_.path()) + " " + why);
    }

    // The chunk header at `pos`, if its 8 bytes lie before `limit`.
    bool chunkAt(std::uint64_t pos, std::uint64_t limit, Chunk& chunk) const
    {
        if (pos + 8 > limit)
            return false;
        std::uint32_t header[2];
        file_.readAt(pos, header, sizeof header);
        chunk = {header[0], header[1], pos};
        return true;
    }
    FOURCC fourccAt(std::uint64_t pos) const
    {
        FOURCC id = 0;
        file_.readAt(pos, &id, sizeof id);
        return id;
    }
    std::vector<std::uint8_t> bytes(std::uint64_t pos, std::uint32_t size) const
    {
        std::vector<std::uint8_t> data(size);
        file_.readAt(pos, data.data(), size);
        return data;
    }
    std::vector<std::uint8_t> wholeChunk(const Chunk& c) const { return bytes(c.pos, 8 + c.size); }

    void readTopLevel();
    void readFurtherParts();
    void readHeaderList(std::uint64_t begin, std::uint64_t end);
    void readStreamList(std::uint64_t begin, std::uint64_t end);
    void readOpenDmlIndexes();
    // Takes the chunks a standard index names, if it is usable. Returns the end of the index chunk when it
    // lies in the file (read, whether usable or not), 0 when there is no chunk there.
    std::uint64_t readStandardIndex(const RawSuperEntry& entry);
    // Counts `count` more chunks to remember; past the cap the file is refused.
    void remember(std::size_t count);
    bool readIdx1(std::size_t part, PartIndex& index);
    void walk(std::size_t part, PartIndex& index);
    std::size_t partHolding(std::uint64_t dataPos, std::uint32_t size) const;

    const AviRawFile& file_;
    std::uint64_t fileSize_;
    ParsedAvi parsed_;
    std::vector<std::vector<RawSuperEntry>> rawSuper_; // per stream, from the indx chunks
    std::vector<std::uint64_t> moviEnds_;              // per part
    std::vector<PartIndex> partIndexes_;
    bool haveIdx1_ = false;
    Chunk idx1_;
    std::size_t remembered_ = 0;
};

void Reader::remember(std::size_t count)
{
    if (count > kMaxChunks - remembered_)
        bad("holds more than " + std::to_string(kMaxChunks) + " chunks, more than this program takes on");
    remembered_ += count;
}

ParsedAvi Reader::run()
{
    if (fileSize_ < 12)
        bad("is too short to be an AVI file");
    std::uint32_t head[3];
    file_.readAt(0, head, sizeof head);
    if (head[0] != ckRIFF || head[2] != formAVI)
        bad("is not an AVI file (it does not begin with RIFF 'AVI ')");

    readTopLevel();
    readFurtherParts();

    const std::size_t streams = parsed_.streams.size();
    partIndexes_.resize(parsed_.layout.parts.size());
    for (auto& pi : partIndexes_) {
        pi.chunks.resize(streams);
        pi.super.resize(streams);
    }
    readOpenDmlIndexes();

    auto& layout = parsed_.layout;
    layout.index.resize(streams);
    parsed_.complete = true;
    for (std::size_t p = 0; p < layout.parts.size(); ++p) {
        PartIndex& pi = partIndexes_[p];
        if (!layout.parts[p].closed) {
            parsed_.complete = false;
            walk(p, pi);
        } else if (!pi.fromOpenDml && !(p == 0 && haveIdx1_ && readIdx1(p, pi))) {
            walk(p, pi);
        }
        for (std::size_t s = 0; s < streams; ++s) {
            auto& list = pi.chunks[s];
            std::stable_sort(list.begin(), list.end(),
                             [](const ChunkRef& a, const ChunkRef& b) { return a.dataPos < b.dataPos; });
            list.erase(std::unique(list.begin(), list.end(),
                                   [](const ChunkRef& a, const ChunkRef& b) { return a.dataPos == b.dataPos; }),
                       list.end());
            auto& target = layout.index[s];
            target.chunks.insert(target.chunks.end(), list.begin(), list.end());
            std::vector<ChunkRef>().swap(list);
            target.super.insert(target.super.end(), pi.super[s].begin(), pi.super[s].end());
        }
    }

    for (std::size_t s = 0; s < streams; ++s) {
        auto& index = layout.index[s];
        auto& stream = parsed_.streams[s];
        const DWORD sampleSize = stream.info.dwSampleSize;
        std::uint64_t position = 0;
        for (auto& c : index.chunks) {
            c.position = position;
            position += sampleSize != 0 ? c.size : 1;
            index.maxChunk = std::max(index.maxChunk, c.size);
        }
        index.end = position;
        const std::int64_t stored = stream.info.dwLength;
        stream.length = parsed_.complete ? stored : recoveredLength(stored, position, sampleSize);
    }
    std::size_t named = 0;
    for (const auto& index : layout.index)
        named = std::max(named, index.super.size());
    layout.superCapacity = std::max<std::uint32_t>(32, static_cast<std::uint32_t>(std::bit_ceil(named + layout.parts.size())));
    const auto& last = layout.parts.back();
    layout.dataEnd = last.closed ? last.end : fileSize_;
    return std::move(parsed_);
}

void Reader::readTopLevel()
{
    RiffPart part;
    std::uint32_t riffSize = 0;
    file_.readAt(4, &riffSize, 4);
    std::uint64_t end = 8 + std::uint64_t(riffSize);
    part.closed = riffSize != 0 && end <= fileSize_;
    if (!part.closed)
        end = fileSize_;

    bool haveHdrl = false, haveMovi = false;
    std::uint64_t moviEnd = 0;
    Chunk c;
    for (std::uint64_t pos = 12; chunkAt(pos, end, c); pos = c.end()) {
        const bool fits = c.dataPos() + c.size <= end;
        // A movi list of size 0 is one whose writer died before it could set the size.
        if (c.id == ckLIST && c.pos + 12 <= end && (c.size >= 4 || c.size == 0)) {
            FOURCC type = fourccAt(c.dataPos());
            if (type == listMovi && !haveMovi) {
                haveMovi = true;
                part.moviPos = c.pos;
                if (c.size == 0 || !fits) {
                    // The writer did not get to finish the movi list. Its chunks may reach past the RIFF
                    // size as well, when that was being cleared as the power failed: they go to the end.
                    part.closed = false;
                    moviEnd = fileSize_;
                    break;
                }
                moviEnd = c.dataPos() + c.size;
                continue;
            }
            if (!fits)
                break;
            if (type == listHdrl && !haveHdrl) {
                haveHdrl = true;
                readHeaderList(c.dataPos() + 4, c.dataPos() + c.size);
                continue;
            }
        }
        if (!fits || !printable(c.id))
            break;
        if (c.id == ckIdx1 && haveMovi && !haveIdx1_) {
            haveIdx1_ = true;
            idx1_ = c;
        } else if (c.id != ckJUNK && haveHdrl && !haveMovi && c.size <= kMaxHeaderChunk) {
            parsed_.topExtras.push_back(wholeChunk(c));
        }
    }
    if (!haveHdrl)
        bad("has no header list (hdrl)");
    if (!haveMovi)
        bad("has no movi list");
    if (!part.closed) {
        moviEnd = std::max(moviEnd, part.moviPos + 12);
        end = fileSize_;
    }
    part.end = end;
    parsed_.layout.parts.push_back(part);
    moviEnds_.push_back(std::min(moviEnd, end));
}

void Reader::readFurtherParts()
{
    if (!parsed_.layout.parts.back().closed)
        return;
    std::uint64_t pos = padded(parsed_.layout.parts.back().end);
    while (pos + 24 <= fileSize_) {
        std::uint32_t head[3];
        file_.readAt(pos, head, sizeof head);
        if (head[0] != ckRIFF || head[2] != formAVIX)
            break;
        RiffPart part;
        part.riffPos = pos;
        std::uint64_t end = pos + 8 + std::uint64_t(head[1]);
        part.closed = head[1] != 0 && end <= fileSize_;
        if (!part.closed)
            end = fileSize_;
        std::uint64_t moviEnd = 0;
        bool haveMovi = false;
        Chunk c;
        for (std::uint64_t at = pos + 12; chunkAt(at, end, c); at = c.end()) {
            if (c.id == ckLIST && c.pos + 12 <= end && (c.size >= 4 || c.size == 0) &&
                fourccAt(c.dataPos()) == listMovi) {
                haveMovi = true;
                part.moviPos = c.pos;
                if (c.size == 0 || c.dataPos() + c.size > end) {
                    part.closed = false;
                    moviEnd = end = fileSize_;
                } else {
                    moviEnd = c.dataPos() + c.size;
                }
                break;
            }
            if (c.dataPos() + c.size > end || !printable(c.id))
                break;
        }
        if (haveMovi) {
            part.end = end;
            parsed_.layout.parts.push_back(part);
            moviEnds_.push_back(std::max(moviEnd, part.moviPos + 12));
        }
        if (!part.closed)
            break;
        pos = padded(end);
    }
}

void Reader::readHeaderList(std::uint64_t begin, std::uint64_t end)
{
    Chunk c;
    for (std::uint64_t pos = begin; chunkAt(pos, end, c); pos = c.end()) {
        if (c.dataPos() + c.size > end)
            break;
        if (c.id == ckLIST && c.size >= 4 && fourccAt(c.dataPos()) == listStrl) {
            if (parsed_.streams.size() >= kMaxStreams)
                bad("has more than " + std::to_string(kMaxStreams) + " streams");
            readStreamList(c.dataPos() + 4, c.dataPos() + c.size);
        }
    }
}

void Reader::readStreamList(std::uint64_t begin, std::uint64_t end)
{
    ParsedStream stream;
    std::vector<RawSuperEntry> super;
    const int number = static_cast<int>(parsed_.streams.size());
    bool haveStrh = false;
    Chunk c;
    for (std::uint64_t pos = begin; chunkAt(pos, end, c); pos = c.end()) {
        if (c.dataPos() + c.size > end)
            break;
        if (c.id == ckStrh && !haveStrh) {
            if (c.size < 48)
                bad("has a stream header of only " + std::to_string(c.size) + " bytes");
            AVIStreamHeader h{};
            file_.readAt(c.dataPos(), &h, std::min<std::uint32_t>(c.size, sizeof h));
            AVISTREAMINFOA& i = stream.info;
            i.fccType = h.fccType;
            i.fccHandler = h.fccHandler;
            i.dwFlags = h.dwFlags;
            i.wPriority = h.wPriority;
            i.wLanguage = h.wLanguage;
            i.dwScale = h.dwScale;
            i.dwRate = h.dwRate;
            i.dwStart = h.dwStart;
            i.dwLength = h.dwLength;
            i.dwInitialFrames = h.dwInitialFrames;
            i.dwSuggestedBufferSize = h.dwSuggestedBufferSize;
            i.dwQuality = h.dwQuality;
            i.dwSampleSize = h.dwSampleSize;
            i.rcFrame = {h.rcLeft, h.rcTop, h.rcRight, h.rcBottom};
            haveStrh = true;
        } else if (c.id == ckStrf) {
            if (c.size > kMaxHeaderChunk)
                bad("has a stream format of " + std::to_string(c.size) + " bytes");
            stream.format = bytes(c.dataPos(), c.size);
        } else if (c.id == ckStrn) {
            auto name = bytes(c.dataPos(), std::min<std::uint32_t>(c.size, sizeof stream.info.szName - 1));
            std::size_t n = 0;
            while (n < name.size() && name[n] != 0) {
                stream.info.szName[n] = static_cast<char>(name[n]);
                ++n;
            }
        } else if (c.id == ckIndx) {
            if (c.size < sizeof(AVIMETAINDEX))
                continue;
            AVIMETAINDEX h{};
            file_.readAt(c.dataPos(), &h, sizeof h);
            if (h.wLongsPerEntry != 4 || h.bIndexType != AVI_INDEX_OF_INDEXES)
                continue;
            std::uint32_t n = std::min<std::uint32_t>(h.nEntriesInUse, (c.size - sizeof h) / sizeof(AVISUPERINDEXENTRY));
            std::vector<AVISUPERINDEXENTRY> entries(n);
            file_.readAt(c.dataPos() + sizeof h, entries.data(), n * sizeof(AVISUPERINDEXENTRY));
            for (const auto& e : entries)
                super.push_back({e.qwOffset, e.dwSize, e.dwDuration, number});
        } else if (c.id != ckJUNK && c.size <= kMaxHeaderChunk) {
            stream.extraChunks.push_back(wholeChunk(c));
        }
    }
    if (!haveStrh)
        bad("has a stream without a stream header (strh)");
    parsed_.streams.push_back(std::move(stream));
    rawSuper_.push_back(std::move(super));
}

std::size_t Reader::partHolding(std::uint64_t dataPos, std::uint32_t size) const
{
    const auto& parts = parsed_.layout.parts;
    auto after = std::upper_bound(parts.begin(), parts.end(), dataPos,
                                  [](std::uint64_t pos, const RiffPart& part) { return pos < part.moviPos + 12; });
    if (after == parts.begin())
        return parts.size();
    const auto p = static_cast<std::size_t>(after - parts.begin() - 1);
    return dataPos + size <= moviEnds_[p] ? p : parts.size();
}

void Reader::readOpenDmlIndexes()
{
    std::vector<RawSuperEntry> all;
    for (const auto& list : rawSuper_)
        all.insert(all.end(), list.begin(), list.end());
    std::sort(all.begin(), all.end(),
              [](const RawSuperEntry& a, const RawSuperEntry& b) { return a.offset < b.offset; });
    // Standard indexes may not overlap: an entry naming an index already read, or a place inside one, is
    // passed over, usable or not. That bounds the entries read by the size of the file.
    std::uint64_t readUpTo = 0;
    for (const auto& entry : all) {
        if (entry.offset < readUpTo)
            continue;
        if (std::uint64_t end = readStandardIndex(entry); end != 0)
            readUpTo = end;
    }
}

std::uint64_t Reader::readStandardIndex(const RawSuperEntry& entry)
{
    Chunk c;
    if (entry.offset < 12 || !chunkAt(entry.offset, fileSize_, c) || c.dataPos() + c.size > fileSize_ ||
        c.size < sizeof(AVIMETAINDEX))
        return 0;
    std::uint8_t head[sizeof(AVIMETAINDEX)];
    file_.readAt(c.dataPos(), head, sizeof head);
    const auto longsPerEntry = load<WORD>(head);
    const BYTE subType = head[2], type = head[3];
    const auto count = load<DWORD>(head + 4);
    const auto chunkId = load<DWORD>(head + 8);
    const auto base = load<std::uint64_t>(head + 12);
    int stream = -1;
    if (longsPerEntry != 2 || subType != 0 || type != AVI_INDEX_OF_CHUNKS || !parseDataChunkId(chunkId, stream) ||
        stream != entry.stream || count > (c.size - sizeof head) / sizeof(AVISTDINDEXENTRY))
        return c.end();
    std::vector<AVISTDINDEXENTRY> entries(count);
    file_.readAt(c.dataPos() + sizeof head, entries.data(), count * sizeof(AVISTDINDEXENTRY));
    std::size_t part = parsed_.layout.parts.size();
    std::vector<ChunkRef> chunks;
    chunks.reserve(std::min<std::size_t>(count, kMaxChunks - remembered_ + 1));
    for (const auto& e : entries) {
        if (chunks.size() >= kMaxChunks - remembered_)
            remember(chunks.size() + 1); // refuses the file
        const std::uint64_t dataPos = base + e.dwOffset;
        const std::uint32_t size = e.dwSize & ~AVISTDINDEX_DELTAFRAME;
        if (dataPos < base)
            return c.end();
        std::size_t p = partHolding(dataPos, size);
        if (p == parsed_.layout.parts.size() || (part != parsed_.layout.parts.size() && p != part))
            return c.end(); // entries outside the data, or spread over parts
        part = p;
        chunks.push_back({dataPos, size, (e.dwSize & AVISTDINDEX_DELTAFRAME) ? 0u : AVIIF_KEYFRAME, 0});
    }
    if (part == parsed_.layout.parts.size() || !parsed_.layout.parts[part].closed)
        return c.end(); // an index of a part whose writer did not finish: that part is walked
    remember(chunks.size());
    PartIndex& pi = partIndexes_[part];
    auto& target = pi.chunks[static_cast<std::size_t>(stream)];
    target.insert(target.end(), chunks.begin(), chunks.end());
    pi.super[static_cast<std::size_t>(stream)].push_back({c.pos, 8 + c.size, entry.duration, part});
    pi.fromOpenDml = true;
    return c.end();
}

bool Reader::readIdx1(std::size_t part, PartIndex& index)
{
    const std::uint32_t count = idx1_.size / sizeof(AVIINDEXENTRY);
    std::vector<AVIINDEXENTRY> entries(count);
    file_.readAt(idx1_.dataPos(), entries.data(), count * sizeof(AVIINDEXENTRY));
    const int streams = static_cast<int>(parsed_.streams.size());
    const std::uint64_t moviFourcc = parsed_.layout.parts[part].moviPos + 8;
    const std::uint64_t first = moviFourcc + 4, last = moviEnds_[part];

    // Offsets count from the 'movi' fourcc, or - in files of some writers - from the start of the file.
    std::uint64_t base = 0;
    bool baseKnown = false;
    for (const auto& e : entries) {
        int s = -1;
        if (!parseDataChunkId(e.ckid, s) || s >= streams)
            continue;
        for (std::uint64_t candidate : {moviFourcc, std::uint64_t(0)}) {
            const std::uint64_t at = candidate + e.dwChunkOffset;
            if (at >= first && at + 8 <= last && fourccAt(at) == e.ckid) {
                base = candidate;
                baseKnown = true;
                break;
            }
        }
        break;
    }
    if (!baseKnown)
        return false;
    for (const auto& e : entries) {
        int s = -1;
        if (!parseDataChunkId(e.ckid, s) || s >= streams)
            continue;
        const std::uint64_t dataPos = base + e.dwChunkOffset + 8;
        if (dataPos < first + 8 || dataPos + e.dwChunkLength > last)
            continue;
        remember(1);
        index.chunks[static_cast<std::size_t>(s)].push_back(
            {dataPos, e.dwChunkLength, e.dwFlags & AVIIF_KEYFRAME, 0});
    }
    return true;
}

void Reader::walk(std::size_t part, PartIndex& index)
{
    const int streams = static_cast<int>(parsed_.streams.size());
    const std::uint64_t end = moviEnds_[part];
    std::uint64_t pos = parsed_.layout.parts[part].moviPos + 12;
    Chunk c;
    while (chunkAt(pos, end, c)) {
        if (c.id == ckLIST && c.size >= 4 && fourccAt(c.dataPos()) == listRec) {
            pos = c.dataPos() + 4; // the chunks of a 'rec ' list follow one another like any others
            continue;
        }
        if (c.dataPos() + c.size > end || !printable(c.id))
            break; // the last chunk was cut short, or what follows is not a chunk
        int s = -1;
        if (parseDataChunkId(c.id, s) && s < streams) {
            remember(1);
            index.chunks[static_cast<std::size_t>(s)].push_back({c.dataPos(), c.size, AVIIF_KEYFRAME, 0});
        }
        pos = c.end();
    }
}

} // namespace

bool parseDataChunkId(FOURCC id, int& stream)
{
    const unsigned c0 = id & 0xFF, c1 = (id >> 8) & 0xFF, c2 = (id >> 16) & 0xFF, c3 = (id >> 24) & 0xFF;
    if (c0 < '0' || c0 > '9' || c1 < '0' || c1 > '9')
        return false;
    auto letter = [](unsigned ch) { return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9'); };
    if (!letter(c2) || !letter(c3) || (c2 == 'p' && c3 == 'c')) // 'pc' is a palette change, not data
        return false;
    stream = static_cast<int>((c0 - '0') * 10 + (c1 - '0'));
    return true;
}

FOURCC dataChunkId(int stream, FOURCC twoLetters)
{
    return static_cast<FOURCC>('0' + stream / 10) | (static_cast<FOURCC>('0' + stream % 10) << 8) |
           (twoLetters & 0xFFFF0000u);
}

FOURCC indexChunkId(int stream)
{
    return mmioFOURCC('i', 'x', static_cast<char>('0' + stream / 10), static_cast<char>('0' + stream % 10));
}

std::int64_t recoveredLength(std::int64_t storedLength, std::uint64_t dataBytesOrChunks, DWORD sampleSize)
{
    const auto data = static_cast<std::int64_t>(std::min<std::uint64_t>(dataBytesOrChunks, INT64_MAX));
    if (sampleSize <= 1)
        return data; // chunks, or bytes that are samples
    const std::int64_t samples = data / sampleSize;
    // Lengths counted in bytes (as the recorder writes sound) are above the sample count of the data.
    return storedLength > samples ? data : samples;
}

ParsedAvi readAvi(const AviRawFile& file)
{
    return Reader(file).run();
}

} // namespace quolva::store::detail

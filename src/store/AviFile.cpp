#include "AviFile.h"

#include "AviReader.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quolva::store {

using detail::AviLayout;
using detail::AviRawFile;
using detail::ChunkRef;
using detail::padded;
using detail::quoted;
using detail::RiffPart;
using detail::StreamIndex;

namespace {

std::uint64_t gPartSize = std::uint64_t(1) << 30;
std::uint32_t gHeaderRoom = 16384; // where the movi list of a new file begins
constexpr std::size_t kMaxStreams = 100;

// A growing byte image of header chunks.
class ByteWriter {
public:
    std::size_t size() const { return bytes_.size(); }
    std::vector<std::uint8_t>& bytes() { return bytes_; }
    void put(const void* data, std::size_t size)
    {
        const auto* p = static_cast<const std::uint8_t*>(data);
        bytes_.insert(bytes_.end(), p, p + size);
    }
    void u32(std::uint32_t value) { put(&value, 4); }
    void pad()
    {
        if (bytes_.size() & 1u)
            bytes_.push_back(0);
    }
    void chunk(FOURCC id, const void* data, std::size_t size)
    {
        u32(id);
        u32(static_cast<std::uint32_t>(size));
        put(data, size);
        pad();
    }
    std::size_t beginList(FOURCC type)
    {
        u32(detail::ckLIST);
        const std::size_t at = bytes_.size();
        u32(0);
        u32(type);
        return at;
    }
    void endList(std::size_t at)
    {
        const auto size = static_cast<std::uint32_t>(bytes_.size() - at - 4);
        std::memcpy(bytes_.data() + at, &size, 4);
    }

private:
    std::vector<std::uint8_t> bytes_;
};

std::uint32_t clampU32(std::int64_t value)
{
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(value, 0, UINT32_MAX));
}

std::int16_t clampI16(std::int32_t value)
{
    return static_cast<std::int16_t>(std::clamp<std::int32_t>(value, INT16_MIN, INT16_MAX));
}

std::string errorText(int error)
{
    return std::strerror(error);
}

// Chunks of `index` whose data lies in [from, to).
std::pair<std::size_t, std::size_t> chunksBetween(const StreamIndex& index, std::uint64_t from, std::uint64_t to)
{
    auto byPos = [](const ChunkRef& c, std::uint64_t pos) { return c.dataPos < pos; };
    auto lo = std::lower_bound(index.chunks.begin(), index.chunks.end(), from, byPos);
    auto hi = std::lower_bound(lo, index.chunks.end(), to, byPos);
    return {static_cast<std::size_t>(lo - index.chunks.begin()), static_cast<std::size_t>(hi - index.chunks.begin())};
}

// Which parts already have a standard index of this stream in the file.
std::vector<bool> partsNamed(const StreamIndex& index, std::size_t parts)
{
    std::vector<bool> named(parts, false);
    for (const detail::SuperEntry& e : index.super)
        if (e.part < parts)
            named[e.part] = true;
    return named;
}

} // namespace

AviFile::AviFile(Private, std::filesystem::path path) : path_(std::move(path)) {}

AviFile::~AviFile()
{
    try {
        finish();
    } catch (...) {
        // A destructor cannot report; the file stays readable as an unfinished recording.
    }
}

void AviFile::setPartSize(std::uint64_t bytes)
{
    gPartSize = std::clamp<std::uint64_t>(bytes, 4096, std::uint64_t(1) << 31);
}

std::uint64_t AviFile::partSize()
{
    return gPartSize;
}

void AviFile::setHeaderRoom(std::uint32_t bytes)
{
    gHeaderRoom = std::clamp<std::uint32_t>(bytes + (bytes & 1u), 512, 1u << 24);
}

std::shared_ptr<AviFile> AviFile::open(const std::filesystem::path& path, UINT mode)
{
    auto file = std::make_shared<AviFile>(Private{}, path);
    if (mode & OF_CREATE) {
        file->writable_ = true;
        file->createNew();
    } else {
        file->writable_ = (mode & (OF_WRITE | OF_READWRITE)) != 0;
        file->readExisting();
    }
    return file;
}

void AviFile::createNew()
{
    int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        throw AviError(AVIERR_FILEOPEN, "Cannot create AVI file " + quoted(path_) + ": " + errorText(errno));
    file_ = AviRawFile(fd, path_);
    layout_ = std::make_unique<AviLayout>();
    RiffPart part;
    part.moviPos = gHeaderRoom;
    layout_->parts.push_back(part);
    const std::uint32_t riff[3] = {detail::ckRIFF, 0, detail::formAVI};
    file_.writeAt(0, riff, sizeof riff);
    writeHeader(file_, *layout_, false);
    const std::uint32_t movi[3] = {detail::ckLIST, 0, detail::listMovi};
    file_.writeAt(part.moviPos, movi, sizeof movi);
    layout_->dataEnd = part.moviPos + 12;
    changed_ = true;
}

void AviFile::readExisting()
{
    int fd = ::open(path_.c_str(), (writable_ ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (fd < 0)
        throw AviError(AVIERR_FILEOPEN, "Cannot open AVI file " + quoted(path_) + ": " + errorText(errno));
    file_ = AviRawFile(fd, path_);
    detail::ParsedAvi parsed = detail::readAvi(file_);
    for (std::size_t i = 0; i < parsed.streams.size(); ++i) {
        auto& source = parsed.streams[i];
        std::unique_ptr<AviStream> stream(new AviStream(*this, static_cast<int>(i), source.info));
        stream->format_ = std::move(source.format);
        stream->extraChunks_ = std::move(source.extraChunks);
        stream->length_ = source.length;
        streams_.push_back(std::move(stream));
    }
    topExtras_ = std::move(parsed.topExtras);
    layout_ = std::make_unique<AviLayout>(std::move(parsed.layout));
    wasComplete_ = parsed.complete;
}

void AviFile::completeOnClose()
{
    if (!wasComplete_)
        beginChanges();
}

void AviFile::checkOpen() const
{
    if (closed_)
        throw AviError(AVIERR_BADHANDLE, "AVI file " + quoted(path_) + " is already closed");
}

void AviFile::checkWritable() const
{
    checkOpen();
    if (!writable_)
        throw AviError(AVIERR_READONLY, "AVI file " + quoted(path_) + " is open for reading only");
}

std::shared_ptr<AviStream> AviFile::stream(int number)
{
    if (number < 0 || number >= streamCount())
        throw AviError(AVIERR_NODATA, "AVI file " + quoted(path_) + " has no stream number " + std::to_string(number));
    return std::shared_ptr<AviStream>(shared_from_this(), streams_[static_cast<std::size_t>(number)].get());
}

std::shared_ptr<AviStream> AviFile::findStream(FOURCC type, LONG index)
{
    if (index < 0)
        return nullptr;
    LONG seen = 0;
    for (const auto& s : streams_) {
        if (s->type() == type && seen++ == index)
            return stream(s->number());
    }
    return nullptr;
}

std::shared_ptr<AviStream> AviFile::getStream(FOURCC type, LONG index)
{
    checkOpen();
    if (auto found = findStream(type, index))
        return found;
    std::string kind = type == streamtypeAUDIO   ? "audio"
                       : type == streamtypeVIDEO ? "video"
                                                 : "'" + std::string(reinterpret_cast<const char*>(&type), 4) + "'";
    std::string message = "AVI file " + quoted(path_) + " has no " + kind + " stream";
    if (index != 0)
        message += " with index " + std::to_string(index);
    throw AviError(AVIERR_NODATA, message);
}

std::shared_ptr<AviStream> AviFile::createStream(const AVISTREAMINFOA& info)
{
    checkWritable();
    if (streams_.size() >= kMaxStreams)
        throw AviError(AVIERR_UNSUPPORTED,
                       "AVI file " + quoted(path_) + " cannot hold more than " + std::to_string(kMaxStreams) + " streams");
    beginChanges();
    AVISTREAMINFOA description = info;
    description.dwLength = 0;
    description.szName[sizeof description.szName - 1] = 0;
    const int number = streamCount();
    streams_.push_back(std::unique_ptr<AviStream>(new AviStream(*this, number, description)));
    layout_->index.emplace_back();
    try {
        writeHeader(file_, *layout_, true);
    } catch (...) {
        streams_.pop_back();
        if (layout_->index.size() > streams_.size())
            layout_->index.pop_back();
        throw;
    }
    return stream(number);
}

void AviFile::close()
{
    finish();
}

void AviFile::beginChanges()
{
    checkWritable();
    if (changed_)
        return;
    AviLayout& layout = *layout_;
    const std::size_t last = layout.parts.size() - 1;
    RiffPart& part = layout.parts[last];
    std::uint64_t appendPos = part.moviPos + 12;
    std::size_t inPart = 0;
    for (StreamIndex& index : layout.index) {
        for (auto it = index.chunks.rbegin(); it != index.chunks.rend() && it->dataPos > part.moviPos; ++it) {
            appendPos = std::max(appendPos, it->dataPos + padded(it->size));
            ++inPart;
        }
        // Indexes of the last part, and any lying after its data, are cut off and written again later.
        std::erase_if(index.super, [&](const detail::SuperEntry& e) {
            return e.part == last || e.ixPos + e.ixSize > appendPos;
        });
    }
    layout.entriesInPart = inPart;
    layout.dataEnd = appendPos;
    part.closed = false;
    part.end = appendPos;
    std::vector<std::uint32_t> strhOffsets;
    if (!fits(buildHeader(layout, strhOffsets).size(), layout)) {
        writeHeader(file_, layout, true); // the whole file is written again, and is then open for writing
        return;
    }
    // The part is marked as being written before its header changes, as in a file whose writer died:
    // readers walk its chunks. Its old indexes go first, so that its old sizes reach past the end of the
    // file; then the sizes become 0. Whatever the power cuts short, the disk holds the finished file or
    // one that repair completes from its chunks, never a finished one whose header no longer fits it.
    file_.truncate(appendPos);
    const std::uint32_t zero = 0;
    file_.writeAt(part.riffPos + 4, &zero, 4);
    file_.writeAt(part.moviPos + 4, &zero, 4);
    writeHeader(file_, layout, false);
    changed_ = true;
}

bool AviFile::partWouldOverflow(const AviLayout& layout, std::uint32_t size) const
{
    if (layout.entriesInPart == 0)
        return false;
    const RiffPart& part = layout.parts.back();
    std::uint64_t indexes = 32 * streams_.size() + 8 * (layout.entriesInPart + 1);
    if (layout.parts.size() == 1)
        indexes += 8 + 16 * (layout.entriesInPart + 1);
    return layout.dataEnd + 8 + padded(size) + indexes - part.riffPos > gPartSize;
}

void AviFile::appendChunk(AviStream& stream, const void* data, std::uint32_t size, std::uint32_t flags,
                          std::uint64_t positionAdvance)
{
    beginChanges();
    if (partWouldOverflow(*layout_, size)) {
        reserveIndexRoom();
        if (partWouldOverflow(*layout_, size)) { // (a rewritten file may have room left in its last part)
            closePart(file_, *layout_);
            startPart(file_, *layout_);
            writeHeader(file_, *layout_, false); // the super indexes now name the closed part's indexes
        }
    }
    AviLayout& layout = *layout_;
    const std::uint64_t pos = layout.dataEnd;
    file_.writeChunkAt(pos, stream.chunkId(), data, size);
    StreamIndex& index = layout.index[static_cast<std::size_t>(stream.number())];
    index.chunks.push_back({pos + 8, size, flags, index.end});
    index.end += positionAdvance;
    index.maxChunk = std::max(index.maxChunk, size);
    layout.dataEnd = pos + 8 + padded(size);
    ++layout.entriesInPart;
}

void AviFile::patchLength(const AviStream& stream)
{
    // Kept current after every write, so that the length survives a writer that dies.
    const StreamIndex& index = layout_->index[static_cast<std::size_t>(stream.number())];
    if (index.strhPos != 0) {
        const std::uint32_t length = clampU32(stream.length_);
        file_.writeAt(index.strhPos + detail::strhLengthOffset, &length, 4);
    }
}

std::size_t AviFile::superEntriesNeeded(const AviLayout& layout) const
{
    std::size_t needed = 0;
    for (const StreamIndex& index : layout.index) {
        std::size_t entries = index.super.size();
        const std::vector<bool> named = partsNamed(index, layout.parts.size());
        for (std::size_t p = 0; p < layout.parts.size(); ++p) {
            const std::uint64_t to = p + 1 < layout.parts.size() ? layout.parts[p + 1].riffPos : UINT64_MAX;
            const auto [lo, hi] = chunksBetween(index, layout.parts[p].moviPos, to);
            if (lo != hi && !named[p])
                ++entries;
        }
        needed = std::max(needed, entries);
    }
    return needed;
}

void AviFile::reserveIndexRoom()
{
    const std::size_t needed = superEntriesNeeded(*layout_);
    if (needed <= layout_->superCapacity)
        return;
    layout_->superCapacity = static_cast<std::uint32_t>(std::bit_ceil(needed));
    writeHeader(file_, *layout_, true);
}

void AviFile::closePart(AviRawFile& file, AviLayout& layout)
{
    writeMissingStandardIndexes(file, layout);
    RiffPart& part = layout.parts.back();
    const auto moviSize = static_cast<std::uint32_t>(layout.dataEnd - (part.moviPos + 8));
    file.writeAt(part.moviPos + 4, &moviSize, 4);
    if (layout.parts.size() == 1)
        writeIdx1(file, layout);
    // The RIFF size comes last: once it is set, readers take the part as finished.
    const auto riffSize = static_cast<std::uint32_t>(layout.dataEnd - (part.riffPos + 8));
    file.writeAt(part.riffPos + 4, &riffSize, 4);
    part.end = layout.dataEnd;
    part.closed = true;
}

void AviFile::startPart(AviRawFile& file, AviLayout& layout)
{
    RiffPart part;
    part.riffPos = layout.dataEnd;
    part.moviPos = part.riffPos + 12;
    const std::uint32_t head[6] = {detail::ckRIFF, 0, detail::formAVIX, detail::ckLIST, 0, detail::listMovi};
    file.writeAt(part.riffPos, head, sizeof head);
    layout.parts.push_back(part);
    layout.dataEnd = part.moviPos + 12;
    layout.entriesInPart = 0;
}

void AviFile::writeMissingStandardIndexes(AviRawFile& file, AviLayout& layout)
{
    for (std::size_t s = 0; s < streams_.size(); ++s) {
        const AviStream& stream = *streams_[s];
        StreamIndex& index = layout.index[s];
        const std::vector<bool> named = partsNamed(index, layout.parts.size());
        for (std::size_t p = 0; p < layout.parts.size(); ++p) {
            if (named[p])
                continue;
            const std::uint64_t to = p + 1 < layout.parts.size() ? layout.parts[p + 1].riffPos : UINT64_MAX;
            const auto [lo, hi] = chunksBetween(index, layout.parts[p].moviPos, to);
            if (lo == hi)
                continue;
            const std::uint64_t base = layout.parts[p].moviPos + 8;
            std::vector<std::uint8_t> body(sizeof(detail::AVIMETAINDEX) + 8 * (hi - lo));
            detail::AVIMETAINDEX head{};
            head.wLongsPerEntry = 2;
            head.bIndexType = detail::AVI_INDEX_OF_CHUNKS;
            head.nEntriesInUse = static_cast<DWORD>(hi - lo);
            head.dwChunkId = stream.chunkId();
            std::memcpy(&head.dwReserved[0], &base, 8);
            std::memcpy(body.data(), &head, sizeof head);
            std::uint64_t bytes = 0;
            for (std::size_t i = lo; i < hi; ++i) {
                const ChunkRef& c = index.chunks[i];
                detail::AVISTDINDEXENTRY e{static_cast<DWORD>(c.dataPos - base),
                                           c.size | ((c.flags & AVIIF_KEYFRAME) ? 0u : detail::AVISTDINDEX_DELTAFRAME)};
                std::memcpy(body.data() + sizeof head + 8 * (i - lo), &e, sizeof e);
                bytes += c.size;
            }
            const std::uint64_t endPosition = hi < index.chunks.size() ? index.chunks[hi].position : index.end;
            const std::uint64_t duration =
                stream.fixedSize() ? bytes / stream.info_.dwSampleSize : endPosition - index.chunks[lo].position;
            const std::uint64_t pos = layout.dataEnd;
            file.writeChunkAt(pos, detail::indexChunkId(static_cast<int>(s)), body.data(),
                              static_cast<std::uint32_t>(body.size()));
            index.super.push_back({pos, static_cast<std::uint32_t>(8 + body.size()), clampU32(static_cast<std::int64_t>(duration)), p});
            layout.dataEnd = pos + 8 + padded(body.size());
        }
        std::sort(index.super.begin(), index.super.end(), [](const auto& a, const auto& b) { return a.part < b.part; });
    }
}

void AviFile::writeIdx1(AviRawFile& file, AviLayout& layout)
{
    struct Entry {
        std::uint64_t dataPos;
        std::size_t stream;
        std::size_t chunk;
    };
    std::vector<Entry> entries;
    for (std::size_t s = 0; s < streams_.size(); ++s)
        for (std::size_t i = 0; i < layout.index[s].chunks.size(); ++i)
            entries.push_back({layout.index[s].chunks[i].dataPos, s, i});
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.dataPos < b.dataPos; });
    const std::uint64_t base = layout.parts[0].moviPos + 8;
    std::vector<detail::AVIINDEXENTRY> records;
    records.reserve(entries.size());
    for (const Entry& e : entries) {
        const ChunkRef& c = layout.index[e.stream].chunks[e.chunk];
        records.push_back({streams_[e.stream]->chunkId(), c.flags & AVIIF_KEYFRAME,
                           static_cast<DWORD>(c.dataPos - 8 - base), c.size});
    }
    const std::uint64_t pos = layout.dataEnd;
    const auto size = static_cast<std::uint32_t>(records.size() * sizeof(detail::AVIINDEXENTRY));
    file.writeChunkAt(pos, detail::ckIdx1, records.data(), size);
    layout.dataEnd = pos + 8 + size;
}

std::vector<std::uint8_t> AviFile::buildHeader(const AviLayout& layout, std::vector<std::uint32_t>& strhOffsets) const
{
    ByteWriter out;
    const std::uint32_t capacity = layout.superCapacity;
    const AviStream* video = nullptr;
    std::uint32_t maxChunk = 0;
    for (const auto& s : streams_) {
        if (!video && s->type() == streamtypeVIDEO)
            video = s.get();
        maxChunk = std::max(maxChunk, layout.index[static_cast<std::size_t>(s->number())].maxChunk);
    }

    const std::size_t hdrl = out.beginList(detail::listHdrl);
    detail::MainAVIHeader avih{};
    avih.dwFlags = detail::AVIF_HASINDEX;
    avih.dwStreams = static_cast<DWORD>(streams_.size());
    avih.dwSuggestedBufferSize = maxChunk;
    std::uint64_t totalFrames = 0;
    if (video) {
        const AVISTREAMINFOA& v = video->info_;
        if (v.dwRate != 0)
            avih.dwMicroSecPerFrame = clampU32(static_cast<std::int64_t>(std::uint64_t(v.dwScale) * 1000000u / v.dwRate));
        if (video->format_.size() >= sizeof(BITMAPINFOHEADER)) {
            BITMAPINFOHEADER bih;
            std::memcpy(&bih, video->format_.data(), sizeof bih);
            avih.dwWidth = static_cast<DWORD>(bih.biWidth < 0 ? -std::int64_t(bih.biWidth) : bih.biWidth);
            avih.dwHeight = static_cast<DWORD>(bih.biHeight < 0 ? -std::int64_t(bih.biHeight) : bih.biHeight);
        } else {
            avih.dwWidth = static_cast<DWORD>(v.rcFrame.right - v.rcFrame.left);
            avih.dwHeight = static_cast<DWORD>(v.rcFrame.bottom - v.rcFrame.top);
        }
        const StreamIndex& index = layout.index[static_cast<std::size_t>(video->number())];
        totalFrames = index.chunks.size();
        const std::uint64_t firstPartEnd = layout.parts.size() > 1 ? layout.parts[1].riffPos : UINT64_MAX;
        avih.dwTotalFrames = static_cast<DWORD>(chunksBetween(index, 0, firstPartEnd).second);
    }
    out.chunk(detail::ckAvih, &avih, sizeof avih);

    for (const auto& s : streams_) {
        const AVISTREAMINFOA& i = s->info_;
        const StreamIndex& index = layout.index[static_cast<std::size_t>(s->number())];
        const std::size_t strl = out.beginList(detail::listStrl);
        strhOffsets.push_back(static_cast<std::uint32_t>(out.size() + 8));
        detail::AVIStreamHeader h{};
        h.fccType = i.fccType;
        h.fccHandler = i.fccHandler;
        h.dwFlags = i.dwFlags;
        h.wPriority = i.wPriority;
        h.wLanguage = i.wLanguage;
        h.dwInitialFrames = i.dwInitialFrames;
        h.dwScale = i.dwScale;
        h.dwRate = i.dwRate;
        h.dwStart = i.dwStart;
        h.dwLength = clampU32(s->length_);
        h.dwSuggestedBufferSize = std::max(i.dwSuggestedBufferSize, index.maxChunk);
        h.dwQuality = i.dwQuality;
        h.dwSampleSize = i.dwSampleSize;
        h.rcLeft = clampI16(i.rcFrame.left);
        h.rcTop = clampI16(i.rcFrame.top);
        h.rcRight = clampI16(i.rcFrame.right);
        h.rcBottom = clampI16(i.rcFrame.bottom);
        out.chunk(detail::ckStrh, &h, sizeof h);
        if (!s->format_.empty())
            out.chunk(detail::ckStrf, s->format_.data(), s->format_.size());
        if (const std::size_t n = strnlen(i.szName, sizeof i.szName); n > 0) {
            std::string name(i.szName, n);
            out.chunk(detail::ckStrn, name.c_str(), n + 1);
        }
        for (const auto& extra : s->extraChunks_) {
            out.put(extra.data(), extra.size());
            out.pad();
        }
        std::vector<std::uint8_t> indx(sizeof(detail::AVIMETAINDEX) + capacity * sizeof(detail::AVISUPERINDEXENTRY));
        detail::AVIMETAINDEX head{};
        head.wLongsPerEntry = 4;
        head.bIndexType = detail::AVI_INDEX_OF_INDEXES;
        const std::size_t used = std::min<std::size_t>(index.super.size(), capacity);
        head.nEntriesInUse = static_cast<DWORD>(used);
        head.dwChunkId = s->chunkId();
        std::memcpy(indx.data(), &head, sizeof head);
        for (std::size_t k = 0; k < used; ++k) {
            detail::AVISUPERINDEXENTRY e{index.super[k].ixPos, index.super[k].ixSize, index.super[k].duration};
            std::memcpy(indx.data() + sizeof head + k * sizeof e, &e, sizeof e);
        }
        out.chunk(detail::ckIndx, indx.data(), indx.size());
        out.endList(strl);
    }

    const std::size_t odml = out.beginList(detail::listOdml);
    DWORD dmlh[62] = {};
    dmlh[0] = clampU32(static_cast<std::int64_t>(totalFrames));
    out.chunk(detail::ckDmlh, dmlh, sizeof dmlh);
    out.endList(odml);
    out.endList(hdrl);

    for (const auto& extra : topExtras_) {
        out.put(extra.data(), extra.size());
        out.pad();
    }
    return std::move(out.bytes());
}

bool AviFile::fits(std::size_t headerBytes, const AviLayout& layout)
{
    const std::uint64_t room = layout.parts[0].moviPos - 12;
    return headerBytes == room || (headerBytes + 8 <= room && (room - headerBytes) % 2 == 0);
}

void AviFile::writeHeader(AviRawFile& file, AviLayout& layout, bool allowRewrite)
{
    std::vector<std::uint32_t> strhOffsets;
    std::vector<std::uint8_t> bytes = buildHeader(layout, strhOffsets);
    if (!fits(bytes.size(), layout)) {
        if (!allowRewrite)
            throw AviError(AVIERR_INTERNAL, "The header of AVI file " + quoted(path_) + " does not fit its room");
        rewriteWholeFile(bytes.size());
        return;
    }
    const std::uint64_t room = layout.parts[0].moviPos - 12;
    if (bytes.size() < room) {
        const std::uint32_t junk[2] = {detail::ckJUNK, static_cast<std::uint32_t>(room - bytes.size() - 8)};
        const std::size_t at = bytes.size();
        bytes.resize(static_cast<std::size_t>(room), 0);
        std::memcpy(bytes.data() + at, junk, sizeof junk);
    }
    file.writeAt(12, bytes.data(), bytes.size());
    for (std::size_t s = 0; s < strhOffsets.size(); ++s)
        layout.index[s].strhPos = 12 + strhOffsets[s];
}

void AviFile::rewriteWholeFile(std::size_t headerBytesNeeded)
{
    namespace fs = std::filesystem;
    fs::path dir = path_.parent_path();
    if (dir.empty())
        dir = ".";
    std::string name = (dir / (path_.filename().string() + ".rewrite-XXXXXX")).string();
    int fd = ::mkstemp(name.data());
    if (fd < 0)
        throw AviError(AVIERR_FILEWRITE,
                       "Cannot make room for the header of AVI file " + quoted(path_) + ": " + errorText(errno));
    AviRawFile out(fd, name);
    struct RemoveUnlessKept {
        std::string name;
        bool keep = false;
        ~RemoveUnlessKept()
        {
            if (!keep)
                ::unlink(name.c_str());
        }
    } temporary{name};
    struct stat st {};
    if (::fstat(file_.fd(), &st) == 0)
        ::fchmod(fd, st.st_mode & 07777);

    const AviLayout& old = *layout_;
    auto fresh = std::make_unique<AviLayout>();
    fresh->index.resize(streams_.size());
    struct Ref {
        std::uint64_t dataPos;
        std::size_t stream;
        std::size_t chunk;
    };
    std::vector<Ref> order;
    std::uint64_t dataBytes = 0;
    for (std::size_t s = 0; s < old.index.size(); ++s) {
        for (std::size_t i = 0; i < old.index[s].chunks.size(); ++i) {
            order.push_back({old.index[s].chunks[i].dataPos, s, i});
            dataBytes += 8 + padded(old.index[s].chunks[i].size);
        }
    }
    std::sort(order.begin(), order.end(), [](const Ref& a, const Ref& b) { return a.dataPos < b.dataPos; });
    // Super indexes with room for every part the copy can make (a part is closed only when it and the
    // next chunk pass the part size), the header as it is now, and room for more streams.
    const std::uint64_t partsBound = 2 * (dataBytes + 24 * order.size()) / gPartSize + 2;
    fresh->superCapacity = std::max<std::uint32_t>(
        old.superCapacity, static_cast<std::uint32_t>(std::bit_ceil(partsBound + superEntriesNeeded(old))));
    const std::uint64_t room =
        headerBytesNeeded + 16 * streams_.size() * std::uint64_t(fresh->superCapacity) + gHeaderRoom;
    RiffPart first;
    first.moviPos = (12 + room + 4095) / 4096 * 4096;
    fresh->parts.push_back(first);
    const std::uint32_t riff[3] = {detail::ckRIFF, 0, detail::formAVI};
    out.writeAt(0, riff, sizeof riff);
    const std::uint32_t movi[3] = {detail::ckLIST, 0, detail::listMovi};
    out.writeAt(first.moviPos, movi, sizeof movi);
    fresh->dataEnd = first.moviPos + 12;

    for (const Ref& r : order) {
        const ChunkRef& c = old.index[r.stream].chunks[r.chunk];
        if (partWouldOverflow(*fresh, c.size)) {
            closePart(out, *fresh);
            startPart(out, *fresh);
        }
        const std::uint64_t at = fresh->dataEnd;
        const std::uint32_t head[2] = {streams_[r.stream]->chunkId(), c.size};
        out.writeAt(at, head, sizeof head);
        out.copyFrom(file_, c.dataPos, at + 8, c.size);
        if (c.size & 1u) {
            const char pad = 0;
            out.writeAt(at + 8 + c.size, &pad, 1);
        }
        fresh->index[r.stream].chunks.push_back({at + 8, c.size, c.flags, c.position});
        fresh->dataEnd = at + 8 + padded(c.size);
        ++fresh->entriesInPart;
    }
    for (std::size_t s = 0; s < old.index.size(); ++s) {
        fresh->index[s].end = old.index[s].end;
        fresh->index[s].maxChunk = old.index[s].maxChunk;
    }
    writeHeader(out, *fresh, false);
    out.sync();
    if (::rename(name.c_str(), path_.c_str()) != 0)
        throw AviError(AVIERR_FILEWRITE,
                       "Cannot put the rewritten AVI file " + quoted(path_) + " in place: " + errorText(errno));
    temporary.keep = true;
    if (int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    out.setPath(path_);
    file_ = std::move(out);
    layout_ = std::move(fresh);
    changed_ = true;
}

void AviFile::finish()
{
    if (closed_)
        return;
    closed_ = true;
    if (!changed_) {
        file_.close();
        return;
    }
    reserveIndexRoom();
    AviLayout& layout = *layout_;
    writeMissingStandardIndexes(file_, layout);
    RiffPart& part = layout.parts.back();
    const auto moviSize = static_cast<std::uint32_t>(layout.dataEnd - (part.moviPos + 8));
    file_.writeAt(part.moviPos + 4, &moviSize, 4);
    if (layout.parts.size() == 1)
        writeIdx1(file_, layout);
    writeHeader(file_, layout, false);
    const auto riffSize = static_cast<std::uint32_t>(layout.dataEnd - (part.riffPos + 8));
    file_.writeAt(part.riffPos + 4, &riffSize, 4);
    part.end = layout.dataEnd;
    part.closed = true;
    file_.truncate(layout.dataEnd);
    file_.sync();
    file_.close();
    changed_ = false;
}

} // namespace quolva::store

#pragma once
#include "AviError.h"
#include "AviLayout.h"
#include "AviRawFile.h"
#include "AviStream.h"
#include "WinTypes.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

namespace quolva::store {

// A RIFF AVI file opened by the AVI file services, with the Video for Windows behaviour the recorder,
// the editor and the publisher rely on:
//  - created (OF_CREATE) or opened for reading, or for reading and writing (OF_READWRITE);
//  - data chunks reach the file as they are written; RIFF sizes, lengths and the indexes (idx1 and the
//    OpenDML ix##/indx) are completed when the file is closed, which happens when its last handle goes;
//  - files beyond the part size (1 GiB) continue in OpenDML 'AVIX' parts;
//  - opening an existing file reads its index (OpenDML, idx1, or by walking movi when the writer died);
//    writing then appends after the existing data, and new streams come after the existing ones.
// Handles (std::shared_ptr) to the file and to its streams share one count; streams keep it alive.
class AviFile : public std::enable_shared_from_this<AviFile> {
public:
    // `mode` as AVIFileOpen's: OF_CREATE (with OF_WRITE) creates or empties the file; otherwise the file
    // must exist and is opened for reading (OF_READ) or for reading and writing (OF_WRITE/OF_READWRITE).
    static std::shared_ptr<AviFile> open(const std::filesystem::path& path, UINT mode);

    AviFile(const AviFile&) = delete;
    AviFile& operator=(const AviFile&) = delete;
    // Completes the file if close() was not called; failures are swallowed here.
    ~AviFile();

    const std::filesystem::path& path() const { return path_; }
    bool writable() const { return writable_; }
    bool isClosed() const { return closed_; }

    int streamCount() const { return static_cast<int>(streams_.size()); }
    std::shared_ptr<AviStream> stream(int number);
    // The `index`-th stream of type `type` (from 0), or null.
    std::shared_ptr<AviStream> findStream(FOURCC type, LONG index);
    // As findStream, but throws AviError (AVIERR_NODATA) "... has no audio stream".
    std::shared_ptr<AviStream> getStream(FOURCC type, LONG index);
    // Adds a stream after the existing ones. Its length starts at 0 whatever info.dwLength says.
    std::shared_ptr<AviStream> createStream(const AVISTREAMINFOA& info);

    // Completes the file on disk and closes it; idempotent. Later operations on it or its streams throw.
    // When completing fails (the disk is full) the file is closed all the same and throws: on disk it
    // is then a file whose writer died, which opens again with every chunk written.
    void close();

    // False for a file read from disk whose writer did not finish it (a crash): its data index was
    // recovered by walking the chunks.
    bool wasComplete() const { return wasComplete_; }
    // Makes closing write the headers and indexes of a file that was not finished, even without new data.
    void completeOnClose();

    // Size at which a RIFF part is closed and an 'AVIX' part begun (default 1 GiB; 4 KiB to 2 GiB).
    static void setPartSize(std::uint64_t bytes);
    static std::uint64_t partSize();
    // Where the movi list of a new file begins, the room before it holding the header (default 16 KiB,
    // at least 512): streams added later fit there without writing the whole file again.
    static void setHeaderRoom(std::uint32_t bytes);

private:
    friend class AviStream;
    struct Private {};

public:
    AviFile(Private, std::filesystem::path path);

private:
    void createNew();
    void readExisting();

    void checkOpen() const;
    void checkWritable() const;
    // Before the first change of a finished file: its last part becomes open again and what follows its
    // last data chunk (the indexes) is cut off, so that new chunks follow the old ones.
    void beginChanges();
    void appendChunk(AviStream& stream, const void* data, std::uint32_t size, std::uint32_t flags,
                     std::uint64_t positionAdvance);
    void patchLength(const AviStream& stream);
    // Standard indexes the super indexes will have to name once every part has its own, per stream.
    std::size_t superEntriesNeeded(const detail::AviLayout& layout) const;
    // Grows the super indexes (and with them the header) before indexes are written that they must name.
    void reserveIndexRoom();
    void finish();

    // These work on a file and a layout, so that the whole file can also be written again elsewhere.
    // writeHeader rewrites the whole file when the header outgrows its room (if allowed).
    void writeHeader(detail::AviRawFile& file, detail::AviLayout& layout, bool allowRewrite);
    std::vector<std::uint8_t> buildHeader(const detail::AviLayout& layout,
                                          std::vector<std::uint32_t>& strhOffsets) const;
    static bool fits(std::size_t headerBytes, const detail::AviLayout& layout);
    bool partWouldOverflow(const detail::AviLayout& layout, std::uint32_t size) const;
    void closePart(detail::AviRawFile& file, detail::AviLayout& layout);
    void startPart(detail::AviRawFile& file, detail::AviLayout& layout);
    void writeMissingStandardIndexes(detail::AviRawFile& file, detail::AviLayout& layout);
    void writeIdx1(detail::AviRawFile& file, detail::AviLayout& layout);
    // Writes the whole file again in a new file beside it, with more header room, and renames it over
    // the old one: an interruption leaves the old file as it was.
    void rewriteWholeFile(std::size_t headerBytesNeeded);

    std::filesystem::path path_;
    detail::AviRawFile file_;
    bool writable_ = false;
    bool closed_ = false;
    bool changed_ = false; // the file on disk is being written: its last part is open
    bool wasComplete_ = true;
    std::vector<std::unique_ptr<AviStream>> streams_;
    std::vector<std::vector<std::uint8_t>> topExtras_; // whole chunks between hdrl and movi (LIST INFO, ...)
    std::unique_ptr<detail::AviLayout> layout_;
};

using PAVIFILE = std::shared_ptr<AviFile>;
using PAVISTREAM = std::shared_ptr<AviStream>;

} // namespace quolva::store

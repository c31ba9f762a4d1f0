#pragma once
// The RIFF AVI records as they lie in the file, and the in-memory index the AVI services keep of a
// file: where each RIFF part and each data chunk lies. Used by AviFile, AviStream and the reader.
#include "WinTypes.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quolva::store::detail {

static_assert(std::endian::native == std::endian::little, "the AVI records are copied as little-endian bytes");

inline constexpr FOURCC ckRIFF = mmioFOURCC('R', 'I', 'F', 'F');
inline constexpr FOURCC ckLIST = mmioFOURCC('L', 'I', 'S', 'T');
inline constexpr FOURCC ckJUNK = mmioFOURCC('J', 'U', 'N', 'K');
inline constexpr FOURCC formAVI = mmioFOURCC('A', 'V', 'I', ' ');
inline constexpr FOURCC formAVIX = mmioFOURCC('A', 'V', 'I', 'X');
inline constexpr FOURCC listHdrl = mmioFOURCC('h', 'd', 'r', 'l');
inline constexpr FOURCC listStrl = mmioFOURCC('s', 't', 'r', 'l');
inline constexpr FOURCC listMovi = mmioFOURCC('m', 'o', 'v', 'i');
inline constexpr FOURCC listOdml = mmioFOURCC('o', 'd', 'm', 'l');
inline constexpr FOURCC listRec = mmioFOURCC('r', 'e', 'c', ' ');
inline constexpr FOURCC ckAvih = mmioFOURCC('a', 'v', 'i', 'h');
inline constexpr FOURCC ckStrh = mmioFOURCC('s', 't', 'r', 'h');
inline constexpr FOURCC ckStrf = mmioFOURCC('s', 't', 'r', 'f');
inline constexpr FOURCC ckStrn = mmioFOURCC('s', 't', 'r', 'n');
inline constexpr FOURCC ckIndx = mmioFOURCC('i', 'n', 'd', 'x');
inline constexpr FOURCC ckDmlh = mmioFOURCC('d', 'm', 'l', 'h');
inline constexpr FOURCC ckIdx1 = mmioFOURCC('i', 'd', 'x', '1');

inline constexpr DWORD AVIF_HASINDEX = 0x10;
inline constexpr BYTE AVI_INDEX_OF_INDEXES = 0x00;
inline constexpr BYTE AVI_INDEX_OF_CHUNKS = 0x01;
inline constexpr DWORD AVISTDINDEX_DELTAFRAME = 0x80000000u;

#pragma pack(push, 1)
struct MainAVIHeader {
    DWORD dwMicroSecPerFrame;
    DWORD dwMaxBytesPerSec;
    DWORD dwPaddingGranularity;
    DWORD dwFlags;
    DWORD dwTotalFrames;
    DWORD dwInitialFrames;
    DWORD dwStreams;
    DWORD dwSuggestedBufferSize;
    DWORD dwWidth;
    DWORD dwHeight;
    DWORD dwReserved[4];
};
static_assert(sizeof(MainAVIHeader) == 56);

struct AVIStreamHeader {
    FOURCC fccType;
    FOURCC fccHandler;
    DWORD dwFlags;
    WORD wPriority;
    WORD wLanguage;
    DWORD dwInitialFrames;
    DWORD dwScale;
    DWORD dwRate;
    DWORD dwStart;
    DWORD dwLength;
    DWORD dwSuggestedBufferSize;
    DWORD dwQuality;
    DWORD dwSampleSize;
    std::int16_t rcLeft;
    std::int16_t rcTop;
    std::int16_t rcRight;
    std::int16_t rcBottom;
};
static_assert(sizeof(AVIStreamHeader) == 56);
inline constexpr std::uint32_t strhLengthOffset = 32; // offset of dwLength in the record

struct AVIINDEXENTRY {
    DWORD ckid;
    DWORD dwFlags;
    DWORD dwChunkOffset;
    DWORD dwChunkLength;
};
static_assert(sizeof(AVIINDEXENTRY) == 16);

// Header of the OpenDML super index ('indx') and of the standard indexes ('ix##'), after the chunk header.
struct AVIMETAINDEX {
    WORD wLongsPerEntry;
    BYTE bIndexSubType;
    BYTE bIndexType;
    DWORD nEntriesInUse;
    DWORD dwChunkId;
    DWORD dwReserved[3]; // standard index: qwBaseOffset (8 bytes) and dwReserved3
};
static_assert(sizeof(AVIMETAINDEX) == 24);

struct AVISUPERINDEXENTRY {
    std::uint64_t qwOffset;
    DWORD dwSize;
    DWORD dwDuration;
};
static_assert(sizeof(AVISUPERINDEXENTRY) == 16);

struct AVISTDINDEXENTRY {
    DWORD dwOffset;
    DWORD dwSize;
};
static_assert(sizeof(AVISTDINDEXENTRY) == 8);
#pragma pack(pop)

// One data chunk of a stream. `position` is where the chunk begins in the stream: in bytes for streams
// of fixed-size samples, in samples for streams of one sample per chunk.
struct ChunkRef {
    std::uint64_t dataPos;
    std::uint32_t size;
    std::uint32_t flags;
    std::uint64_t position;
};

// A standard index ('ix##') that lies in the file and stays valid, named by the super index.
struct SuperEntry {
    std::uint64_t ixPos; // offset of the ix## chunk header
    std::uint32_t ixSize; // whole chunk, header included
    std::uint32_t duration;
    std::size_t part;
};

struct StreamIndex {
    std::vector<ChunkRef> chunks;
    std::vector<SuperEntry> super;
    std::uint64_t end = 0; // position after the last chunk
    std::uint32_t maxChunk = 0;
    std::uint64_t strhPos = 0; // file offset of the strh record; 0 while the header does not hold it
};

// One RIFF of the file: 'AVI ' first, then 'AVIX' parts. `moviPos` is the offset of the movi LIST header.
struct RiffPart {
    std::uint64_t riffPos = 0;
    std::uint64_t moviPos = 0;
    std::uint64_t end = 0; // end of the RIFF (of the movi data while the part is being written)
    bool closed = false;
};

// Where everything of a file lies: its RIFF parts, the write position and each stream's chunks.
struct AviLayout {
    std::vector<RiffPart> parts;
    std::uint64_t dataEnd = 0; // where the next chunk goes (end of the last part's data while it is open)
    std::size_t entriesInPart = 0; // chunks in the last part
    std::uint32_t superCapacity = 32; // entries of room in each stream's super index ('indx')
    std::vector<StreamIndex> index;
};

inline std::uint64_t padded(std::uint64_t size) { return size + (size & 1u); }

// Data chunk names are two decimal digits of the stream number and two letters of the kind.
bool parseDataChunkId(FOURCC id, int& stream);
FOURCC dataChunkId(int stream, FOURCC twoLetters);
FOURCC indexChunkId(int stream);

} // namespace quolva::store::detail

#pragma once
// The Windows record layouts and constants that the recording files use: the AVI stream description,
// the wave format, the bitmap header. Plain structs with the Windows field names and byte sizes, so
// that they can be copied to and from files and the AVI services byte for byte.
#include <cstdint>

namespace quolva::store {

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using UINT = std::uint32_t;
using HRESULT = std::int32_t;
using FOURCC = DWORD;

constexpr FOURCC mmioFOURCC(char a, char b, char c, char d)
{
    return static_cast<FOURCC>(static_cast<BYTE>(a)) | (static_cast<FOURCC>(static_cast<BYTE>(b)) << 8) |
           (static_cast<FOURCC>(static_cast<BYTE>(c)) << 16) | (static_cast<FOURCC>(static_cast<BYTE>(d)) << 24);
}

inline constexpr FOURCC streamtypeAUDIO = mmioFOURCC('a', 'u', 'd', 's');
inline constexpr FOURCC streamtypeVIDEO = mmioFOURCC('v', 'i', 'd', 's');
inline constexpr FOURCC streamtypeTEXT = mmioFOURCC('t', 'x', 't', 's');

// Flags of AVIStreamWrite and of index entries.
inline constexpr DWORD AVIIF_KEYFRAME = 0x10;

// Modes of AVIFileOpen (OpenFile's OF_* values).
inline constexpr UINT OF_READ = 0x0000;
inline constexpr UINT OF_WRITE = 0x0001;
inline constexpr UINT OF_READWRITE = 0x0002;
inline constexpr UINT OF_SHARE_DENY_NONE = 0x0040;
inline constexpr UINT OF_CREATE = 0x1000;

// Result codes of the AVI services: 0 is success, failures are negative HRESULTs.
constexpr HRESULT MAKE_AVIERR(int error) { return static_cast<HRESULT>(0x80044000u + static_cast<unsigned>(error)); }
inline constexpr HRESULT AVIERR_OK = 0;
inline constexpr HRESULT AVIERR_UNSUPPORTED = MAKE_AVIERR(101);
inline constexpr HRESULT AVIERR_BADFORMAT = MAKE_AVIERR(102);
inline constexpr HRESULT AVIERR_MEMORY = MAKE_AVIERR(103);
inline constexpr HRESULT AVIERR_INTERNAL = MAKE_AVIERR(104);
inline constexpr HRESULT AVIERR_BADFLAGS = MAKE_AVIERR(105);
inline constexpr HRESULT AVIERR_BADPARAM = MAKE_AVIERR(106);
inline constexpr HRESULT AVIERR_BADSIZE = MAKE_AVIERR(107);
inline constexpr HRESULT AVIERR_BADHANDLE = MAKE_AVIERR(108);
inline constexpr HRESULT AVIERR_FILEREAD = MAKE_AVIERR(109);
inline constexpr HRESULT AVIERR_FILEWRITE = MAKE_AVIERR(110);
inline constexpr HRESULT AVIERR_FILEOPEN = MAKE_AVIERR(111);
inline constexpr HRESULT AVIERR_READONLY = MAKE_AVIERR(114);
inline constexpr HRESULT AVIERR_NODATA = MAKE_AVIERR(115);
inline constexpr HRESULT AVIERR_BUFFERTOOSMALL = MAKE_AVIERR(116);
inline constexpr HRESULT AVIERR_ERROR = MAKE_AVIERR(199);

struct RECT {
    std::int32_t left;
    std::int32_t top;
    std::int32_t right;
    std::int32_t bottom;
};
static_assert(sizeof(RECT) == 16);

// The AVI stream description (ANSI flavour), 140 bytes.
struct AVISTREAMINFOA {
    DWORD fccType;
    DWORD fccHandler;
    DWORD dwFlags;
    DWORD dwCaps;
    WORD wPriority;
    WORD wLanguage;
    DWORD dwScale;
    DWORD dwRate;
    DWORD dwStart;
    DWORD dwLength;
    DWORD dwInitialFrames;
    DWORD dwSuggestedBufferSize;
    DWORD dwQuality;
    DWORD dwSampleSize;
    RECT rcFrame;
    DWORD dwEditCount;
    DWORD dwFormatChangeCount;
    char szName[64];
};
static_assert(sizeof(AVISTREAMINFOA) == 140);
using AVISTREAMINFO = AVISTREAMINFOA;

#pragma pack(push, 1)
// The wave format record, 18 bytes, packed as on Windows.
struct WAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18);

inline constexpr WORD WAVE_FORMAT_PCM = 1;

// The sound format as the system passes it around: the wave format record and two zero bytes.
struct SoundFormatArea {
    WAVEFORMATEX format;
    BYTE padding[2];
};
static_assert(sizeof(SoundFormatArea) == 20);

// The 40-byte bitmap header of device-independent bitmaps and video stream formats.
struct BITMAPINFOHEADER {
    DWORD biSize;
    std::int32_t biWidth;
    std::int32_t biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    std::int32_t biXPelsPerMeter;
    std::int32_t biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

inline constexpr DWORD BI_RGB = 0;

} // namespace quolva::store

#pragma once
// The video compression manager under its Video for Windows names, on libavcodec: choosing a compressor
// (ICCompressorChoose), opening one by its FOURCC (ICOpen), and compressing a sequence of frames
// (ICSeqCompressFrameStart, ICSeqCompressFrame, ICSeqCompressFrameEnd, ICCompressorFree).
//
// Frames go in as device-independent bitmaps of the input format: 24 bits per pixel, bytes blue, green,
// red, bottom row first, rows padded to 4 bytes. They are compressed strictly in order and come back in
// order: no encoder reorders frames (B-frames are off), so the n-th compressed frame that comes back is
// the n-th frame that went in. Encoders that look ahead (H.264) give a frame back only some calls after
// it went in; ICSeqCompressFrameFlush hands back what they still hold once the last frame is in.
#include "platform/VideoCompressors.h"
#include "store/WinTypes.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

class QWidget;

namespace quolva::platform {

using store::BITMAPINFOHEADER;
using store::DWORD;
using store::UINT;

// Flags of ICCompressorChoose: which settings the chooser offers besides the quality.
inline constexpr UINT ICMF_CHOOSE_KEYFRAME = 0x0001;
inline constexpr UINT ICMF_CHOOSE_DATARATE = 0x0002;
inline constexpr UINT ICMF_CHOOSE_PREVIEW = 0x0004;
inline constexpr UINT ICMF_CHOOSE_ALLCOMPRESSORS = 0x0008;

inline constexpr DWORD ICMF_COMPVARS_VALID = 0x0001;
inline constexpr FOURCC ICTYPE_VIDEO = store::mmioFOURCC('v', 'i', 'd', 'c');
inline constexpr UINT ICMODE_COMPRESS = 1;

// The size a COMPVARS is declared with before the first ICCompressorChoose (its Win32 byte size).
inline constexpr LONG kCompVarsSize = 64;

// A compressor failed while compressing (not a refusal of the format: that is ICSeqCompressFrameStart's
// false). The message says which compressor and what failed.
class VideoCompressorError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An open compressor (the compressor manager's HIC): which one, and its running sequence.
class VideoCompressorHandle;
using HIC = std::shared_ptr<VideoCompressorHandle>;

// The compressor variables: filled by ICCompressorChoose (or by the caller with ICOpen), used by the
// sequential compression, released by ICCompressorFree.
struct COMPVARS {
    LONG cbSize = 0;      // kCompVarsSize, or ICCompressorChoose refuses
    DWORD dwFlags = 0;    // ICMF_COMPVARS_VALID once a compressor is chosen
    HIC hic;              // the chosen compressor
    DWORD fccType = 0;    // ICTYPE_VIDEO
    DWORD fccHandler = 0; // the chosen compressor's FOURCC
    BITMAPINFOHEADER lpbiIn{};          // the input format of the sequence (biSize 0: none)
    std::vector<std::uint8_t> lpbiOut;  // the output format: a BITMAPINFOHEADER and the codec's extra data
    LONG lFrame = 0;      // frames compressed in the sequence
    LONG lKey = 0;        // a key frame every lKey frames; 0: the compressor decides
    LONG lDataRate = 0;   // KB per second; 0: none (the quality governs)
    LONG lQ = ICQUALITY_DEFAULT;
    LONG lKeyCount = 0;   // frames since the last key frame
};

// The output format's header (null when there is none).
const BITMAPINFOHEADER* OutputFormat(const COMPVARS& pc);

// Shows the compressor chooser (through Prompts) over the input format `pvIn`, with the quality and,
// as `uiFlags` ask, the key-frame interval and the data rate. False when the user cancels or `pc` is
// not declared (cbSize); then `pc` is unchanged. On success `pc` holds the chosen compressor and its
// settings, and an output format for `pvIn` that ICSeqCompressFrameStart completes.
bool ICCompressorChoose(QWidget* hwnd, UINT uiFlags, const BITMAPINFOHEADER* pvIn, const void* lpData, COMPVARS* pc,
                        const QString& lpszTitle);

// Opens the compressor with this FOURCC for compression; null when there is none.
HIC ICOpen(DWORD fccType, DWORD fccHandler, UINT wMode);

// Prepares compressing a sequence of frames of `lpbi` at `rate`/`scale` frames per second (the rate is
// what a data rate is spread over; an encoder whose time base has narrow terms is given the nearest rate
// it can say). False, with nothing started, when the compressor cannot take frames of this format (sizes
// its pixel layout cannot hold, a format that is not a 24-bit DIB): StartRefusal says why. On success
// lpbiOut holds the exact output format, with the codec's extra data where it needs any.
bool ICSeqCompressFrameStart(COMPVARS* pc, const BITMAPINFOHEADER* lpbi, DWORD rate = 15, DWORD scale = 1);

// Why the last ICSeqCompressFrameStart on `pc` refused, in the encoder's own words where it gave any
// ("width not divisible by 2 (65x48)"); empty after a start that succeeded.
QString StartRefusal(const COMPVARS& pc);

// Compresses the next frame (`lpBits`: a DIB of the sequence's input format). Returns the oldest
// compressed frame not yet handed back, with its size in *plSize and the compressor's key-frame flag in
// *pfKey; null with size 0 while the compressor still holds every frame back. The data stays valid until
// the next call. Throws VideoCompressorError when compression fails.
const void* ICSeqCompressFrame(COMPVARS* pc, UINT uiFlags, const void* lpBits, bool* pfKey, LONG* plSize);

// After the last frame: the compressed frames the compressor still holds, one per call, in order; null
// with size 0 when none is left. Throws VideoCompressorError when compression fails.
const void* ICSeqCompressFrameFlush(COMPVARS* pc, bool* pfKey, LONG* plSize);

// Ends the sequence (frames not flushed are dropped); the compressor stays chosen. Idempotent.
void ICSeqCompressFrameEnd(COMPVARS* pc);

// Releases the compressor and the formats; `pc` keeps its cbSize and is otherwise as declared. Idempotent.
void ICCompressorFree(COMPVARS* pc);

} // namespace quolva::platform

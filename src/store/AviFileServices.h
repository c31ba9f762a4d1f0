#pragma once
// The AVI file services under their Video for Windows names, so that callers read one-to-one against
// the Win32 calls they stand for. Thin wrappers over AviFile and AviStream: they return AVIERR_OK (0)
// or an AVIERR_* code and never throw; the text of the last failure on this thread (which file, what
// went wrong) is AviLastError().
//
// Handles are reference-counted: PAVIFILE and PAVISTREAM share one count per file, a stream keeps its
// file alive, and the file is completed on disk when its last handle is released (or destroyed).
// The Release functions clear the caller's handle, so releasing twice is harmless.
#include "AviFile.h"
#include "AviStream.h"
#include "WinTypes.h"

#include <filesystem>
#include <string>

namespace quolva::store {

void AVIFileInit();
void AVIFileExit();

// mode: OF_CREATE | OF_WRITE | OF_SHARE_DENY_NONE (0x1041) creates or empties the file;
// OF_READWRITE | OF_SHARE_DENY_NONE (0x42) opens an existing file for reading and writing; OF_READ reads.
HRESULT AVIFileOpen(PAVIFILE* ppfile, const std::filesystem::path& path, UINT mode, const void* handler = nullptr);
HRESULT AVIFileCreateStream(const PAVIFILE& pfile, PAVISTREAM* ppavi, const AVISTREAMINFOA* psi);
HRESULT AVIFileCreateStream(const PAVIFILE& pfile, PAVISTREAM* ppavi, const AVISTREAMINFOA& psi);
// The lParam-th stream of type fccType (from 0); AVIERR_NODATA and a null handle when there is none.
HRESULT AVIFileGetStream(const PAVIFILE& pfile, PAVISTREAM* ppavi, DWORD fccType, LONG lParam);
// Returns the remaining handles of the file; 0 means the file is complete on disk.
ULONG AVIFileRelease(PAVIFILE& pfile);

// Copies min(lSize, 140) bytes of the stream description.
HRESULT AVIStreamInfo(const PAVISTREAM& pavi, AVISTREAMINFOA* psi, LONG lSize);
// With lpFormat null, *lpcbFormat receives the format size; otherwise min(*lpcbFormat, size) bytes are
// copied and *lpcbFormat receives that count.
HRESULT AVIStreamReadFormat(const PAVISTREAM& pavi, LONG lPos, void* lpFormat, LONG* lpcbFormat);
HRESULT AVIStreamSetFormat(const PAVISTREAM& pavi, LONG lPos, const void* lpFormat, LONG cbFormat);
// -1 on a null or closed handle.
LONG AVIStreamLength(const PAVISTREAM& pavi);
LONG AVIStreamStart(const PAVISTREAM& pavi);
HRESULT AVIStreamWrite(const PAVISTREAM& pavi, LONG lStart, LONG lSamples, const void* lpBuffer, LONG cbBuffer,
                       DWORD dwFlags, LONG* plSampWritten, LONG* plBytesWritten);
// Past the end of the data: AVIERR_OK with 0 bytes and 0 samples. lpBuffer null: the sizes only.
HRESULT AVIStreamRead(const PAVISTREAM& pavi, LONG lStart, LONG lSamples, void* lpBuffer, LONG cbBuffer,
                      LONG* plBytes, LONG* plSamples);
LONG AVIStreamSampleToTime(const PAVISTREAM& pavi, LONG lSample);
LONG AVIStreamTimeToSample(const PAVISTREAM& pavi, LONG lTime);
ULONG AVIStreamRelease(PAVISTREAM& pavi);

// The message of the last failure of these functions on this thread (not cleared by successes).
const std::string& AviLastError();

} // namespace quolva::store

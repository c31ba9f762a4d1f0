#include "AviFileServices.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace quolva::store {

namespace {

thread_local std::string tLastError;

HRESULT remember(HRESULT code, const std::string& message)
{
    tLastError = message;
    return code;
}

// Runs `work`, turning its exceptions into result codes and the last-error text.
template <typename Work> HRESULT guarded(Work&& work) noexcept
{
    try {
        work();
        return AVIERR_OK;
    } catch (const AviError& e) {
        return remember(e.code(), e.what());
    } catch (const std::bad_alloc&) {
        return remember(AVIERR_MEMORY, "Out of memory in the AVI file services");
    } catch (const std::exception& e) {
        return remember(AVIERR_ERROR, e.what());
    } catch (...) {
        return remember(AVIERR_ERROR, "Unknown failure in the AVI file services");
    }
}

HRESULT noHandle(const char* function)
{
    return remember(AVIERR_BADHANDLE, std::string(function) + ": no AVI handle");
}

} // namespace

void AVIFileInit() {}

void AVIFileExit() {}

const std::string& AviLastError()
{
    return tLastError;
}

HRESULT AVIFileOpen(PAVIFILE* ppfile, const std::filesystem::path& path, UINT mode, const void* /*handler*/)
{
    if (ppfile == nullptr)
        return remember(AVIERR_BADPARAM, "AVIFileOpen: no place for the file handle");
    ppfile->reset();
    return guarded([&] { *ppfile = AviFile::open(path, mode); });
}

HRESULT AVIFileCreateStream(const PAVIFILE& pfile, PAVISTREAM* ppavi, const AVISTREAMINFOA* psi)
{
    if (ppavi != nullptr)
        ppavi->reset();
    if (!pfile)
        return noHandle("AVIFileCreateStream");
    if (ppavi == nullptr || psi == nullptr)
        return remember(AVIERR_BADPARAM, "AVIFileCreateStream: no stream description or no place for the handle");
    return guarded([&] { *ppavi = pfile->createStream(*psi); });
}

HRESULT AVIFileCreateStream(const PAVIFILE& pfile, PAVISTREAM* ppavi, const AVISTREAMINFOA& psi)
{
    return AVIFileCreateStream(pfile, ppavi, &psi);
}

HRESULT AVIFileGetStream(const PAVIFILE& pfile, PAVISTREAM* ppavi, DWORD fccType, LONG lParam)
{
    if (ppavi != nullptr)
        ppavi->reset();
    if (!pfile)
        return noHandle("AVIFileGetStream");
    if (ppavi == nullptr)
        return remember(AVIERR_BADPARAM, "AVIFileGetStream: no place for the stream handle");
    return guarded([&] { *ppavi = pfile->getStream(fccType, lParam); });
}

ULONG AVIFileRelease(PAVIFILE& pfile)
{
    if (!pfile)
        return 0;
    const auto remaining = static_cast<ULONG>(pfile.use_count() - 1);
    if (remaining == 0)
        guarded([&] { pfile->close(); });
    pfile.reset();
    return remaining;
}

HRESULT AVIStreamInfo(const PAVISTREAM& pavi, AVISTREAMINFOA* psi, LONG lSize)
{
    if (!pavi)
        return noHandle("AVIStreamInfo");
    if (psi == nullptr || lSize < 0)
        return remember(AVIERR_BADPARAM, "AVIStreamInfo: no place for the stream description");
    return guarded([&] {
        const AVISTREAMINFOA info = pavi->info();
        std::memcpy(psi, &info, std::min<std::size_t>(static_cast<std::size_t>(lSize), sizeof info));
    });
}

HRESULT AVIStreamReadFormat(const PAVISTREAM& pavi, LONG lPos, void* lpFormat, LONG* lpcbFormat)
{
    if (!pavi)
        return noHandle("AVIStreamReadFormat");
    if (lpcbFormat == nullptr || *lpcbFormat < 0)
        return remember(AVIERR_BADPARAM, "AVIStreamReadFormat: no format size given");
    return guarded([&] {
        (void)lPos; // a stream has one format, from position 0 on
        const auto& format = pavi->format();
        if (lpFormat == nullptr) {
            *lpcbFormat = static_cast<LONG>(format.size());
            return;
        }
        const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(*lpcbFormat), format.size());
        if (n > 0)
            std::memcpy(lpFormat, format.data(), n);
        *lpcbFormat = static_cast<LONG>(n);
    });
}

HRESULT AVIStreamSetFormat(const PAVISTREAM& pavi, LONG lPos, const void* lpFormat, LONG cbFormat)
{
    if (!pavi)
        return noHandle("AVIStreamSetFormat");
    return guarded([&] { pavi->setFormat(lPos, lpFormat, cbFormat); });
}

LONG AVIStreamLength(const PAVISTREAM& pavi)
{
    if (!pavi || pavi->file().isClosed()) {
        noHandle("AVIStreamLength");
        return -1;
    }
    return pavi->length();
}

LONG AVIStreamStart(const PAVISTREAM& pavi)
{
    if (!pavi || pavi->file().isClosed()) {
        noHandle("AVIStreamStart");
        return -1;
    }
    return pavi->start();
}

HRESULT AVIStreamWrite(const PAVISTREAM& pavi, LONG lStart, LONG lSamples, const void* lpBuffer, LONG cbBuffer,
                       DWORD dwFlags, LONG* plSampWritten, LONG* plBytesWritten)
{
    if (plSampWritten != nullptr)
        *plSampWritten = 0;
    if (plBytesWritten != nullptr)
        *plBytesWritten = 0;
    if (!pavi)
        return noHandle("AVIStreamWrite");
    return guarded([&] {
        const AviStream::Transfer done = pavi->write(lStart, lSamples, lpBuffer, cbBuffer, dwFlags);
        if (plSampWritten != nullptr)
            *plSampWritten = done.samples;
        if (plBytesWritten != nullptr)
            *plBytesWritten = done.bytes;
    });
}

HRESULT AVIStreamRead(const PAVISTREAM& pavi, LONG lStart, LONG lSamples, void* lpBuffer, LONG cbBuffer,
                      LONG* plBytes, LONG* plSamples)
{
    if (plBytes != nullptr)
        *plBytes = 0;
    if (plSamples != nullptr)
        *plSamples = 0;
    if (!pavi)
        return noHandle("AVIStreamRead");
    return guarded([&] {
        const AviStream::Transfer done = pavi->read(lStart, lSamples, lpBuffer, cbBuffer);
        if (plBytes != nullptr)
            *plBytes = done.bytes;
        if (plSamples != nullptr)
            *plSamples = done.samples;
    });
}

LONG AVIStreamSampleToTime(const PAVISTREAM& pavi, LONG lSample)
{
    if (!pavi) {
        noHandle("AVIStreamSampleToTime");
        return -1;
    }
    return pavi->sampleToTime(lSample);
}

LONG AVIStreamTimeToSample(const PAVISTREAM& pavi, LONG lTime)
{
    if (!pavi) {
        noHandle("AVIStreamTimeToSample");
        return -1;
    }
    return pavi->timeToSample(lTime);
}

ULONG AVIStreamRelease(PAVISTREAM& pavi)
{
    if (!pavi)
        return 0;
    const auto remaining = static_cast<ULONG>(pavi.use_count() - 1);
    if (remaining == 0)
        guarded([&] { pavi->file().close(); });
    pavi.reset();
    return remaining;
}

} // namespace quolva::store

// Fuzz target of the AVI reader and of the AVI structure check: the input is checked, then opened as an
// AVI file for reading and for reading and writing; its streams, descriptions, formats and data are read,
// and in the second pass something is written and the file completed. Failures must be AviError exceptions, never crashes, hangs or
// allocations beyond what the input's size allows.
#include "store/AviCheck.h"
#include "store/AviFile.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

using namespace quolva::store;

namespace {

int inputFile()
{
    static const int fd = memfd_create("fuzz_avi", 0);
    return fd;
}

void load(const std::uint8_t* data, std::size_t size)
{
    const int fd = inputFile();
    if (ftruncate(fd, 0) != 0)
        return;
    std::size_t done = 0;
    while (done < size) {
        ssize_t n = pwrite(fd, data + done, size - done, static_cast<off_t>(done));
        if (n <= 0)
            return;
        done += static_cast<std::size_t>(n);
    }
}

void exercise(const std::string& path, UINT mode)
{
    std::vector<char> buffer(1 << 16);
    try {
        auto file = AviFile::open(path, mode);
        for (int s = 0; s < file->streamCount(); ++s) {
            auto stream = file->stream(s);
            try {
                const AVISTREAMINFOA info = stream->info();
                (void)stream->format().size();
                (void)stream->sampleToTime(stream->length());
                (void)stream->timeToSample(1000);
                LONG position = 0;
                for (int reads = 0; reads < 64; ++reads) {
                    const LONG want = info.dwSampleSize ? 4096 : 1;
                    const auto got = stream->read(position, want, buffer.data(), static_cast<LONG>(buffer.size()));
                    if (got.samples <= 0)
                        break;
                    position += got.samples;
                }
                (void)stream->read(stream->length(), 1, nullptr, 0);
            } catch (const AviError&) {
            }
        }
        if (mode != OF_READ) {
            if (file->streamCount() > 0) {
                auto first = file->stream(0);
                const char bytes[6] = {1, 2, 3, 4, 5, 6};
                first->write(first->length(), 6, bytes, 6, AVIIF_KEYFRAME);
            }
            AVISTREAMINFOA info{};
            info.fccType = streamtypeAUDIO;
            info.dwScale = 1;
            info.dwRate = 8000;
            info.dwSampleSize = 1;
            auto added = file->createStream(info);
            added->write(0, 3, "abc", 3, 0);
            file->close();
        }
    } catch (const AviError&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (inputFile() < 0)
        return 0;
    AviFile::setPartSize(4096); // small parts, so that writes reach the OpenDML code
    const std::string path = "/proc/self/fd/" + std::to_string(inputFile());
    load(data, size);
    try {
        (void)CheckAviFile(path); // quolvactl check's independent walk of the same bytes
    } catch (const StoreError&) {
    }
    exercise(path, OF_READ);
    load(data, size);
    exercise(path, OF_READWRITE | OF_SHARE_DENY_NONE);
    return 0;
}

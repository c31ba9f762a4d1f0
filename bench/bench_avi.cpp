// AVI write throughput beside the same machine's raw write() throughput.
//   bench_avi [FOLDER] [MEGABYTES]   (defaults: /tmp, 1200 MB - past the first 1 GiB RIFF part)
// Each figure covers writing the data and flushing it to disk; the AVI figures include completing the
// file (indexes, header) on release.
#include "store/AviFileServices.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

using namespace quolva::store;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

double rawWrite(const std::string& path, std::size_t total, std::size_t block)
{
    std::vector<char> data(block, 'x');
    const auto start = Clock::now();
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        std::perror(path.c_str());
        std::exit(1);
    }
    for (std::size_t done = 0; done < total; done += block) {
        if (::write(fd, data.data(), block) != static_cast<ssize_t>(block)) {
            std::perror("write");
            std::exit(1);
        }
    }
    ::fsync(fd);
    ::close(fd);
    const double s = seconds(start);
    ::unlink(path.c_str());
    return double(total) / s / 1e6;
}

// Video frames of `frameBytes` and, every tenth frame, one second of default-format sound (22054 bytes),
// as the recorder and the publisher write them; or sound alone when frameBytes is 0.
double aviWrite(const std::string& path, std::size_t total, std::size_t frameBytes)
{
    std::vector<char> frame(frameBytes ? frameBytes : 1, 'v'), sound(22054, 's');
    const auto start = Clock::now();
    PAVIFILE avi;
    PAVISTREAM audio, video;
    if (AVIFileOpen(&avi, path, OF_CREATE | OF_WRITE | OF_SHARE_DENY_NONE) != AVIERR_OK) {
        std::fprintf(stderr, "%s\n", AviLastError().c_str());
        std::exit(1);
    }
    AVISTREAMINFOA ai{};
    ai.fccType = streamtypeAUDIO;
    ai.dwScale = 1;
    ai.dwRate = 11025;
    ai.dwSampleSize = 2;
    AVIFileCreateStream(avi, &audio, ai);
    SoundFormatArea format{};
    format.format = {WAVE_FORMAT_PCM, 1, 11025, 22050, 2, 16, 0};
    AVIStreamSetFormat(audio, 0, &format, 20);
    if (frameBytes) {
        AVISTREAMINFOA vi{};
        vi.fccType = streamtypeVIDEO;
        vi.dwScale = 1;
        vi.dwRate = 10;
        AVIFileCreateStream(avi, &video, vi);
        BITMAPINFOHEADER bih{40, 1024, 341, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
        AVIStreamSetFormat(video, 0, &bih, 40);
    }
    std::size_t done = 0;
    for (LONG i = 0; done < total; ++i) {
        if (frameBytes) {
            if (AVIStreamWrite(video, i, 1, frame.data(), static_cast<LONG>(frameBytes), AVIIF_KEYFRAME, nullptr,
                               nullptr) != AVIERR_OK) {
                std::fprintf(stderr, "%s\n", AviLastError().c_str());
                std::exit(1);
            }
            done += frameBytes;
        }
        if (!frameBytes || i % 10 == 0) {
            AVIStreamWrite(audio, AVIStreamLength(audio), 22054, sound.data(), 22054, 0, nullptr, nullptr);
            done += sound.size();
        }
    }
    AVIStreamRelease(audio);
    AVIStreamRelease(video);
    AVIFileRelease(avi);
    const double s = seconds(start);
    ::unlink(path.c_str());
    return double(done) / s / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string folder = argc > 1 ? argv[1] : "/tmp";
    const std::size_t total = (argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1200) * 1000 * 1000;
    const std::string file = folder + "/bench_avi." + std::to_string(::getpid());
    std::printf("writing %.0f MB in %s, flushed to disk; best of 3 runs\n", double(total) / 1e6, folder.c_str());
    double raw = 0, avi = 0, rawSmall = 0, aviSound = 0;
    for (int run = 0; run < 3; ++run) {
        raw = std::max(raw, rawWrite(file, total, 1 << 20));
        avi = std::max(avi, aviWrite(file + ".avi", total, 1 << 20));
        rawSmall = std::max(rawSmall, rawWrite(file, total / 4, 22054));
        aviSound = std::max(aviSound, aviWrite(file + ".avi", total / 4, 0));
    }
    std::printf("%-44s %8.1f MB/s\n", "raw write(), 1 MB blocks", raw);
    std::printf("%-44s %8.1f MB/s\n", "AVI, 1 MB video frames + 1 s sound blocks", avi);
    std::printf("%-44s %8.1f MB/s\n", "raw write(), 22054-byte blocks", rawSmall);
    std::printf("%-44s %8.1f MB/s\n", "AVI, 1 s sound blocks (22054 bytes)", aviSound);
    return 0;
}

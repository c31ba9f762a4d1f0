// Frame store speed: how many frames a second can be JPEG-encoded and appended (the capture tick
// needs 10 a second), the encode alone, and the raw write() speed of the same disk for comparison.
//   bench_framestore [FOLDER]   (files are written to FOLDER, default the temporary folder)
#include "store/FrameStore.h"
#include "store/Jpeg.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

using namespace quolva::store;
using Clock = std::chrono::steady_clock;

namespace {

constexpr double kSecondsPerFigure = 2.0;

// A busy desktop in the screen grab's layout (B, G, R, X): window panels, gradients, rows of
// glyph-like strokes and some photo-like noise. `frame` shifts the content so frames differ.
std::vector<std::uint8_t> BusyScreen(int width, int height, int frame)
{
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 4);
    std::uint32_t noise = 12345u + static_cast<std::uint32_t>(frame);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            noise = noise * 1664525u + 1013904223u;
            const int sx = x + frame * 3;
            std::uint8_t* p = &pixels[(static_cast<std::size_t>(y) * width + x) * 4];
            const int panel = (sx / 320 + y / 240) % 4;
            std::uint8_t r, g, b;
            if (panel == 0) { // text on white
                const bool ink = (y % 18 < 12) && ((sx * 7 + (y % 18) * 3) % 11 < 4) && (sx % 60 < 52);
                r = g = b = ink ? 30 : 250;
            } else if (panel == 1) { // gradient
                r = static_cast<std::uint8_t>(sx);
                g = static_cast<std::uint8_t>(y);
                b = static_cast<std::uint8_t>(128 + (sx ^ y) % 64);
            } else if (panel == 2) { // photo-like noise
                r = static_cast<std::uint8_t>(100 + (noise >> 28) + sx % 40);
                g = static_cast<std::uint8_t>(140 + (noise >> 29) + y % 30);
                b = static_cast<std::uint8_t>(60 + (noise >> 28));
            } else { // a dark editor with coloured code
                const bool ink = (y % 16 < 10) && ((sx * 5 + y) % 13 < 5) && (sx % 400 < 300);
                r = ink ? 220 : 40;
                g = ink ? static_cast<std::uint8_t>(120 + sx % 100) : 42;
                b = ink ? 90 : 54;
            }
            p[0] = b;
            p[1] = g;
            p[2] = r;
            p[3] = 0xFF;
        }
    }
    return pixels;
}

std::vector<std::uint8_t> ToRgb(const std::vector<std::uint8_t>& xrgb)
{
    std::vector<std::uint8_t> rgb(xrgb.size() / 4 * 3);
    for (std::size_t i = 0, j = 0; i < xrgb.size(); i += 4, j += 3) {
        rgb[j] = xrgb[i + 2];
        rgb[j + 1] = xrgb[i + 1];
        rgb[j + 2] = xrgb[i];
    }
    return rgb;
}

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// Runs `step` until the time budget is spent; returns steps per second.
template <typename Step>
double Rate(Step&& step, int* steps = nullptr)
{
    const auto start = Clock::now();
    int count = 0;
    do {
        step(count);
        ++count;
    } while (Seconds(start) < kSecondsPerFigure);
    if (steps)
        *steps = count;
    return count / Seconds(start);
}

void BenchSize(int width, int height, const std::filesystem::path& folder)
{
    constexpr int kDistinctFrames = 8;
    std::vector<std::vector<std::uint8_t>> xrgb, rgb;
    for (int i = 0; i < kDistinctFrames; ++i) {
        xrgb.push_back(BusyScreen(width, height, i));
        rgb.push_back(ToRgb(xrgb.back()));
    }
    auto xrgbView = [&](int i) {
        return PictureView{xrgb[i % kDistinctFrames].data(), width, height, width * 4, PixelLayout::Xrgb32};
    };
    auto rgbView = [&](int i) {
        return PictureView{rgb[i % kDistinctFrames].data(), width, height, width * 3, PixelLayout::Rgb24};
    };

    std::size_t jpegBytes = 0;
    int encodes = 0;
    const double encodeXrgb = Rate([&](int i) { jpegBytes += EncodeJpeg(xrgbView(i)).size(); }, &encodes);
    const double encodeRgb = Rate([&](int i) { EncodeJpeg(rgbView(i)); });

    const std::filesystem::path path = folder / "bench_framestore.avi.xxx";
    int appends = 0;
    double appendRate = 0;
    std::int64_t fileSize = 0;
    {
        FrameStore store = FrameStore::CreateFrameStore(path);
        appendRate = Rate([&](int i) { store.AppendFrame(xrgbView(i)); }, &appends);
        store.AddToFrameCount(appends);
        fileSize = store.Size();
    }
    std::filesystem::remove(path);

    const double average = static_cast<double>(jpegBytes) / encodes;
    std::printf("%dx%d busy frames (JPEG q90, average %.0f KB):\n", width, height, average / 1024);
    std::printf("  append (encode + write), 32-bit input: %7.1f frames/s  %6.2f ms/frame  %6.1f MB/s to disk\n",
                appendRate, 1000 / appendRate, static_cast<double>(fileSize) / appends * appendRate / 1e6);
    std::printf("  encode only, 32-bit input:             %7.1f frames/s  %6.2f ms/frame\n", encodeXrgb,
                1000 / encodeXrgb);
    std::printf("  encode only, 24-bit input:             %7.1f frames/s  %6.2f ms/frame\n", encodeRgb,
                1000 / encodeRgb);
}

void BenchRawWrite(const std::filesystem::path& folder)
{
    constexpr std::size_t kBlock = 256 * 1024; // about one busy full-HD frame
    constexpr std::int64_t kTotal = std::int64_t{512} << 20;
    const std::filesystem::path path = folder / "bench_framestore.raw";
    std::vector<char> block(kBlock, 'q');
    const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (file < 0) {
        std::perror("bench_framestore: raw write");
        return;
    }
    const auto start = Clock::now();
    std::int64_t written = 0;
    while (written < kTotal) {
        const ssize_t done = ::write(file, block.data(), block.size());
        if (done <= 0) {
            std::perror("bench_framestore: raw write");
            break;
        }
        written += done;
    }
    const double buffered = Seconds(start);
    ::fdatasync(file);
    const double synced = Seconds(start);
    ::close(file);
    std::filesystem::remove(path);
    std::printf("raw write() of %zu KB blocks, %lld MB: %7.1f MB/s into the page cache, %7.1f MB/s including "
                "fdatasync\n",
                kBlock / 1024, static_cast<long long>(written >> 20), written / buffered / 1e6, written / synced / 1e6);
}

} // namespace

int main(int argc, char** argv)
{
    const std::filesystem::path folder = argc > 1 ? std::filesystem::path(argv[1])
                                                  : std::filesystem::temp_directory_path();
    std::printf("bench_framestore: files in %s; the capture tick needs 10 appends/s\n", folder.c_str());
    try {
        BenchSize(1920, 1080, folder);
        BenchSize(640, 480, folder);
        BenchRawWrite(folder);
    } catch (const StoreError& error) {
        std::fprintf(stderr, "bench_framestore: %s\n", error.what());
        return 1;
    }
    return 0;
}

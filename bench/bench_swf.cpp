// SWF export speed beside a one-core zlib level-9 baseline of the same pixels, and the export's peak
// memory for 100 and 1000 frames.
//   bench_swf [all|speed|memory] [FRAMES] [WIDTH] [HEIGHT]   (defaults: all, 30 frames of 1280 x 720)
// Speed: the whole export (reading, decoding, converting, compressing, writing) on every core, and on one
// thread, in frames per second; the baseline compresses the very pixels the export compresses (the
// decoded frames as alpha, red, green, blue) with compress2 at level 9 on one thread, and nothing else.
// Memory: each export runs in a process of its own (this program, started again), which reports its
// peak resident size (VmHWM) when the movie is written.
#include "../tests/support/RecordingFixture.h"
#include "editor/OpenRecording.h"
#include "publish/SwfExport.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>

#include <zlib.h>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

using namespace quolva;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// Something like a desktop: a gradient, windows with lines of text, a noisy photo-like patch, and a
// block that moves with the frame so that every frame differs.
QImage ScreenLike(int k, int width, int height)
{
    QImage picture(width, height, QImage::Format_RGB32);
    QPainter painter(&picture);
    QLinearGradient ramp(0, 0, width, height);
    ramp.setColorAt(0, QColor(30, 80, 160));
    ramp.setColorAt(1, QColor(200, 140, 60));
    painter.fillRect(picture.rect(), ramp);
    for (int w = 0; w < 3; ++w) {
        const QRect window(40 + w * width / 4, 40 + w * 60, width / 2, height / 2);
        painter.fillRect(window, QColor(245, 245, 240));
        painter.fillRect(window.x(), window.y(), window.width(), 24, QColor(60, 90, 150));
        painter.setPen(Qt::black);
        for (int line = 0; line < window.height() / 16 - 2; ++line)
            painter.drawText(window.x() + 8, window.y() + 44 + line * 16,
                             QStringLiteral("Line %1 of window %2: the quick brown fox %3").arg(line).arg(w).arg(k + line));
    }
    std::uint32_t seed = 12345;
    const QRect photo(width * 3 / 5, height * 3 / 5, width / 3, height / 3);
    for (int y = photo.top(); y <= photo.bottom(); ++y)
        for (int x = photo.left(); x <= photo.right(); ++x) {
            seed = seed * 1664525 + 1013904223;
            picture.setPixel(x, y, qRgb((x * 3 + (seed >> 28)) & 255, (y * 2 + (seed >> 26)) & 255, (x + y) & 255));
        }
    painter.fillRect((k * 17) % (width - 64), height - 80, 64, 48, QColor(220, 40, 40));
    return picture;
}

QString MakeBenchRecording(const QString& folder, const QString& name, int frames, int width, int height)
{
    test::RecordingRecipe recipe{.frames = frames, .width = width, .height = height};
    recipe.soundBytes = std::int64_t{frames} * 22050 / 10; // 10 frames a second of 11025 Hz 16-bit sound
    // Ten pictures, each used for a run of frames, keep making a long recording quick.
    std::vector<QImage> pictures;
    for (int i = 0; i < 10; ++i)
        pictures.push_back(ScreenLike(i, width, height));
    recipe.picture = [&](int k, int, int) { return pictures[static_cast<std::size_t>(k % 10)]; };
    return test::MakeRecording(folder, name, recipe);
}

struct ExportTiming {
    double seconds = 0;
    double cpuSeconds = 0; // of every thread of the process
    int frames = 0;
};

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

ExportTiming TimeExport(const QString& recordingPath, const QString& output, unsigned threads)
{
    editor::OpenRecording recording;
    recording.Open(recordingPath);
    publish::SwfExport swf(recording, recording.frameCount);
    swf.threads = threads;
    const double cpu = CpuSeconds();
    const auto start = Clock::now();
    swf.Run(output);
    return {seconds(start), CpuSeconds() - cpu, swf.framesWritten()};
}

long PeakKilobytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

// Started as `bench_swf --memory REC.avi OUT.swf`: one export, then its peak.
int MemoryRun(const QString& recordingPath, const QString& output)
{
    const long before = PeakKilobytes();
    const ExportTiming timing = TimeExport(recordingPath, output, 0);
    std::printf("%d %ld %ld %.2f\n", timing.frames, before, PeakKilobytes(), timing.seconds);
    return 0;
}

// The baseline: compress2 at level 9 of the pixels the export compresses, on one thread; the time
// of the compression alone.
double BaselineSeconds(const QString& recordingPath, int frames, std::size_t* compressedBytes)
{
    editor::OpenRecording recording;
    recording.Open(recordingPath);
    std::vector<std::uint8_t> pixels, compressed;
    double total = 0;
    *compressedBytes = 0;
    for (int k = 0; k < frames; ++k) {
        const QImage frame = *recording.ReadNextPicture();
        pixels.resize(static_cast<std::size_t>(frame.width()) * static_cast<std::size_t>(frame.height()) * 4);
        publish::SwfExport::ConvertFrame(frame, pixels.data());
        compressed.resize(pixels.size() + pixels.size() / 100 + 12);
        auto length = static_cast<uLongf>(compressed.size());
        const auto start = Clock::now();
        compress2(compressed.data(), &length, pixels.data(), pixels.size(), 9);
        total += seconds(start);
        *compressedBytes += length;
    }
    return total;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 4 && std::string(argv[1]) == "--memory") {
        QCoreApplication application(argc, argv);
        return MemoryRun(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    QGuiApplication application(argc, argv); // fonts for the pictures
    const std::string what = argc > 1 ? argv[1] : "all";
    const int frames = argc > 2 ? std::atoi(argv[2]) : 30;
    const int width = argc > 3 ? std::atoi(argv[3]) : 1280;
    const int height = argc > 4 ? std::atoi(argv[4]) : 720;
    if (what != "all" && what != "speed" && what != "memory") {
        std::fprintf(stderr, "usage: bench_swf [all|speed|memory] [FRAMES] [WIDTH] [HEIGHT]\n");
        return 2;
    }
    QTemporaryDir folder;
    std::printf("bench_swf: %u cores\n", std::thread::hardware_concurrency());

    if (what != "memory") {
        // Three rounds, each timing the baseline and both exports one after the other; the best of each
        // is reported, so that a burst of other work on the machine does not count against one of them.
        const QString rec = MakeBenchRecording(folder.path(), QStringLiteral("speed.avi"), frames + 1, width, height);
        double baseline = 1e9, all = 1e9, one = 1e9, allCpu = 0;
        std::size_t compressedBytes = 0;
        for (int round = 0; round < 3; ++round) {
            baseline = std::min(baseline, BaselineSeconds(rec, frames, &compressedBytes));
            const ExportTiming timing = TimeExport(rec, folder.filePath(QStringLiteral("all.swf")), 0);
            if (timing.seconds < all) {
                all = timing.seconds;
                allCpu = timing.cpuSeconds;
            }
            one = std::min(one, TimeExport(rec, folder.filePath(QStringLiteral("one.swf")), 1).seconds);
        }
        const double baselineFps = frames / baseline, allFps = frames / all, oneFps = frames / one;
        std::printf("speed, %d frames of %dx%d (%.0f KB compressed a frame), best of 3 rounds:\n", frames, width, height,
                    double(compressedBytes) / frames / 1024);
        std::printf("  baseline, compress2 level 9 on one core: %7.2f frames/s\n", baselineFps);
        std::printf("  export on one thread:                    %7.2f frames/s (%.2fx baseline)\n", oneFps,
                    oneFps / baselineFps);
        std::printf("  export on every core:                    %7.2f frames/s (%.2fx baseline; target >= 1.8x on 2 cores)\n",
                    allFps, allFps / baselineFps);
        std::printf("  (the export on every core had %.2f cores' time: a figure well below the core count means\n"
                    "   other work on the machine took the rest)\n", allCpu / all);
    }
    if (what == "speed")
        return 0;

    std::printf("peak memory of an export in a process of its own, frames of %dx%d:\n", width, height);
    long peaks[2] = {};
    const int counts[2] = {100, 1000};
    for (int i = 0; i < 2; ++i) {
        const QString memoryRec = MakeBenchRecording(folder.path(), QStringLiteral("memory%1.avi").arg(counts[i]),
                                                     counts[i] + 1, width, height);
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--memory"), memoryRec, folder.filePath(QStringLiteral("memory.swf"))});
        child.waitForFinished(-1);
        int written = 0;
        long before = 0;
        double took = 0;
        std::sscanf(child.readAllStandardOutput().constData(), "%d %ld %ld %lf", &written, &before, &peaks[i], &took);
        std::printf("  %4d frames: peak %6.1f MB (%.1f MB before the export), %.1f s, movie %.1f MB\n", written,
                    peaks[i] / 1024.0, before / 1024.0, took,
                    QFileInfo(folder.filePath(QStringLiteral("memory.swf"))).size() / 1048576.0);
        QFile::remove(memoryRec);
        QFile::remove(memoryRec + QStringLiteral(".xxx"));
    }
    std::printf("  1000 frames against 100: %+.1f %% (target within 10 %%)\n", 100.0 * double(peaks[1] - peaks[0]) / double(peaks[0]));
    return 0;
}

// The AVI export's and the web export's speed beside ffmpeg's, frames per second.
//   bench_publish [FOLDER] [avi|web|all]   (default: a fresh folder under /tmp, all)
// For 640 × 480 and 1920 × 1080 it makes a screen-like recording (text, windows, a moving block; one
// second of sound per ten frames) and times the whole export as quolvactl runs it: opening the
// recording, reading and decoding every frame, converting, compressing, writing, completing the file.
// Beside it, the ffmpeg program makes the same AVI with the same encoder and settings in two ways: from the
// same JPEG records (an MJPEG stream, which it decodes as our export does: the comparison a user would
// make), and from the frames already decoded (24-bit BGR, read from a file in the page cache). Every
// figure is the best of five runs, ours and ffmpeg's taken in turns.
// The web export (MP4, WebM, GIF) is timed once beside ffmpeg making the same movie from the same JPEG
// records and the same sound with the same encoder settings, and the files' sizes are compared; the GIF
// also beside ffmpeg's from the decoded frames, with each GIF's PSNR against them; then the peak memory of
// quolvactl writing an MP4 of 100 and of 1000 frames.
#include "editor/OpenRecording.h"
#include "platform/VideoCompressor.h"
#include "publish/AviExport.h"
#include "publish/WebExport.h"
#include "store/AviFileServices.h"
#include "store/FrameStore.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>

#include <thread>

#include <cstdio>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quolva;

namespace {

// x264's settings of the export at the default quality: preset veryfast, no B-frames, a key frame every
// 100 frames, constant rate factor 22.9 (quality 5700), threads as many as the machine has.
const QStringList kFfmpegX264 = {"-c:v", "libx264", "-preset", "veryfast", "-bf", "0", "-g", "100",
                                 "-keyint_min", "100", "-crf", "22.9", "-threads", "0"};

QImage screenLikeFrame(int width, int height, int k)
{
    QImage picture(width, height, QImage::Format_RGB32);
    picture.fill(QColor(236, 238, 242));
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing, false);
    // Two windows with title bars and lines of text, one of them growing a line at a time.
    const QRect windows[] = {QRect(width / 20, height / 12, width / 2, height * 2 / 3),
                             QRect(width * 2 / 5, height / 4, width / 2, height * 2 / 3)};
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setPixelSize(std::max(10, height / 48));
    painter.setFont(font);
    for (int w = 0; w < 2; ++w) {
        const QRect r = windows[w];
        painter.fillRect(r, Qt::white);
        painter.fillRect(QRect(r.topLeft(), QSize(r.width(), font.pixelSize() + 8)), w ? QColor(40, 90, 160) : QColor(90, 90, 100));
        painter.setPen(Qt::black);
        const int lines = (r.height() - font.pixelSize() - 12) / (font.pixelSize() + 4);
        const int shown = w == 1 ? std::min(lines, 3 + k / 2) : lines;
        for (int line = 0; line < shown; ++line)
            painter.drawText(r.left() + 6, r.top() + font.pixelSize() * 2 + 8 + line * (font.pixelSize() + 4),
                             QStringLiteral("%1: int value_%2 = compute(%3, \"frame\"); // %4")
                                 .arg(line, 3)
                                 .arg(line * 7 + w)
                                 .arg(line * 13 % 97)
                                 .arg(w ? QStringLiteral("editing") : QStringLiteral("reference")));
    }
    // A gradient picture and the pointer-sized block that moves every frame.
    QLinearGradient gradient(0, 0, width / 4, height / 4);
    gradient.setColorAt(0, QColor(200, 60, 40));
    gradient.setColorAt(1, QColor(40, 120, 220));
    painter.fillRect(QRect(width * 3 / 4, height / 20, width / 5, height / 5), gradient);
    painter.fillRect(QRect((k * 7) % (width - 16), (k * 5) % (height - 16), 12, 16), Qt::black);
    return picture;
}

// The recording `name` in `folder`: `frames` frames and one second of 11025 Hz 16-bit sound per ten.
QString makeRecording(const QString& folder, const QString& name, int width, int height, int frames)
{
    const QString path = QDir(folder).filePath(name);
    store::PAVIFILE file;
    store::AVIFileOpen(&file, QFile::encodeName(path).toStdString(), store::OF_CREATE | store::OF_WRITE | store::OF_SHARE_DENY_NONE);
    store::SoundFormatArea format{};
    format.format = {store::WAVE_FORMAT_PCM, 1, 11025, 22050, 2, 16, 0};
    store::AVISTREAMINFOA info{};
    info.fccType = store::streamtypeAUDIO;
    info.dwScale = 1;
    info.dwRate = 11025;
    info.dwSampleSize = 2;
    store::PAVISTREAM sound;
    store::AVIFileCreateStream(file, &sound, info);
    store::AVIStreamSetFormat(sound, 0, &format, sizeof format);
    std::vector<std::uint8_t> second(22050, 0);
    for (int s = 0; s < (frames + 9) / 10; ++s)
        store::AVIStreamWrite(sound, store::AVIStreamLength(sound), 22050, second.data(), 22050, 0, nullptr, nullptr);
    store::AVIStreamRelease(sound);
    store::AVIFileRelease(file);

    store::FrameStore store = store::FrameStore::CreateFrameStore(QFile::encodeName(path + ".xxx").toStdString());
    for (int k = 0; k < frames; ++k) {
        const QImage picture = screenLikeFrame(width, height, k);
        store.AppendFrame({picture.constBits(), width, height, picture.bytesPerLine(), store::PixelLayout::Xrgb32});
    }
    store.AddToFrameCount(frames);
    store.Close();
    return path;
}

bool copyRecording(const QString& from, const QString& to)
{
    QFile::remove(to);
    QFile::remove(to + ".xxx");
    return QFile::copy(from, to) && QFile::copy(from + ".xxx", to + ".xxx");
}

// One export as quolvactl runs it; seconds, or -1 on failure. `completing`: the seconds of the end, where
// the file gets its indexes and header and is flushed to the disk (ffmpeg leaves its file to the kernel).
double timeExport(const QString& path, const QString& codec, double* completing = nullptr)
{
    QElapsedTimer clock;
    clock.start();
    try {
        editor::OpenRecording recording;
        recording.Open(path);
        const editor::PublishHandOver handOver = recording.HandOver();
        publish::AviExport avi(recording);
        avi.frameCount = handOver.frameCount;
        avi.soundLength = handOver.soundLength;
        avi.soundRate = handOver.soundRate;
        const QImage first = recording.ReadNextPicture().value();
        avi.SetFrameSize(first.width(), first.height());
        recording.SetCursor(store::kFrameStoreHeaderSize);
        if (codec.isEmpty()) {
            avi.StartUncompressed();
        } else {
            const platform::VideoCompressorInfo* info = platform::FindVideoCompressor(codec);
            avi.compVars.dwFlags = platform::ICMF_COMPVARS_VALID;
            avi.compVars.hic = platform::ICOpen(platform::ICTYPE_VIDEO, info->fccHandler, platform::ICMODE_COMPRESS);
            avi.compVars.fccHandler = info->fccHandler;
            avi.compVars.lKey = info->defaultKeyFrameRate;
            if (!avi.StartCompressed())
                return -1;
        }
        avi.Run();
        const qint64 framesWritten = clock.nsecsElapsed();
        avi.Release();
        recording.Close();
        if (completing)
            *completing = (clock.nsecsElapsed() - framesWritten) / 1e9;
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "export failed: %s\n", failure.what());
        return -1;
    }
    return clock.nsecsElapsed() / 1e9;
}

// The decoded frames of a recording, top-down BGR, into `rawPath`.
bool writeDecodedFrames(const QString& path, const QString& rawPath)
{
    editor::OpenRecording recording;
    recording.Open(path);
    QFile raw(rawPath);
    if (!raw.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    while (const std::optional<QImage> picture = recording.ReadNextPicture()) {
        const QImage bgr = picture->convertToFormat(QImage::Format_BGR888);
        for (int y = 0; y < bgr.height(); ++y)
            raw.write(reinterpret_cast<const char*>(bgr.constScanLine(y)), bgr.width() * 3);
    }
    return true;
}

// The recording's JPEG records one after another: an MJPEG stream of the same frames, into `mjpegPath`.
bool writeJpegStream(const QString& path, const QString& mjpegPath)
{
    store::FrameStore frames = store::FrameStore::OpenFrameStoreReadOnly(QFile::encodeName(path + ".xxx").toStdString());
    QFile stream(mjpegPath);
    if (!stream.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    frames.Seek(store::kFrameStoreHeaderSize);
    while (frames.Position() < frames.Size()) {
        const store::FrameRecord record = frames.ReadNextFrame();
        stream.write(reinterpret_cast<const char*>(record.jpeg.data()), qint64(record.jpeg.size()));
    }
    return true;
}

// One run of the ffmpeg program; seconds, or -1 on failure.
double timeFfmpegRun(const QStringList& arguments)
{
    QElapsedTimer clock;
    clock.start();
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"), arguments);
    if (!ffmpeg.waitForFinished(600000) || ffmpeg.exitCode() != 0) {
        std::fprintf(stderr, "ffmpeg failed: %s\n", ffmpeg.readAllStandardError().constData());
        return -1;
    }
    return clock.nsecsElapsed() / 1e9;
}

// ffmpeg making an AVI file of the frames: from the JPEG stream (`input` ends in .mjpeg) or from the raw
// frames; seconds, or -1 on failure.
double timeFfmpeg(const QString& input, int width, int height, const QStringList& codec, const QString& outPath)
{
    QStringList arguments = {"-v", "error", "-y"};
    if (input.endsWith(QLatin1String(".mjpeg")))
        arguments << "-f" << "mjpeg" << "-framerate" << "10" << "-i" << input;
    else
        arguments << "-f" << "rawvideo" << "-pix_fmt" << "bgr24" << "-s" << QStringLiteral("%1x%2").arg(width).arg(height)
                  << "-r" << "10" << "-i" << input;
    arguments << codec << "-f" << "avi" << outPath;
    return timeFfmpegRun(arguments);
}

// The best of `times` runs of each, taken in turns, so that a machine busy with other work in one
// moment weighs on both alike.
std::pair<double, double> bestOfEach(const std::function<double()>& ours, const std::function<double()>& theirs,
                                     int times = 5)
{
    double fastest[2] = {-1, -1};
    for (int i = 0; i < times; ++i) {
        const double seconds[2] = {ours(), theirs()};
        for (int k = 0; k < 2; ++k) {
            if (seconds[k] < 0)
                return {-1, -1};
            if (fastest[k] < 0 || seconds[k] < fastest[k])
                fastest[k] = seconds[k];
        }
    }
    return {fastest[0], fastest[1]};
}

// ffmpeg's settings for each web format: what the web export gives its encoders.
QStringList ffmpegWebSettings(publish::WebFormat format)
{
    switch (format) {
    case publish::WebFormat::Mp4:
        return {"-vf", "pad=ceil(iw/2)*2:ceil(ih/2)*2,format=yuv420p", "-c:v", "libx264", "-preset", "medium", "-crf",
                "18", "-c:a", "aac", "-b:a", "96k", "-ar", "48000", "-movflags", "+faststart", "-f", "mp4"};
    case publish::WebFormat::WebM:
        return {"-vf", "format=yuv420p", "-c:v", "libvpx-vp9", "-crf", "32", "-b:v", "0", "-deadline", "good",
                "-cpu-used", "4", "-row-mt", "1", "-tune-content", "screen", "-threads",
                QString::number(std::max(1u, std::thread::hardware_concurrency())), "-c:a", "libopus", "-b:a", "96k",
                "-ar", "48000", "-f", "webm"};
    case publish::WebFormat::Gif:
        // ffmpeg's own way: one palette from all frames, then the frames mapped onto it (its defaults).
        return {"-an", "-filter_complex", "[0:v]split[a][b];[a]palettegen=stats_mode=full[p];[b][p]paletteuse",
                "-f", "gif"};
    }
    return {};
}

// ffmpeg making a web movie from the JPEG records and the recording's sound (silence, 11025 Hz mono).
double timeFfmpegWeb(const QString& jpegs, const QString& pcm, publish::WebFormat format, const QString& outPath)
{
    QStringList arguments = {"-v", "error", "-y", "-f", "mjpeg", "-framerate", "10", "-i", jpegs,
                             "-f", "s16le", "-ar", "11025", "-ac", "1", "-i", pcm};
    arguments << ffmpegWebSettings(format) << outPath;
    return timeFfmpegRun(arguments);
}

double timeWebExport(const QString& path, publish::WebFormat format, const QString& outPath)
{
    QElapsedTimer clock;
    clock.start();
    try {
        editor::OpenRecording recording;
        recording.Open(path);
        publish::WebExport web(recording, {.format = format});
        web.Run(outPath);
        recording.Close();
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "web export failed: %s\n", failure.what());
        return -1;
    }
    return clock.nsecsElapsed() / 1e9;
}

// The peak resident memory of quolvactl publishing `path` as an MP4, in KiB (-1 on failure). Read from the
// process's own high-water mark while it runs: the kernel's figure for a waited-for child starts from the
// parent's size at the fork, which here is larger than the child's.
long peakMemoryOfQuolvactl(const QString& path, const QString& outPath)
{
    const QByteArray program = QFile::encodeName(QCoreApplication::applicationDirPath() + "/quolvactl");
    const QByteArray recording = QFile::encodeName(path), movie = QFile::encodeName(outPath);
    const pid_t child = ::fork();
    if (child == 0) {
        std::freopen("/dev/null", "w", stderr);
        std::freopen("/dev/null", "w", stdout);
        ::execl(program.constData(), "quolvactl", "publish", recording.constData(), "--mp4", movie.constData(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    if (child < 0)
        return -1;
    const QByteArray statusPath = "/proc/" + QByteArray::number(child) + "/status";
    long peak = 0;
    int status = 0;
    for (;;) {
        QFile procStatus(QString::fromLatin1(statusPath));
        // Until the exec the child is a copy of the bench: only quolvactl's own figures count.
        if (procStatus.open(QIODevice::ReadOnly)) {
            const QList<QByteArray> lines = procStatus.readAll().split('\n');
            if (lines.contains("Name:\tquolvactl"))
                for (const QByteArray& line : lines)
                    if (line.startsWith("VmHWM:"))
                        peak = std::max(peak, line.mid(6).trimmed().split(' ').front().toLong());
        }
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child)
            break;
        if (done < 0)
            return -1;
        ::usleep(2000);
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return peak;
}

// A GIF's PSNR against the frames it was made of (24-bit BGR, `width` × `height`, 10 a second as every
// recording here is), averaged over the frames;
// -1 when ffmpeg cannot tell.
double gifPsnr(const QString& gif, const QString& raw, int width, int height)
{
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 {"-v", "info", "-i", gif, "-f", "rawvideo", "-pix_fmt", "bgr24", "-s",
                  QStringLiteral("%1x%2").arg(width).arg(height), "-framerate", "10", "-i", raw, "-lavfi",
                  "[0:v]format=rgb24[a];[1:v]format=rgb24[b];[a][b]psnr", "-f", "null", "-"});
    if (!ffmpeg.waitForFinished(600000) || ffmpeg.exitCode() != 0)
        return -1;
    const QByteArray log = ffmpeg.readAllStandardError();
    const qsizetype at = log.lastIndexOf("average:");
    return at < 0 ? -1 : log.mid(at + 8).split(' ').front().toDouble();
}

// ffmpeg making the same GIF from the frames as the recording holds them, decoded (24-bit BGR).
double timeFfmpegGifFromFrames(const QString& raw, int width, int height, const QString& outPath)
{
    QStringList arguments = {"-v", "error", "-y", "-f", "rawvideo", "-pix_fmt", "bgr24", "-s",
                             QStringLiteral("%1x%2").arg(width).arg(height), "-r", "10", "-i", raw};
    arguments << ffmpegWebSettings(publish::WebFormat::Gif) << outPath;
    return timeFfmpegRun(arguments);
}

int benchWeb(const QString& folder)
{
    struct Size {
        int width, height, frames;
    };
    std::printf("\n%-10s %-7s %7s %9s %9s %9s %11s %11s %9s  %s\n", "size", "movie", "frames", "quolva", "ffmpeg",
                "ratio", "our bytes", "ffmpeg's", "ratio", "(fps, ffmpeg from the JPEG records; one run)");
    for (const Size size : {Size{640, 480, 300}, Size{1920, 1080, 100}}) {
        const QString label = QStringLiteral("%1x%2").arg(size.width).arg(size.height);
        const QString source = makeRecording(folder, label + "-web.avi", size.width, size.height, size.frames);
        const QString jpegs = QDir(folder).filePath(label + ".mjpeg");
        const QString pcm = QDir(folder).filePath(label + ".pcm");
        if (!writeJpegStream(source, jpegs))
            return 1;
        {
            QFile silence(pcm);
            if (!silence.open(QIODevice::WriteOnly | QIODevice::Truncate))
                return 1;
            silence.write(QByteArray((size.frames + 9) / 10 * 22050, 0));
        }
        for (const publish::WebFormat format : {publish::WebFormat::Mp4, publish::WebFormat::WebM, publish::WebFormat::Gif}) {
            const QString extension = publish::WebFormatExtension(format);
            const QString ours = QDir(folder).filePath(label + "-quolva." + extension);
            const QString theirs = QDir(folder).filePath(label + "-ffmpeg." + extension);
            const double ourSeconds = timeWebExport(source, format, ours);
            const double theirSeconds = timeFfmpegWeb(jpegs, pcm, format, theirs);
            if (ourSeconds < 0 || theirSeconds < 0)
                return 1;
            const qint64 ourBytes = QFileInfo(ours).size(), theirBytes = QFileInfo(theirs).size();
            std::printf("%-10s %-7s %7d %9.1f %9.1f %9.2f %11lld %11lld %9.3f\n", qPrintable(label), qPrintable(extension),
                        size.frames, size.frames / ourSeconds, size.frames / theirSeconds, ourSeconds / theirSeconds,
                        static_cast<long long>(ourBytes), static_cast<long long>(theirBytes),
                        double(ourBytes) / double(theirBytes));
            std::fflush(stdout);
            if (format == publish::WebFormat::Gif) {
                // ffmpeg's MJPEG decoder gives it other pixels than the recording's (plainer colour at
                // edges), so its GIF is also made from the very frames ours is, and each is held
                // against them.
                const QString raw = QDir(folder).filePath(label + ".bgr");
                const QString fromFrames = QDir(folder).filePath(label + "-ffmpeg-frames.gif");
                const double seconds = writeDecodedFrames(source, raw)
                                           ? timeFfmpegGifFromFrames(raw, size.width, size.height, fromFrames)
                                           : -1;
                if (seconds < 0)
                    return 1;
                const qint64 bytes = QFileInfo(fromFrames).size();
                std::printf("%-10s %-7s %7d %9.1f %9.1f %9.2f %11lld %11lld %9.3f  (ffmpeg from the decoded frames)\n",
                            qPrintable(label), "gif", size.frames, size.frames / ourSeconds, size.frames / seconds,
                            ourSeconds / seconds, static_cast<long long>(ourBytes), static_cast<long long>(bytes),
                            double(ourBytes) / double(bytes));
                std::printf("%-10s GIF PSNR against the recording's frames: ours %.1f dB; ffmpeg's %.1f dB from the "
                            "decoded frames, %.1f dB from the JPEG records\n",
                            qPrintable(label), gifPsnr(ours, raw, size.width, size.height),
                            gifPsnr(fromFrames, raw, size.width, size.height),
                            gifPsnr(theirs, raw, size.width, size.height));
                std::fflush(stdout);
                QFile::remove(raw);
                QFile::remove(fromFrames);
            }
            QFile::remove(ours);
            QFile::remove(theirs);
        }
        QFile::remove(jpegs);
        QFile::remove(pcm);
    }
    // Memory flat in the recording's length.
    long peaks[2] = {};
    const int lengths[2] = {100, 1000};
    for (int i = 0; i < 2; ++i) {
        const QString source = makeRecording(folder, QStringLiteral("memory-%1.avi").arg(lengths[i]), 640, 480, lengths[i]);
        peaks[i] = peakMemoryOfQuolvactl(source, QDir(folder).filePath(QStringLiteral("memory-%1.mp4").arg(lengths[i])));
        if (peaks[i] < 0)
            return 1;
    }
    std::printf("\npeak memory of quolvactl publish --mp4 at 640x480: %ld KiB for 100 frames, %ld KiB for 1000 (%.3f)\n",
                peaks[0], peaks[1], double(peaks[1]) / double(peaks[0]));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QTemporaryDir temporary;
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temporary.path();
    QDir().mkpath(folder);
    const QString which = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("all");
    if (which == QLatin1String("web"))
        return benchWeb(folder);

    struct Size {
        int width, height, frames;
    };
    std::printf("%-10s %-13s %-12s %7s %9s %9s %9s %11s  %s\n", "size", "frames", "ffmpeg from", "count", "quolva",
                "ffmpeg", "ratio", "less flush",
                "(fps; ratio = our time / ffmpeg's; less flush: ours without completing the file)");
    for (const Size size : {Size{640, 480, 300}, Size{1280, 720, 150}, Size{1920, 1080, 100}}) {
        const QString label = QStringLiteral("%1x%2").arg(size.width).arg(size.height);
        const QString source = makeRecording(folder, label + ".avi", size.width, size.height, size.frames);
        const QString raw = QDir(folder).filePath(label + ".bgr");
        const QString jpegs = QDir(folder).filePath(label + ".mjpeg");
        if (!writeDecodedFrames(source, raw) || !writeJpegStream(source, jpegs))
            return 1;
        const QString copy = QDir(folder).filePath(label + "-run.avi");
        const QString ffmpegOut = QDir(folder).filePath(label + "-ffmpeg.avi");
        for (const QString& codec : {QString(), QStringLiteral("h264")}) {
            const QStringList ffmpegCodec = codec.isEmpty() ? QStringList{"-c:v", "rawvideo", "-pix_fmt", "bgr24"} : kFfmpegX264;
            for (const QString& input : {jpegs, raw}) {
                double fastest = -1, itsCompleting = 0; // the completing time of our fastest run
                const auto [ours, theirs] = bestOfEach(
                    [&] {
                        double completing = 0;
                        const double seconds = copyRecording(source, copy) ? timeExport(copy, codec, &completing) : -1;
                        if (seconds >= 0 && (fastest < 0 || seconds < fastest)) {
                            fastest = seconds;
                            itsCompleting = completing;
                        }
                        return seconds;
                    },
                    [&] { return timeFfmpeg(input, size.width, size.height, ffmpegCodec, ffmpegOut); });
                if (ours < 0 || theirs < 0)
                    return 1;
                std::printf("%-10s %-13s %-12s %7d %9.1f %9.1f %9.2f %11.2f\n", qPrintable(label),
                            codec.isEmpty() ? "uncompressed" : "h264", input == jpegs ? "JPEG records" : "decoded",
                            size.frames, size.frames / ours, size.frames / theirs, ours / theirs,
                            (ours - itsCompleting) / theirs);
                std::fflush(stdout);
            }
        }
        QFile::remove(raw);
        QFile::remove(jpegs);
        QFile::remove(copy);
        QFile::remove(copy + ".xxx");
        QFile::remove(ffmpegOut);
    }
    return which == QLatin1String("avi") ? 0 : benchWeb(folder);
}

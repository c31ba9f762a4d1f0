// The capture tick's cost, and the CPU one recorded frame costs compared with ffmpeg's screen grabber.
//
//   bench/capture.sh            starts a 1920x1080 Xvfb and runs this program on it
//
// 1. the tick at 640x480 and 1920x1080 over a busy screen — grab, pointer, JPEG encode, append —
//    median and 95th percentile of each step and of the whole tick, in milliseconds.
// 2. what flushing a recording to the disk costs: busy 1920x1080 records appended at 10 a second
//    for 10 s while the recording's flusher syncs the store every second; the CPU its thread uses
//    (the kernel writes the same pages back sooner or later in any case), its slowest round, and
//    the appends meanwhile, which must not wait for the disk.
// 3. CPU seconds per recorded frame of a 10-second full-screen `quolvactl record`, beside
//    `ffmpeg -f x11grab -framerate 10 -c:v mjpeg` recording the same display in the same run: over
//    the busy screen, then over the same screen standing still (a still frame is not encoded again).
#include "platform/ArrowPointer.h"
#include "platform/Screen.h"
#include "record/Unit3.h"
#include "store/FileFlusher.h"
#include "store/FrameStore.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QScreen>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

using namespace quolva;

namespace {

// A full-screen window whose picture changes every 50 ms: photographs are busy, so is this.
class BusyScreen : public QWidget {
public:
    BusyScreen()
    {
        setWindowFlags(Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
        setGeometry(QGuiApplication::primaryScreen()->geometry());
        picture_ = QImage(size(), QImage::Format_RGB32);
        QRandomGenerator random(7);
        for (int y = 0; y < picture_.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(picture_.scanLine(y));
            for (int x = 0; x < picture_.width(); ++x) {
                const int v = random.bounded(64);
                row[x] = qRgb((x / 3 + v) & 255, (y / 2 + v) & 255, ((x + y) / 5 + v) & 255);
            }
        }
        connect(&timer_, &QTimer::timeout, this, [this] {
            shift_ = (shift_ + 7) % 200;
            update();
        });
        timer_.start(50);
    }
    void standStill() { timer_.stop(); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.drawImage(-shift_, 0, picture_);
        painter.drawImage(picture_.width() - shift_, 0, picture_);
    }

private:
    QImage picture_;
    QTimer timer_;
    int shift_ = 0;
};

struct Figures {
    double median = 0, p95 = 0;
};

Figures summarise(std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 95 / 100)]};
}

// Whether the screen is at least `size`; says so when it is not.
bool fitsTheScreen(QSize size)
{
    const QSize screen = QGuiApplication::primaryScreen()->size();
    if (size.width() <= screen.width() && size.height() <= screen.height())
        return true;
    std::printf("  %dx%d: the screen is only %dx%d, skipped\n", size.width(), size.height(), screen.width(),
                screen.height());
    return false;
}

void tickCost(QSize size, const QString& folder)
{
    if (!fitsTheScreen(size))
        return;
    platform::Screen grabber;
    store::FrameStore frames =
        store::FrameStore::CreateFrameStore(QDir(folder).filePath(QStringLiteral("bench.xxx")).toStdString());
    QImage bitmap(size, QImage::Format_RGB32);
    std::vector<double> grab, pointer, encode, append, whole;
    const int rounds = size.width() > 1000 ? 60 : 150;
    for (int i = 0; i < rounds + 3; ++i) {
        QCoreApplication::processEvents(); // the screen keeps changing
        QElapsedTimer clock;
        clock.start();
        grabber.grab(QRect(QPoint(0, 0), size), bitmap);
        const qint64 t1 = clock.nsecsElapsed();
        platform::drawArrowPointer(bitmap, QPoint(size.width() / 2, size.height() / 2));
        const qint64 t2 = clock.nsecsElapsed();
        const std::vector<std::uint8_t> record = store::FrameStore::EncodeFrameRecord(record::PictureOf(bitmap));
        const qint64 t3 = clock.nsecsElapsed();
        frames.AppendRecord(record);
        const qint64 t4 = clock.nsecsElapsed();
        if (i < 3)
            continue; // warm-up
        grab.push_back(t1 / 1e6);
        pointer.push_back((t2 - t1) / 1e6);
        encode.push_back((t3 - t2) / 1e6);
        append.push_back((t4 - t3) / 1e6);
        whole.push_back(t4 / 1e6);
    }
    const auto line = [](const char* what, const std::vector<double>& ms) {
        const Figures f = summarise(ms);
        std::printf("    %-22s median %7.2f ms   p95 %7.2f ms\n", what, f.median, f.p95);
    };
    std::printf("  %dx%d (grab by %s, %d ticks):\n", size.width(), size.height(),
                platform::Screen::methodName(grabber.method()), rounds);
    line("grab", grab);
    line("pointer", pointer);
    line("JPEG encode", encode);
    line("append", append);
    line("whole tick", whole);
}

void flushCost(QSize size, const QString& folder)
{
    if (!fitsTheScreen(size))
        return;
    // Records of the busy screen, made first: only the appends and the flushing are timed.
    platform::Screen grabber;
    QImage bitmap(size, QImage::Format_RGB32);
    std::vector<std::vector<std::uint8_t>> records;
    std::size_t recordBytes = 0;
    for (int i = 0; i < 10; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 60);
        grabber.grab(QRect(QPoint(0, 0), size), bitmap);
        records.push_back(store::FrameStore::EncodeFrameRecord(record::PictureOf(bitmap)));
        recordBytes += records.back().size();
    }
    const std::string path = QDir(folder).filePath(QStringLiteral("flushed.xxx")).toStdString();
    store::FrameStore frames = store::FrameStore::CreateFrameStore(path);
    store::FileFlusher flusher;
    flusher.start({path});
    constexpr int kTicks = 100;
    std::vector<double> append;
    const auto began = std::chrono::steady_clock::now();
    for (int i = 0; i < kTicks; ++i) {
        std::this_thread::sleep_until(began + std::chrono::milliseconds(100 * i));
        QElapsedTimer clock;
        clock.start();
        frames.AppendRecord(records[std::size_t(i) % records.size()]);
        append.push_back(clock.nsecsElapsed() / 1e6);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    flusher.stop();
    const store::FileFlusher::Figures figures = flusher.figures();
    const Figures appends = summarise(append);
    std::printf("  %dx%d records of %zu KB at 10 a second for %.1f s, synced every second:\n", size.width(),
                size.height(), recordBytes / records.size() / 1024, seconds);
    std::printf("    flushing thread    %d rounds, %6.3f CPU s = %5.2f %% of a core, slowest round %6.1f ms\n",
                figures.rounds, figures.cpuSeconds, 100 * figures.cpuSeconds / seconds, 1000 * figures.longestRoundSeconds);
    std::printf("    append meanwhile   median %7.2f ms   p95 %7.2f ms   longest %7.2f ms\n", appends.median, appends.p95,
                *std::max_element(append.begin(), append.end()));
}

struct ChildRun {
    double cpuSeconds = 0;
    QString output;
    bool ok = false;
};

// Runs a program to its end and measures the CPU it used (user + system) with wait4. The child is
// started here rather than by QProcess, whose own reaping would race with wait4.
ChildRun runMeasured(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment)
{
    ChildRun result;
    QTemporaryFile log;
    if (!log.open())
        return result;
    std::vector<QByteArray> storage;
    storage.push_back(program.toLocal8Bit());
    for (const QString& argument : arguments)
        storage.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& item : storage)
        argv.push_back(item.data());
    argv.push_back(nullptr);
    std::vector<QByteArray> envStorage;
    for (const QString& item : environment.toStringList())
        envStorage.push_back(item.toLocal8Bit());
    std::vector<char*> envp;
    for (QByteArray& item : envStorage)
        envp.push_back(item.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, log.handle(), 1);
    posix_spawn_file_actions_adddup2(&actions, log.handle(), 2);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return result;
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20); // the busy screen keeps changing
        int status = 0;
        rusage usage{};
        if (::wait4(pid, &status, WNOHANG, &usage) == pid) {
            result.cpuSeconds = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
                                usage.ru_stime.tv_usec / 1e6;
            result.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
            break;
        }
    }
    log.seek(0);
    result.output = QString::fromUtf8(log.readAll());
    return result;
}

int framesIn(const QString& avi)
{
    QProcess ffprobe;
    ffprobe.start(QStringLiteral("ffprobe"), {"-v", "error", "-count_packets", "-select_streams", "v:0", "-show_entries",
                                              "stream=nb_read_packets", "-of", "csv=p=0", avi});
    ffprobe.waitForFinished(60000);
    return QString::fromUtf8(ffprobe.readAllStandardOutput()).trimmed().toInt();
}

void cpuPerFrame(const QString& folder, const char* screenKind)
{
    const QSize screen = QGuiApplication::primaryScreen()->size();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QUOLVA_SOUND_SOURCE"), QStringLiteral("tone:440"));
    const QString quolvactl = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("quolvactl"));
    const auto record = [&](int seconds, int* frames) {
        const ChildRun run = runMeasured(quolvactl,
                                         {QStringLiteral("record"), QDir(folder).filePath(QStringLiteral("ours.avi")),
                                          QStringLiteral("--seconds"), QString::number(seconds), QStringLiteral("--full-screen")},
                                         environment);
        *frames = 0;
        for (const QString& line : run.output.split(QLatin1Char('\n')))
            if (line.startsWith(QLatin1String("frames written: ")))
                *frames = line.mid(16).toInt();
        return run;
    };
    int ourFrames = 0, shortFrames = 0;
    const ChildRun ours = record(10, &ourFrames);
    // The program's start, costs and all, again for 2 s: what each frame after it costs is the difference.
    const ChildRun shorter = record(2, &shortFrames);

    const ChildRun theirs = runMeasured(
        QStringLiteral("ffmpeg"),
        {"-v", "error", "-y", "-f", "x11grab", "-framerate", "10", "-video_size",
         QStringLiteral("%1x%2").arg(screen.width()).arg(screen.height()), "-i", qEnvironmentVariable("DISPLAY"), "-t",
         "10", "-c:v", "mjpeg", "-q:v", "3", QDir(folder).filePath(QStringLiteral("ffmpeg.avi"))},
        environment);
    const int theirFrames = framesIn(QDir(folder).filePath(QStringLiteral("ffmpeg.avi")));

    std::printf("  full screen %dx%d, %s, 10 s:\n", screen.width(), screen.height(), screenKind);
    if (ours.ok && ourFrames > 0)
        std::printf("    quolvactl record   %3d frames, %6.2f CPU s, %6.1f CPU ms per frame\n", ourFrames,
                    ours.cpuSeconds, 1000 * ours.cpuSeconds / ourFrames);
    else
        std::printf("    quolvactl record failed:\n%s\n", qPrintable(ours.output));
    if (ours.ok && shorter.ok && ourFrames > shortFrames)
        std::printf("    quolvactl record   %6.1f CPU ms per frame after the start (10 s against 2 s)\n",
                    1000 * (ours.cpuSeconds - shorter.cpuSeconds) / (ourFrames - shortFrames));
    if (theirs.ok && theirFrames > 0)
        std::printf("    ffmpeg x11grab     %3d frames, %6.2f CPU s, %6.1f CPU ms per frame (mjpeg)\n", theirFrames,
                    theirs.cpuSeconds, 1000 * theirs.cpuSeconds / theirFrames);
    else
        std::printf("    ffmpeg x11grab failed:\n%s\n", qPrintable(theirs.output));
}

// A recording at 30 frames a second of the busy full screen: how many ticks came on time, and how many fell
// due while the one before still ran and were skipped.
void ticksOnTime(const QString& folder)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QUOLVA_SOUND_SOURCE"), QStringLiteral("tone:440"));
    const QString quolvactl = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("quolvactl"));
    const ChildRun run = runMeasured(quolvactl,
                                     {QStringLiteral("record"), QDir(folder).filePath(QStringLiteral("fast.avi")),
                                      QStringLiteral("--seconds"), QStringLiteral("10"), QStringLiteral("--full-screen"),
                                      QStringLiteral("--fps"), QStringLiteral("30")},
                                     environment);
    int frames = 0, skipped = 0;
    for (const QString& line : run.output.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("frames written: ")))
            frames = line.mid(16).toInt();
        else if (line.startsWith(QLatin1String("ticks skipped: ")))
            skipped = line.mid(15).toInt();
    }
    const QSize screen = QGuiApplication::primaryScreen()->size();
    if (!run.ok || frames == 0) {
        std::printf("  quolvactl record --fps 30 failed:\n%s\n", qPrintable(run.output));
        return;
    }
    std::printf("  full screen %dx%d, busy, 10 s at 30 frames a second: %d ticks taken, %d skipped (%.1f %% on time), "
                "%.1f CPU ms per frame\n",
                screen.width(), screen.height(), frames, skipped, 100.0 * frames / (frames + skipped),
                1000 * run.cpuSeconds / frames);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        std::fprintf(stderr, "bench_capture needs an X display (run bench/capture.sh)\n");
        return 1;
    }
    BusyScreen busy;
    busy.show();
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QTemporaryDir folder;

    std::printf("capture tick over a busy screen:\n");
    tickCost(QSize(640, 480), folder.path());
    tickCost(QSize(1920, 1080), folder.path());
    std::printf("flushing a recording to the disk:\n");
    flushCost(QSize(1920, 1080), folder.path());
    std::printf("CPU per recorded frame:\n");
    cpuPerFrame(folder.path(), "busy");
    std::printf("ticks on time:\n");
    ticksOnTime(folder.path());
    busy.standStill();
    cpuPerFrame(folder.path(), "still");
    return 0;
}

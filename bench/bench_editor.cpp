// Editor speed: the time of one browser step (read the record, decode its JPEG, show it in the main
// window) at 640 × 480 and 1920 × 1080, and the drift of a played recording against its sound.
// Target: a step within 15 ms at 1920 × 1080, a drift within 5 %.
//   bench_editor [FOLDER]   (recordings are written to FOLDER, default the temporary folder)
// Runs on the X display in DISPLAY, or offscreen without one.
#include "app/Application.h"
#include "app/Startup.h"
#include "editor/EditorControls.h"
#include "editor/Etool.h"
#include "platform/Prompts.h"
#include "store/AviFileServices.h"
#include "store/FrameStore.h"
#include "store/Jpeg.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <numeric>
#include <vector>

using namespace quolva;
using Clock = std::chrono::steady_clock;

namespace {

// A busy desktop: a gradient, a photo-like noisy panel, windows with lines of text. `frame` moves it.
QImage BusyScreen(int width, int height, int frame)
{
    QImage picture(width, height, QImage::Format_RGB32);
    QPainter painter(&picture);
    QLinearGradient sky(0, 0, width, height);
    sky.setColorAt(0, QColor(30, 80, 160));
    sky.setColorAt(1, QColor(200, 120, 60));
    painter.fillRect(picture.rect(), sky);
    std::uint32_t noise = 12345u + static_cast<std::uint32_t>(frame);
    for (int y = height / 2; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < width / 3; ++x) {
            noise = noise * 1664525u + 1013904223u;
            row[x] = qRgb(100 + int(noise >> 28) + x % 40, 140 + int(noise >> 29) + y % 30, 60 + int(noise >> 28));
        }
    }
    painter.setFont(QFont(QStringLiteral("DejaVu Sans"), std::max(8, height / 90)));
    for (int w = 0; w < 3; ++w) {
        const QRect window(width / 3 + w * width / 9 + frame * 3, height / 10 + w * height / 7, width / 2, height / 2);
        painter.fillRect(window, QColor(245, 245, 240));
        painter.fillRect(QRect(window.topLeft(), QSize(window.width(), height / 30)), QColor(40, 60, 140));
        painter.setPen(Qt::black);
        for (int line = 0; line * (height / 60) < window.height() - height / 20; ++line)
            painter.drawText(window.left() + 8, window.top() + height / 20 + line * (height / 60),
                             QStringLiteral("int frame%1 = step(recording, %2); // 帧 %3").arg(line).arg(frame).arg(w));
    }
    return picture;
}

// A recording of `frames` busy frames and `soundMs` of default sound (22050 bytes a second).
QString MakeRecording(const QString& folder, const QString& name, QSize size, int frames, int soundMs)
{
    const QString path = QDir(folder).filePath(name);
    store::PAVIFILE file;
    store::AVIFileOpen(&file, path.toStdString(), store::OF_CREATE | store::OF_WRITE | store::OF_SHARE_DENY_NONE);
    store::AVISTREAMINFOA info{};
    info.fccType = store::streamtypeAUDIO;
    info.dwScale = 1;
    info.dwRate = 11025;
    info.dwSampleSize = 2;
    store::PAVISTREAM audio;
    store::AVIFileCreateStream(file, &audio, info);
    store::SoundFormatArea format{};
    format.format = {store::WAVE_FORMAT_PCM, 1, 11025, 22050, 2, 16, 0};
    store::AVIStreamSetFormat(audio, 0, &format, sizeof format);
    const std::vector<std::uint8_t> sound(static_cast<std::size_t>(22050) * soundMs / 1000, 0x10);
    store::AVIStreamWrite(audio, 0, store::LONG(sound.size()), sound.data(), store::LONG(sound.size()), 0, nullptr, nullptr);
    store::AVIStreamRelease(audio);
    store::AVIFileRelease(file);

    store::FrameStore store = store::FrameStore::CreateFrameStore((path + ".xxx").toStdString());
    for (int k = 0; k < frames; ++k) {
        const QImage picture = BusyScreen(size.width(), size.height(), k);
        store.AppendFrame({picture.constBits(), picture.width(), picture.height(), picture.bytesPerLine(),
                           store::PixelLayout::Xrgb32});
    }
    store.AddToFrameCount(frames);
    store.Close();
    return path;
}

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// One step as the browser takes it, in parts: read the record, decode it, show it (the window paints
// the picture and puts it on the screen).
void StepTimes(editor::TForm7& window, const QString& path, QSize size)
{
    window.targetPath = path;
    window.Button1Click();
    editor::OpenRecording& recording = window.recording();
    std::vector<double> read, decode, show, step, kilobytes;
    for (int i = 0; i < 60; ++i) {
        if (recording.AtEnd())
            recording.Rewind();
        const auto t0 = Clock::now();
        const store::FrameRecord record = recording.Frames().ReadNextFrame();
        const auto t1 = Clock::now();
        QImage picture(store::ReadJpegDimensions(record.jpeg).width, store::ReadJpegDimensions(record.jpeg).height,
                       QImage::Format_RGB32);
        store::DecodeJpegInto(record.jpeg, "bench", store::PixelLayout::Xrgb32, [&](int, int) {
            return store::PixelTarget{picture.bits(), picture.bytesPerLine()};
        });
        const auto t2 = Clock::now();
        window.ShowPicture(picture);
        window.Image4->repaint();
        const auto t3 = Clock::now();
        read.push_back(Ms(t1 - t0));
        kilobytes.push_back(double(record.jpeg.size()) / 1024.0);
        decode.push_back(Ms(t2 - t1));
        show.push_back(Ms(t3 - t2));
    }
    // The whole step through the window's own command.
    for (int i = 0; i < 60; ++i) {
        const auto t0 = Clock::now();
        window.ShowNextFrame();
        window.Image4->repaint();
        step.push_back(Ms(Clock::now() - t0));
    }
    const double worst = *std::max_element(step.begin(), step.end());
    std::printf("step %4dx%-4d  (JPEG %4.0f KiB)  read %5.2f ms  decode %5.2f ms  show %5.2f ms  | next frame (median) %5.2f ms, worst %5.2f ms  %s\n",
                size.width(), size.height(), Median(kilobytes), Median(read), Median(decode), Median(show), Median(step), worst,
                size.height() >= 1080 ? (Median(step) <= 15.0 ? "(target 15 ms: met)" : "(target 15 ms: MISSED)") : "");
    window.ToolButton12Click();
}

// Plays a recording from frame 1 with the window's own timer and compares the time with the sound.
void Drift(editor::TForm7& window, const QString& path, QSize size, int frames, int soundMs)
{
    window.targetPath = path;
    window.Button1Click();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (!window.Timer6.isActive())
            loop.quit();
    });
    const auto t0 = Clock::now();
    window.ToolButton6Click();
    poll.start(1);
    loop.exec();
    const double played = Ms(Clock::now() - t0);
    const double drift = (played - soundMs) / soundMs * 100.0;
    std::printf("play %4dx%-4d  %3d frames over %5d ms of sound, interval %3d ms: played %7.1f ms, drift %+5.2f %%  %s\n",
                size.width(), size.height(), frames, soundMs, window.Timer6.interval(), played, drift,
                std::abs(drift) <= 5.0 ? "(target 5 %: met)" : "(target 5 %: MISSED)");
    window.ToolButton12Click();
}

// Message boxes would stop a benchmark: they are printed instead.
class PrintedPrompts final : public platform::Prompts {
public:
    platform::MessageAnswer message(QWidget*, const QString& text, const QString&, platform::MessageIcon,
                                    platform::MessageButtons) override
    {
        std::printf("message: %s\n", qPrintable(text));
        return platform::MessageAnswer::No;
    }
    void error(const QString& text) override { std::printf("error: %s\n", qPrintable(text)); }
    platform::FileDialogResult openFile(QWidget*, const platform::FileDialogRequest&) override { return {}; }
    platform::FileDialogResult saveFile(QWidget*, const platform::FileDialogRequest&) override { return {}; }
    std::optional<QColor> chooseColor(QWidget*, const QColor&) override { return std::nullopt; }
};

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    app::QuolvaApplication application(argc, argv);
    platform::installPrompts(std::make_unique<PrintedPrompts>());
    QTemporaryDir temporary;
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temporary.path();

    std::printf("platform: %s\n", qPrintable(QGuiApplication::platformName()));
    const auto windows = app::startUp();
    editor::TForm7& window = windows->Form7();
    window.resize(1280, 900);
    // Showing needs a window on the screen: wait until the display has mapped it.
    QElapsedTimer waited;
    waited.start();
    while ((!window.windowHandle() || !window.windowHandle()->isExposed()) && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    std::printf("window exposed: %s\n", window.windowHandle() && window.windowHandle()->isExposed() ? "yes" : "NO");

    const QSize vga(640, 480);
    const QSize hd(1920, 1080);
    StepTimes(window, MakeRecording(folder, QStringLiteral("bench-vga.avi"), vga, 20, 2000), vga);
    StepTimes(window, MakeRecording(folder, QStringLiteral("bench-hd.avi"), hd, 20, 2000), hd);

    // Playback: the capture pace (10 frames a second), a period that is truncated (97.56 -> 97 ms), and
    // 25 frames a second at 1920 × 1080.
    Drift(window, MakeRecording(folder, QStringLiteral("play-vga.avi"), vga, 50, 5000), vga, 50, 5000);
    Drift(window, MakeRecording(folder, QStringLiteral("play-hd-10.avi"), hd, 41, 4000), hd, 41, 4000);
    Drift(window, MakeRecording(folder, QStringLiteral("play-hd-25.avi"), hd, 100, 4000), hd, 100, 4000);
    return 0;
}

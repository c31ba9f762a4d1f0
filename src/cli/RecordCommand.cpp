// quolvactl record: a recording without windows to click, through the recording panel's own engine
// and timers: the viewfinder marks the region (hidden), the grabber ticks every 100 ms (or at --fps), the sound
// buffers are written as they come, and the finishing step closes both files.
#include "app/DisplayPlatform.h"
#include "cli/Commands.h"
#include "cli/ConsolePrompts.h"
#include "cli/RecordingSetup.h"
#include "platform/Screen.h"
#include "record/Recorder.h"
#include "record/Unit2.h"

#include <QApplication>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <limits>
#include <memory>
#include <optional>

#include <sys/socket.h>
#include <unistd.h>

namespace quolva::cli {
namespace {

struct RecordOptions {
    RecordingTarget target;
    int seconds = 0; // 0: until interrupted
    record::RecordingOptions recording; // the defaults unless asked: not the program's stored options
};

// The exit status of a recording that was made without sound.
constexpr int kNoSoundStatus = 3;

// The stop timer counts milliseconds in an int.
constexpr int kLongestSeconds = std::numeric_limits<int>::max() / 1000;

// Reads the options; a usage problem is thrown as text.
RecordOptions parseOptions(const QStringList& arguments)
{
    RecordOptions options;
    bool fullScreen = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        const auto value = [&]() -> QString {
            if (i + 1 >= arguments.size())
                throw std::invalid_argument(qPrintable(argument + QStringLiteral(" needs a value")));
            return arguments[++i];
        };
        if (argument == QLatin1String("--seconds")) {
            bool ok = false;
            options.seconds = value().toInt(&ok);
            if (!ok || options.seconds <= 0 || options.seconds > kLongestSeconds)
                throw std::invalid_argument("--seconds needs a whole number of seconds from 1 to " +
                                            std::to_string(kLongestSeconds) + " (24 days); leave it out to record until "
                                            "interrupted");
        } else if (argument == QLatin1String("--region")) {
            static const QRegularExpression geometry(QStringLiteral("^(\\d+)x(\\d+)\\+(-?\\d+)\\+(-?\\d+)$"));
            const QRegularExpressionMatch match = geometry.match(value());
            if (!match.hasMatch())
                throw std::invalid_argument("--region needs WIDTHxHEIGHT+X+Y, e.g. 640x480+100+80");
            options.target.region = QRect(match.captured(3).toInt(), match.captured(4).toInt(), match.captured(1).toInt(),
                                   match.captured(2).toInt());
            if (options.target.region->width() < 1 || options.target.region->height() < 1)
                throw std::invalid_argument("--region needs a width and a height of at least 1 pixel");
        } else if (argument == QLatin1String("--fps")) {
            bool ok = false;
            options.recording.framesPerSecond = value().toInt(&ok);
            if (!ok || !record::RecordingOptions::isFrameRate(options.recording.framesPerSecond))
                throw std::invalid_argument("--fps needs one of the frame rates 5, 10, 15 or 30");
        } else if (argument == QLatin1String("--show-clicks")) {
            options.recording.showClicks = true;
        } else if (argument == QLatin1String("--show-keys")) {
            options.recording.showKeys = true;
        } else if (argument == QLatin1String("--full-screen")) {
            fullScreen = true;
        } else if (argument == QLatin1String("--follow")) {
            options.target.followCursor = true;
        } else if (argument == QLatin1String("--continue")) {
            options.target.continueTarget = true;
        } else if (argument.startsWith(QLatin1String("--")) || !options.target.path.isEmpty()) {
            throw std::invalid_argument(qPrintable(QStringLiteral("unexpected argument ") + argument));
        } else {
            options.target.path = argument;
        }
    }
    if (options.target.path.isEmpty())
        throw std::invalid_argument("the target AVI file is missing");
    if (fullScreen && options.target.region)
        throw std::invalid_argument("--region and --full-screen exclude each other");
    if (fullScreen && options.target.followCursor)
        throw std::invalid_argument("--follow needs a region: a full-screen recording has nowhere to move");
    return options;
}

// Ctrl-C and SIGTERM stop the recording properly instead of killing it.
int stopPipe[2] = {-1, -1};

void onStopSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(stopPipe[1], &byte, 1);
}

} // namespace

int RecordCommand(int argc, char** argv, const QStringList& arguments)
{
    RecordOptions options;
    try {
        options = parseOptions(arguments);
    } catch (const std::invalid_argument& problem) {
        err(QStringLiteral("quolvactl record: %1").arg(QString::fromUtf8(problem.what())));
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        err(QStringLiteral("quolvactl record: no X display (DISPLAY is not set): there is no screen to record"));
        return 1;
    }
    const app::DisplayChoice display = app::chooseDisplayPlatform(); // XWayland on a Wayland desktop
    if (const QString unreachable = app::unreachableXDisplay(); !unreachable.isEmpty()) {
        err(QStringLiteral("quolvactl record: %1: there is no screen to record").arg(unreachable));
        return 1;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quolva4.1"));
    if (display == app::DisplayChoice::XWayland && platform::Screen::recordingMethod() != platform::Screen::GrabMethod::Portal)
        err(QStringLiteral("quolvactl record: %1").arg(app::xwaylandNote()));
    auto consolePrompts = std::make_unique<ConsolePrompts>();
    ConsolePrompts& prompts = *consolePrompts;
    platform::installPrompts(std::move(consolePrompts));

    record::TForm2 viewfinder;
    record::Recorder recorder(viewfinder, nullptr);
    const QSize frameSize = PrepareLikeTheWizard(recorder, viewfinder, options.target);
    recorder.options = options.recording;

    qint64 soundBytes = 0;
    QObject::connect(&recorder.soundCapture, &record::SoundCapture::bufferWritten,
                     [&](char, quint32 bytes) { soundBytes += bytes; });
    QObject::connect(&recorder, &record::Recorder::recordingFinished, &application, [&] { QApplication::quit(); });

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, stopPipe) != 0)
        throw std::runtime_error("cannot set up the stop signal");
    QSocketNotifier stopNotifier(stopPipe[0], QSocketNotifier::Read);
    QObject::connect(&stopNotifier, &QSocketNotifier::activated, [&] {
        char byte = 0;
        [[maybe_unused]] const ssize_t got = ::read(stopPipe[0], &byte, 1);
        if (recorder.isRecording())
            recorder.tingzhi();
    });
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);

    try {
        recorder.luzhi();
    } catch (...) {
        // Refused before anything was recorded (the desktop's screen sharing, the frame store): a new
        // target is deleted again, a continued one left as it was.
        recorder.session.CancelTarget();
        throw;
    }
    if (!recorder.isRecording())
        throw std::runtime_error("the recording did not start");
    out(QStringLiteral("recording %1x%2 into %3%4").arg(frameSize.width()).arg(frameSize.height()).arg(options.target.path,
        options.seconds > 0 ? QStringLiteral(" for %1 s").arg(options.seconds) : QStringLiteral(" until interrupted")));
    if (options.seconds > 0)
        QTimer::singleShot(options.seconds * 1000, Qt::PreciseTimer, &recorder, [&] {
            if (recorder.isRecording())
                recorder.tingzhi();
        });
    QApplication::exec();

    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    const int errors = prompts.errorCount;
    platform::installPrompts(nullptr);
    out(QStringLiteral("frames written: %1").arg(recorder.framesOfLastRecording));
    out(QStringLiteral("sound bytes: %1").arg(soundBytes));
    if (recorder.clock.skippedTicks() > 0)
        out(QStringLiteral("ticks skipped: %1").arg(recorder.clock.skippedTicks()));
    // A recording stopped by a full disk was told on standard error (one message) and kept as far as
    // it got: the command failed.
    if (errors != 0 || !recorder.lastFailures().isEmpty())
        return 1;
    // Frames without sound are kept, but a script must not take them for a whole recording.
    if (soundBytes == 0) {
        const QString& cause = recorder.soundCapture.startFailure();
        err(QStringLiteral("quolvactl record: no sound was recorded: %1")
                .arg(cause.isEmpty() ? QStringLiteral("the sound device delivered nothing") : cause));
        return kNoSoundStatus;
    }
    return 0;
}

} // namespace quolva::cli

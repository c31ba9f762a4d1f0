// quolvactl: the command-line companion of Quolva, over the same code as the program.
#include "cli/Commands.h"
#include "platform/ProcessEnd.h"

#include <QCoreApplication>

#include <cstdio>
#include <exception>

namespace quolva::cli {

void out(const QString& line)
{
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

void err(const QString& line)
{
    std::fputs(qPrintable(line + QLatin1Char('\n')), stderr);
}

} // namespace quolva::cli

namespace {

const char* kUsage =
    "usage: quolvactl COMMAND ARGS\n"
    "  info REC.avi          what a recording holds: frames, frame size, sound, the AVI streams (also\n"
    "                        what an SWF movie holds)\n"
    "  frames REC.avi DIR    writes every frame as DIR/000001.jpg, DIR/000002.jpg, ... (DIR must hold no\n"
    "                        frames yet)\n"
    "  check REC.avi         checks the frame store and the AVI indexes; status 1 at the first fault\n"
    "  record OUT.avi [--seconds N] [--region WxH+X+Y | --full-screen] [--follow] [--continue]\n"
    "                [--fps 5|10|15|30] [--show-clicks] [--show-keys]\n"
    "                        records the screen and the default sound input (needs an X display); at 10\n"
    "                        frames a second without marks unless asked\n"
    "  repair REC.avi        after a crash: header count, torn last record, AVI index (damage in the\n"
    "                        middle of the frame store is reported, not cut)\n"
    "  publish REC.avi --avi [--codec NAME] [--quality Q]\n"
    "                        adds the frames as a video stream to the recording's AVI file\n"
    "  publish REC.avi --swf OUT.swf\n"
    "                        writes the recording as an SWF movie with its sound\n"
    "  publish REC.avi --mp4 OUT.mp4 | --webm OUT.webm | --gif OUT.gif [--track N|none] [--quality Q]\n"
    "                        writes a movie a browser plays: H.264 and AAC, VP9 and Opus, or an animated\n"
    "                        GIF; --track 0 is the recording's own sound, N its N-th dubbed track\n"
    "  demo [DIR]            records a moving scene with a tone, burns in a rising caption, publishes it\n"
    "                        as H.264 AVI and SWF into DIR (default: a new folder here); needs a display\n"
    "                        and a sound server (scripts/run.sh starts private ones when there is none)\n";

} // namespace

namespace {

int runCommand(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (arguments.isEmpty() || arguments.front() == QLatin1String("--help") || arguments.front() == QLatin1String("-h")) {
        std::fputs(kUsage, arguments.isEmpty() ? stderr : stdout);
        return arguments.isEmpty() ? 2 : 0;
    }
    const QString command = arguments.takeFirst();
    try {
        if (command == QLatin1String("info"))
            return quolva::cli::InfoCommand(arguments);
        if (command == QLatin1String("frames"))
            return quolva::cli::FramesCommand(arguments);
        if (command == QLatin1String("check"))
            return quolva::cli::CheckCommand(arguments);
        if (command == QLatin1String("record"))
            return quolva::cli::RecordCommand(argc, argv, arguments);
        if (command == QLatin1String("repair"))
            return quolva::cli::RepairCommand(arguments);
        if (command == QLatin1String("publish"))
            return quolva::cli::PublishCommand(argc, argv, arguments);
        if (command == QLatin1String("demo"))
            return quolva::cli::DemoCommand(argc, argv, arguments);
    } catch (const std::exception& failure) {
        quolva::cli::err(QStringLiteral("quolvactl %1: %2").arg(command, QString::fromUtf8(failure.what())));
        return 1;
    }
    std::fprintf(stderr, "quolvactl: unknown command '%s'\n%s", qPrintable(command), kUsage);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    // Every command has closed its files when it returns.
    quolva::platform::EndProcess(runCommand(argc, argv));
}

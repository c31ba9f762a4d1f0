// quolvactl publish: the publish dialog's exports without the dialog. The recording is opened as the
// editor opens it, and the same export objects write the movie.
#include "cli/Commands.h"
#include "cli/PublishCommands.h"
#include "editor/OpenRecording.h"

#include <QCoreApplication>

#include <stdexcept>

namespace quolva::cli {
namespace {

const char* kUsage = "usage: quolvactl publish REC.avi --avi [--codec NAME] [--quality Q]\n"
                     "       quolvactl publish REC.avi --swf OUT.swf\n"
                     "       quolvactl publish REC.avi --mp4 OUT.mp4 | --webm OUT.webm | --gif OUT.gif [--track N|none]\n"
                     "                             [--quality Q]";

PublishOptions parsePublishOptions(const QStringList& arguments)
{
    if (arguments.isEmpty())
        throw std::invalid_argument("no recording given");
    PublishOptions options;
    options.recording = arguments.front();
    bool trackGiven = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        const auto value = [&]() -> QString {
            if (i + 1 >= arguments.size())
                throw std::invalid_argument(qPrintable(argument + QStringLiteral(" needs a value")));
            return arguments[++i];
        };
        if (argument == QLatin1String("--avi")) {
            options.avi = true;
        } else if (argument == QLatin1String("--swf")) {
            options.swfOutput = value();
        } else if (argument == QLatin1String("--mp4") || argument == QLatin1String("--webm") ||
                   argument == QLatin1String("--gif")) {
            if (options.web)
                throw std::invalid_argument("give one of --mp4, --webm and --gif");
            options.web = argument == QLatin1String("--mp4")    ? publish::WebFormat::Mp4
                          : argument == QLatin1String("--webm") ? publish::WebFormat::WebM
                                                                : publish::WebFormat::Gif;
            options.webOutput = value();
        } else if (argument == QLatin1String("--track")) {
            const QString track = value();
            bool ok = false;
            options.track = track == QLatin1String("none") ? publish::WebSettings::kNoSound : track.toInt(&ok);
            if (track != QLatin1String("none") && (!ok || options.track < 0))
                throw std::invalid_argument("--track needs 0 (the recording's own sound), a dubbed track's number or none");
            trackGiven = true;
        } else if (argument == QLatin1String("--codec")) {
            options.codec = value();
        } else if (argument == QLatin1String("--quality")) {
            bool ok = false;
            options.quality = value().toInt(&ok);
            if (!ok || options.quality < 0 || options.quality > 100)
                throw std::invalid_argument("--quality needs a whole number from 0 to 100");
        } else {
            throw std::invalid_argument(qPrintable(QStringLiteral("unknown option ") + argument));
        }
    }
    if (int(options.avi) + int(!options.swfOutput.isEmpty()) + int(options.web.has_value()) != 1)
        throw std::invalid_argument("give one of --avi, --swf OUT.swf, --mp4 OUT.mp4, --webm OUT.webm, --gif OUT.gif");
    if (!options.codec.isEmpty() && !options.avi)
        throw std::invalid_argument("--codec belongs to --avi");
    if (options.quality >= 0 && !options.avi && !options.web)
        throw std::invalid_argument("--quality belongs to --avi, --mp4, --webm and --gif");
    if (trackGiven && !options.web)
        throw std::invalid_argument("--track belongs to --mp4, --webm and --gif");
    if (trackGiven && options.web == publish::WebFormat::Gif)
        throw std::invalid_argument("--track: a GIF has no sound");
    return options;
}

} // namespace

int PublishCommand(int argc, char** argv, const QStringList& arguments)
{
    PublishOptions options;
    try {
        options = parsePublishOptions(arguments);
    } catch (const std::invalid_argument& problem) {
        err(QStringLiteral("quolvactl publish: %1\n%2").arg(QString::fromUtf8(problem.what()), QString::fromUtf8(kUsage)));
        return 2;
    }
    // Pictures are decoded and converted with QtGui; no window is shown.
    QCoreApplication application(argc, argv);
    editor::OpenRecording recording;
    recording.Open(options.recording);
    const int status = options.avi ? PublishAvi(recording, options)
                       : options.web ? PublishWeb(recording, options)
                                     : PublishSwf(recording, options);
    recording.Close();
    return status;
}

} // namespace quolva::cli

#pragma once
#include "platform/VideoCompressors.h"
#include "platform/WaveInTypes.h"

#include <QColor>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class QWidget;

namespace quolva::platform {

enum class MessageIcon { None, Information, Warning, Error, Question };

// What the user answered in a message box.
enum class MessageAnswer { Ok, Cancel, Yes, No };
enum class MessageButtons { Ok, OkCancel, YesNo };

// A file dialog as the windows describe it. The filter uses the windows' own notation,
// "description|pattern|description|pattern", e.g. "视频文件[*.avi]|*.avi".
struct FileDialogRequest {
    QString title;
    QString filter;
    QString defaultSuffix;      // added to a typed name without extension ("avi")
    QString directory;
    bool confirmOverwrite = false;
    bool allowMultiple = false;
};

// The files chosen (empty when cancelled) and the index of the filter pair in force (0-based).
struct FileDialogResult {
    QStringList files;
    int filterIndex = 0;
    bool accepted() const { return !files.isEmpty(); }
};

// acmFormatChoose's results besides success (MMSYSERR_NOERROR): the user cancelled, or no format could
// be offered (no input device, or none that records 16-bit PCM).
inline constexpr MMResult ACMERR_NOTPOSSIBLE = 512;
inline constexpr MMResult ACMERR_CANCELED = 515;

// How the sound-format chooser ended, and the format it ended with (the chosen one after a success, the
// current one otherwise).
struct SoundFormatChoice {
    MMResult result = ACMERR_CANCELED;
    SoundFormat format;
};

// The one seam for everything modal: message boxes, the standard error box, file and colour dialogs and
// the choosers. Windows never open dialogs themselves; tests install a scripted implementation that
// records every message and answers dialogs from a queue.
class Prompts {
public:
    virtual ~Prompts() = default;

    // A message box. An empty caption stands for the system's default caption.
    virtual MessageAnswer message(QWidget* owner, const QString& text, const QString& caption,
                                  MessageIcon icon, MessageButtons buttons = MessageButtons::Ok) = 0;

    // The application's standard error box for an unexpected failure: the failure's text (possibly empty).
    virtual void error(const QString& text) = 0;

    virtual FileDialogResult openFile(QWidget* owner, const FileDialogRequest& request) = 0;
    virtual FileDialogResult saveFile(QWidget* owner, const FileDialogRequest& request) = 0;

    // The colour dialog: the chosen colour, or nothing when cancelled.
    virtual std::optional<QColor> chooseColor(QWidget* owner, const QColor& initial) = 0;

    // The sound-format chooser (acmFormatChoose): starts at `current` and lets the user pick one of
    // `offered`. Ends in success (MMSYSERR_NOERROR, the chosen format), ACMERR_CANCELED, or another
    // failure; with nothing offered it fails with ACMERR_NOTPOSSIBLE without showing anything.
    // Prompts that cannot show a chooser (the console's) answer as cancelled.
    virtual SoundFormatChoice chooseSoundFormat(QWidget* owner, const QString& title, const SoundFormat& current,
                                                const QList<SoundFormat>& offered);

    // The video compressor chooser (ICCompressorChoose's dialog): one of `offered` with its quality and,
    // as `flags` ask (ICMF_CHOOSE_KEYFRAME, ICMF_CHOOSE_DATARATE), its key-frame interval and data rate,
    // starting at `initial`. Nothing when cancelled. Prompts that cannot show a chooser (the console's)
    // answer as cancelled.
    virtual std::optional<VideoCompressorChoice> chooseVideoCompressor(QWidget* owner, const QString& title,
                                                                       unsigned flags,
                                                                       const QList<VideoCompressorInfo>& offered,
                                                                       const VideoCompressorChoice& initial);
};

// The Prompts in force: the real dialogs unless a test installed its own.
Prompts& prompts();

// Replaces the Prompts in force and returns the previous one (tests restore it).
std::unique_ptr<Prompts> installPrompts(std::unique_ptr<Prompts> replacement);

// Turns the windows' "description|pattern|…" filter notation into Qt's "description (pattern);;…".
QString qtFileFilter(const QString& windowsFilter);

} // namespace quolva::platform

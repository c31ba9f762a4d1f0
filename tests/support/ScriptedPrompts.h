#pragma once
#include "platform/Prompts.h"
#include "platform/Shell.h"

#include <QList>
#include <QString>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

namespace quolva::test {

// A Prompts that never blocks: it records every message and error, and answers dialogs from queues.
// A dialog asked for with nothing queued is recorded as unexpected and answered as cancelled.
class ScriptedPrompts final : public platform::Prompts {
public:
    struct Message {
        QString text;
        QString caption;
        platform::MessageIcon icon;
    };
    struct FileRequest {
        bool save;
        platform::FileDialogRequest request;
    };
    struct SoundFormatRequest {
        QString title;
        platform::SoundFormat current;
        QList<platform::SoundFormat> offered;
    };
    struct CompressorRequest {
        QWidget* owner;
        QString title;
        unsigned flags;
        QList<platform::VideoCompressorInfo> offered;
        platform::VideoCompressorChoice initial;
    };
    // A queued answer of the compressor chooser: the compressor by its key with its settings, or cancel.
    struct CompressorAnswer {
        std::optional<QString> key;
        platform::LONG quality = platform::ICQUALITY_DEFAULT;
        platform::LONG keyFrameEvery = 0;
        platform::LONG dataRate = 0;
    };

    // Installs a fresh ScriptedPrompts for the lifetime of the returned guard.
    class Installed {
    public:
        Installed();
        ~Installed();
        ScriptedPrompts& operator*() const { return *prompts_; }
        ScriptedPrompts* operator->() const { return prompts_; }

    private:
        ScriptedPrompts* prompts_;
        std::unique_ptr<platform::Prompts> previous_;
    };

    // Queued answers, taken in order.
    void answerMessage(platform::MessageAnswer answer) { messageAnswers.push_back(answer); }
    void answerFiles(QStringList files, int filterIndex = 0) { fileAnswers.push_back({std::move(files), filterIndex}); }
    void cancelFileDialog() { fileAnswers.push_back({}); }
    void answerColor(std::optional<QColor> color) { colorAnswers.push_back(color); }
    // The sound-format chooser: picks `format` (success), is cancelled, or fails with `result`.
    void answerSoundFormat(const platform::SoundFormat& format) { soundFormatAnswers.push_back({platform::MMSYSERR_NOERROR, format}); }
    void cancelSoundFormat() { soundFormatAnswers.push_back({platform::ACMERR_CANCELED, {}}); }
    void failSoundFormat(platform::MMResult result) { soundFormatAnswers.push_back({result, {}}); }
    // The compressor chooser: picks the compressor with this key ("h264") and these settings, or is
    // cancelled.
    void answerVideoCompressor(const QString& key, platform::LONG quality = platform::ICQUALITY_DEFAULT,
                               platform::LONG keyFrameEvery = 0, platform::LONG dataRate = 0)
    {
        compressorAnswers.push_back({key, quality, keyFrameEvery, dataRate});
    }
    void cancelVideoCompressor() { compressorAnswers.push_back({}); }

    platform::MessageAnswer message(QWidget* owner, const QString& text, const QString& caption,
                                    platform::MessageIcon icon, platform::MessageButtons buttons) override;
    void error(const QString& text) override;
    platform::FileDialogResult openFile(QWidget* owner, const platform::FileDialogRequest& request) override;
    platform::FileDialogResult saveFile(QWidget* owner, const platform::FileDialogRequest& request) override;
    std::optional<QColor> chooseColor(QWidget* owner, const QColor& initial) override;
    // Like the real chooser it fails with ACMERR_NOTPOSSIBLE when nothing is offered (no queued answer is
    // taken then); a cancel or a failure ends with the current format.
    platform::SoundFormatChoice chooseSoundFormat(QWidget* owner, const QString& title, const platform::SoundFormat& current,
                                                  const QList<platform::SoundFormat>& offered) override;
    // A key that is not offered is recorded as unexpected and answered as cancelled.
    std::optional<platform::VideoCompressorChoice> chooseVideoCompressor(
        QWidget* owner, const QString& title, unsigned flags, const QList<platform::VideoCompressorInfo>& offered,
        const platform::VideoCompressorChoice& initial) override;

    QList<Message> messages;
    QStringList errors;
    QList<FileRequest> fileRequests;
    QList<SoundFormatRequest> soundFormatRequests;
    QList<CompressorRequest> compressorRequests;
    QStringList unexpected; // dialogs asked for without a queued answer
    // Runs while a message box is "open", after it is recorded: what the user (or a timer, a hotkey) does
    // meanwhile, for tests of handlers entered again from inside a modal box.
    std::function<void(const Message&)> whileMessageShown;
    // Runs while a file dialog or the compressor chooser is "open", before it is answered: the user
    // waiting in it while timers run on (a modal dialog's own event loop lets them).
    std::function<void()> whileDialogShown;

    std::deque<platform::MessageAnswer> messageAnswers;
    std::deque<platform::FileDialogResult> fileAnswers;
    std::deque<std::optional<QColor>> colorAnswers;
    std::deque<platform::SoundFormatChoice> soundFormatAnswers;
    std::deque<CompressorAnswer> compressorAnswers;

private:
    platform::FileDialogResult nextFileAnswer(const char* kind);
};

// A Shell that records the documents it was asked to open.
class RecordingShell final : public platform::Shell {
public:
    class Installed {
    public:
        Installed();
        ~Installed();
        RecordingShell* operator->() const { return shell_; }

    private:
        RecordingShell* shell_;
        std::unique_ptr<platform::Shell> previous_;
    };

    bool openDocument(const QString& path) override
    {
        opened << path;
        return succeed;
    }

    QStringList opened;
    bool succeed = true;
};

} // namespace quolva::test

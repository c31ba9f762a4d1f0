#pragma once
#include "platform/Prompts.h"
#include "platform/Shell.h"

#include <QList>
#include <QString>
#include <deque>
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

    platform::MessageAnswer message(QWidget* owner, const QString& text, const QString& caption,
                                    platform::MessageIcon icon, platform::MessageButtons buttons) override;
    void error(const QString& text) override;
    platform::FileDialogResult openFile(QWidget* owner, const platform::FileDialogRequest& request) override;
    platform::FileDialogResult saveFile(QWidget* owner, const platform::FileDialogRequest& request) override;
    std::optional<QColor> chooseColor(QWidget* owner, const QColor& initial) override;

    QList<Message> messages;
    QStringList errors;
    QList<FileRequest> fileRequests;
    QStringList unexpected; // dialogs asked for without a queued answer

    std::deque<platform::MessageAnswer> messageAnswers;
    std::deque<platform::FileDialogResult> fileAnswers;
    std::deque<std::optional<QColor>> colorAnswers;

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

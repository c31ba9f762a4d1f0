#pragma once
#include "platform/Prompts.h"

namespace quolva::cli {

// Prompts for a command line: messages and errors go to standard error, dialogs are answered as
// cancelled (a headless run never waits for a user).
class ConsolePrompts final : public platform::Prompts {
public:
    platform::MessageAnswer message(QWidget* owner, const QString& text, const QString& caption,
                                    platform::MessageIcon icon, platform::MessageButtons buttons) override;
    void error(const QString& text) override;
    platform::FileDialogResult openFile(QWidget* owner, const platform::FileDialogRequest& request) override;
    platform::FileDialogResult saveFile(QWidget* owner, const platform::FileDialogRequest& request) override;
    std::optional<QColor> chooseColor(QWidget* owner, const QColor& initial) override;
    // quolvactl names the compressor on its command line; a chooser is never shown.
    std::optional<platform::VideoCompressorChoice> chooseVideoCompressor(
        QWidget* owner, const QString& title, unsigned flags, const QList<platform::VideoCompressorInfo>& offered,
        const platform::VideoCompressorChoice& initial) override;

    int errorCount = 0;
};

} // namespace quolva::cli

#include "cli/ConsolePrompts.h"

#include "cli/Commands.h"

namespace quolva::cli {

platform::MessageAnswer ConsolePrompts::message(QWidget*, const QString& text, const QString& caption,
                                                platform::MessageIcon, platform::MessageButtons)
{
    err(caption.isEmpty() ? text : QStringLiteral("%1: %2").arg(caption, text));
    return platform::MessageAnswer::Cancel;
}

void ConsolePrompts::error(const QString& text)
{
    ++errorCount;
    err(QStringLiteral("error: %1").arg(text));
}

platform::FileDialogResult ConsolePrompts::openFile(QWidget*, const platform::FileDialogRequest&)
{
    return {};
}

platform::FileDialogResult ConsolePrompts::saveFile(QWidget*, const platform::FileDialogRequest&)
{
    return {};
}

std::optional<QColor> ConsolePrompts::chooseColor(QWidget*, const QColor&)
{
    return std::nullopt;
}

std::optional<platform::VideoCompressorChoice> ConsolePrompts::chooseVideoCompressor(
    QWidget*, const QString&, unsigned, const QList<platform::VideoCompressorInfo>&, const platform::VideoCompressorChoice&)
{
    return std::nullopt;
}

} // namespace quolva::cli

#include "ScriptedPrompts.h"

namespace quolva::test {

ScriptedPrompts::Installed::Installed()
{
    auto prompts = std::make_unique<ScriptedPrompts>();
    prompts_ = prompts.get();
    previous_ = platform::installPrompts(std::move(prompts));
}

ScriptedPrompts::Installed::~Installed()
{
    platform::installPrompts(std::move(previous_));
}

platform::MessageAnswer ScriptedPrompts::message(QWidget*, const QString& text, const QString& caption,
                                                 platform::MessageIcon icon, platform::MessageButtons)
{
    messages.append({text, caption, icon});
    if (whileMessageShown) {
        const Message shown = messages.back(); // the hook may show more messages
        whileMessageShown(shown);
    }
    if (messageAnswers.empty())
        return platform::MessageAnswer::Ok;
    const platform::MessageAnswer answer = messageAnswers.front();
    messageAnswers.pop_front();
    return answer;
}

void ScriptedPrompts::error(const QString& text)
{
    errors.append(text);
}

platform::FileDialogResult ScriptedPrompts::nextFileAnswer(const char* kind)
{
    if (whileDialogShown)
        whileDialogShown();
    if (fileAnswers.empty()) {
        unexpected << QString::fromLatin1(kind);
        return {};
    }
    platform::FileDialogResult answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
}

platform::FileDialogResult ScriptedPrompts::openFile(QWidget*, const platform::FileDialogRequest& request)
{
    fileRequests.append({false, request});
    return nextFileAnswer("open file dialog");
}

platform::FileDialogResult ScriptedPrompts::saveFile(QWidget*, const platform::FileDialogRequest& request)
{
    fileRequests.append({true, request});
    return nextFileAnswer("save file dialog");
}

std::optional<QColor> ScriptedPrompts::chooseColor(QWidget*, const QColor&)
{
    if (colorAnswers.empty()) {
        unexpected << QStringLiteral("colour dialog");
        return std::nullopt;
    }
    const std::optional<QColor> answer = colorAnswers.front();
    colorAnswers.pop_front();
    return answer;
}

platform::SoundFormatChoice ScriptedPrompts::chooseSoundFormat(QWidget*, const QString& title,
                                                              const platform::SoundFormat& current,
                                                              const QList<platform::SoundFormat>& offered)
{
    soundFormatRequests.append({title, current, offered});
    if (offered.isEmpty())
        return {platform::ACMERR_NOTPOSSIBLE, current};
    if (soundFormatAnswers.empty()) {
        unexpected << QStringLiteral("sound format chooser");
        return {platform::ACMERR_CANCELED, current};
    }
    platform::SoundFormatChoice answer = soundFormatAnswers.front();
    soundFormatAnswers.pop_front();
    if (answer.result != platform::MMSYSERR_NOERROR)
        answer.format = current;
    return answer;
}

std::optional<platform::VideoCompressorChoice> ScriptedPrompts::chooseVideoCompressor(
    QWidget* owner, const QString& title, unsigned flags, const QList<platform::VideoCompressorInfo>& offered,
    const platform::VideoCompressorChoice& initial)
{
    compressorRequests.append({owner, title, flags, offered, initial});
    if (whileDialogShown)
        whileDialogShown();
    if (compressorAnswers.empty()) {
        unexpected << QStringLiteral("compressor chooser");
        return std::nullopt;
    }
    const CompressorAnswer answer = compressorAnswers.front();
    compressorAnswers.pop_front();
    if (!answer.key)
        return std::nullopt;
    for (qsizetype i = 0; i < offered.size(); ++i)
        if (offered[i].key == *answer.key)
            return platform::VideoCompressorChoice{int(i), answer.quality, answer.keyFrameEvery, answer.dataRate};
    unexpected << QStringLiteral("compressor %1 not offered").arg(*answer.key);
    return std::nullopt;
}

RecordingShell::Installed::Installed()
{
    auto shell = std::make_unique<RecordingShell>();
    shell_ = shell.get();
    previous_ = platform::installShell(std::move(shell));
}

RecordingShell::Installed::~Installed()
{
    platform::installShell(std::move(previous_));
}

} // namespace quolva::test

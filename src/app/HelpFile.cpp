#include "app/HelpFile.h"

#include "platform/Prompts.h"
#include "platform/Shell.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace quolva::app {

QString helpFilePath()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("Zentra.chm"));
}

void openHelpFile(QWidget* owner)
{
    const QString path = helpFilePath();
    if (QFileInfo::exists(path) && platform::shell().openDocument(path))
        return;
    platform::prompts().message(owner, QStringLiteral("无法打开帮助文件 %1").arg(QDir::toNativeSeparators(path)),
                                QStringLiteral("提示"), platform::MessageIcon::Warning);
}

} // namespace quolva::app

#include "platform/Prompts.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QMessageBox>

#include <algorithm>

namespace quolva::platform {
namespace {

QMessageBox::Icon qtIcon(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::Warning: return QMessageBox::Warning;
    case MessageIcon::Error: return QMessageBox::Critical;
    case MessageIcon::Question: return QMessageBox::Question;
    case MessageIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

// The caption a message box gets when its caller gives none: the application's title.
QString captionOrDefault(const QString& caption)
{
    return caption.isEmpty() ? QCoreApplication::applicationName() : caption;
}

// The real dialogs.
class QtPrompts final : public Prompts {
public:
    MessageAnswer message(QWidget* owner, const QString& text, const QString& caption, MessageIcon icon,
                          MessageButtons buttons) override
    {
        QMessageBox box(qtIcon(icon), captionOrDefault(caption), text, QMessageBox::NoButton, owner);
        switch (buttons) {
        case MessageButtons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
        case MessageButtons::OkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
        case MessageButtons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
        }
        switch (box.exec()) {
        case QMessageBox::Cancel: return MessageAnswer::Cancel;
        case QMessageBox::Yes: return MessageAnswer::Yes;
        case QMessageBox::No: return MessageAnswer::No;
        default: return MessageAnswer::Ok;
        }
    }

    void error(const QString& text) override
    {
        QMessageBox box(QMessageBox::Critical, captionOrDefault({}), text, QMessageBox::Ok,
                        QApplication::activeWindow());
        box.exec();
    }

    FileDialogResult openFile(QWidget* owner, const FileDialogRequest& request) override
    {
        QFileDialog dialog(owner);
        configure(dialog, request);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(request.allowMultiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
        return run(dialog);
    }

    FileDialogResult saveFile(QWidget* owner, const FileDialogRequest& request) override
    {
        QFileDialog dialog(owner);
        configure(dialog, request);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
        return run(dialog);
    }

    std::optional<QColor> chooseColor(QWidget* owner, const QColor& initial) override
    {
        const QColor chosen = QColorDialog::getColor(initial, owner);
        if (!chosen.isValid())
            return std::nullopt;
        return chosen;
    }

private:
    static void configure(QFileDialog& dialog, const FileDialogRequest& request)
    {
        if (!request.title.isEmpty())
            dialog.setWindowTitle(request.title);
        if (!request.directory.isEmpty())
            dialog.setDirectory(request.directory);
        dialog.setNameFilter(qtFileFilter(request.filter));
        dialog.setDefaultSuffix(request.defaultSuffix);
    }

    static FileDialogResult run(QFileDialog& dialog)
    {
        FileDialogResult result;
        if (dialog.exec() != QDialog::Accepted)
            return result;
        result.files = dialog.selectedFiles();
        result.filterIndex = std::max<int>(0, dialog.nameFilters().indexOf(dialog.selectedNameFilter()));
        return result;
    }
};

std::unique_ptr<Prompts>& current()
{
    static std::unique_ptr<Prompts> instance = std::make_unique<QtPrompts>();
    return instance;
}

} // namespace

Prompts& prompts()
{
    return *current();
}

std::unique_ptr<Prompts> installPrompts(std::unique_ptr<Prompts> replacement)
{
    if (!replacement)
        replacement = std::make_unique<QtPrompts>();
    std::swap(current(), replacement);
    return replacement;
}

QString qtFileFilter(const QString& windowsFilter)
{
    const QStringList parts = windowsFilter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        filters << QStringLiteral("%1 (%2)").arg(parts[i], patterns);
    }
    return filters.join(QStringLiteral(";;"));
}

} // namespace quolva::platform

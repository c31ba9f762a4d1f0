#include "platform/Prompts.h"

#include "platform/CompressorChooser.h"
#include "platform/UiFonts.h"
#include "platform/WindowPlacement.h"

#include <QApplication>
#include <QColorDialog>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

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

// A sound format as the chooser lists it: "11025 Hz, 16 位, 单声道  (21.5 KB/秒)".
QString describeSoundFormat(const SoundFormat& format)
{
    const QString channels = format.nChannels == 1   ? QStringLiteral("单声道")
                             : format.nChannels == 2 ? QStringLiteral("立体声")
                                                     : QStringLiteral("%1 声道").arg(format.nChannels);
    return QStringLiteral("%1 Hz, %2 位, %3  (%4 KB/秒)")
        .arg(format.nSamplesPerSec)
        .arg(format.wBitsPerSample)
        .arg(channels)
        .arg(format.nAvgBytesPerSec / 1024.0, 0, 'f', 1);
}

// The stand-in for the audio compression manager's format dialog: the PCM formats offered, the current
// one selected, OK and Cancel.
SoundFormatChoice runSoundFormatDialog(QWidget* owner, const QString& title, const SoundFormat& current,
                                       const QList<SoundFormat>& offered)
{
    QDialog dialog(owner);
    dialog.setWindowTitle(title);
    dialog.setFont(interfaceFont(QStringLiteral("宋体"), 13));
    auto* layout = new QVBoxLayout(&dialog);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("格式(&F):"), new QLabel(QStringLiteral("PCM"), &dialog));
    auto* list = new QListWidget(&dialog);
    list->setObjectName(QStringLiteral("formats"));
    for (const SoundFormat& format : offered)
        list->addItem(describeSoundFormat(format));
    list->setMinimumWidth(list->sizeHintForColumn(0) + 30);
    form->addRow(QStringLiteral("属性(&A):"), list);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("取消"));
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(list, &QListWidget::itemDoubleClicked, &dialog, &QDialog::accept);

    // Starts at the current format; a format the device does not offer leaves nothing selected.
    const qsizetype currentRow = offered.indexOf(current);
    if (currentRow >= 0)
        list->setCurrentRow(int(currentRow));
    // Only a selected format can be taken.
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    const auto selectedRow = [list] { return list->selectedItems().isEmpty() ? -1 : list->row(list->selectedItems().front()); };
    ok->setEnabled(selectedRow() >= 0);
    QObject::connect(list, &QListWidget::itemSelectionChanged, ok, [ok, selectedRow] { ok->setEnabled(selectedRow() >= 0); });

    keepAboveOnTopWindows(dialog);
    if (dialog.exec() != QDialog::Accepted || selectedRow() < 0)
        return {ACMERR_CANCELED, current};
    return {MMSYSERR_NOERROR, offered.at(selectedRow())};
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
        keepAboveOnTopWindows(box);
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
        keepAboveOnTopWindows(box);
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
        QColorDialog dialog(initial, owner);
        keepAboveOnTopWindows(dialog);
        if (dialog.exec() != QDialog::Accepted || !dialog.selectedColor().isValid())
            return std::nullopt;
        return dialog.selectedColor();
    }

    SoundFormatChoice chooseSoundFormat(QWidget* owner, const QString& title, const SoundFormat& current,
                                        const QList<SoundFormat>& offered) override
    {
        if (offered.isEmpty())
            return {ACMERR_NOTPOSSIBLE, current};
        return runSoundFormatDialog(owner, title, current, offered);
    }

    std::optional<VideoCompressorChoice> chooseVideoCompressor(QWidget* owner, const QString& title, unsigned flags,
                                                               const QList<VideoCompressorInfo>& offered,
                                                               const VideoCompressorChoice& initial) override
    {
        if (offered.isEmpty())
            return std::nullopt;
        return runCompressorChooser(owner, title, flags, offered, initial);
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
        keepAboveOnTopWindows(dialog);
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

SoundFormatChoice Prompts::chooseSoundFormat(QWidget*, const QString&, const SoundFormat& current,
                                             const QList<SoundFormat>& offered)
{
    if (offered.isEmpty())
        return {ACMERR_NOTPOSSIBLE, current};
    return {ACMERR_CANCELED, current};
}

std::optional<VideoCompressorChoice> Prompts::chooseVideoCompressor(QWidget*, const QString&, unsigned,
                                                                    const QList<VideoCompressorInfo>&,
                                                                    const VideoCompressorChoice&)
{
    return std::nullopt;
}

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

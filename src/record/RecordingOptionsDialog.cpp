#include "record/RecordingOptionsDialog.h"

#include "platform/Failures.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace quolva::record {

RecordingOptionsDialog::RecordingOptionsDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("RecordingOptionsDialog"));
    setWindowTitle(QStringLiteral("录制选项"));
    const RecordingOptions stored = RecordingOptions::Load();

    FrameRateBox = new QComboBox(this);
    FrameRateBox->setObjectName(QStringLiteral("FrameRateBox"));
    for (int rate : RecordingOptions::kFrameRates)
        FrameRateBox->addItem(QStringLiteral("%1 帧/秒").arg(rate), rate);
    FrameRateBox->setCurrentIndex(FrameRateBox->findData(stored.framesPerSecond));
    ShowClicksBox = new QCheckBox(QStringLiteral("显示鼠标点击"), this);
    ShowClicksBox->setObjectName(QStringLiteral("ShowClicksBox"));
    ShowClicksBox->setChecked(stored.showClicks);
    ShowKeysBox = new QCheckBox(QStringLiteral("显示快捷键"), this);
    ShowKeysBox->setObjectName(QStringLiteral("ShowKeysBox"));
    ShowKeysBox->setChecked(stored.showKeys);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("OkButton"));
    buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole)->setObjectName(QStringLiteral("CancelButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, platform::guarded([this] { OkClick(); }));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("帧率："), FrameRateBox);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(ShowClicksBox);
    layout->addWidget(ShowKeysBox);
    layout->addWidget(buttons);
}

RecordingOptions RecordingOptionsDialog::chosen() const
{
    RecordingOptions options;
    options.framesPerSecond = FrameRateBox->currentData().toInt();
    options.showClicks = ShowClicksBox->isChecked();
    options.showKeys = ShowKeysBox->isChecked();
    return options;
}

void RecordingOptionsDialog::OkClick()
{
    chosen().Save();
    accept();
}

} // namespace quolva::record

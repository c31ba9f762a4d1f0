#include "platform/CompressorChooser.h"
#include "platform/WindowPlacement.h"

#include "platform/UiFonts.h"
#include "platform/VideoCompressor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace quolva::platform {

CompressorChooser::CompressorChooser(QWidget* owner, const QString& title, unsigned flags,
                                     const QList<VideoCompressorInfo>& offered, const VideoCompressorChoice& initial)
    : QDialog(owner), offered_(offered)
{
    setObjectName(QStringLiteral("CompressorChooser"));
    setWindowTitle(title);
    setFont(interfaceFont(QStringLiteral("宋体"), 13));

    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    layout->addLayout(grid);

    auto* compressorLabel = new QLabel(QStringLiteral("压缩程序(&C):"), this);
    compressors = new QComboBox(this);
    compressors->setObjectName(QStringLiteral("compressors"));
    for (const VideoCompressorInfo& info : offered_)
        compressors->addItem(QStringLiteral("%1  [%2]").arg(info.description, FourccText(info.fccHandler)));
    compressorLabel->setBuddy(compressors);
    grid->addWidget(compressorLabel, 0, 0);
    grid->addWidget(compressors, 0, 1, 1, 2);

    auto* qualityLabel = new QLabel(QStringLiteral("压缩质量(&Q):"), this);
    quality = new QSlider(Qt::Horizontal, this);
    quality->setObjectName(QStringLiteral("quality"));
    quality->setRange(0, 100);
    quality->setPageStep(10);
    qualityValue = new QLabel(this);
    qualityValue->setMinimumWidth(qualityValue->fontMetrics().horizontalAdvance(QStringLiteral("100")) + 4);
    qualityLabel->setBuddy(quality);
    grid->addWidget(qualityLabel, 1, 0);
    grid->addWidget(quality, 1, 1);
    grid->addWidget(qualityValue, 1, 2);
    connect(quality, &QSlider::valueChanged, qualityValue, [this](int value) { qualityValue->setNum(value); });

    keyFrameBox = new QCheckBox(QStringLiteral("关键帧间隔(&K)"), this);
    keyFrameBox->setObjectName(QStringLiteral("keyFrameBox"));
    keyFrameEvery = new QSpinBox(this);
    keyFrameEvery->setObjectName(QStringLiteral("keyFrameEvery"));
    keyFrameEvery->setRange(1, 9999);
    keyFrameEvery->setSuffix(QStringLiteral(" 帧"));
    grid->addWidget(keyFrameBox, 2, 0);
    grid->addWidget(keyFrameEvery, 2, 1);

    dataRateBox = new QCheckBox(QStringLiteral("数据速率(&D)"), this);
    dataRateBox->setObjectName(QStringLiteral("dataRateBox"));
    dataRate = new QSpinBox(this);
    dataRate->setObjectName(QStringLiteral("dataRate"));
    dataRate->setRange(1, 1000000);
    dataRate->setValue(300);
    dataRate->setSuffix(QStringLiteral(" KB/秒"));
    grid->addWidget(dataRateBox, 3, 0);
    grid->addWidget(dataRate, 3, 1);

    const bool offersKeyFrames = (flags & ICMF_CHOOSE_KEYFRAME) != 0;
    const bool offersDataRate = (flags & ICMF_CHOOSE_DATARATE) != 0;
    keyFrameBox->setVisible(offersKeyFrames);
    keyFrameEvery->setVisible(offersKeyFrames);
    dataRateBox->setVisible(offersDataRate);
    dataRate->setVisible(offersDataRate);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ok = buttons->button(QDialogButtonBox::Ok);
    cancel = buttons->button(QDialogButtonBox::Cancel);
    ok->setText(QStringLiteral("确定"));
    cancel->setText(QStringLiteral("取消"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    const int start = std::clamp(initial.index, 0, int(std::max<qsizetype>(0, offered_.size() - 1)));
    compressors->setCurrentIndex(start);
    compressorPicked(start, /*keepSettings=*/false);
    if (!offered_.isEmpty()) {
        // The settings the caller brought, where they mean something.
        if (initial.quality >= 0)
            quality->setValue(initial.quality / 100);
        keyFrameBox->setChecked(initial.keyFrameEvery > 0);
        if (initial.keyFrameEvery > 0)
            keyFrameEvery->setValue(initial.keyFrameEvery);
        dataRateBox->setChecked(initial.dataRate > 0);
        if (initial.dataRate > 0)
            dataRate->setValue(initial.dataRate);
    }
    updateEnabled();
    connect(compressors, &QComboBox::currentIndexChanged, this, [this](int index) { compressorPicked(index, false); });
    connect(keyFrameBox, &QCheckBox::toggled, this, [this] { updateEnabled(); });
    connect(dataRateBox, &QCheckBox::toggled, this, [this] { updateEnabled(); });
    ok->setEnabled(!offered_.isEmpty());
}

void CompressorChooser::compressorPicked(int index, bool keepSettings)
{
    if (index < 0 || index >= offered_.size())
        return;
    const VideoCompressorInfo& info = offered_.at(index);
    if (!keepSettings) {
        quality->setValue(info.defaultQuality >= 0 ? info.defaultQuality / 100 : 100);
        keyFrameBox->setChecked(info.defaultKeyFrameRate > 0);
        keyFrameEvery->setValue(std::max<LONG>(1, info.defaultKeyFrameRate));
    }
    qualityValue->setNum(quality->value());
    updateEnabled();
}

void CompressorChooser::updateEnabled()
{
    const int index = compressors->currentIndex();
    const bool valid = index >= 0 && index < offered_.size();
    const VideoCompressorInfo info = valid ? offered_.at(index) : VideoCompressorInfo{};
    quality->setEnabled(info.quality);
    qualityValue->setEnabled(info.quality);
    keyFrameBox->setEnabled(info.keyFrames);
    keyFrameEvery->setEnabled(info.keyFrames && keyFrameBox->isChecked());
    dataRateBox->setEnabled(info.dataRate);
    dataRate->setEnabled(info.dataRate && dataRateBox->isChecked());
}

VideoCompressorChoice CompressorChooser::choice() const
{
    VideoCompressorChoice choice;
    choice.index = compressors->currentIndex();
    const bool valid = choice.index >= 0 && choice.index < offered_.size();
    const VideoCompressorInfo info = valid ? offered_.at(choice.index) : VideoCompressorInfo{};
    choice.quality = info.quality ? quality->value() * 100 : ICQUALITY_DEFAULT;
    choice.keyFrameEvery = info.keyFrames && keyFrameBox->isChecked() ? keyFrameEvery->value() : 0;
    choice.dataRate = info.dataRate && dataRateBox->isChecked() ? dataRate->value() : 0;
    return choice;
}

std::optional<VideoCompressorChoice> runCompressorChooser(QWidget* owner, const QString& title, unsigned flags,
                                                          const QList<VideoCompressorInfo>& offered,
                                                          const VideoCompressorChoice& initial)
{
    CompressorChooser chooser(owner, title, flags, offered, initial);
    keepAboveOnTopWindows(chooser);
    if (chooser.exec() != QDialog::Accepted)
        return std::nullopt;
    return chooser.choice();
}

} // namespace quolva::platform

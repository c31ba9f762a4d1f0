#pragma once
#include "platform/VideoCompressors.h"

#include <QDialog>

#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSlider;
class QSpinBox;

namespace quolva::platform {

// The compressor chooser as the compression manager shows it: the compressors in a list, the quality as
// a slider, and (as the caller's flags ask) the key-frame interval and the data rate, each with a box
// that turns it on. A control that the chosen compressor does not honour is disabled.
class CompressorChooser : public QDialog {
    Q_OBJECT
public:
    CompressorChooser(QWidget* owner, const QString& title, unsigned flags, const QList<VideoCompressorInfo>& offered,
                      const VideoCompressorChoice& initial);

    // What the controls say now.
    VideoCompressorChoice choice() const;

    QComboBox* compressors;
    QSlider* quality;       // 0 to 100
    QLabel* qualityValue;
    QCheckBox* keyFrameBox; // "关键帧间隔(&K)"; hidden without ICMF_CHOOSE_KEYFRAME
    QSpinBox* keyFrameEvery;
    QCheckBox* dataRateBox; // "数据速率(&D)"; hidden without ICMF_CHOOSE_DATARATE
    QSpinBox* dataRate;
    QPushButton* ok;
    QPushButton* cancel;

private:
    // A compressor was picked: its controls are enabled or disabled, and a newly picked one starts at its
    // own quality and key-frame interval.
    void compressorPicked(int index, bool keepSettings);
    void updateEnabled();

    QList<VideoCompressorInfo> offered_;
};

// Shows the chooser modally; nothing when cancelled.
std::optional<VideoCompressorChoice> runCompressorChooser(QWidget* owner, const QString& title, unsigned flags,
                                                          const QList<VideoCompressorInfo>& offered,
                                                          const VideoCompressorChoice& initial);

} // namespace quolva::platform

#pragma once
#include "record/RecordingOptions.h"

#include <QDialog>

class QCheckBox;
class QComboBox;

namespace quolva::record {

// "录制选项": the frame rate and the tutorial marks of the next recordings. Shows the stored options;
// OK (确定) stores the choice, Cancel (取消) leaves it as it was.
class RecordingOptionsDialog : public QDialog {
    Q_OBJECT
public:
    explicit RecordingOptionsDialog(QWidget* parent = nullptr);

    RecordingOptions chosen() const;

    QComboBox* FrameRateBox;
    QCheckBox* ShowClicksBox; // "显示鼠标点击"
    QCheckBox* ShowKeysBox;   // "显示快捷键"

    void OkClick();
};

} // namespace quolva::record

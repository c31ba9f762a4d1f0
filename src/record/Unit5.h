#pragma once
#include <QDialog>

class QCheckBox;
class QFrame;
class QLineEdit;
class QRadioButton;
class QGroupBox;
class QTableWidget;
class QToolButton;

namespace quolva::app { class WindowSet; }

namespace quolva::record {

class PictureButton;
class Recorder;
class RecordingSession;

// The capture setup wizard, in six steps: the sound format, the target file (new or continued), full
// screen or a region, the region's size, placing the viewfinder, and the parameter table. It prepares
// the target file on the way and, when finished, fills the capture settings and sets the ready mark.
class TForm5 : public QDialog {
    Q_OBJECT
public:
    explicit TForm5(app::WindowSet& windows);

    // The six steps' panels, on top of each other; one is in front.
    QFrame* Panel6; // step 0: sound format
    QFrame* Panel1; // step 1: target file
    QFrame* Panel2; // step 2: full screen or a region
    QFrame* Panel3; // step 3: the region's size
    QFrame* Panel4; // step 4: placing the viewfinder
    QFrame* Panel5; // step 5: the parameter table
    QFrame* frontPanel() const { return front_; }

    QToolButton* SpeedButton5; // "<上一步"
    QToolButton* SpeedButton6; // "下一步>", "结束" on the last step
    QToolButton* SpeedButton7; // "取消"

    PictureButton* FormatButton;     // step 0: opens the sound-format chooser
    QGroupBox* Rg1;                  // step 1: new or continued target
    QRadioButton* Rg1New;            //   "新建初始文件进行录制"
    QRadioButton* Rg1Continue;       //   "打开初始文件继续录制"
    QCheckBox* CheckBox1;            // step 2: "是否全屏录制"
    QLineEdit* Edit1;                // step 3: width
    QLineEdit* Edit2;                // step 3: height (disabled)
    PictureButton* ViewfinderButton; // step 4: shows the viewfinder for placing
    QTableWidget* csb;               // step 5: the parameter table
    QCheckBox* CheckBox2;            // step 5: "是否移动捕捉窗口"

    int step = 0;

    // Rg1's choice: 0 new, 1 continue, -1 none.
    int Rg1ItemIndex() const;
    void setRg1ItemIndex(int index);
    // The value of row 1 to 5 of the parameter table.
    QString csbValue(int row) const;

    void SpeedButton6Click(); // next
    void SpeedButton5Click(); // back
    void SpeedButton7Click(); // cancel
    void Edit1Return();       // Enter in Edit1: the viewfinder takes the width and three quarters of it
    void FormatButtonClick(); // the sound-format chooser
    void ViewfinderButtonClick();
    // The viewfinder was resized: its client size goes into Edit1, Edit2 and rows 2 and 3.
    void ViewfinderResized(int width, int height);

    // Refuses to open while a recording runs; otherwise every opening starts over at step 0.
    void setVisible(bool visible) override;
    // Escape and the title bar's close button cancel the wizard.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;

private:
    Recorder& recorder() const;
    RecordingSession& session() const;
    void FormShow();
    void bringToFront(QFrame* panel);
    void setCsbValue(int row, const QString& value);
    void TargetStep();
    void NewTargetStep();
    void ContinueTargetStep();
    void CaptureWindowStep();
    void CaptureFullScreen();
    void Finish();
    bool refuseWhileRecording();

    app::WindowSet& windows_;
    QFrame* front_ = nullptr;
};

} // namespace quolva::record

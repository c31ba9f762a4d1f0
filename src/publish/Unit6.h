#pragma once
#include "platform/Prompts.h"

#include <QDialog>
#include <QImage>
#include <QString>

#include <cstdint>
#include <memory>

class QButtonGroup;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTimer;
class QToolButton;

namespace quolva::app { class WindowSet; }
namespace quolva::editor { class OpenRecording; }

namespace quolva::publish {

class AviExport;
class WebExport;

// The publish dialog: writes the recording open in the main window as a video stream into its own AVI
// file (uncompressed or through a chosen compressor), as an SWF movie, or as a movie for the web (MP4,
// WebM or GIF with the sound track chosen). It owns the steps both exports
// share: preparing for a newly opened recording ("打开文件") and the frame step ("getimage"). Closing it
// finishes the AVI file and closes the recording in the main window.
class TForm6 : public QDialog {
    Q_OBJECT
public:
    explicit TForm6(app::WindowSet& windows);
    ~TForm6() override;

    QFrame* avi;                 // fills the dialog; the mouse over it gets the default arrow
    QGroupBox* GroupBox2;        // "将帧写入avi文件（*.avi）"
    QToolButton* SpeedButton4;   // "开始": the AVI export
    QGroupBox* RadioGroup1;      // "压缩视频": "是", "否" (at first)
    QRadioButton* RadioGroup1Yes;
    QRadioButton* RadioGroup1No;
    QGroupBox* GroupBox1;        // "将帧写为Flash 文件（*.SWF）"
    QPushButton* Button7;        // "开始": the SWF export; the dialog's cancel button (Esc)
    QGroupBox* RadioGroup2;      // "删除临时文件": "是" (at first), "否"
    QRadioButton* RadioGroup2Yes;
    QRadioButton* RadioGroup2No;
    QLabel* Label2;              // "声音1、自动循环、平均播放率", teal
    QGroupBox* GroupBox3;        // "将帧写为网络视频", below the SWF group
    QComboBox* WebFormatBox;     // "MP4 (H.264)", "WebM (VP9)", "GIF"
    QComboBox* WebTrackBox;      // "原声", "配音 1", ... (one per dubbed track), "无声音"; the track number as data
    QPushButton* WebStartButton; // "开始"; "取消" while the movie is being written
    QProgressBar* ProgressBar1;
    QToolButton* SpeedButton2;   // "退出", disabled until an export has ended
    // Internal operations, never shown.
    QToolButton* SpeedButton3;   // "选择视频压缩器..."
    QToolButton* SpeedButton6;   // "不压缩"
    QPushButton* Button3;        // "getimage": the frame step
    QPushButton* Button5;        // "打开文件"
    QPushButton* Button6;        // "flash声音头": the SWF run derives its sound head itself
    QPushButton* Button8;        // starts Timer2
    QTimer* Timer1;              // 50 ms: the AVI export
    QTimer* Timer2;              // 300 ms, one tick: the SWF export
    QTimer* Timer3;              // 10 ms: the web export, frame by frame
    platform::FileDialogRequest SaveDialog1; // the SWF output file
    platform::FileDialogRequest SaveDialog2; // the web movie (its filter follows the format chosen)

    // What the main window hands over when it has opened a recording, and what it reads when it closes it.
    bool fileReady = false;
    std::int32_t frameCount = 0;  // N
    std::int32_t soundLength = 0; // L, sample frames
    std::int32_t soundRate = 0;   // R
    QString frameStorePath;
    bool swfExportStarted = false;
    QString swfOutputPath;        // chosen in SaveDialog1
    // "删除临时文件" stands at "是".
    bool deletesTemporaryFiles() const;

    // The radio groups' choice: 0 "是", 1 "否".
    int RadioGroup1ItemIndex() const;
    void setRadioGroup1ItemIndex(int index);
    int RadioGroup2ItemIndex() const;
    void setRadioGroup2ItemIndex(int index);

    // The AVI export's state (formats, compressor, stream, frameIndex).
    AviExport& aviExport() const { return *export_; }
    // The frame the frame step read last (null before the first and at the end of the store).
    const QImage& frameBitmap() const { return frameBitmap_; }
    // Closing was asked for while an export was writing: the dialog closes once it has finished.
    bool closePending() const { return closeRequested_; }

    void FormShow();
    // "打开文件": prepares the dialog on the recording the main window has just opened.
    void Button5Click();
    // The frame step: the record at the cursor, decoded and shown in the main window.
    void Button3Click();
    void SpeedButton4Click(); // AVI start
    void SpeedButton3Click(); // compressed
    void SpeedButton6Click(); // uncompressed
    // Writes as many frames as fit in about 40 ms (the dialog stays responsive) and finishes the export
    // after the last.
    void Timer1Timer();
    void SpeedButton2Click(); // exit
    void FormClose();
    void Button7Click();      // SWF start
    void Button8Click();
    void Timer2Timer();       // the SWF export
    void aviMouseMove();
    // The web group's button: asks for the output and starts the export, or cancels the one running.
    void WebStartClick();
    // Writes as many frames of the web movie as fit in about 40 ms, completing it after the last.
    void Timer3Timer();
    // The web export running, or nothing.
    WebExport* webExport() const { return web_.get(); }
    // The dubbed tracks of the open recording, offered in the track choice.
    void fillWebTracks();

    // Esc presses the cancel button Button7.
    void reject() override;

    // Frames the AVI export writes per tick are bounded by this much time.
    static constexpr int kTickBudgetMs = 40;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    editor::OpenRecording& recording() const;
    void warn(const QString& text, const QString& caption = QStringLiteral("提示"));
    void beginAviExport();
    // The AVI export has ended (all frames, or stopped with `failure`): the end state, then a pending close.
    void endAviExport(const QString& failure = {});
    void closeIfRequested();
    // The web export has ended (complete, cancelled, or stopped with `failure`).
    void endWebExport(const QString& failure = {});
    void freshExport();
    // An export has taken the recording or is writing.
    bool WorkInProgress() const;

    app::WindowSet& windows_;
    std::unique_ptr<AviExport> export_;
    std::unique_ptr<WebExport> web_;
    QImage frameBitmap_;
    bool closeRequested_ = false;
    bool speedButton4WasEnabled_ = false;
    bool speedButton2WasEnabled_ = false;
    bool button7WasEnabled_ = false;
};

} // namespace quolva::publish

#include "publish/Unit6.h"

#include "app/WindowSet.h"
#include "editor/EditorControls.h"
#include "editor/Etool.h"
#include "platform/Failures.h"
#include "platform/ScreenCursor.h"
#include "platform/UiFonts.h"
#include "platform/VideoCompressor.h"
#include "platform/WindowPlacement.h"
#include "publish/AviExport.h"
#include "publish/SwfExport.h"
#include "publish/WebExport.h"
#include "store/AviFileServices.h"
#include "store/FrameStore.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>

namespace quolva::publish {
namespace {

const QString kStart = QStringLiteral("开始");
const QString kFinished = QStringLiteral("结束");
const QString kCancel = QStringLiteral("取消");
// The web group sits below the SWF group; the progress bar and the exit button move down by its height.
constexpr int kWebGroupHeight = 104;

QToolButton* addSpeedButton(QWidget* parent, const char* name, const QString& caption, QRect at)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setText(caption);
    button->setGeometry(at);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

QPushButton* addButton(QWidget* parent, const char* name, const QString& caption, QRect at)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(at);
    button->setAutoDefault(false); // Enter presses nothing; only Esc has a button (Button7)
    return button;
}

// A radio group of two items in two columns, "是" and "否".
QGroupBox* addYesNoGroup(QWidget* parent, const char* name, const QString& caption, QRect at, QRadioButton*& yes,
                         QRadioButton*& no)
{
    auto* group = new QGroupBox(caption, parent);
    group->setObjectName(QString::fromLatin1(name));
    group->setGeometry(at);
    yes = new QRadioButton(QStringLiteral("是"), group);
    no = new QRadioButton(QStringLiteral("否"), group);
    const int column = (at.width() - 16) / 2;
    yes->setGeometry(10, 24, column - 4, 20);
    no->setGeometry(10 + column, 24, column - 4, 20);
    auto* items = new QButtonGroup(group);
    items->addButton(yes, 0);
    items->addButton(no, 1);
    return group;
}

} // namespace

TForm6::TForm6(app::WindowSet& windows) : windows_(windows)
{
    setObjectName(QStringLiteral("Form6"));
    setWindowTitle(QStringLiteral("发布所录AVI文件"));
    platform::applyDialogBorder(*this, QSize(271, 330 + kWebGroupHeight), /*alwaysOnTop=*/true);
    setFont(platform::interfaceFont(QStringLiteral("宋体"), 13));

    avi = new QFrame(this);
    avi->setObjectName(QStringLiteral("avi"));
    avi->setGeometry(0, 0, 271, 330 + kWebGroupHeight);
    avi->setMouseTracking(true);
    avi->installEventFilter(this);

    GroupBox2 = new QGroupBox(QStringLiteral("将帧写入avi文件（*.avi）"), avi);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    GroupBox2->setGeometry(8, 8, 255, 96);
    RadioGroup1 = addYesNoGroup(GroupBox2, "RadioGroup1", QStringLiteral("压缩视频"), QRect(10, 26, 150, 56),
                                RadioGroup1Yes, RadioGroup1No);
    SpeedButton4 = addSpeedButton(GroupBox2, "SpeedButton4", kStart, QRect(172, 42, 72, 28));

    GroupBox1 = new QGroupBox(QStringLiteral("将帧写为Flash 文件（*.SWF）"), avi);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(8, 112, 255, 124);
    RadioGroup2 = addYesNoGroup(GroupBox1, "RadioGroup2", QStringLiteral("删除临时文件"), QRect(10, 26, 150, 56),
                                RadioGroup2Yes, RadioGroup2No);
    Button7 = addButton(GroupBox1, "Button7", kStart, QRect(172, 42, 72, 28));
    Label2 = new QLabel(QStringLiteral("声音1、自动循环、平均播放率"), GroupBox1);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(10, 92, 235, 20);
    QPalette teal = Label2->palette();
    teal.setColor(QPalette::WindowText, QColor(0, 128, 128));
    Label2->setPalette(teal);

    GroupBox3 = new QGroupBox(QStringLiteral("将帧写为网络视频"), avi);
    GroupBox3->setObjectName(QStringLiteral("GroupBox3"));
    GroupBox3->setGeometry(8, 244, 255, 96);
    auto* formatLabel = new QLabel(QStringLiteral("格式"), GroupBox3);
    formatLabel->setGeometry(10, 28, 36, 20);
    WebFormatBox = new QComboBox(GroupBox3);
    WebFormatBox->setObjectName(QStringLiteral("WebFormatBox"));
    WebFormatBox->setGeometry(46, 26, 116, 24);
    for (const WebFormat format : {WebFormat::Mp4, WebFormat::WebM, WebFormat::Gif})
        WebFormatBox->addItem(WebFormatName(format), static_cast<int>(format));
    auto* trackLabel = new QLabel(QStringLiteral("声音"), GroupBox3);
    trackLabel->setGeometry(10, 62, 36, 20);
    WebTrackBox = new QComboBox(GroupBox3);
    WebTrackBox->setObjectName(QStringLiteral("WebTrackBox"));
    WebTrackBox->setGeometry(46, 60, 116, 24);
    WebStartButton = addButton(GroupBox3, "WebStartButton", kStart, QRect(172, 42, 72, 28));
    fillWebTracks();

    ProgressBar1 = new QProgressBar(avi);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(8, 248 + kWebGroupHeight, 255, 18);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);

    SpeedButton2 = addSpeedButton(avi, "SpeedButton2", QStringLiteral("退出"), QRect(96, 282 + kWebGroupHeight, 80, 30));
    SpeedButton2->setEnabled(false);

    // The internal operations: buttons that are never shown.
    SpeedButton3 = addSpeedButton(avi, "SpeedButton3", QStringLiteral("选择视频压缩器..."), QRect(300, 0, 100, 25));
    SpeedButton6 = addSpeedButton(avi, "SpeedButton6", QStringLiteral("不压缩"), QRect(300, 30, 100, 25));
    Button3 = addButton(avi, "Button3", QStringLiteral("getimage"), QRect(300, 60, 100, 25));
    Button5 = addButton(avi, "Button5", QStringLiteral("打开文件"), QRect(300, 90, 100, 25));
    Button6 = addButton(avi, "Button6", QStringLiteral("flash声音头"), QRect(300, 120, 100, 25));
    Button8 = addButton(avi, "Button8", QString(), QRect(300, 150, 100, 25));
    for (QWidget* hidden : {static_cast<QWidget*>(SpeedButton3), static_cast<QWidget*>(SpeedButton6),
                            static_cast<QWidget*>(Button3), static_cast<QWidget*>(Button5),
                            static_cast<QWidget*>(Button6), static_cast<QWidget*>(Button8)})
        hidden->hide();

    RadioGroup1No->setChecked(true);
    RadioGroup2Yes->setChecked(true);

    SaveDialog1.filter = QStringLiteral("Flash File[*.swf]|*.swf");
    SaveDialog1.defaultSuffix = QStringLiteral("swf");
    SaveDialog1.confirmOverwrite = true;

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(50);
    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(300);
    Timer3 = new QTimer(this);
    Timer3->setObjectName(QStringLiteral("Timer3"));
    Timer3->setInterval(10);
    SaveDialog2.confirmOverwrite = true;

    connect(SpeedButton4, &QToolButton::clicked, this, platform::guarded([this] { SpeedButton4Click(); }));
    connect(SpeedButton3, &QToolButton::clicked, this, platform::guarded([this] { SpeedButton3Click(); }));
    connect(SpeedButton6, &QToolButton::clicked, this, platform::guarded([this] { SpeedButton6Click(); }));
    connect(SpeedButton2, &QToolButton::clicked, this, platform::guarded([this] { SpeedButton2Click(); }));
    connect(Button3, &QPushButton::clicked, this, platform::guarded([this] { Button3Click(); }));
    connect(Button5, &QPushButton::clicked, this, platform::guarded([this] { Button5Click(); }));
    connect(Button7, &QPushButton::clicked, this, platform::guarded([this] { Button7Click(); }));
    connect(Button8, &QPushButton::clicked, this, platform::guarded([this] { Button8Click(); }));
    connect(Timer1, &QTimer::timeout, this, platform::guarded([this] { Timer1Timer(); }));
    connect(Timer2, &QTimer::timeout, this, platform::guarded([this] { Timer2Timer(); }));
    connect(WebStartButton, &QPushButton::clicked, this, platform::guarded([this] { WebStartClick(); }));
    connect(Timer3, &QTimer::timeout, this, platform::guarded([this] { Timer3Timer(); }));

    freshExport();
}

TForm6::~TForm6() = default;

editor::OpenRecording& TForm6::recording() const
{
    return windows_.Form7().recording();
}

void TForm6::freshExport()
{
    export_ = std::make_unique<AviExport>(recording());
    export_->frameCount = frameCount;
    export_->soundLength = soundLength;
    export_->soundRate = soundRate;
}

bool TForm6::deletesTemporaryFiles() const
{
    return RadioGroup2ItemIndex() == 0;
}

int TForm6::RadioGroup1ItemIndex() const
{
    return RadioGroup1Yes->isChecked() ? 0 : RadioGroup1No->isChecked() ? 1 : -1;
}

void TForm6::setRadioGroup1ItemIndex(int index)
{
    (index == 0 ? RadioGroup1Yes : RadioGroup1No)->setChecked(true);
}

int TForm6::RadioGroup2ItemIndex() const
{
    return RadioGroup2Yes->isChecked() ? 0 : RadioGroup2No->isChecked() ? 1 : -1;
}

void TForm6::setRadioGroup2ItemIndex(int index)
{
    (index == 0 ? RadioGroup2Yes : RadioGroup2No)->setChecked(true);
}

void TForm6::warn(const QString& text, const QString& caption)
{
    platform::prompts().message(this, text, caption, platform::MessageIcon::Warning);
}

void TForm6::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // A restore from the task bar is the window system's show, not the program's: the dialog stays as
    // it was, where it was.
    if (event->spontaneous())
        return;
    platform::centreOnDesktop(*this);
    platform::runGuarded([this] { FormShow(); });
}

bool TForm6::WorkInProgress() const
{
    return export_->Holding() || Timer1->isActive() || Timer2->isActive() || Timer3->isActive() ||
           recording().IsHeldBy(SwfExport::kActivity) || recording().IsHeldBy(WebExport::kActivity);
}

void TForm6::FormShow()
{
    // Showing the dialog again never resets an export that is running.
    if (WorkInProgress())
        return;
    // An export of an earlier showing that was never closed is let go before anything is reset.
    if (export_->Started()) {
        const std::int32_t width = export_->inputFormat.biWidth;
        const std::int32_t height = export_->inputFormat.biHeight;
        export_->Finish();
        export_->Release();
        freshExport();
        export_->SetFrameSize(width, height);
    }
    export_->ResetFormats();
    if (recording().IsOpen()) {
        fileReady = true;
        Button7->setEnabled(true);
        SpeedButton4->setEnabled(true);
        // The cursor belongs to whoever holds the recording (an update run in the editor) until it ends.
        // The browser's count follows the cursor: its next frame is frame 1, numbered 1.
        if (!recording().IsHeld())
            recording().Rewind();
        fillWebTracks();
    } else {
        fileReady = false;
    }
    export_->compressorActive = false;
    swfExportStarted = false;
    ProgressBar1->setValue(0);
    SpeedButton4->setText(kStart);
    Button7->setText(kStart);
    WebStartButton->setText(kStart);
}

void TForm6::Button5Click()
{
    // A recording just opened has no SWF movie made of it: closing it must not delete its frames.
    swfExportStarted = false;
    const editor::PublishHandOver handOver = recording().HandOver();
    frameStorePath = handOver.frameStorePath;
    frameCount = handOver.frameCount;
    soundLength = handOver.soundLength;
    soundRate = handOver.soundRate;

    if (export_->Started())
        export_->Release();
    freshExport();
    // The frames' size comes from the first frame's header. Reading the whole frame here, through the
    // shared cursor, would move the browser one frame on past the one it has just shown as frame 1.
    frameBitmap_ = QImage();
    if (const std::optional<QSize> size = recording().FirstFrameSize())
        export_->SetFrameSize(size->width(), size->height());
    ProgressBar1->setMaximum(std::max(0, frameCount));
}

void TForm6::Button3Click()
{
    frameBitmap_ = QImage();
    // The export's own reader: the browser's cursor neither moves it nor is moved by it.
    std::optional<QImage> picture = export_->ReadNextPicture();
    if (!picture)
        return;
    frameBitmap_ = std::move(*picture);
    windows_.Form7().ShowPicture(frameBitmap_);
}

void TForm6::SpeedButton4Click()
{
    if (!fileReady) {
        warn(QStringLiteral("请先打开文件"));
        return;
    }
    // One export per showing: a second start would add a second stream.
    if (export_->Started() || export_->Holding())
        return;
    if (!export_->HasFrameSize()) {
        warn(QStringLiteral("录制文件中没有可以导出的帧"));
        return;
    }
    // The export takes the recording now, before the compressor chooser, and reads from the first frame
    // with its own reader whatever the browser does meanwhile.
    try {
        export_->Take();
    } catch (const editor::RecordingBusy&) {
        warn(recording().BusyMessage());
        return;
    }
    Button7->setEnabled(false);
    if (RadioGroup1ItemIndex() == 0)
        SpeedButton3Click();
    else
        SpeedButton6Click();
}

void TForm6::SpeedButton3Click()
{
    if (!fileReady)
        return;
    export_->frameCount = frameCount;
    export_->soundLength = soundLength;
    export_->soundRate = soundRate;
    if (!platform::ICCompressorChoose(&windows_.Form7(), platform::ICMF_CHOOSE_KEYFRAME | platform::ICMF_CHOOSE_DATARATE,
                                      &export_->inputFormat, nullptr, &export_->compVars,
                                      QStringLiteral("Select Compressor"))) {
        export_->GiveBack();
        closeIfRequested();
        return;
    }
    if (!export_->StartCompressed()) {
        export_->GiveBack();
        // The fixed note, then the compressor's own words for what it refused.
        const QString cause = export_->CompressorRefusal();
        warn(cause.isEmpty() ? QStringLiteral("Compressor unsuitability")
                             : QStringLiteral("Compressor unsuitability\n%1").arg(cause),
             QStringLiteral("Note"));
        closeIfRequested();
        return;
    }
    beginAviExport();
}

void TForm6::SpeedButton6Click()
{
    if (!fileReady)
        return;
    export_->frameCount = frameCount;
    export_->soundLength = soundLength;
    export_->soundRate = soundRate;
    try {
        export_->StartUncompressed();
    } catch (...) {
        export_->GiveBack();
        throw;
    }
    beginAviExport();
}

void TForm6::beginAviExport()
{
    SpeedButton4->setEnabled(false);
    ProgressBar1->setMaximum(std::max(0, frameCount));
    ProgressBar1->setValue(0);
    Timer1->start();
}

void TForm6::Timer1Timer()
{
    if (!export_->Started()) {
        Timer1->stop();
        return;
    }
    if (export_->Finished()) {
        // The recording was closed under the export, which ended it with what it had written.
        endAviExport(QStringLiteral("第 %1 帧之前录制文件已关闭，AVI导出在此结束（视频流保存了前 %2 帧）")
                         .arg(export_->frameIndex + 1)
                         .arg(export_->framesWritten));
        return;
    }
    QElapsedTimer clock;
    clock.start();
    const auto showLastFrame = [this] {
        frameBitmap_ = export_->LastFramePicture();
        if (!frameBitmap_.isNull())
            windows_.Form7().ShowPicture(frameBitmap_);
    };
    do {
        if (export_->AllFramesGiven()) {
            showLastFrame();
            endAviExport();
            return;
        }
        try {
            export_->WriteNextFrame();
        } catch (const std::exception& failure) {
            // A frame that could not be read is named as such; anything else stopped the writing.
            const bool unreadable = dynamic_cast<const editor::RecordingError*>(&failure) != nullptr;
            showLastFrame();
            endAviExport(unreadable ? export_->FrameFailureMessage(QString::fromUtf8(failure.what()))
                                    : QStringLiteral("AVI导出在第 %1 帧处停止：%2")
                                          .arg(export_->frameIndex)
                                          .arg(QString::fromUtf8(failure.what())));
            return;
        }
        ProgressBar1->setValue(export_->frameIndex);
    } while (clock.elapsed() < kTickBudgetMs);
    // The frame on view follows the export once a tick, not for every frame: it costs a conversion.
    showLastFrame();
}

void TForm6::endAviExport(const QString& failure)
{
    Timer1->stop();
    QString problem = failure;
    try {
        export_->Finish();
    } catch (const std::exception& finishing) {
        problem = QString::fromUtf8(finishing.what());
    }
    ProgressBar1->setValue(std::min(ProgressBar1->maximum(), export_->frameIndex));
    SpeedButton4->setText(kFinished);
    SpeedButton4->setEnabled(false);
    SpeedButton2->setEnabled(true);
    platform::runGuarded([this] { windows_.Form7().ShowFrameOnView(); });
    if (!problem.isEmpty())
        warn(problem);
    closeIfRequested();
}

void TForm6::closeIfRequested()
{
    if (!closeRequested_)
        return;
    closeRequested_ = false;
    close();
}

void TForm6::SpeedButton2Click()
{
    close();
}

void TForm6::closeEvent(QCloseEvent* event)
{
    // An export that is writing finishes first, so that the file never holds half a stream; the dialog
    // closes when it ends.
    if (WorkInProgress()) {
        closeRequested_ = true;
        event->ignore();
        return;
    }
    platform::runGuarded([this] { FormClose(); });
    event->accept(); // not QDialog's: that would press the cancel button
}

void TForm6::FormClose()
{
    // The compressor and the video stream are let go; the file is completed by the recording's close.
    const std::int32_t width = export_->inputFormat.biWidth;
    const std::int32_t height = export_->inputFormat.biHeight;
    export_->Release();
    frameBitmap_ = QImage();
    freshExport();
    if (!fileReady)
        return;
    windows_.Form7().ToolButton12Click();
    if (recording().IsOpen()) {
        // The main window refused to close it (long work holds it): it stays ready to be exported.
        export_->SetFrameSize(width, height);
        return;
    }
    fileReady = false;
}

void TForm6::reject()
{
    if (Button7->isEnabled())
        platform::runGuarded([this] { Button7Click(); });
}

void TForm6::Button7Click()
{
    if (!fileReady) {
        warn(QStringLiteral("请先打开文件"));
        return;
    }
    if (Timer2->isActive() || recording().IsHeldBy(SwfExport::kActivity))
        return;
    // The export takes the recording before the file dialog: playback stops, and nothing moves or closes
    // the recording until the movie is written or the dialog is cancelled.
    try {
        recording().Hold(SwfExport::kActivity);
    } catch (const editor::RecordingBusy&) {
        warn(recording().BusyMessage());
        return;
    }
    const platform::FileDialogResult chosen = platform::prompts().saveFile(this, SaveDialog1);
    if (!chosen.accepted()) {
        recording().Release();
        closeIfRequested();
        return;
    }
    swfOutputPath = chosen.files.front();
    swfExportStarted = true;
    speedButton4WasEnabled_ = SpeedButton4->isEnabled();
    speedButton2WasEnabled_ = SpeedButton2->isEnabled();
    SpeedButton4->setEnabled(false);
    SpeedButton2->setEnabled(false);
    Button8Click();
}

void TForm6::Button8Click()
{
    Timer2->start();
}

void TForm6::Timer2Timer()
{
    Timer2->stop();
    // The start took the recording before its file dialog; a run started otherwise takes it itself.
    const auto giveBack = [this] {
        if (recording().IsHeldBy(SwfExport::kActivity))
            recording().Release();
    };
    if (!fileReady) {
        giveBack();
        return;
    }
    ProgressBar1->setMaximum(std::max(0, frameCount));
    SwfExport run(recording(), frameCount);
    // The run does not return to the event loop (input waits until the movie is written), but the frame
    // on view and the progress are painted as it goes.
    run.onFrame = [this](std::int32_t k, const QImage& frame) {
        windows_.Form7().ShowPicture(frame);
        windows_.Form7().Image4->repaint();
        ProgressBar1->setValue(k);
        ProgressBar1->repaint();
    };
    try {
        run.Run(swfOutputPath);
    } catch (const std::exception& failure) {
        giveBack();
        // Nothing was written: the dialog is as before the start, and closing must not delete the frame
        // store for a movie that does not exist.
        swfExportStarted = false;
        Button7->setEnabled(true);
        SpeedButton4->setEnabled(speedButton4WasEnabled_);
        SpeedButton2->setEnabled(speedButton2WasEnabled_);
        ProgressBar1->setValue(0);
        platform::runGuarded([this] { windows_.Form7().ShowFrameOnView(); });
        if (dynamic_cast<const PublishError*>(&failure))
            warn(QString::fromUtf8(failure.what()));
        else
            platform::reportFailure(failure);
        closeIfRequested();
        return;
    }
    giveBack();
    ProgressBar1->setValue(ProgressBar1->maximum());
    Button7->setEnabled(false);
    Button7->setText(kFinished);
    SpeedButton2->setEnabled(true);
    platform::runGuarded([this] { windows_.Form7().ShowFrameOnView(); });
    closeIfRequested();
}

void TForm6::fillWebTracks()
{
    const int chosen = WebTrackBox->currentData().isValid() ? WebTrackBox->currentData().toInt() : WebSettings::kOwnSound;
    WebTrackBox->clear();
    WebTrackBox->addItem(QStringLiteral("原声"), WebSettings::kOwnSound);
    // The recording's AVI holds its own sound first, then one audio stream per dubbed track.
    if (recording().IsOpen()) {
        for (int track = 1;; ++track) {
            store::PAVISTREAM stream;
            if (store::AVIFileGetStream(recording().aviFile, &stream, store::streamtypeAUDIO, track) != store::AVIERR_OK)
                break;
            WebTrackBox->addItem(QStringLiteral("配音 %1").arg(track), track);
        }
    }
    WebTrackBox->addItem(QStringLiteral("无声音"), WebSettings::kNoSound);
    WebTrackBox->setCurrentIndex(std::max(0, WebTrackBox->findData(chosen)));
}

void TForm6::WebStartClick()
{
    if (web_ && web_->Running()) {
        web_->Cancel();
        endWebExport();
        return;
    }
    if (!fileReady) {
        warn(QStringLiteral("请先打开文件"));
        return;
    }
    WebSettings settings;
    settings.format = static_cast<WebFormat>(WebFormatBox->currentData().toInt());
    settings.track = WebTrackBox->currentData().toInt();
    // Nothing moves or closes the recording while the user chooses the file: it is held from here.
    try {
        recording().Hold(WebExport::kActivity);
    } catch (const editor::RecordingBusy&) {
        warn(recording().BusyMessage());
        return;
    }
    const QString extension = WebFormatExtension(settings.format);
    SaveDialog2.filter = QStringLiteral("%1[*.%2]|*.%2").arg(WebFormatName(settings.format), extension);
    SaveDialog2.defaultSuffix = extension;
    // The first movie goes beside the recording; later ones where the last went.
    if (SaveDialog2.directory.isEmpty())
        SaveDialog2.directory = QFileInfo(recording().TargetPath()).absolutePath();
    const platform::FileDialogResult chosen = platform::prompts().saveFile(this, SaveDialog2);
    recording().Release();
    if (!chosen.accepted()) {
        closeIfRequested();
        return;
    }
    SaveDialog2.directory = QFileInfo(chosen.files.front()).absolutePath();
    web_ = std::make_unique<WebExport>(recording(), settings);
    try {
        web_->Start(chosen.files.front());
    } catch (const PublishError& failure) {
        web_.reset();
        warn(QString::fromUtf8(failure.what()));
        closeIfRequested();
        return;
    }
    speedButton4WasEnabled_ = SpeedButton4->isEnabled();
    speedButton2WasEnabled_ = SpeedButton2->isEnabled();
    button7WasEnabled_ = Button7->isEnabled();
    for (QWidget* still : {static_cast<QWidget*>(SpeedButton4), static_cast<QWidget*>(SpeedButton2),
                           static_cast<QWidget*>(Button7), static_cast<QWidget*>(WebFormatBox),
                           static_cast<QWidget*>(WebTrackBox)})
        still->setEnabled(false);
    WebStartButton->setText(kCancel);
    ProgressBar1->setMaximum(static_cast<int>(web_->Total()));
    ProgressBar1->setValue(0);
    Timer3->start();
}

void TForm6::Timer3Timer()
{
    if (!web_ || !web_->Running()) {
        // The recording was closed under the export, which abandoned it.
        endWebExport();
        return;
    }
    QElapsedTimer clock;
    clock.start();
    try {
        do {
            if (!web_->Step()) {
                endWebExport();
                return;
            }
            ProgressBar1->setValue(static_cast<int>(web_->Done()));
        } while (clock.elapsed() < kTickBudgetMs);
    } catch (const PublishError& failure) {
        endWebExport(QString::fromUtf8(failure.what()));
    }
}

void TForm6::endWebExport(const QString& failure)
{
    Timer3->stop();
    const bool complete = failure.isEmpty() && web_ && web_->Done() == web_->Total() && web_->Total() > 0;
    web_.reset();
    ProgressBar1->setValue(complete ? ProgressBar1->maximum() : 0);
    WebStartButton->setText(kStart);
    SpeedButton4->setEnabled(speedButton4WasEnabled_);
    SpeedButton2->setEnabled(speedButton2WasEnabled_ || complete);
    Button7->setEnabled(button7WasEnabled_);
    WebFormatBox->setEnabled(true);
    WebTrackBox->setEnabled(true);
    if (!failure.isEmpty())
        warn(failure);
    closeIfRequested();
}

void TForm6::aviMouseMove()
{
    platform::resetScreenCursor();
}

bool TForm6::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == avi && event->type() == QEvent::MouseMove)
        aviMouseMove();
    return QDialog::eventFilter(watched, event);
}

} // namespace quolva::publish

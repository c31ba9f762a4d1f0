#include "editor/Etool.h"

#include "app/Artwork.h"
#include "app/WindowSet.h"
#include "editor/EditorControls.h"
#include "editor/FramePictureFile.h"
#include "platform/Failures.h"
#include "platform/ScreenCursor.h"
#include "platform/UiFonts.h"
#include "platform/WindowPlacement.h"
#include "publish/Unit6.h"
#include "record/RecordingOptionsDialog.h"
#include "record/Unit1.h"
#include "record/Unit5.h"
#include "store/RecordingRepair.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStatusTipEvent>
#include <QToolButton>
#include <QUrl>

#include <exception>

namespace quolva::editor {
namespace {

const QColor kGrey(128, 128, 128);

} // namespace

TForm7::TForm7(app::WindowSet& windows) : windows_(windows)
{
    setObjectName(QStringLiteral("Form7"));
    setWindowTitle(QString::fromUtf8(kCaption));
    setWindowIcon(QIcon(app::programIcon()));
    setFont(platform::interfaceFont(QStringLiteral("宋体"), 12));
    resize(854, 624);
    platform::centreOnDesktop(*this);

    Timer6.setObjectName(QStringLiteral("Timer6"));
    Timer6.setInterval(25); // replaced by the frame period at every open
    Timer6.setTimerType(Qt::PreciseTimer);
    Timer5.setObjectName(QStringLiteral("Timer5"));
    Timer5.setInterval(29);
    Timer2.setObjectName(QStringLiteral("Timer2"));
    Timer2.setInterval(21);

    OpenDialog2.filter = QStringLiteral("[*.avi]|*.avi");
    OpenDialog2.defaultSuffix = QStringLiteral("avi");
    OpenDialog2.allowMultiple = true;
    SavePictureDialog1.filter = QStringLiteral("JPEG (*.JPG)|*.JPG|*.bmp|*.bmp");
    SavePictureDialog1.defaultSuffix = QStringLiteral("JPG");
    SavePictureDialog1.confirmOverwrite = true;

    BuildControlBar();
    auto* client = new QWidget(this);
    auto* row = new QHBoxLayout(client);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    BuildEditPanel(client);
    BuildPictureArea(client);
    row->addWidget(tedit);
    row->addWidget(ScrollBox1, 1);
    setCentralWidget(client);
    BuildStatusBar();

    FormCreate();
    WireCommands();
    SetUpEditing();

    // Long work takes the recording from playback; closing waits for it to give the recording back.
    recording_.onTaken = [this] { Timer6.stop(); };
    recording_.onGivenBack = [this] {
        if (closePending_)
            QTimer::singleShot(0, this, [this] { close(); });
    };
}

TForm7::~TForm7()
{
    recording_.onTaken = nullptr;
    recording_.onGivenBack = nullptr;
}

// ---- Wiring -----------------------------------------------------------------------------------------

void TForm7::run(const char* handler, void (TForm7::*method)())
{
    lastHandler_ = QLatin1String(handler);
    platform::runGuarded([this, method] { (this->*method)(); });
}

void TForm7::wire(QAction* item, const char* handler, void (TForm7::*method)())
{
    connect(item, &QAction::triggered, this, [this, handler, method] { run(handler, method); });
}

void TForm7::wire(QAbstractButton* button, const char* handler, void (TForm7::*method)())
{
    connect(button, &QAbstractButton::clicked, this, [this, handler, method] { run(handler, method); });
}

void TForm7::wire(QTimer& timer, const char* handler, void (TForm7::*method)())
{
    connect(&timer, &QTimer::timeout, this, [this, handler, method] { run(handler, method); });
}

#define QUOLVA_WIRE(control, handler) wire(control, #handler, &TForm7::handler)

void TForm7::WireCommands()
{
    // The main menu.
    QUOLVA_WIRE(N7, N7Click);
    QUOLVA_WIRE(N9, N9Click);
    QUOLVA_WIRE(N10, N10Click);
    QUOLVA_WIRE(RecordOptionsItem, RecordOptionsClick);
    QUOLVA_WIRE(PauseRecordingItem, PauseRecordingClick);
    QUOLVA_WIRE(N12, N12Click);
    QUOLVA_WIRE(FileExit, FileExitClick);
    QUOLVA_WIRE(N2, N2Click);
    QUOLVA_WIRE(N3, N3Click);
    QUOLVA_WIRE(N21, ToolButton19Click);
    QUOLVA_WIRE(FrameE, ToolButton2Click);
    QUOLVA_WIRE(N25, ToolButton3Click);
    QUOLVA_WIRE(pplay, ToolButton6Click);
    QUOLVA_WIRE(PauseP, ToolButton7Click);
    QUOLVA_WIRE(N23, N23Click);
    QUOLVA_WIRE(N5, N5Click);
    QUOLVA_WIRE(N15, N15Click);
    QUOLVA_WIRE(N6, N6Click);
    QUOLVA_WIRE(N24, N24Click);
    QUOLVA_WIRE(N18, N18Click);
    QUOLVA_WIRE(N19, N19Click);

    // The toolbars.
    QUOLVA_WIRE(ToolButton1, ToolButton1Click);
    QUOLVA_WIRE(ToolButton12, ToolButton12Click);
    QUOLVA_WIRE(ToolButton2, ToolButton2Click);
    QUOLVA_WIRE(ToolButton3, ToolButton3Click);
    QUOLVA_WIRE(ToolButton6, ToolButton6Click);
    QUOLVA_WIRE(ToolButton7, ToolButton7Click);
    QUOLVA_WIRE(ToolButton19, ToolButton19Click);
    QUOLVA_WIRE(ToolButton5, ToolButton5Click);
    QUOLVA_WIRE(N011, N011Click);
    QUOLVA_WIRE(N031, N031Click);
    QUOLVA_WIRE(N051, N051Click);
    QUOLVA_WIRE(N071, N071Click);
    QUOLVA_WIRE(N091, N091Click);
    QUOLVA_WIRE(N101, N101Click);
    QUOLVA_WIRE(N121, N121Click);
    QUOLVA_WIRE(N141, N141Click);
    QUOLVA_WIRE(N161, N161Click);
    QUOLVA_WIRE(N181, N181Click);
    QUOLVA_WIRE(N201, N201Click);
    QUOLVA_WIRE(ToolButton27, ToolButton27Click);
    QUOLVA_WIRE(ToolButton25, ToolButton25Click);
    QUOLVA_WIRE(ToolButton14, ToolButton14Click);
    QUOLVA_WIRE(ToolButton10, ToolButton101Click);
    QUOLVA_WIRE(ToolButton11, ToolButton111Click);
    QUOLVA_WIRE(ToolButton9, ToolButton91Click);
    QUOLVA_WIRE(N102, N102Click);
    QUOLVA_WIRE(N122, N122Click);
    QUOLVA_WIRE(N142, N142Click);
    QUOLVA_WIRE(N162, N162Click);
    QUOLVA_WIRE(N182, N182Click);
    QUOLVA_WIRE(N202, N202Click);
    QUOLVA_WIRE(N241, N241Click);
    QUOLVA_WIRE(N261, N261Click);
    QUOLVA_WIRE(N321, N321Click);
    QUOLVA_WIRE(N401, N401Click);
    QUOLVA_WIRE(N761, N761Click);
    QUOLVA_WIRE(ToolButton13, ToolButton13Click);
    QUOLVA_WIRE(SpeedButton3, SpeedButton3Click);
    QUOLVA_WIRE(SpeedButton4, SpeedButton4Click);
    QUOLVA_WIRE(SpeedButton5, SpeedButton5Click);
    QUOLVA_WIRE(SpeedButton6, SpeedButton6Click);
    QUOLVA_WIRE(SpeedButton7, SpeedButton7Click);
    QUOLVA_WIRE(SpeedButton8, SpeedButton8Click);
    QUOLVA_WIRE(SpeedButton9, SpeedButton9Click);
    QUOLVA_WIRE(SpeedButton11, SpeedButton11Click);
    connect(ComboBox1, &QComboBox::editTextChanged, this, [this] { run("ComboBox1Change", &TForm7::ComboBox1Change); });

    // The edit panel.
    QUOLVA_WIRE(SpeedButton14, SpeedButton14Click);
    QUOLVA_WIRE(SpeedButton16, SpeedButton16Click);
    QUOLVA_WIRE(SpeedButton17, SpeedButton17Click);
    QUOLVA_WIRE(SpeedButton12, SpeedButton12Click);
    QUOLVA_WIRE(SpeedButton13, SpeedButton13Click);
    QUOLVA_WIRE(SpeedButton1, SpeedButton1Click);
    QUOLVA_WIRE(SpeedButton10, SpeedButton10Click);
    connect(RadioGroup1, &RadioGroup::clicked, this, [this] { run("RadioGroup1Click", &TForm7::RadioGroup1Click); });
    connect(Splitter1, &QSplitter::splitterMoved, this, [this] { run("Splitter1Moved", &TForm7::Splitter1Moved); });
    connect(UpDown1, &UpDown::changing, this, [this](int position) {
        lastHandler_ = QStringLiteral("UpDown1Changing");
        platform::runGuarded([&] { UpDown1Changing(position); });
    });
    Memo1->installEventFilter(this); // key releases: Memo1KeyUp

    // The timers.
    QUOLVA_WIRE(Timer6, Timer6Timer);
    QUOLVA_WIRE(Timer5, Timer5Timer);
    QUOLVA_WIRE(Timer2, Timer2Timer);
}

#undef QUOLVA_WIRE

bool TForm7::event(QEvent* event)
{
    // The first status panel shows the long hint of the control under the mouse.
    if (event->type() == QEvent::StatusTip) {
        StatusPanels[0]->setText(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QMainWindow::event(event);
}

bool TForm7::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseMove &&
        (watched == ScrollBox1->viewport() || watched == ScrollBox1Content || watched == Image4 ||
         watched == Memo1->viewport()))
        platform::resetScreenCursor(); // the floating panel sets its own cursors for the whole application
    if (watched == Memo1 && event->type() == QEvent::KeyRelease)
        run("Memo1KeyUp", &TForm7::Memo1KeyUp);
    return QMainWindow::eventFilter(watched, event);
}

void TForm7::closeEvent(QCloseEvent* event)
{
    // An export or an update run finishes first, so that nothing half written is left behind; the
    // window closes when it gives the recording back. Dubbing ends at once, keeping what it recorded.
    if (recording_.IsHeld() && !dubbing_.IsDubbing()) {
        closePending_ = true;
        StatusPanels[0]->setText(QStringLiteral("正在%1，结束后关闭").arg(recording_.Holder()));
        event->ignore();
        return;
    }
    closePending_ = false;
    platform::runGuarded([this] { FormClose(); });
    event->accept();
    QCoreApplication::quit();
}

// ---- Window created and closed -----------------------------------------------------------------------

void TForm7::FormCreate()
{
    // The font list of the type tools; the AVI services need no start.
    const QSignalBlocker quiet(ComboBox1);
    ComboBox1->addItems(platform::screenFontFamilies());
    ComboBox1->setCurrentIndex(-1);
    ComboBox1->setEditText(QStringLiteral("宋体"));
}

void TForm7::FormClose()
{
    // A running recording is stopped and finished first, so that nothing of it is lost.
    windows_.Form1().FinishBeforeExit();
    Timer6.stop();
    Timer5.stop();
    Timer2.stop();
    dubbing_.Finish(); // the sound a dubbing capture still holds goes into its stream first
    recording_.Close(); // nothing is deleted and the caption stays
}

// ---- The frame browser -------------------------------------------------------------------------------

void TForm7::Notice(const QString& text)
{
    platform::prompts().message(this, text, QStringLiteral("提示"), platform::MessageIcon::Warning);
}

bool TForm7::RequireOpen()
{
    if (recording_.IsOpen())
        return true;
    Notice(QStringLiteral("请打开文件"));
    return false;
}

bool TForm7::RequireNotHeld()
{
    if (!recording_.IsHeld())
        return true;
    Notice(recording_.BusyMessage());
    return false;
}

void TForm7::ShowPicture(const QImage& picture)
{
    Image4->setPicture(picture);
}

const QImage& TForm7::PictureOnView() const
{
    return Image4->picture();
}

void TForm7::ShowFrameOnView()
{
    if (!recording_.IsOpen())
        return;
    QImage picture = recording_.PictureOnView();
    if (!picture.isNull())
        ShowPicture(std::move(picture));
}

void TForm7::PaintPictureGrey()
{
    Image4->fill(kGrey);
}

void TForm7::ShowStep(QImage (OpenRecording::*step)())
{
    QImage picture;
    try {
        picture = (recording_.*step)();
    } catch (const RecordingError& failure) {
        // The step's counters have moved past a frame that cannot be shown; playback stops at it.
        Timer6.stop();
        Edit1->setText(QString::number(recording_.NumberOnView()));
        Notice(QStringLiteral("无法显示这一帧：%1").arg(QString::fromUtf8(failure.what())));
        return;
    }
    if (!picture.isNull())
        ShowPicture(std::move(picture));
    Edit1->setText(QString::number(recording_.NumberOnView()));
}

void TForm7::ShowNextFrame()
{
    ShowStep(&OpenRecording::NextFrame);
}

void TForm7::ShowPreviousFrame()
{
    ShowStep(&OpenRecording::PreviousFrame);
}

void TForm7::ShowForwardStep()
{
    ShowStep(&OpenRecording::PlayStep);
}

void TForm7::ToolButton2Click()
{
    if (RequireOpen() && RequireNotHeld())
        ShowNextFrame();
}

void TForm7::ToolButton3Click()
{
    if (RequireOpen() && RequireNotHeld())
        ShowPreviousFrame();
}

void TForm7::ToolButton6Click()
{
    if (RequireOpen() && RequireNotHeld())
        Timer6.start();
}

void TForm7::ToolButton7Click()
{
    if (RequireOpen())
        Timer6.stop();
}

void TForm7::Timer6Timer()
{
    if (!recording_.IsOpen()) {
        Timer6.stop();
        return;
    }
    // Only dubbing plays while it holds the recording; other long work has stopped playback.
    if (recording_.IsHeld() && !dubbing_.IsDubbing()) {
        Timer6.stop();
        return;
    }
    if (!recording_.AtEnd()) {
        ShowForwardStep();
        return;
    }
    // The end of playback: frame 1 is shown, and background sound can no longer be recorded.
    BitBtn2Click();
    dubbing_.Finish();
    SpeedButton16->setEnabled(false);
    SpeedButton17->setEnabled(false);
    recording_.Rewind();
    Timer6.stop();
    ShowNextFrame();
    SpeedButton16->setText(QStringLiteral("结束"));
}

void TForm7::Button3Click()
{
    // The open recording's files are released here, so that opening again never leaves them open.
    Timer6.stop();
    std::exception_ptr failure;
    try {
        dubbing_.Finish();
        recording_.Reset();
    } catch (...) {
        failure = std::current_exception();
    }
    PaintPictureGrey();
    Edit5->setText(QStringLiteral("0"));
    Edit1->setText(QStringLiteral("0"));
    Edit3->setText(QStringLiteral("1"));
    overlayColor = QColor(0, 0, 255);
    ShowDubbingIdle(); // an earlier playback to its end does not keep dubbing from a new opening
    if (failure)
        std::rethrow_exception(failure);
}

void TForm7::OfferRepair()
{
    const store::RecordingDamage damage = store::InspectRecording(QFile::encodeName(targetPath).toStdString());
    if (!damage.Unfinished())
        return;
    QStringList signs;
    if (damage.headerCount < damage.records)
        signs << QStringLiteral("帧文件头记录 %1 帧，文件中有 %2 帧").arg(damage.headerCount).arg(damage.records);
    if (!damage.aviComplete)
        signs << QStringLiteral("AVI 文件的头和索引没有写完");
    const QString question = QStringLiteral("录制文件 \"%1\" 没有正常结束（%2）。\n是否修复？")
                                 .arg(targetPath, signs.join(QStringLiteral("；")));
    if (platform::prompts().message(this, question, QStringLiteral("提示"), platform::MessageIcon::Question,
                                    platform::MessageButtons::YesNo) != platform::MessageAnswer::Yes)
        return;
    try {
        const store::RecordingRepair repair = store::RepairRecording(QFile::encodeName(targetPath).toStdString());
        if (repair.FrameStoreDamagedInMiddle())
            Notice(QStringLiteral("帧文件在偏移 %1 处有损坏的帧，其后的帧仍可读出，帧文件未作修改：%2")
                       .arg(repair.frames.faultOffset)
                       .arg(QString::fromStdString(repair.frames.fault)));
    } catch (const store::StoreError& failure) {
        Notice(QStringLiteral("修复失败：%1").arg(QString::fromUtf8(failure.what())));
    }
}

bool TForm7::Button1Click()
{
    if (!RequireNotHeld())
        return false;
    Button3Click();
    OfferRepair();
    try {
        recording_.Open(targetPath);
    } catch (const RecordingError& failure) {
        windows_.Form6().fileReady = false;
        setWindowTitle(QString::fromUtf8(kCaption));
        Notice(QString::fromUtf8(failure.what()));
        return false;
    }

    const PublishHandOver handOver = recording_.HandOver();
    publish::TForm6& publisher = windows_.Form6();
    publisher.soundLength = handOver.soundLength;
    publisher.soundRate = handOver.soundRate;
    publisher.frameStorePath = handOver.frameStorePath;
    publisher.frameCount = handOver.frameCount;
    Edit5->setText(QString::number(recording_.frameCount));
    Timer6.setInterval(recording_.PlaybackIntervalMs());

    ShowNextFrame();
    // The caption names the recording on view (set whole, so that opening again does not append twice).
    setWindowTitle(QString::fromUtf8(kCaption) + QStringLiteral("-初始文件") + targetPath);
    return true;
}

void TForm7::ToolButton1Click()
{
    if (!RequireNotHeld())
        return;
    const platform::FileDialogResult chosen = platform::prompts().openFile(this, OpenDialog2);
    publish::TForm6& publisher = windows_.Form6();
    if (!chosen.accepted()) {
        // The editor is closed: its files are released too.
        publisher.fileReady = false;
        Timer6.stop();
        PaintPictureGrey();
        setWindowTitle(QString::fromUtf8(kCaption));
        dubbing_.Finish();
        recording_.Reset();
        return;
    }
    targetPath = chosen.files.first();
    if (!Button1Click())
        return;
    publisher.Button5Click();
    publisher.fileReady = true;
}

void TForm7::OpenFromCommandLine(const QString& path)
{
    const QString file = path.startsWith(QLatin1String("file:")) ? QUrl(path).toLocalFile() : path;
    targetPath = QFileInfo(file).absoluteFilePath();
    if (!Button1Click())
        return;
    windows_.Form6().Button5Click();
    windows_.Form6().fileReady = true;
}

void TForm7::ToolButton12Click()
{
    if (!recording_.IsOpen() || !RequireNotHeld())
        return;
    Timer6.stop();
    const QString frameStore = recording_.FrameStorePath();
    std::exception_ptr failure;
    try {
        dubbing_.Finish();
        recording_.Close();
    } catch (...) {
        failure = std::current_exception();
    }
    publish::TForm6& publisher = windows_.Form6();
    // The frame store is a temporary file once an SWF movie holds its frames; it is kept when closing
    // went wrong, so that nothing is lost on top of the failure.
    if (!failure && publisher.swfExportStarted && publisher.deletesTemporaryFiles())
        QFile::remove(frameStore);
    // The movie was of this recording: the next one's frames are its own.
    publisher.swfExportStarted = false;
    publisher.fileReady = false;
    setWindowTitle(QString::fromUtf8(kCaption));
    PaintPictureGrey();
    if (failure)
        std::rethrow_exception(failure);
}

// ---- Main window commands ----------------------------------------------------------------------------

void TForm7::N7Click()
{
    windows_.Form5().show();
}

void TForm7::N9Click()
{
    windows_.Form1().luzhi();
    windows_.Form1().MinimiseApplication();
}

void TForm7::N10Click()
{
    windows_.Form1().tingzhi();
    windows_.Form1().RestoreApplication();
}

void TForm7::RecordOptionsClick()
{
    auto* dialog = new record::RecordingOptionsDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}

void TForm7::PauseRecordingClick()
{
    windows_.Form1().PauseOrResume();
}

void TForm7::N12Click()
{
    windows_.Form6().show();
}

void TForm7::FileExitClick()
{
    close();
}

void TForm7::N2Click()
{
    ToolButton1Click();
}

void TForm7::N3Click()
{
    ToolButton12Click();
}

void TForm7::ToolButton19Click()
{
    const platform::FileDialogResult chosen = platform::prompts().saveFile(this, SavePictureDialog1);
    if (chosen.accepted())
        SaveAsJpeg(PictureOnView(), chosen.files.first());
}

void TForm7::ShowEditPanel(bool shown)
{
    tedit->setVisible(shown);
}

void TForm7::ToolButton14Click()
{
    ShowEditPanel(true);
}

void TForm7::SpeedButton14Click()
{
    ShowEditPanel(false);
}

void TForm7::N5Click()
{
    ToolButton14Click();
}

void TForm7::N15Click()
{
    ToolButton14Click();
}

void TForm7::N24Click()
{
    hide();
    windows_.Form1().show();
}

// The help menu's items run the recording panel's own commands.
void TForm7::N18Click()
{
    windows_.Form1().N2Click();
}

void TForm7::N19Click()
{
    windows_.Form1().N1Click();
}

void TForm7::ToolButton25Click()
{
    // Never shown; does nothing.
}

void TForm7::N6Click()
{
    ToolButton27Click();
}

void TForm7::N23Click()
{
    ToolButton5Click();
    PopupMenu2->popup(mapToGlobal(QPoint(width() / 2, height() / 2)));
}

int TForm7::BoxStyle() const
{
    return boxStyleButtons->checkedId();
}

void TForm7::UpDown1Changing(int position)
{
    Edit4->setText(QString::number(position));
}

} // namespace quolva::editor

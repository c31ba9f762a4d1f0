#include "record/Unit5.h"

#include "app/WindowSet.h"
#include "platform/Failures.h"
#include "platform/Prompts.h"
#include "platform/Screen.h"
#include "platform/ScreenCursor.h"
#include "platform/UiFonts.h"
#include "platform/WindowPlacement.h"
#include "record/PanelArtwork.h"
#include "record/PictureButton.h"
#include "record/Recorder.h"
#include "record/SoundFormatChooser.h"
#include "record/Unit1.h"
#include "record/Unit2.h"
#include "store/DecimalText.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScreen>
#include <QTableWidget>
#include <QToolButton>

#include <algorithm>

namespace quolva::record {
namespace {

const QString kNext = QStringLiteral("下一步>");
const QString kFinish = QStringLiteral("结束");

QLabel* addLabel(QWidget* parent, const QString& text, QPoint at)
{
    auto* label = new QLabel(text, parent);
    label->move(at);
    label->adjustSize();
    return label;
}

QFrame* addPanel(QWidget* wizard, const char* name)
{
    auto* panel = new QFrame(wizard);
    panel->setObjectName(QString::fromLatin1(name));
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setAutoFillBackground(true);
    panel->setGeometry(8, 16, 289, 137);
    return panel;
}

QToolButton* addSpeedButton(QWidget* wizard, const char* name, const QString& caption, QRect at)
{
    auto* button = new QToolButton(wizard);
    button->setObjectName(QString::fromLatin1(name));
    button->setText(caption);
    button->setGeometry(at);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

int parseRow(const QString& text, const char* what)
{
    return store::ParseDecimalInt32(text.toStdString(), what);
}

} // namespace

TForm5::TForm5(app::WindowSet& windows) : windows_(windows)
{
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(QStringLiteral("捕捉设置向导"));
    platform::applyDialogBorder(*this, QSize(307, 205), /*alwaysOnTop=*/true);
    setFont(platform::interfaceFont(QStringLiteral("宋体"), 13));
    setMouseTracking(true);

    // Step 0: the sound format.
    Panel6 = addPanel(this, "Panel6");
    addLabel(Panel6, QStringLiteral("1.选择录音格式："), QPoint(16, 12));
    FormatButton = new PictureButton(wizardButtonPicture(WizardPicture::SoundFormat, false),
                                     wizardButtonPicture(WizardPicture::SoundFormat, true), Panel6);
    FormatButton->setObjectName(QStringLiteral("FormatButton"));
    FormatButton->move(32, 38);
    FormatButton->setToolTip(QStringLiteral("选择录音格式"));
    addLabel(Panel6, QStringLiteral("缺省为：PCM 11025Hz 16bits 1Channel"), QPoint(16, 104));

    // Step 1: the target file.
    Panel1 = addPanel(this, "Panel1");
    addLabel(Panel1, QStringLiteral("2.确定录制的目标文件："), QPoint(16, 10));
    Rg1 = new QGroupBox(Panel1);
    Rg1->setObjectName(QStringLiteral("Rg1"));
    Rg1->setGeometry(16, 30, 257, 62);
    Rg1New = new QRadioButton(QStringLiteral("新建初始文件进行录制"), Rg1);
    Rg1New->setGeometry(12, 8, 235, 20);
    Rg1Continue = new QRadioButton(QStringLiteral("打开初始文件继续录制"), Rg1);
    Rg1Continue->setGeometry(12, 34, 235, 20);
    auto* rg1Items = new QButtonGroup(Rg1);
    rg1Items->setObjectName(QStringLiteral("Rg1Items"));
    rg1Items->addButton(Rg1New, 0);
    rg1Items->addButton(Rg1Continue, 1);
    auto* note = new QLabel(QStringLiteral("初始文件：本程序新建*.avi（附有临时文件*.xxx）"), Panel1);
    note->setEnabled(false); // greyed
    note->setFont(platform::interfaceFont(QStringLiteral("宋体"), 12));
    note->setWordWrap(true);
    note->setGeometry(10, 98, 274, 34);

    // Step 2: full screen or a region.
    Panel2 = addPanel(this, "Panel2");
    addLabel(Panel2, QStringLiteral("3.捕捉窗口选项："), QPoint(16, 12));
    CheckBox1 = new QCheckBox(QStringLiteral("是否全屏录制"), Panel2);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->move(40, 58);
    CheckBox1->adjustSize();
    CheckBox1->setChecked(true);

    // Step 3: the region's size.
    Panel3 = addPanel(this, "Panel3");
    addLabel(Panel3, QStringLiteral("4.非全屏捕捉选项："), QPoint(16, 12));
    addLabel(Panel3, QStringLiteral("长宽（像素）"), QPoint(24, 62));
    Edit1 = new QLineEdit(QStringLiteral("640"), Panel3);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(112, 58, 57, 23);
    addLabel(Panel3, QStringLiteral("X"), QPoint(176, 62));
    Edit2 = new QLineEdit(QStringLiteral("480"), Panel3);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    Edit2->setGeometry(192, 58, 57, 23);
    Edit2->setEnabled(false);
    connect(Edit1, &QLineEdit::returnPressed, this, platform::guarded([this] { Edit1Return(); }));

    // Step 4: placing the viewfinder.
    Panel4 = addPanel(this, "Panel4");
    addLabel(Panel4, QStringLiteral("5.非全屏捕捉时："), QPoint(16, 12));
    ViewfinderButton = new PictureButton(wizardButtonPicture(WizardPicture::Viewfinder, false),
                                         wizardButtonPicture(WizardPicture::Viewfinder, true), Panel4);
    ViewfinderButton->setObjectName(QStringLiteral("ViewfinderButton"));
    ViewfinderButton->move(32, 38);
    ViewfinderButton->setToolTip(QStringLiteral("显示取景窗口"));
    addLabel(Panel4, QStringLiteral("显示并定位（自由调整捕捉范围）"), QPoint(16, 104));

    // Step 5: the parameter table.
    Panel5 = addPanel(this, "Panel5");
    addLabel(Panel5, QStringLiteral("录制参数表："), QPoint(8, 2));
    csb = new QTableWidget(5, 2, Panel5);
    csb->setObjectName(QStringLiteral("csb"));
    csb->setGeometry(8, 18, 273, 99);
    csb->setHorizontalHeaderLabels({QStringLiteral("参数"), QStringLiteral("描述")});
    csb->horizontalHeader()->setFixedHeight(18);
    csb->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    csb->horizontalHeader()->setStretchLastSection(true);
    csb->verticalHeader()->hide();
    csb->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    csb->verticalHeader()->setMinimumSectionSize(15);
    csb->verticalHeader()->setDefaultSectionSize(16);
    csb->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    csb->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    csb->setEditTriggers(QAbstractItemView::NoEditTriggers);
    csb->setSelectionMode(QAbstractItemView::NoSelection);
    csb->setFocusPolicy(Qt::NoFocus);
    csb->setWordWrap(false);
    csb->setTextElideMode(Qt::ElideMiddle);
    const QString keys[] = {QStringLiteral("目标文件"), QStringLiteral("帧宽（像素）"), QStringLiteral("帧高（像素）"),
                            QStringLiteral("音频格式"), QString()};
    for (int row = 0; row < 5; ++row) {
        csb->setItem(row, 0, new QTableWidgetItem(keys[row]));
        csb->setItem(row, 1, new QTableWidgetItem(QString()));
    }
    // The parameter column is as wide as its longest name ("帧宽（像素）"), so that no name is cut off;
    // the description takes the rest.
    csb->resizeColumnToContents(0);
    csb->setColumnWidth(0, std::max(72, csb->columnWidth(0)));
    csb->setColumnWidth(1, 180);
    CheckBox2 = new QCheckBox(QStringLiteral("是否移动捕捉窗口"), Panel5);
    CheckBox2->setObjectName(QStringLiteral("CheckBox2"));
    // Under the table and inside the panel's sunken frame, so that no window manager's font metrics cut it.
    CheckBox2->move(8, 118);
    CheckBox2->adjustSize();
    CheckBox2->setFixedHeight(17);

    SpeedButton5 = addSpeedButton(this, "SpeedButton5", QStringLiteral("<上一步"), QRect(64, 166, 75, 25));
    SpeedButton6 = addSpeedButton(this, "SpeedButton6", kNext, QRect(144, 166, 75, 25));
    SpeedButton7 = addSpeedButton(this, "SpeedButton7", QStringLiteral("取消"), QRect(224, 166, 75, 25));
    SpeedButton5->setEnabled(false);
    connect(SpeedButton5, &QToolButton::clicked, this, platform::guarded([this] { SpeedButton5Click(); }));
    connect(SpeedButton6, &QToolButton::clicked, this, platform::guarded([this] { SpeedButton6Click(); }));
    connect(SpeedButton7, &QToolButton::clicked, this, platform::guarded([this] { SpeedButton7Click(); }));
    connect(FormatButton, &PictureButton::leftButtonReleased, this, platform::guarded([this] { FormatButtonClick(); }));
    connect(ViewfinderButton, &PictureButton::leftButtonReleased, this,
            platform::guarded([this] { ViewfinderButtonClick(); }));

    bringToFront(Panel6);

    // The viewfinder reports its client size into the width and height fields, and starts at the size
    // Edit1 gives.
    connect(&windows_.Form2(), &TForm2::clientResized, this, [this](int w, int h) { ViewfinderResized(w, h); });
    Edit1Return();
}

Recorder& TForm5::recorder() const
{
    return windows_.Form1().recorder();
}

RecordingSession& TForm5::session() const
{
    return recorder().session;
}

int TForm5::Rg1ItemIndex() const
{
    if (Rg1New->isChecked())
        return 0;
    if (Rg1Continue->isChecked())
        return 1;
    return -1;
}

void TForm5::setRg1ItemIndex(int index)
{
    auto* items = Rg1->findChild<QButtonGroup*>(QStringLiteral("Rg1Items"));
    items->setExclusive(false);
    Rg1New->setChecked(index == 0);
    Rg1Continue->setChecked(index == 1);
    items->setExclusive(true);
}

QString TForm5::csbValue(int row) const
{
    return csb->item(row - 1, 1)->text();
}

void TForm5::setCsbValue(int row, const QString& value)
{
    csb->item(row - 1, 1)->setText(value);
    csb->item(row - 1, 1)->setToolTip(value);
}

void TForm5::bringToFront(QFrame* panel)
{
    for (QFrame* p : {Panel6, Panel1, Panel2, Panel3, Panel4, Panel5})
        p->setVisible(p == panel);
    panel->raise();
    front_ = panel;
}

bool TForm5::refuseWhileRecording()
{
    const Recorder& r = recorder();
    if (!r.isRecording() && !r.isFinishing())
        return false;
    // Opening the wizard would reset the sound format and could replace the running recording's files.
    platform::prompts().message(&windows_.Form1(), QStringLiteral("正在录制，请先停止录制再进行设置"),
                                QStringLiteral("提示"), platform::MessageIcon::Warning);
    return true;
}

void TForm5::setVisible(bool visible)
{
    if (visible && !isVisible()) {
        if (refuseWhileRecording())
            return;
        FormShow();
    }
    QDialog::setVisible(visible);
}

// Each opening starts over at step 0 with the default sound format.
void TForm5::FormShow()
{
    bringToFront(Panel6);
    SpeedButton5->setEnabled(false);
    step = 0;
    SpeedButton6->setText(kNext);
    CheckBox2->setEnabled(true);
    RecordingSession& s = session();
    s.newMode = false;
    s.continueMode = false;
    // A preparation made earlier is void while the wizard runs: Record waits for this run to finish.
    s.ready = false;
    s.ResetRecordingDefaults();
}

void TForm5::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    platform::centreOnDesktop(*this);
}

bool TForm5::event(QEvent* event)
{
    // The panel's button cursors are set for the whole program; over the wizard the pointer is the arrow.
    if (event->type() == QEvent::Enter || event->type() == QEvent::MouseMove)
        platform::resetScreenCursor();
    return QDialog::event(event);
}

void TForm5::SpeedButton6Click()
{
    switch (step) {
    case 0:
        setCsbValue(4, SoundFormatText(session().soundFormat));
        bringToFront(Panel1);
        step = 1;
        break;
    case 1:
        TargetStep();
        break;
    case 2:
        CaptureWindowStep();
        break;
    case 3:
        // A width typed without Enter is the width in effect, as if Enter had been pressed: the
        // viewfinder takes it, so that the size recorded is the size shown.
        if (Edit1->text() != QString::number(windows_.Form2().clientSizeOnScreen().width()))
            Edit1Return();
        setCsbValue(2, Edit1->text());
        setCsbValue(3, Edit2->text());
        bringToFront(Panel4);
        step = 4;
        break;
    case 4:
        SpeedButton6->setText(kFinish);
        bringToFront(Panel5);
        step = 5;
        break;
    case 5:
        Finish();
        break;
    default:
        break;
    }
}

void TForm5::TargetStep()
{
    switch (Rg1ItemIndex()) {
    case 0: NewTargetStep(); break;
    case 1: ContinueTargetStep(); break;
    default: break; // nothing chosen: Next does nothing
    }
}

void TForm5::NewTargetStep()
{
    platform::FileDialogRequest request;
    request.filter = QStringLiteral("视频文件[*.avi]|*.avi");
    request.defaultSuffix = QStringLiteral("avi");
    request.confirmOverwrite = true;
    const platform::FileDialogResult chosen = platform::prompts().saveFile(this, request);
    if (!chosen.accepted()) {
        step = 0; // Panel1 stays in front: the next Next runs step 0 again
        return;
    }
    const QString path = chosen.files.front();
    try {
        session().NewTarget(path);
    } catch (const std::exception& failure) {
        // The file cannot be made: the wizard stays on this step.
        platform::prompts().message(this, QString::fromUtf8(failure.what()), QStringLiteral("提示"),
                                    platform::MessageIcon::Warning);
        return;
    }
    setCsbValue(1, path);
    bringToFront(Panel2);
    SpeedButton5->setEnabled(true);
    step = 2;
}

void TForm5::ContinueTargetStep()
{
    platform::FileDialogRequest request;
    request.filter = QStringLiteral("*.avi|*.avi");
    const platform::FileDialogResult chosen = platform::prompts().openFile(this, request);
    if (!chosen.accepted()) {
        step = 0;
        return;
    }
    const QString path = chosen.files.front();
    QSize frameSize;
    try {
        frameSize = session().ContinueTarget(path);
    } catch (const std::exception& failure) {
        // No sound track to continue, or no frame to learn the size from: shown as an error, in the
        // standard error box, and the wizard stays on this step.
        platform::reportFailure(failure);
        return;
    }
    // The viewfinder takes the stored frame size, so that what it shows is what is added: the whole screen
    // for a full-screen recording, otherwise a region of that size where the viewfinder is.
    TForm2& viewfinder = windows_.Form2();
    if (frameSize == platform::Screen().size()) {
        CaptureFullScreen();
    } else {
        viewfinder.setRegionMode();
        viewfinder.setClientSize(frameSize.width(), frameSize.height());
    }
    setCsbValue(1, path);
    setCsbValue(2, QString::number(frameSize.width()));
    setCsbValue(3, QString::number(frameSize.height()));
    setCsbValue(4, SoundFormatText(session().soundFormat));
    SpeedButton6->setText(kFinish);
    bringToFront(Panel5);
    step = 5;
}

void TForm5::CaptureWindowStep()
{
    if (CheckBox1->isChecked()) {
        const QSize screen = platform::Screen().size(); // in screen pixels, the frames' size
        setCsbValue(2, QString::number(screen.width()));
        setCsbValue(3, QString::number(screen.height()));
        CaptureFullScreen();
        SpeedButton6->setText(kFinish);
        bringToFront(Panel5);
        step = 5;
        return;
    }
    windows_.Form2().setRegionMode(); // back from full screen, at the place and size it had
    CheckBox2->setEnabled(true);
    bringToFront(Panel3);
    step = 3;
}

void TForm5::CaptureFullScreen()
{
    windows_.Form2().setFullScreenMode();
    // A full-screen capture has nowhere to move: the follow switch is off, not only greyed.
    CheckBox2->setChecked(false);
    CheckBox2->setEnabled(false);
}

void TForm5::Finish()
{
    const int width = parseRow(csbValue(2), "the frame width (帧宽)");
    const int height = parseRow(csbValue(3), "the frame height (帧高)");
    Recorder& r = recorder();
    r.settings.width = width;
    r.settings.height = height;
    windows_.Form2().hideForRecording();
    r.session.frameCounter = 0;
    r.session.ready = true;
    r.settings.followCursor = CheckBox2->isChecked() && !windows_.Form2().isFullScreenMode();
    QDialog::accept();
}

void TForm5::SpeedButton5Click()
{
    switch (step) {
    case 1:
        bringToFront(Panel6);
        SpeedButton5->setEnabled(false);
        step = 0;
        break;
    case 2:
        bringToFront(Panel1);
        step = 1;
        break;
    case 3:
        bringToFront(Panel2);
        step = 2;
        break;
    case 4:
        bringToFront(Panel3);
        step = 3;
        break;
    case 5:
        // Always back to placing the viewfinder, also when the region steps were skipped.
        bringToFront(Panel4);
        step = 4;
        SpeedButton6->setText(kNext);
        break;
    default:
        break;
    }
}

void TForm5::SpeedButton7Click()
{
    // A new target's file is deleted; a continued one is only closed.
    session().CancelTarget();
    setCsbValue(2, QString());
    setCsbValue(3, QString());
    setCsbValue(1, QString());
    session().ready = false;
    QDialog::reject();
}

void TForm5::reject()
{
    platform::runGuarded([this] { SpeedButton7Click(); });
}

void TForm5::Edit1Return()
{
    const int width = parseRow(Edit1->text(), "the width in Edit1");
    const int height = static_cast<int>(width * 0.75);
    TForm2& viewfinder = windows_.Form2();
    viewfinder.setClientSize(width, height);
    // A hidden viewfinder reports its new size only when it is next shown: fill the fields now.
    const QSize onScreen = viewfinder.clientSizeOnScreen();
    ViewfinderResized(onScreen.width(), onScreen.height());
}

void TForm5::FormatButtonClick()
{
    const platform::MMResult result = ChooseSessionSoundFormat(this, session());
    if (result != platform::MMSYSERR_NOERROR && result != platform::ACMERR_CANCELED)
        platform::prompts().message(this, QStringLiteral("硬件不支持"), QString(), platform::MessageIcon::Warning);
}

void TForm5::ViewfinderButtonClick()
{
    windows_.Form2().showForPositioning();
}

void TForm5::ViewfinderResized(int width, int height)
{
    Edit1->setText(QString::number(width));
    Edit2->setText(QString::number(height));
    setCsbValue(2, QString::number(width));
    setCsbValue(3, QString::number(height));
}

} // namespace quolva::record

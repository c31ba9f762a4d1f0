// The main window's layout: the control bar's two rows of bands, the edit panel, the picture area and
// the status bar.
#include "editor/EditorControls.h"
#include "editor/Etool.h"
#include "editor/ToolbarArtwork.h"
#include "platform/UiFonts.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace quolva::editor {
namespace {

using Picture = ToolbarArtwork::Picture;

// A hint as the windows write it: "short|long". The short part is the tooltip; the status bar shows the
// long part, or the whole hint where it has no "|".
void setHint(QWidget* control, const QString& hint)
{
    const qsizetype bar = hint.indexOf(QLatin1Char('|'));
    control->setToolTip(bar < 0 ? hint : hint.left(bar));
    control->setStatusTip(bar < 0 ? hint : hint.mid(bar + 1));
}

QToolButton* toolButton(QWidget* parent, const char* name, Picture picture, const QString& hint)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setIcon(ToolbarArtwork::icon(picture));
    button->setIconSize(QSize(ToolbarArtwork::kSize, ToolbarArtwork::kSize));
    button->setAutoRaise(true);
    if (!hint.isEmpty())
        setHint(button, hint);
    return button;
}

// A text button of the edit panel.
QToolButton* speedButton(QWidget* parent, const char* name, const QString& caption)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setText(caption);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setMinimumWidth(64);
    return button;
}

QToolBar* band(TForm7* window, const char* name, const QString& title, bool floatable)
{
    auto* bar = new QToolBar(title, window);
    bar->setObjectName(QLatin1String(name));
    bar->setMovable(true); // the user can rearrange the bands
    bar->setFloatable(floatable);
    bar->setAllowedAreas(Qt::TopToolBarArea);
    bar->setIconSize(QSize(ToolbarArtwork::kSize, ToolbarArtwork::kSize));
    window->addToolBar(Qt::TopToolBarArea, bar);
    return bar;
}

// A band with a label and a number box.
QToolBar* numberBand(TForm7* window, const char* name, const QString& label, QLineEdit*& edit, const char* editName,
                     bool readOnly, int width)
{
    QToolBar* bar = band(window, name, label, false);
    auto* caption = new QLabel(label, bar);
    caption->setContentsMargins(4, 0, 2, 0);
    bar->addWidget(caption);
    edit = new QLineEdit(bar);
    edit->setObjectName(QLatin1String(editName));
    edit->setReadOnly(readOnly);
    if (readOnly)
        edit->setFocusPolicy(Qt::ClickFocus); // the keyboard starts elsewhere, not in a number it cannot change
    edit->setFixedWidth(width);
    edit->setText(QStringLiteral("0"));
    bar->addWidget(edit);
    return bar;
}

QAction* item(QMenu* menu, const char* name, const QString& caption)
{
    QAction* action = menu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    return action;
}

} // namespace

void TForm7::BuildMainMenu()
{
    ToolBar4 = band(this, "ToolBar4", QStringLiteral("ToolBar4"), false);
    MainMenu1 = new QMenuBar(ToolBar4);
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    MainMenu1->setNativeMenuBar(false); // the menu is a band of the control bar, not a window menu bar
    ToolBar4->addWidget(MainMenu1);

    fileMenu = MainMenu1->addMenu(QStringLiteral("文件"));
    fileMenu->setObjectName(QStringLiteral("fileMenu"));
    N7 = item(fileMenu, "N7", QStringLiteral("设置(&s)..."));
    RecordOptionsItem = item(fileMenu, "RecordOptionsItem", QStringLiteral("录制选项(&p)..."));
    fileMenu->addSeparator();
    N9 = item(fileMenu, "N9", QStringLiteral("录制(&r)"));
    N10 = item(fileMenu, "N10", QStringLiteral("停止(&e)"));
    PauseRecordingItem = item(fileMenu, "PauseRecordingItem", QStringLiteral("暂停录制(&z)"));
    fileMenu->addSeparator();
    N12 = item(fileMenu, "N12", QStringLiteral("发布(&I)..."));
    fileMenu->addSeparator();
    FileExit = item(fileMenu, "FileExit", QStringLiteral("退出[&X]"));

    viewMenu = MainMenu1->addMenu(QStringLiteral("察看"));
    viewMenu->setObjectName(QStringLiteral("viewMenu"));
    N2 = item(viewMenu, "N2", QStringLiteral("打开(&o)..."));
    N3 = item(viewMenu, "N3", QStringLiteral("关闭(&c)"));
    viewMenu->addSeparator();
    N21 = item(viewMenu, "N21", QStringLiteral("另存帧[&s]"));
    viewMenu->addSeparator();
    FrameE = item(viewMenu, "FrameE", QStringLiteral("下一帧[&N]"));
    N25 = item(viewMenu, "N25", QStringLiteral("上一帧[&B]"));
    pplay = item(viewMenu, "pplay", QStringLiteral("连续浏览[&P]"));
    PauseP = item(viewMenu, "PauseP", QStringLiteral("暂停[&U]"));

    processMenu = MainMenu1->addMenu(QStringLiteral("加工"));
    processMenu->setObjectName(QStringLiteral("processMenu"));
    N23 = item(processMenu, "N23", QStringLiteral("亮度(&l)...."));
    N5 = item(processMenu, "N5", QStringLiteral("添加背景音乐(&u)..."));
    N15 = item(processMenu, "N15", QStringLiteral("添加文字(&t)..."));
    processMenu->addSeparator();
    N6 = item(processMenu, "N6", QStringLiteral("连续更新(&f)"));

    windowMenu = MainMenu1->addMenu(QStringLiteral("窗口"));
    windowMenu->setObjectName(QStringLiteral("windowMenu"));
    N24 = item(windowMenu, "N24", QStringLiteral("浮动板(&p)..."));

    helpMenu = MainMenu1->addMenu(QStringLiteral("帮助"));
    helpMenu->setObjectName(QStringLiteral("helpMenu"));
    N18 = item(helpMenu, "N18", QStringLiteral("关于(&a)..."));
    N19 = item(helpMenu, "N19", QStringLiteral("帮助文件(&h)"));
}

void TForm7::BuildControlBar()
{
    // First row: the menu, the three numbers, save frame and brightness, continuous update.
    BuildMainMenu();
    Panel6 = numberBand(this, "Panel6", QStringLiteral("帧数："), Edit5, "Edit5", true, 56);
    Panel3 = numberBand(this, "Panel3", QStringLiteral("当前位置："), Edit1, "Edit1", true, 56);
    Panel5 = numberBand(this, "Panel5", QStringLiteral("欲覆盖帧数："), Edit3, "Edit3", false, 44);
    Edit3->setText(QStringLiteral("1"));

    ToolBar3 = band(this, "ToolBar3", QStringLiteral("ToolBar3"), true);
    ToolButton19 = toolButton(ToolBar3, "ToolButton19", Picture::SaveFrame, QStringLiteral("另存为|另存为jpeg图片"));
    ToolBar3->addWidget(ToolButton19);
    ToolButton5 = toolButton(ToolBar3, "ToolButton5", Picture::Brightness, QStringLiteral("调整亮度"));
    PopupMenu2 = new QMenu(this);
    PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
    const std::pair<QAction**, const char*> factors[] = {
        {&N011, "0.1"}, {&N031, "0.3"}, {&N051, "0.5"}, {&N071, "0.7"}, {&N091, "0.9"}, {&N101, "1.0"},
        {&N121, "1.2"}, {&N141, "1.4"}, {&N161, "1.6"}, {&N181, "1.8"}, {&N201, "2.0"}};
    const char* factorNames[] = {"N011", "N031", "N051", "N071", "N091", "N101",
                                 "N121", "N141", "N161", "N181", "N201"};
    for (std::size_t i = 0; i < std::size(factors); ++i)
        *factors[i].first = item(PopupMenu2, factorNames[i], QString::fromLatin1(factors[i].second));
    ToolButton5->setMenu(PopupMenu2);
    ToolButton5->setPopupMode(QToolButton::MenuButtonPopup); // the button snapshots, its arrow opens the list
    ToolBar3->addWidget(ToolButton5);

    ToolBar7 = band(this, "ToolBar7", QStringLiteral("ToolBar7"), false);
    ToolButton27 = toolButton(ToolBar7, "ToolButton27", Picture::ContinuousUpdate,
                              QStringLiteral("连续更新|连续更新到欲覆盖帧数为止"));
    ToolBar7->addWidget(ToolButton27);
    ToolButton25 = toolButton(ToolBar7, "ToolButton25", Picture::SingleUpdate, QStringLiteral("单帧更新"));
    ToolBar7->addWidget(ToolButton25)->setVisible(false);

    // Second row: the browser, the type tools, the box styles.
    addToolBarBreak(Qt::TopToolBarArea);
    ToolBar2 = band(this, "ToolBar2", QStringLiteral("ToolBar2"), false);
    ToolButton1 = toolButton(ToolBar2, "ToolButton1", Picture::Open, QStringLiteral("打开文件|打开所录文件进行编辑。"));
    ToolButton12 = toolButton(ToolBar2, "ToolButton12", Picture::Close, QStringLiteral("关闭文件"));
    ToolButton2 = toolButton(ToolBar2, "ToolButton2", Picture::NextFrame, QStringLiteral("下一帧"));
    ToolButton3 = toolButton(ToolBar2, "ToolButton3", Picture::PreviousFrame, QStringLiteral("上一帧"));
    ToolButton6 = toolButton(ToolBar2, "ToolButton6", Picture::Play, QStringLiteral("连续浏览"));
    ToolButton7 = toolButton(ToolBar2, "ToolButton7", Picture::Pause, QStringLiteral("暂停"));
    for (QToolButton* button : {ToolButton1, ToolButton12, ToolButton2, ToolButton3, ToolButton6, ToolButton7})
        ToolBar2->addWidget(button);

    ToolBar5 = band(this, "ToolBar5", QStringLiteral("字型工具板"), true);
    ComboBox1 = new QComboBox(ToolBar5);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setEditable(true);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1->setFixedWidth(130);
    ComboBox1->setMaxVisibleItems(20);
    ToolBar5->addWidget(ComboBox1);
    ToolButton14 = toolButton(ToolBar5, "ToolButton14", Picture::EditPanel, QStringLiteral("打开编辑板"));
    ToolButton10 = toolButton(ToolBar5, "ToolButton10", Picture::Bold, QString());
    ToolButton11 = toolButton(ToolBar5, "ToolButton11", Picture::Italic, QString());
    ToolButton9 = toolButton(ToolBar5, "ToolButton9", Picture::Underline, QString());
    for (QToolButton* check : {ToolButton10, ToolButton11, ToolButton9})
        check->setCheckable(true);
    ToolButton34 = toolButton(ToolBar5, "ToolButton34", Picture::FontHeight, QStringLiteral("Font Height"));
    PopupMenu4 = new QMenu(this);
    PopupMenu4->setObjectName(QStringLiteral("PopupMenu4"));
    const std::pair<QAction**, const char*> sizes[] = {
        {&N102, "10"}, {&N122, "12"}, {&N142, "14"}, {&N162, "16"}, {&N182, "18"}, {&N202, "20"},
        {&N241, "24"}, {&N261, "26"}, {&N321, "32"}, {&N401, "40"}, {&N761, "76"}};
    const char* sizeNames[] = {"N102", "N122", "N142", "N162", "N182", "N202", "N241", "N261", "N321", "N401", "N761"};
    for (std::size_t i = 0; i < std::size(sizes); ++i)
        *sizes[i].first = item(PopupMenu4, sizeNames[i], QString::fromLatin1(sizes[i].second));
    ToolButton34->setMenu(PopupMenu4);
    ToolButton34->setPopupMode(QToolButton::InstantPopup);
    ToolButton13 = toolButton(ToolBar5, "ToolButton13", Picture::TextColour, QStringLiteral("子体颜色"));
    for (QToolButton* button : {ToolButton14, ToolButton10, ToolButton11, ToolButton9, ToolButton34, ToolButton13})
        ToolBar5->addWidget(button);

    Panel15 = band(this, "Panel15", QStringLiteral("字框："), false);
    auto* boxCaption = new QLabel(QStringLiteral("字框："), Panel15);
    boxCaption->setContentsMargins(4, 0, 2, 0);
    Panel15->addWidget(boxCaption);
    boxStyleButtons = new QButtonGroup(this);
    boxStyleButtons->setExclusive(true);
    QToolButton** styles[] = {&SpeedButton3, &SpeedButton4, &SpeedButton5, &SpeedButton6,
                              &SpeedButton7, &SpeedButton8, &SpeedButton9, &SpeedButton11};
    const char* styleNames[] = {"SpeedButton3", "SpeedButton4", "SpeedButton5", "SpeedButton6",
                                "SpeedButton7", "SpeedButton8", "SpeedButton9", "SpeedButton11"};
    for (int style = 0; style < 8; ++style) {
        auto* button = new QToolButton(Panel15);
        button->setObjectName(QLatin1String(styleNames[style]));
        button->setIcon(ToolbarArtwork::boxStyleIcon(style));
        button->setIconSize(QSize(ToolbarArtwork::kSize, ToolbarArtwork::kSize));
        button->setCheckable(true);
        button->setAutoRaise(true);
        boxStyleButtons->addButton(button, style);
        Panel15->addWidget(button);
        *styles[style] = button;
    }
    SpeedButton3->setChecked(true);
}

void TForm7::BuildEditPanel(QWidget* parent)
{
    tedit = new QFrame(parent);
    tedit->setObjectName(QStringLiteral("tedit"));
    tedit->setFixedWidth(kEditPanelWidth);
    tedit->setFrameShape(QFrame::StyledPanel);
    auto* column = new QVBoxLayout(tedit);
    column->setContentsMargins(4, 2, 4, 4);
    column->setSpacing(4);

    // The header: "Edit Panel" and the hide button.
    auto* header = new QFrame(tedit);
    header->setAutoFillBackground(true);
    QPalette caption = header->palette();
    caption.setColor(QPalette::Window, QColor(0, 0, 128));
    caption.setColor(QPalette::WindowText, Qt::white);
    header->setPalette(caption);
    auto* headerRow = new QHBoxLayout(header);
    headerRow->setContentsMargins(4, 1, 1, 1);
    EditPanelTitle = new QLabel(QStringLiteral("Edit Panel"), header);
    EditPanelTitle->setObjectName(QStringLiteral("EditPanelTitle"));
    headerRow->addWidget(EditPanelTitle, 1);
    SpeedButton14 = new QToolButton(header);
    SpeedButton14->setObjectName(QStringLiteral("SpeedButton14"));
    SpeedButton14->setText(QStringLiteral("X"));
    SpeedButton14->setFixedSize(18, 16);
    setHint(SpeedButton14, QStringLiteral("Hide"));
    headerRow->addWidget(SpeedButton14);
    column->addWidget(header);

    // 1. Background sound.
    Label6 = new QLabel(QStringLiteral("1.录制背景声音"), tedit);
    Label6->setObjectName(QStringLiteral("Label6"));
    Label6->setEnabled(false);
    column->addWidget(Label6);
    auto* soundRow = new QHBoxLayout;
    SpeedButton16 = speedButton(tedit, "SpeedButton16", QStringLiteral("录制"));
    SpeedButton17 = speedButton(tedit, "SpeedButton17", QStringLiteral("暂停"));
    SpeedButton17->setEnabled(false);
    soundRow->addWidget(SpeedButton16);
    soundRow->addWidget(SpeedButton17);
    soundRow->addStretch();
    column->addLayout(soundRow);

    // 2. Text.
    TextSectionLabel = new QLabel(QStringLiteral("2.添加文字"), tedit);
    TextSectionLabel->setObjectName(QStringLiteral("TextSectionLabel"));
    column->addWidget(TextSectionLabel);
    auto* textRow = new QHBoxLayout;
    SpeedButton12 = speedButton(tedit, "SpeedButton12", QStringLiteral("写入画面"));
    SpeedButton13 = speedButton(tedit, "SpeedButton13", QStringLiteral("清除文字"));
    textRow->addWidget(SpeedButton12);
    textRow->addWidget(SpeedButton13);
    textRow->addStretch();
    column->addLayout(textRow);

    auto* choiceRow = new QHBoxLayout;
    RadioGroup1 = new RadioGroup(QString(), {QStringLiteral("静止文字"), QStringLiteral("向上移动 ")}, tedit);
    RadioGroup1->setObjectName(QStringLiteral("RadioGroup1"));
    RadioGroup1->setItemIndex(0);
    RadioGroup2 = new RadioGroup(QString(),
                                 {QStringLiteral("1f"), QStringLiteral("2f"), QStringLiteral("3f"), QStringLiteral("4f"),
                                  QStringLiteral("5f")},
                                 tedit);
    RadioGroup2->setObjectName(QStringLiteral("RadioGroup2"));
    RadioGroup2->setItemIndex(0);
    choiceRow->addWidget(RadioGroup1, 3, Qt::AlignTop);
    choiceRow->addWidget(RadioGroup2, 2);
    column->addLayout(choiceRow);

    // The memo, whose width the splitter at its right edge sets.
    Splitter1 = new QSplitter(Qt::Horizontal, tedit);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setChildrenCollapsible(false);
    Memo1 = new QPlainTextEdit(Splitter1);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setPlainText(QStringLiteral("在此输入文字"));
    Memo1->setMinimumWidth(40);
    Memo1->viewport()->setMouseTracking(true);
    Memo1->viewport()->installEventFilter(this);
    auto* rest = new QWidget(Splitter1);
    rest->setMinimumWidth(1);
    Splitter1->addWidget(Memo1);
    Splitter1->addWidget(rest);
    Splitter1->setSizes({kEditPanelWidth - 12, 1});
    column->addWidget(Splitter1, 1);

    // The speed row of the rising caption.
    Panel7 = new QFrame(tedit);
    Panel7->setObjectName(QStringLiteral("Panel7"));
    auto* speedRow = new QHBoxLayout(Panel7);
    speedRow->setContentsMargins(0, 0, 0, 0);
    speedRow->setSpacing(2);
    SpeedLabel = new QLabel(QStringLiteral("上升倍速"), Panel7);
    speedRow->addWidget(SpeedLabel);
    Edit4 = new QLineEdit(QStringLiteral("1"), Panel7);
    Edit4->setObjectName(QStringLiteral("Edit4"));
    Edit4->setFixedWidth(30);
    speedRow->addWidget(Edit4);
    UpDown1 = new UpDown(Panel7);
    UpDown1->setObjectName(QStringLiteral("UpDown1"));
    UpDown1->setRange(1, 10);
    UpDown1->setPosition(1);
    speedRow->addWidget(UpDown1);
    SpeedButton1 = speedButton(Panel7, "SpeedButton1", QStringLiteral("试试"));
    setHint(SpeedButton1, QStringLiteral("字幕滚动|是否适合？"));
    SpeedButton10 = speedButton(Panel7, "SpeedButton10", QStringLiteral("停止"));
    setHint(SpeedButton10, QStringLiteral("字幕复位|字幕回到起点"));
    for (QToolButton* button : {SpeedButton1, SpeedButton10}) {
        button->setMinimumWidth(44);
        speedRow->addWidget(button);
    }
    speedRow->addStretch();
    Panel7->setEnabled(false); // the static mode is chosen at start
    column->addWidget(Panel7);

    tedit->hide();
}

void TForm7::BuildPictureArea(QWidget* parent)
{
    ScrollBox1 = new QScrollArea(parent);
    ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
    ScrollBox1->setWidgetResizable(false);
    ScrollBox1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ScrollBox1->setFrameShape(QFrame::NoFrame);
    QPalette grey = ScrollBox1->palette();
    grey.setColor(QPalette::Window, QColor(128, 128, 128));
    grey.setColor(QPalette::Base, QColor(128, 128, 128));
    ScrollBox1->setPalette(grey);
    ScrollBox1->setBackgroundRole(QPalette::Window);
    ScrollBox1->viewport()->setAutoFillBackground(true);
    ScrollBox1->viewport()->setMouseTracking(true);
    ScrollBox1->viewport()->installEventFilter(this);

    ScrollBox1Content = new QWidget;
    ScrollBox1Content->setObjectName(QStringLiteral("ScrollBox1Content"));
    ScrollBox1Content->setAutoFillBackground(false);
    ScrollBox1Content->setMouseTracking(true);
    ScrollBox1Content->installEventFilter(this);

    // The text boxes first: the picture on view is created after them and covers them.
    const struct {
        PictureControl** slot;
        const char* name;
        QPoint at;
    } boxes[] = {{&Image3, "Image3", {40, 88}},
                 {&Image5, "Image5", {216, 88}},
                 {&Image14, "Image14", {216, 144}},
                 {&Image15, "Image15", {40, 144}},
                 {&Image16, "Image16", {40, 192}}};
    for (const auto& box : boxes) {
        auto* control = new PictureControl(ScrollBox1Content);
        control->setObjectName(QLatin1String(box.name));
        control->move(box.at);
        control->setCursor(Qt::SizeAllCursor);
        *box.slot = control;
    }
    Image4 = new PictureControl(ScrollBox1Content);
    Image4->setObjectName(QStringLiteral("Image4"));
    Image4->move(0, 0);
    Image4->setMouseTracking(true);
    Image4->installEventFilter(this);
    ScrollBox1->setWidget(ScrollBox1Content); // sized to the picture and the boxes as they are shown
}

void TForm7::BuildStatusBar()
{
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    const int widths[] = {400, 130, 136};
    for (std::size_t i = 0; i < StatusPanels.size(); ++i) {
        auto* panel = new QLabel(StatusBar1);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        panel->setFixedWidth(widths[i]);
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(QFrame::Sunken);
        StatusBar1->addWidget(panel);
        StatusPanels[i] = panel;
    }
    setStatusBar(StatusBar1);
}

} // namespace quolva::editor

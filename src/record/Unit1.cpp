#include "record/Unit1.h"

#include "app/HelpFile.h"
#include "app/Unit8.h"
#include "app/WindowSet.h"
#include "editor/Etool.h"
#include "platform/Failures.h"
#include "platform/GlobalHotkeys.h"
#include "platform/Prompts.h"
#include "platform/UiFonts.h"
#include "publish/Unit6.h"
#include "record/PanelArtwork.h"
#include "record/Recorder.h"
#include "record/RecordingOptions.h"
#include "record/SkinSetting.h"
#include "record/Unit2.h"
#include "record/Unit5.h"

#include <QActionGroup>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QShowEvent>

namespace quolva::record {
namespace {

struct HotKey {
    int id;
    Qt::Key key;
    const char* name;
};
constexpr HotKey kHotKeys[] = {
    {TForm1::kRecordHotKey, Qt::Key_Up, "Shift+Up"},
    {TForm1::kStopHotKey, Qt::Key_Down, "Shift+Down"},
};

// Windows of the program that minimising the application concerns: its windows and dialogs, not
// menus or tooltips.
bool isApplicationWindow(const QWidget* widget)
{
    const Qt::WindowType type = widget->windowType();
    return type == Qt::Window || type == Qt::Dialog;
}

} // namespace

TForm1::TForm1(app::WindowSet& windows) : windows_(windows)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setFixedSize(154, 60);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize size = screen->size();
        move(size.width() - 230, size.height() - 140);
    }

    Image3 = panelSkin(1);
    Image4 = panelSkin(2);
    Image2 = panelSkin(3);
    Image10 = panelSkin(4);

    face = new PanelFace(this);
    face->setPicture(Image10);
    connect(face, &PanelFace::buttonReleased, this,
            [this](PanelShapeId id) { platform::runGuarded([&] { FaceButtonReleased(id); }); });
    connect(face, &PanelFace::skinMenuRequested, this, [this](QPoint at) { PopupMenu2->popup(at); });
    connect(face, &PanelFace::panelMenuRequested, this, [this](QPoint at) { PopupMenu1->popup(at); });

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(platform::interfaceFont(QStringLiteral("宋体"), 12));
    QPalette lime = Label1->palette();
    lime.setColor(QPalette::WindowText, QColor(0, 255, 0));
    Label1->setPalette(lime);
    Label1->setAlignment(Qt::AlignRight | Qt::AlignTop);
    Label1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Label1, &QLabel::customContextMenuRequested, this,
            [this](QPoint at) { PopupMenu1->popup(Label1->mapToGlobal(at)); });
    placeStatusText();

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    N1 = PopupMenu1->addAction(QStringLiteral("帮助(&h)"));
    N1->setObjectName(QStringLiteral("N1"));
    N2 = PopupMenu1->addAction(QStringLiteral("关于(&a)"));
    N2->setObjectName(QStringLiteral("N2"));
    PopupMenu1->addSeparator();
    N4 = PopupMenu1->addAction(QStringLiteral("返回主窗口(&w)"));
    N4->setObjectName(QStringLiteral("N4"));
    connect(N1, &QAction::triggered, this, platform::guarded([this] { N1Click(); }));
    connect(N2, &QAction::triggered, this, platform::guarded([this] { N2Click(); }));
    connect(N4, &QAction::triggered, this, platform::guarded([this] { N4Click(); }));

    PopupMenu2 = new QMenu(this);
    PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
    auto* skins = new QActionGroup(PopupMenu2);
    const QString captions[] = {QStringLiteral("紫水晶"), QStringLiteral("绿宝石"), QStringLiteral("橄榄树"),
                                QStringLiteral("蓝晶玲")};
    QAction** items[] = {&jm1, &jm2, &jm3, &jm4};
    for (int skin = 1; skin <= 4; ++skin) {
        QAction* item = PopupMenu2->addAction(captions[skin - 1]);
        item->setObjectName(QStringLiteral("jm%1").arg(skin));
        item->setCheckable(true);
        skins->addAction(item);
        connect(item, &QAction::triggered, this, platform::guarded([this, skin] { ChooseSkin(skin); }));
        *items[skin - 1] = item;
    }

    RegisterHotKeys();
}

TForm1::~TForm1() = default;

Recorder& TForm1::recorder()
{
    if (!recorder_) {
        recorder_ = std::make_unique<Recorder>(windows_.Form2(), this);
        connect(recorder_.get(), &Recorder::statusTextChanged, this, [this](const QString& text) {
            Label1->setText(text);
            placeStatusText();
        });
        connect(recorder_.get(), &Recorder::runningChanged, this,
                [this](bool running) { platform::runGuarded([&] { GrabPauseHotKey(running); }); });
        connect(recorder_.get(), &Recorder::recordingFinished, this,
                [this](const QString& target) { RecordingFinished(target); });
    }
    return *recorder_;
}

const QPixmap& TForm1::skinPicture(int skin) const
{
    switch (skin) {
    case 1: return Image3;
    case 2: return Image4;
    case 3: return Image2;
    default: return Image10;
    }
}

// The status text keeps its right edge at x 145 whatever its length.
void TForm1::placeStatusText()
{
    Label1->adjustSize();
    Label1->move(145 - Label1->width(), 36);
}

void TForm1::RegisterHotKeys()
{
    hotkeys_ = new platform::GlobalHotkeys(this);
    connect(hotkeys_, &platform::GlobalHotkeys::hotKeyPressed, this,
            [this](int id) { platform::runGuarded([&] { WMHotKey(id); }); });
    for (const HotKey& hotkey : kHotKeys) {
        using Registration = platform::GlobalHotkeys::Registration;
        switch (hotkeys_->registerHotKey(hotkey.id, Qt::ShiftModifier, hotkey.key)) {
        case Registration::Registered:
        case Registration::Unavailable: // no X display (a headless run): there are no hotkeys to report
            break;
        case Registration::Taken:
            hotkeyProblems_ << QStringLiteral("热键 %1 已被其他程序占用").arg(QLatin1String(hotkey.name));
            break;
        case Registration::UnknownKey:
        case Registration::IdInUse:
            hotkeyProblems_ << QStringLiteral("热键 %1 无法使用").arg(QLatin1String(hotkey.name));
            break;
        }
    }
    if (hotkeyProblems_.isEmpty())
        return;
    // Told once, after start-up has shown the main window; the rest of the program works as usual.
    QMetaObject::invokeMethod(
        this,
        [this] {
            platform::runGuarded([this] {
                platform::prompts().message(&windows_.mainWindow(), hotkeyProblems_.join(QLatin1Char('\n')),
                                            QStringLiteral("提示"), platform::MessageIcon::Warning);
            });
        },
        Qt::QueuedConnection);
}

void TForm1::GrabPauseHotKey(bool recording)
{
    if (!recording) {
        hotkeys_->unregisterHotKey(kPauseHotKey);
        return;
    }
    // When another program holds it the main window's menu item still pauses; a message box now would
    // land in the recording.
    hotkeys_->registerHotKey(kPauseHotKey, Qt::ShiftModifier, Qt::Key_Pause);
}

void TForm1::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        platform::runGuarded([this] { LoadSkin(); });
}

void TForm1::LoadSkin()
{
    const std::optional<int> skin = SkinSetting::Load();
    if (!skin || *skin < 1 || *skin > 4)
        return;
    face->setPicture(skinPicture(*skin));
    PopupMenu2->actions().at(*skin - 1)->setChecked(true);
}

void TForm1::ChooseSkin(int skin)
{
    face->setPicture(skinPicture(skin));
    PopupMenu2->actions().at(skin - 1)->setChecked(true);
    SkinSetting::Save(skin);
}

void TForm1::FaceButtonReleased(PanelShapeId id)
{
    switch (id) {
    case PanelShapeId::Shape3: ShowWizard(); break;
    case PanelShapeId::Shape1: luzhi(); break;
    case PanelShapeId::Shape6: tingzhi(); break;
    case PanelShapeId::Shape4: N4Click(); break;
    case PanelShapeId::Shape7: CloseBoxClick(); break;
    default: break;
    }
}

void TForm1::FinishBeforeExit()
{
    if (recorder_)
        recorder_->FinishBeforeExit();
}

void TForm1::luzhi()
{
    if (!recorder().isRecording() && !recorder().isFinishing())
        recorder().options = RecordingOptions::Load();
    recorder().luzhi();
}

void TForm1::tingzhi()
{
    recorder().tingzhi();
}

void TForm1::PauseOrResume()
{
    // Refused as Stop is: the menu item is there whether a recording runs or not.
    if (!recorder().session.started) {
        platform::prompts().message(this, QStringLiteral("还没有进行录制"), QStringLiteral("提示"), platform::MessageIcon::Warning);
        return;
    }
    recorder().PauseOrResume();
}

void TForm1::ShowWizard()
{
    windows_.Form5().show();
}

void TForm1::WMHotKey(int id)
{
    if (id == kRecordHotKey) {
        MinimiseApplication();
        luzhi();
    } else if (id == kStopHotKey) {
        RestoreApplication();
        tingzhi();
    } else if (id == kPauseHotKey) {
        PauseOrResume();
    }
}

void TForm1::MinimiseApplication()
{
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!isApplicationWindow(window) || !window->isVisible() || window->isMinimized())
            continue;
        minimised_.append({QPointer<QWidget>(window), window->windowState()});
        window->showMinimized();
    }
}

void TForm1::RestoreApplication()
{
    const auto windows = std::exchange(minimised_, {});
    for (const auto& [window, state] : windows) {
        if (!window || !window->isMinimized())
            continue;
        if (state & Qt::WindowFullScreen)
            window->showFullScreen();
        else if (state & Qt::WindowMaximized)
            window->showMaximized();
        else
            window->showNormal();
    }
}

// The finished recording goes back to the main window, which opens it; the publish dialog is prepared
// on it, and the panel closes.
void TForm1::RecordingFinished(const QString& targetPath)
{
    editor::TForm7& editor = windows_.Form7();
    editor.show();
    editor.targetPath = targetPath;
    if (editor.Button1Click())
        windows_.Form6().Button5Click();
    close();
}

void TForm1::N1Click()
{
    app::openHelpFile(this);
}

void TForm1::N2Click()
{
    windows_.Form8().show();
}

void TForm1::N4Click()
{
    windows_.Form7().show();
    close();
}

void TForm1::CloseBoxClick()
{
    close();
    windows_.Form7().close();
}

} // namespace quolva::record

// The main window on a real X display, driven through its own controls with scripted dialogs: its
// layout, every menu item and button reaching its handler, opening, stepping, playing and closing a
// recording, saving the frame on view, damaged and unfinished recordings, and the command line.
#include "TestFiles.h"
#include "../record/RecordGuiSupport.h"
#include "RecordingFixture.h"
#include "Rig.h"
#include "ScriptedPrompts.h"
#include "app/Startup.h"
#include "app/Unit8.h"
#include "editor/EditorControls.h"
#include "editor/Etool.h"
#include "platform/ScreenCursor.h"
#include "publish/Unit6.h"
#include "store/AviFile.h"
#include "store/Jpeg.h"
#include "store/RecordingRepair.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QCryptographicHash>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QStatusBar>
#include <QToolBar>
#include <QLinearGradient>
#include <QPainter>
#include <QToolButton>

#include <variant>

#include <sys/wait.h>
#include <unistd.h>

using quolva::editor::TForm7;
using quolva::platform::MessageIcon;
using quolva::test::ScriptedPrompts;
using namespace quolva;

namespace {

// A file name part of its own for each data row.
int nextCase()
{
    static int count = 0;
    return ++count;
}

bool allGrey(const QImage& picture)
{
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if (picture.pixelColor(x, y) != QColor(128, 128, 128))
                return false;
    return !picture.isNull();
}

// The recorded frame shown on view, told apart by its colour.
int frameOnView(const TForm7& window, int frames)
{
    for (int k = 0; k < frames; ++k)
        if (test::Near(test::BackgroundOf(window.PictureOnView()), test::FrameColour(k)))
            return k;
    return -1;
}

// Where the frame store of a recording has its k-th record (from 0).
qint64 recordStart(const QString& path, int k)
{
    store::FrameStore frames = store::FrameStore::OpenFrameStoreReadOnly(QFile::encodeName(path + ".xxx").toStdString());
    frames.Seek(store::kFrameStoreHeaderSize);
    for (int i = 0; i < k; ++i)
        frames.SkipNextFrame();
    return frames.Position();
}

// A recording left by a writer that died: its AVI file never finished.
QString makeCrashedRecording(const QString& dir, const QString& name, int frames)
{
    const QString path = QDir(dir).filePath(name);
    test::MakeRecording(dir, name, {.frames = frames});
    QFile::remove(path);
    const pid_t child = fork();
    if (child == 0) {
        store::PAVIFILE avi;
        store::PAVISTREAM audio;
        store::AVIFileOpen(&avi, path.toStdString(), store::OF_CREATE | store::OF_WRITE | store::OF_SHARE_DENY_NONE);
        store::AVISTREAMINFOA info{};
        info.fccType = store::streamtypeAUDIO;
        info.dwScale = 1;
        info.dwRate = 11025;
        info.dwSampleSize = 2;
        store::AVIFileCreateStream(avi, &audio, info);
        const store::SoundFormatArea format = test::RecordingRecipe::DefaultRecorderFormat();
        store::AVIStreamSetFormat(audio, 0, &format, sizeof format);
        const QByteArray second(22050, '\x22');
        for (int i = 0; i < 2; ++i)
            store::AVIStreamWrite(audio, store::AVIStreamLength(audio), 22050, second.constData(), 22050, 0, nullptr, nullptr);
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return path;
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    QString recording(const QString& name, const test::RecordingRecipe& wanted = {})
    {
        return test::MakeRecording(dir.path(), name, wanted);
    }

    // Opens `path` through the open command, as the user does.
    static void openThroughDialog(TForm7& window, ScriptedPrompts& prompts, const QString& path)
    {
        prompts.answerFiles({path});
        window.ToolButton1->click();
    }

private slots:
    void initTestCase() { QUOLVA_REQUIRE_DISPLAY(); }

    void layoutCarriesTheNamesHintsAndSizes()
    {
        const auto windows = app::startUp();
        TForm7& window = windows->Form7();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.windowTitle(), QStringLiteral("Quolva 4.1"));
        QCOMPARE(window.size(), QSize(854, 624));

        // The toolbar buttons: short hint as tooltip, the long part (or the whole) for the status bar.
        const struct {
            QToolButton* button;
            const char* tip;
            const char* status;
        } hints[] = {
            {window.ToolButton1, "打开文件", "打开所录文件进行编辑。"},
            {window.ToolButton12, "关闭文件", "关闭文件"},
            {window.ToolButton2, "下一帧", "下一帧"},
            {window.ToolButton3, "上一帧", "上一帧"},
            {window.ToolButton6, "连续浏览", "连续浏览"},
            {window.ToolButton7, "暂停", "暂停"},
            {window.ToolButton19, "另存为", "另存为jpeg图片"},
            {window.ToolButton5, "调整亮度", "调整亮度"},
            {window.ToolButton27, "连续更新", "连续更新到欲覆盖帧数为止"},
            {window.ToolButton25, "单帧更新", "单帧更新"},
            {window.ToolButton14, "打开编辑板", "打开编辑板"},
            {window.ToolButton34, "Font Height", "Font Height"},
            {window.ToolButton13, "子体颜色", "子体颜色"},
            {window.ToolButton10, "", ""},
            {window.ToolButton11, "", ""},
            {window.ToolButton9, "", ""},
            {window.SpeedButton14, "Hide", "Hide"},
            {window.SpeedButton1, "字幕滚动", "是否适合？"},
            {window.SpeedButton10, "字幕复位", "字幕回到起点"},
        };
        QSet<qint64> pictures;
        for (const auto& hint : hints) {
            const QString name = hint.button->objectName();
            QCOMPARE(hint.button->toolTip(), QString::fromUtf8(hint.tip));
            QVERIFY2(hint.button->statusTip() == QString::fromUtf8(hint.status), qPrintable(name));
            if (hint.button->icon().isNull())
                continue;
            // Our own pictures, 16 × 16, each one different and more than a blot.
            const QImage picture = hint.button->icon().pixmap(16, 16).toImage();
            QCOMPARE(picture.size(), QSize(16, 16));
            QSet<QRgb> colours;
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x)
                    colours.insert(picture.pixel(x, y));
            QVERIFY2(colours.size() >= 3, qPrintable(name));
            pictures.insert(qHash(QByteArray(reinterpret_cast<const char*>(picture.constBits()), picture.sizeInBytes())));
        }
        QCOMPARE(pictures.size(), 16);

        // Two rows of bands: the menu row above the browser row; two bands may be undocked.
        QVERIFY(window.ToolBar2->y() > window.ToolBar4->y());
        QCOMPARE(window.Panel6->y(), window.ToolBar4->y());
        QCOMPARE(window.Panel15->y(), window.ToolBar2->y());
        QVERIFY(window.ToolBar3->isFloatable() && window.ToolBar5->isFloatable());
        QVERIFY(!window.ToolBar2->isFloatable() && !window.ToolBar4->isFloatable());
        QCOMPARE(window.ToolBar5->windowTitle(), QStringLiteral("字型工具板"));
        QVERIFY(!window.ToolButton25->isVisible());
        QCOMPARE(window.Edit3->text(), QStringLiteral("1"));
        QVERIFY(window.Edit1->isReadOnly() && window.Edit5->isReadOnly() && !window.Edit3->isReadOnly());
        QCOMPARE(window.ComboBox1->currentText(), QStringLiteral("宋体"));
        QVERIFY(window.ComboBox1->count() > 0);

        // The menus, in their order, with their access keys.
        QStringList menus;
        for (const QAction* menu : window.MainMenu1->actions())
            menus << menu->text();
        QCOMPARE(menus, (QStringList{"文件", "察看", "加工", "窗口", "帮助"}));
        const auto captions = [](QMenu* menu) {
            QStringList items;
            for (const QAction* item : menu->actions())
                if (!item->isSeparator())
                    items << item->objectName() + QLatin1Char('=') + item->text();
            return items;
        };
        QCOMPARE(captions(window.fileMenu),
                 (QStringList{"N7=设置(&s)...", "RecordOptionsItem=录制选项(&p)...", "N9=录制(&r)", "N10=停止(&e)",
                              "PauseRecordingItem=暂停录制(&z)", "N12=发布(&I)...", "FileExit=退出[&X]"}));
        QCOMPARE(captions(window.viewMenu),
                 (QStringList{"N2=打开(&o)...", "N3=关闭(&c)", "N21=另存帧[&s]", "FrameE=下一帧[&N]", "N25=上一帧[&B]",
                              "pplay=连续浏览[&P]", "PauseP=暂停[&U]"}));
        QCOMPARE(captions(window.processMenu),
                 (QStringList{"N23=亮度(&l)....", "N5=添加背景音乐(&u)...", "N15=添加文字(&t)...", "N6=连续更新(&f)"}));
        QCOMPARE(captions(window.windowMenu), (QStringList{"N24=浮动板(&p)..."}));
        QCOMPARE(captions(window.helpMenu), (QStringList{"N18=关于(&a)...", "N19=帮助文件(&h)"}));
        QCOMPARE(captions(window.PopupMenu2),
                 (QStringList{"N011=0.1", "N031=0.3", "N051=0.5", "N071=0.7", "N091=0.9", "N101=1.0", "N121=1.2",
                              "N141=1.4", "N161=1.6", "N181=1.8", "N201=2.0"}));
        QCOMPARE(captions(window.PopupMenu4),
                 (QStringList{"N102=10", "N122=12", "N142=14", "N162=16", "N182=18", "N202=20", "N241=24", "N261=26",
                              "N321=32", "N401=40", "N761=76"}));
        QCOMPARE(window.ToolButton5->menu(), window.PopupMenu2);
        QCOMPARE(window.ToolButton34->menu(), window.PopupMenu4);

        // The box styles: one group, exactly one down.
        QCOMPARE(window.BoxStyle(), 0);
        QVERIFY(window.SpeedButton3->isChecked());
        QVERIFY(!window.Image3->hasPicture());
        window.SpeedButton8->click(); // also renders the memo into box "1f"
        QCOMPARE(window.BoxStyle(), 5);
        QVERIFY(!window.SpeedButton3->isChecked());
        window.SpeedButton8->click(); // pressing the one that is down keeps it down
        QCOMPARE(window.BoxStyle(), 5);

        // The edit panel, the picture area with its boxes, the status bar.
        QVERIFY(!window.tedit->isVisible());
        QCOMPARE(window.tedit->width(), 233);
        QVERIFY(!window.Panel7->isEnabled());
        QVERIFY(!window.SpeedButton17->isEnabled());
        QCOMPARE(window.Memo1->toPlainText(), QStringLiteral("在此输入文字"));
        QCOMPARE(window.RadioGroup1->itemIndex(), 0);
        QCOMPARE(window.RadioGroup2->count(), 5);
        QCOMPARE(window.Image3->pos(), QPoint(40, 88));
        QCOMPARE(window.Image5->pos(), QPoint(216, 88));
        QCOMPARE(window.Image14->pos(), QPoint(216, 144));
        QCOMPARE(window.Image15->pos(), QPoint(40, 144));
        QCOMPARE(window.Image16->pos(), QPoint(40, 192));
        QVERIFY(window.Image3->hasPicture());
        QCOMPARE(window.Image4->pos(), QPoint(0, 0));
        QCOMPARE(window.StatusPanels[0]->width(), 400);
        QCOMPARE(window.StatusPanels[1]->width(), 130);
        QCOMPARE(window.StatusPanels[2]->width(), 136);
        const QImage screen = test::screenOf(window);
        const QPoint middle = window.ScrollBox1->mapTo(&window, window.ScrollBox1->rect().center());
        QCOMPARE(screen.pixelColor(middle), QColor(128, 128, 128));
    }

    // The status bar's first panel follows the mouse: the long hint of the control under it.
    void statusBarShowsTheLongHintUnderTheMouse()
    {
        const auto windows = app::startUp();
        TForm7& window = windows->Form7();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const struct {
            QWidget* control;
            const char* status;
        } hovers[] = {{window.ToolButton1, "打开所录文件进行编辑。"},
                      {window.ToolButton27, "连续更新到欲覆盖帧数为止"},
                      {window.ToolButton2, "下一帧"}};
        for (const auto& hover : hovers) {
            QVERIFY(test::pointerTo(*hover.control, hover.control->rect().center()));
            QTRY_COMPARE(window.StatusPanels[0]->text(), QString::fromUtf8(hover.status));
        }
        QVERIFY(test::pointerTo(*window.ScrollBox1, window.ScrollBox1->rect().center()));
        QTRY_COMPARE(window.StatusPanels[0]->text(), QString());
    }

    // The floating panel sets its cursors for the whole application; the picture area and the memo set
    // the arrow back, other places keep it.
    void pictureAreaAndMemoSetTheArrowBack()
    {
        const auto windows = app::startUp();
        TForm7& window = windows->Form7();
        window.ToolButton14->click();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        for (QWidget* area : {static_cast<QWidget*>(window.ScrollBox1), static_cast<QWidget*>(window.Memo1)}) {
            QVERIFY(test::pointerTo(*window.StatusBar1, QPoint(10, 5)));
            platform::setScreenCursor(QCursor(Qt::CrossCursor));
            QVERIFY(test::pointerTo(*window.StatusBar1, QPoint(40, 5)));
            QTest::qWait(100);
            QVERIFY(QGuiApplication::overrideCursor() != nullptr);
            QVERIFY(test::pointerTo(*area, area->rect().center()));
            QTRY_VERIFY2(QGuiApplication::overrideCursor() == nullptr, qPrintable(area->objectName()));
        }
    }

    // Every menu item and toolbar button reaches the handler of its name, and those whose work is built
    // here do it.
    void everyMenuItemAndButtonReachesItsHandler()
    {
        test::RecordingShell::Installed shell;
        ScriptedPrompts::Installed prompts;
        const auto windows = app::startUp();
        TForm7& window = windows->Form7();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        prompts->cancelFileDialog(); // N2: the open dialog
        prompts->cancelFileDialog(); // ToolButton1
        prompts->cancelFileDialog(); // N21: the save dialog
        prompts->cancelFileDialog(); // ToolButton19

        using Control = std::variant<QAction*, QAbstractButton*>;
        const struct {
            Control control;
            const char* handler;
        } table[] = {
            {window.N7, "N7Click"},           {window.N9, "N9Click"},
            {window.N10, "N10Click"},         {window.N12, "N12Click"},
            {window.N2, "N2Click"},           {window.N3, "N3Click"},
            {window.N21, "ToolButton19Click"}, {window.FrameE, "ToolButton2Click"},
            {window.N25, "ToolButton3Click"}, {window.pplay, "ToolButton6Click"},
            {window.PauseP, "ToolButton7Click"}, {window.N23, "N23Click"},
            {window.N5, "N5Click"},           {window.N15, "N15Click"},
            {window.N6, "N6Click"},           {window.N18, "N18Click"},
            {window.N19, "N19Click"},         {window.ToolButton1, "ToolButton1Click"},
            {window.ToolButton12, "ToolButton12Click"}, {window.ToolButton2, "ToolButton2Click"},
            {window.ToolButton3, "ToolButton3Click"}, {window.ToolButton6, "ToolButton6Click"},
            {window.ToolButton7, "ToolButton7Click"}, {window.ToolButton19, "ToolButton19Click"},
            {window.ToolButton5, "ToolButton5Click"}, {window.N011, "N011Click"},
            {window.N031, "N031Click"},       {window.N051, "N051Click"},
            {window.N071, "N071Click"},       {window.N091, "N091Click"},
            {window.N101, "N101Click"},       {window.N121, "N121Click"},
            {window.N141, "N141Click"},       {window.N161, "N161Click"},
            {window.N181, "N181Click"},       {window.N201, "N201Click"},
            {window.ToolButton27, "ToolButton27Click"}, {window.ToolButton14, "ToolButton14Click"},
            {window.ToolButton10, "ToolButton101Click"}, {window.ToolButton11, "ToolButton111Click"},
            {window.ToolButton9, "ToolButton91Click"}, {window.N102, "N102Click"},
            {window.N122, "N122Click"},       {window.N142, "N142Click"},
            {window.N162, "N162Click"},       {window.N182, "N182Click"},
            {window.N202, "N202Click"},       {window.N241, "N241Click"},
            {window.N261, "N261Click"},       {window.N321, "N321Click"},
            {window.N401, "N401Click"},       {window.N761, "N761Click"},
            {window.ToolButton13, "ToolButton13Click"}, {window.SpeedButton3, "SpeedButton3Click"},
            {window.SpeedButton4, "SpeedButton4Click"}, {window.SpeedButton5, "SpeedButton5Click"},
            {window.SpeedButton6, "SpeedButton6Click"}, {window.SpeedButton7, "SpeedButton7Click"},
            {window.SpeedButton8, "SpeedButton8Click"}, {window.SpeedButton9, "SpeedButton9Click"},
            {window.SpeedButton11, "SpeedButton11Click"}, {window.SpeedButton14, "SpeedButton14Click"},
            {window.SpeedButton16, "SpeedButton16Click"}, {window.SpeedButton17, "SpeedButton17Click"},
            {window.SpeedButton12, "SpeedButton12Click"}, {window.SpeedButton13, "SpeedButton13Click"},
            {window.SpeedButton1, "SpeedButton1Click"}, {window.SpeedButton10, "SpeedButton10Click"},
            {window.N24, "N24Click"},
        };
        window.Panel7->setEnabled(true); // as the rising mode would
        for (const auto& row : table) {
            if (auto* const* item = std::get_if<QAction*>(&row.control)) {
                (*item)->trigger();
            } else {
                QAbstractButton* button = std::get<QAbstractButton*>(row.control);
                button->setEnabled(true); // SpeedButton17 starts disabled
                button->click();
            }
            QCOMPARE(window.lastHandler(), QString::fromUtf8(row.handler));
        }
        window.ComboBox1->setEditText(QStringLiteral("Serif"));
        QCOMPARE(window.lastHandler(), QStringLiteral("ComboBox1Change"));
        window.RadioGroup1->findChildren<QAbstractButton*>().at(1)->click();
        QCOMPARE(window.lastHandler(), QStringLiteral("RadioGroup1Click"));
        window.UpDown1->upButton()->click();
        QCOMPARE(window.lastHandler(), QStringLiteral("UpDown1Changing"));
        QCOMPARE(window.Edit4->text(), QStringLiteral("2"));
        QTest::keyClick(window.Memo1, Qt::Key_A);
        QCOMPARE(window.lastHandler(), QStringLiteral("Memo1KeyUp"));

        // What the built commands did: the wizard, record refused and minimised, stop refused and
        // restored, the publish dialog, three dialogs asked for, the brightness list, the edit panel, the
        // about box, the help file, and last the floating panel instead of the main window.
        QVERIFY(windows->Form5().isVisible());
        QVERIFY(windows->Form6().isVisible());
        QVERIFY(windows->Form8().isVisible());
        QCOMPARE(shell->opened.size(), 1);
        QVERIFY(shell->opened.front().endsWith(QStringLiteral("Zentra.chm")));
        int opens = 0;
        int saves = 0;
        for (const auto& request : prompts->fileRequests)
            (request.save ? saves : opens)++;
        QCOMPARE(opens, 2);
        QCOMPARE(saves, 2);
        QVERIFY(window.tedit->isHidden()); // N5, N15, ToolButton14 showed it; "X" hid it again
        window.N23->trigger(); // the factor list at the window's centre
        QVERIFY(window.PopupMenu2->isVisible());
        window.PopupMenu2->close();
        QVERIFY(windows->Form1().isVisible());
        QVERIFY(!window.isVisible());
        QStringList texts;
        for (const auto& message : prompts->messages)
            texts << message.text;
        QCOMPARE(texts.count(QStringLiteral("请先进行设置")), 1);
        QCOMPARE(texts.count(QStringLiteral("还没有进行录制")), 1);
        // Next, previous, play and pause, each from the menu and from its button, and dubbing's record,
        // with nothing open; dubbing's pause says there is no file.
        QCOMPARE(texts.count(QStringLiteral("请打开文件")), 9);
        QCOMPARE(texts.count(QStringLiteral("没有文件")), 1);
        QVERIFY2(prompts->errors.isEmpty(), qPrintable(prompts->errors.join('\n')));
    }

    void fileMenuRecordMinimisesAndStopRestores()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = app::startUp();
        TForm7& window = windows->Form7();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.N9->trigger();
        QTRY_VERIFY(window.isMinimized());
        window.N10->trigger();
        QTRY_VERIFY(!window.isMinimized());
        QVERIFY(window.isVisible());
    }

    void editPanelShowsAndHides()
    {
        const auto windows = app::startUp();
        TForm7& window = windows->Form7();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        for (QAction* show : {window.N5, window.N15}) {
            show->trigger();
            QVERIFY(window.tedit->isVisible());
            QCOMPARE(window.tedit->width(), 233);
            QTRY_COMPARE(window.ScrollBox1->x(), 233);
            window.SpeedButton14->click();
            QVERIFY(!window.tedit->isVisible());
            QTRY_COMPARE(window.ScrollBox1->x(), 0);
        }
        window.ToolButton14->click();
        QVERIFY(window.tedit->isVisible());

        // The speed box shows the up-down's position, which stays within 1 to 10.
        window.Panel7->setEnabled(true);
        for (int i = 0; i < 12; ++i)
            window.UpDown1->upButton()->click();
        QCOMPARE(window.Edit4->text(), QStringLiteral("10"));
        for (int i = 0; i < 12; ++i)
            window.UpDown1->downButton()->click();
        QCOMPARE(window.Edit4->text(), QStringLiteral("1"));
        QCOMPARE(window.UpDown1->position(), 1);
    }

    // The browser on a five-frame recording: open, "1" and the caption, next with its wrap, next then
    // previous, previous at frame 1, play to the end, close twice, the refusals.
    void browsesAndPlaysARecording()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = app::startUp();
        TForm7& window = windows->Form7();
        publish::TForm6& publisher = windows->Form6();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QString path = recording(QStringLiteral("browse.avi"), {.frames = 5, .soundBytes = 22050 * 2});
        const QString other = recording(QStringLiteral("browse-other.avi"));

        prompts->answerFiles({path, other}); // several chosen: the first is opened
        window.ToolButton1->click();
        QVERIFY(window.recording().IsOpen());
        QCOMPARE(prompts->fileRequests.front().request.filter, QStringLiteral("[*.avi]|*.avi"));
        QCOMPARE(prompts->fileRequests.front().request.defaultSuffix, QStringLiteral("avi"));
        QVERIFY(prompts->fileRequests.front().request.allowMultiple);
        QCOMPARE(window.windowTitle(), QStringLiteral("Quolva 4.1-初始文件") + path);
        QCOMPARE(window.Edit1->text(), QStringLiteral("1"));
        QCOMPARE(window.Edit5->text(), QStringLiteral("5"));
        QCOMPARE(window.Edit3->text(), QStringLiteral("1"));
        QCOMPARE(window.overlayColor, QColor(0, 0, 255));
        QCOMPARE(frameOnView(window, 5), 0);
        QCOMPARE(window.Image4->size(), QSize(64, 48));
        QVERIFY(publisher.fileReady);
        QCOMPARE(publisher.frameCount, 5);
        QCOMPARE(publisher.frameStorePath, path + QStringLiteral(".xxx"));
        QCOMPARE(publisher.soundLength, 22050);
        QCOMPARE(publisher.soundRate, 11025);
        QCOMPARE(window.Timer6.interval(), 400); // 2000 ms of sound over 5 frames
        // The screen shows the frame.
        QTest::qWait(50);
        const QImage screen = test::screenOf(window);
        QVERIFY(test::Near(screen.pixelColor(window.Image4->mapTo(&window, QPoint(16, 6))), test::FrameColour(0)));

        const struct {
            QAction* command;
            int frame;
        } walk[] = {
            {window.FrameE, 1}, {window.FrameE, 2}, {window.FrameE, 3}, {window.FrameE, 4},
            {window.FrameE, 0}, // the last frame wraps to frame 1
            {window.FrameE, 1}, {window.N25, 1}, // next then previous: the same frame twice
            {window.N25, 0},    {window.N25, 0}, // previous on frame 1 stays there
            {window.FrameE, 1},
        };
        for (const auto& step : walk) {
            step.command->trigger();
            QCOMPARE(frameOnView(window, 5), step.frame);
            QCOMPARE(window.Edit1->text(), QString::number(step.frame + 1));
        }

        // Play to the end, tick by tick: frames 3, 4, 5, then frame 1 and the end of playback.
        window.pplay->trigger();
        QVERIFY(window.Timer6.isActive());
        QList<int> played;
        for (int tick = 0; tick < 10 && window.Timer6.isActive(); ++tick) {
            window.Timer6Timer();
            played << frameOnView(window, 5);
        }
        QCOMPARE(played, (QList<int>{2, 3, 4, 0}));
        QVERIFY(!window.Timer6.isActive());
        QCOMPARE(window.Edit1->text(), QStringLiteral("1"));
        QVERIFY(!window.SpeedButton16->isEnabled());
        QVERIFY(!window.SpeedButton17->isEnabled());
        QCOMPARE(window.SpeedButton16->text(), QStringLiteral("结束"));
        // Pause stops a playback in its course.
        window.ToolButton6->click();
        window.ToolButton7->click();
        QVERIFY(!window.Timer6.isActive());
        QVERIFY(prompts->messages.isEmpty());

        // Close, twice.
        window.N3->trigger();
        QVERIFY(!window.recording().IsOpen());
        QCOMPARE(window.windowTitle(), QStringLiteral("Quolva 4.1"));
        QVERIFY(allGrey(window.PictureOnView()));
        QCOMPARE(window.PictureOnView().size(), QSize(64, 48));
        QVERIFY(!publisher.fileReady);
        QVERIFY(QFile::exists(path + ".xxx"));
        QCOMPARE(test::DescriptorsOn(path) + test::DescriptorsOn(path + ".xxx"), 0);
        window.ToolButton12->click();
        QCOMPARE(window.windowTitle(), QStringLiteral("Quolva 4.1"));
        QVERIFY(prompts->messages.isEmpty());

        // With nothing open, stepping and playing are refused.
        for (QAbstractButton* command : {window.ToolButton2, window.ToolButton3, window.ToolButton6, window.ToolButton7})
            command->click();
        QCOMPARE(prompts->messages.size(), 4);
        for (const auto& message : prompts->messages) {
            QCOMPARE(message.text, QStringLiteral("请打开文件"));
            QCOMPARE(message.caption, QStringLiteral("提示"));
            QCOMPARE(message.icon, MessageIcon::Warning);
        }
        QVERIFY(!window.Timer6.isActive());
        QVERIFY(prompts->unexpected.isEmpty());
    }

    // Close deletes the frame store only when an SWF movie was written and "删除临时文件" stands at "是";
    // closing the window releases the recording and deletes nothing.
    void closeDeletesTheFrameStoreOnlyAfterAnSwfExport()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = app::startUp();
        TForm7& window = windows->Form7();
        publish::TForm6& publisher = windows->Form6();
        QVERIFY(publisher.deletesTemporaryFiles());

        const QString kept = recording(QStringLiteral("kept.avi"));
        openThroughDialog(window, *prompts, kept);
        publisher.swfExportStarted = false;
        window.ToolButton12->click();
        QVERIFY(QFile::exists(kept + ".xxx"));

        const QString exported = recording(QStringLiteral("exported.avi"));
        openThroughDialog(window, *prompts, exported);
        publisher.swfExportStarted = true;
        window.ToolButton12->click();
        QVERIFY(!QFile::exists(exported + ".xxx"));
        QVERIFY(QFile::exists(exported));

        const QString atExit = recording(QStringLiteral("at-exit.avi"));
        openThroughDialog(window, *prompts, atExit);
        window.ToolButton6->click();
        window.FormClose();
        QVERIFY(!window.recording().IsOpen());
        QVERIFY(!window.Timer6.isActive());
        QVERIFY(QFile::exists(atExit + ".xxx"));
        QCOMPARE(test::DescriptorsOn(atExit) + test::DescriptorsOn(atExit + ".xxx"), 0);
        QCOMPARE(window.windowTitle(), QStringLiteral("Quolva 4.1-初始文件") + atExit);
        QVERIFY(prompts->messages.isEmpty());
    }

    // The playback pace on the window, and what the publish dialog is handed.
    void playbackPaceAndHandOver_data()
    {
        QTest::addColumn<int>("headerCount");
        QTest::addColumn<qint64>("soundBytes");
        QTest::addColumn<int>("interval");
        QTest::addColumn<int>("soundLength");
        QTest::newRow("10 000 ms over 250 frames") << 250 << qint64(220500) << 40 << 110250;
        QTest::newRow("39.9 ms") << 250 << qint64(219949) << 39 << 109974;
        QTest::newRow("300 s over 2400 frames") << 2400 << qint64(300) * 22050 << 125 << 300 * 11025;
    }
    void playbackPaceAndHandOver()
    {
        QFETCH(int, headerCount);
        QFETCH(qint64, soundBytes);
        QFETCH(int, interval);
        QFETCH(int, soundLength);
        ScriptedPrompts::Installed prompts;
        const auto windows = app::startUp();
        TForm7& window = windows->Form7();
        const QString path = recording(QStringLiteral("pace-%1.avi").arg(nextCase()),
                                       {.frames = 2, .headerCount = headerCount, .soundBytes = soundBytes});
        openThroughDialog(window, *prompts, path);
        QCOMPARE(window.Timer6.interval(), interval);
        QCOMPARE(windows->Form6().soundLength, soundLength);
        QCOMPARE(window.Edit5->text(), QString::number(headerCount));
        // More frames counted than present: no repair is offered for that, the recording opens.
        QVERIFY(prompts->messages.isEmpty());
    }

    void saveFrameWritesJpegWhateverTheName()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = app::startUp();
        TForm7& window = windows->Form7();
        const QString path = recording(QStringLiteral("save.avi"), {.frames = 3, .width = 160, .height = 120});
        openThroughDialog(window, *prompts, path);
        window.ToolButton2->click(); // frame 2 on view

        const QString bmp = dir.filePath(QStringLiteral("frame.bmp"));
        const QString jpg = dir.filePath(QStringLiteral("frame.JPG"));
        prompts->answerFiles({bmp}, 1); // the "*.bmp" filter chosen
        window.ToolButton19->click();
        prompts->answerFiles({jpg}, 0);
        window.N21->trigger();
        prompts->cancelFileDialog();
        window.ToolButton19->click();
        const auto request = prompts->fileRequests.last();
        QVERIFY(request.save);
        QCOMPARE(request.request.filter, QStringLiteral("JPEG (*.JPG)|*.JPG|*.bmp|*.bmp"));
        QCOMPARE(request.request.defaultSuffix, QStringLiteral("JPG"));

        for (const QString& saved : {bmp, jpg}) {
            QFile file(saved);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            QVERIFY2(bytes.startsWith("\xFF\xD8\xFF"), qPrintable(saved));
            const QImage picture = QImage::fromData(bytes, "JPG");
            QCOMPARE(picture.size(), QSize(160, 120));
            QVERIFY(test::Near(test::BackgroundOf(picture), test::FrameColour(1)));
            // JPEG at quality 90 of what is on view: the same bytes as the store's own encoder gives.
            const QImage onView = window.PictureOnView();
            const std::vector<std::uint8_t> expected = store::EncodeJpeg(
                {onView.constBits(), onView.width(), onView.height(), onView.bytesPerLine(), store::PixelLayout::Xrgb32});
            QCOMPARE(bytes, QByteArray(reinterpret_cast<const char*>(expected.data()), qsizetype(expected.size())));
        }
        QCOMPARE(QDir(dir.path()).entryList({QStringLiteral("frame*")}).size(), 2);
        QVERIFY(prompts->errors.isEmpty());
    }

    // Recordings that are empty or have no usable sound open and show what they have; the playback uses
    // the capture pace where no frame period can be computed.
    void emptyAndSoundlessRecordingsOpen_data()
    {
        QTest::addColumn<int>("frames");
        QTest::addColumn<int>("headerCount");
        QTest::addColumn<qint64>("soundBytes");
        QTest::addColumn<bool>("withFormat");
        QTest::addColumn<int>("interval");
        QTest::newRow("header 0") << 2 << 0 << qint64(22050) << true << 100;
        QTest::newRow("no records") << 0 << 0 << qint64(22050) << true << 100;
        QTest::newRow("sound length 0") << 2 << 2 << qint64(0) << true << 100;
        QTest::newRow("sound without format") << 2 << 2 << qint64(22050) << false << 1000;
    }
    void emptyAndSoundlessRecordingsOpen()
    {
        QFETCH(int, frames);
        QFETCH(int, headerCount);
        QFETCH(qint64, soundBytes);
        QFETCH(bool, withFormat);
        QFETCH(int, interval);
        ScriptedPrompts::Installed prompts;
        const auto windows = app::startUp();
        TForm7& window = windows->Form7();
        const QString path = recording(QStringLiteral("mend-%1.avi").arg(nextCase()),
                                       {.frames = frames, .headerCount = headerCount, .withSoundFormat = withFormat,
                                        .soundBytes = soundBytes});
        openThroughDialog(window, *prompts, path);
        QVERIFY(window.recording().IsOpen());
        QCOMPARE(window.Timer6.interval(), interval);
        QCOMPARE(window.Edit1->text(), frames > 0 ? QStringLiteral("1") : QStringLiteral("0"));
        if (frames > 0)
            QCOMPARE(frameOnView(window, frames), 0);
        // Play to its end: nothing hangs or divides by zero.
        window.ToolButton6->click();
        for (int tick = 0; tick < 5 && window.Timer6.isActive(); ++tick)
            window.Timer6Timer();
        QVERIFY(!window.Timer6.isActive());
        QCOMPARE(window.SpeedButton16->text(), QStringLiteral("结束"));
        // Only a header behind its records is a sign of a crash: the repair is offered, and declined here.
        QCOMPARE(prompts->messages.size(), headerCount < frames ? 1 : 0);
        for (const auto& message : prompts->messages)
            QCOMPARE(message.icon, MessageIcon::Question);
        QVERIFY(prompts->errors.isEmpty());
    }

    // Recordings that cannot be opened or shown: a message naming the file (caption "提示", warning icon),
    // nothing written, and the editor goes on working.
    void damagedRecordingsAreToldAndLeftAlone_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("named");
        QTest::addColumn<bool>("opens");
        QTest::newRow("no AVI") << "remove avi" << ".avi" << false;
        QTest::newRow("no frame store") << "remove store" << ".avi.xxx" << false;
        QTest::newRow("header not a number") << "header" << ".avi.xxx" << false;
        QTest::newRow("first record cut short") << "cut" << ".avi.xxx" << true;
        QTest::newRow("first record not a JPEG") << "not jpeg" << ".avi.xxx" << true;
    }
    void damagedRecordingsAreToldAndLeftAlone()
    {
        QFETCH(QString, damage);
        QFETCH(QString, named);
        QFETCH(bool, opens);
        ScriptedPrompts::Installed prompts;
        const auto windows = app::startUp();
        TForm7& window = windows->Form7();
        const QString path = recording(QStringLiteral("damaged-%1.avi").arg(nextCase()), {.frames = 1});
        if (damage == QLatin1String("remove avi"))
            QVERIFY(QFile::remove(path));
        else if (damage == QLatin1String("remove store"))
            QVERIFY(QFile::remove(path + ".xxx"));
        else if (damage == QLatin1String("header"))
            QVERIFY(test::WriteBytesAt(path + ".xxx", 0, "one             "));
        else if (damage == QLatin1String("cut"))
            QVERIFY(QFile::resize(path + ".xxx", recordStart(path, 1) - 40));
        else
            QVERIFY(test::WriteBytesAt(path + ".xxx", recordStart(path, 0) + 6, QByteArray(30, 'x')));
        const QByteArray aviBefore = test::DigestOf(path);
        const QByteArray storeBefore = test::DigestOf(path + ".xxx");

        openThroughDialog(window, *prompts, path);
        QCOMPARE(prompts->messages.size(), 1);
        const auto message = prompts->messages.front();
        QVERIFY2(message.text.contains(QFileInfo(path).fileName() + named.mid(4)), qPrintable(message.text));
        QCOMPARE(message.caption, QStringLiteral("提示"));
        QCOMPARE(message.icon, MessageIcon::Warning);
        QCOMPARE(window.recording().IsOpen(), opens);
        QCOMPARE(windows->Form6().fileReady, opens);
        QVERIFY(prompts->errors.isEmpty());
        window.ToolButton12->click();
        QCOMPARE(test::DigestOf(path), aviBefore);
        QCOMPARE(test::DigestOf(path + ".xxx"), storeBefore);
        QCOMPARE(test::DescriptorsOn(path) + test::DescriptorsOn(path + ".xxx"), 0);

        // The editor goes on: a sound recording opens after it.
        openThroughDialog(window, *prompts, recording(QStringLiteral("after-%1.avi").arg(nextCase())));
        QCOMPARE(window.Edit1->text(), QStringLiteral("1"));
        QCOMPARE(prompts->messages.size(), 1);
    }

    // A recording that was never finished is offered for repair; either answer opens it, and only "yes"
    // writes.
    void unfinishedRecordingsAreOfferedRepair()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = app::startUp();
        TForm7& window = windows->Form7();

        // The header counts fewer frames than the store holds: "no" opens it as it is.
        const QString behind = recording(QStringLiteral("behind.avi"), {.frames = 4, .headerCount = 1});
        const QByteArray storeBefore = test::DigestOf(behind + ".xxx");
        prompts->answerMessage(platform::MessageAnswer::No);
        openThroughDialog(window, *prompts, behind);
        QCOMPARE(prompts->messages.size(), 1);
        QCOMPARE(prompts->messages.front().icon, MessageIcon::Question);
        QVERIFY2(prompts->messages.front().text.contains(QStringLiteral("帧文件头记录 1 帧，文件中有 4 帧")),
                 qPrintable(prompts->messages.front().text));
        QVERIFY(prompts->messages.front().text.contains(behind));
        QVERIFY(window.recording().IsOpen());
        QCOMPARE(window.Edit5->text(), QStringLiteral("1"));
        window.ToolButton12->click();
        QCOMPARE(test::DigestOf(behind + ".xxx"), storeBefore);

        // "yes" repairs it with quolvactl's code: the header counts the four frames.
        prompts->answerMessage(platform::MessageAnswer::Yes);
        openThroughDialog(window, *prompts, behind);
        QCOMPARE(prompts->messages.size(), 2);
        QCOMPARE(window.Edit5->text(), QStringLiteral("4"));
        QCOMPARE(windows->Form6().frameCount, 4);
        QCOMPARE(test::frameCountOf(behind), 4);

        // The AVI file of a writer that died: repaired, its sound is there.
        const QString crashed = makeCrashedRecording(dir.path(), QStringLiteral("crashed.avi"), 3);
        QVERIFY(!store::AviFile::open(crashed.toStdString(), store::OF_READ)->wasComplete());
        prompts->answerMessage(platform::MessageAnswer::Yes);
        openThroughDialog(window, *prompts, crashed);
        QCOMPARE(prompts->messages.size(), 3);
        QVERIFY(prompts->messages.last().text.contains(QStringLiteral("AVI 文件")));
        QVERIFY(window.recording().IsOpen());
        QCOMPARE(window.recording().audioStreamLength, 2 * 22050);
        QCOMPARE(window.Timer6.interval(), 2000 / 3);
        window.ToolButton12->click();
        QVERIFY(store::AviFile::open(crashed.toStdString(), store::OF_READ)->wasComplete());
        QVERIFY(prompts->errors.isEmpty());
    }

    // Opening again and a cancelled dialog let go of the files of the recording that was open.
    void openingAgainAndCancellingReleaseTheFiles()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = app::startUp();
        TForm7& window = windows->Form7();
        const QString first = recording(QStringLiteral("release-1.avi"));
        const QString second = recording(QStringLiteral("release-2.avi"));
        openThroughDialog(window, *prompts, first);
        QVERIFY(test::DescriptorsOn(first + ".xxx") > 0);
        prompts->answerFiles({second});
        window.N2->trigger();
        QCOMPARE(test::DescriptorsOn(first) + test::DescriptorsOn(first + ".xxx"), 0);
        QCOMPARE(window.windowTitle(), QStringLiteral("Quolva 4.1-初始文件") + second);

        prompts->cancelFileDialog();
        window.ToolButton1->click();
        QCOMPARE(test::DescriptorsOn(second) + test::DescriptorsOn(second + ".xxx"), 0);
        QVERIFY(!window.recording().IsOpen());
        QVERIFY(!windows->Form6().fileReady);
        QVERIFY(allGrey(window.PictureOnView()));
        QCOMPARE(window.windowTitle(), QStringLiteral("Quolva 4.1"));
        window.ToolButton2->click();
        QCOMPARE(prompts->messages.size(), 1); // "请打开文件"
    }

    // While long work holds the recording (an export, an update run, dubbing), the commands that move
    // its cursor are refused and change nothing.
    void commandsThatMoveTheCursorWaitForLongWork()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = app::startUp();
        TForm7& window = windows->Form7();
        const QString path = recording(QStringLiteral("held.avi"), {.frames = 4});
        openThroughDialog(window, *prompts, path);
        window.ToolButton2->click();
        const qint64 cursor = window.recording().Cursor();
        window.recording().Hold(QStringLiteral("导出AVI"));
        prompts->answerFiles({path});
        for (QAbstractButton* command : {window.ToolButton2, window.ToolButton3, window.ToolButton6, window.ToolButton12,
                                          window.ToolButton1}) {
            command->click();
            QCOMPARE(prompts->messages.last().text, window.recording().BusyMessage());
            QCOMPARE(prompts->messages.last().caption, QStringLiteral("提示"));
        }
        QCOMPARE(prompts->messages.size(), 5);
        QCOMPARE(prompts->fileRequests.size(), 1); // the open before the hold
        QVERIFY(window.recording().IsOpen());
        QVERIFY(!window.Timer6.isActive());
        QCOMPARE(window.recording().Cursor(), cursor);
        QCOMPARE(window.Edit1->text(), QStringLiteral("2"));
        // The holder drives the browser's steps itself.
        window.ShowNextFrame();
        QCOMPARE(window.Edit1->text(), QStringLiteral("3"));
        window.recording().Release();
        window.ToolButton2->click();
        QCOMPARE(window.Edit1->text(), QStringLiteral("4"));
        QCOMPARE(prompts->messages.size(), 5);
    }

    // `quolva REC.avi` opens the recording; a path that is not one gets the open command's message.
    void commandLineOpensARecording()
    {
        ScriptedPrompts::Installed prompts;
        const QString path = recording(QStringLiteral("cmdline.avi"), {.frames = 3});
        const QString relative = QDir::current().relativeFilePath(path);
        {
            const auto windows = app::startUp(relative);
            TForm7& window = windows->Form7();
            QVERIFY(window.isVisible());
            QCOMPARE(window.windowTitle(), QStringLiteral("Quolva 4.1-初始文件") + path);
            QCOMPARE(window.Edit1->text(), QStringLiteral("1"));
            QCOMPARE(frameOnView(window, 3), 0);
            QVERIFY(windows->Form6().fileReady);
            QCOMPARE(windows->Form6().frameCount, 3);
        }
        {
            const auto windows = app::startUp(QUrl::fromLocalFile(path).toString());
            QCOMPARE(windows->Form7().windowTitle(), QStringLiteral("Quolva 4.1-初始文件") + path);
        }
        QVERIFY(prompts->messages.isEmpty());

        const QString bad = dir.filePath(QStringLiteral("not-a-recording.txt"));
        {
            const auto windows = app::startUp(bad);
            QVERIFY(windows);
            QVERIFY(!windows->Form7().recording().IsOpen());
            QCOMPARE(windows->Form7().windowTitle(), QStringLiteral("Quolva 4.1"));
        }
        {
            const auto windows = app::startUp();
            openThroughDialog(windows->Form7(), *prompts, bad);
        }
        QCOMPARE(prompts->messages.size(), 2);
        QCOMPARE(prompts->messages.at(0).text, prompts->messages.at(1).text);
        QVERIFY(prompts->messages.at(0).text.contains(QStringLiteral("not-a-recording.txt")));
        QCOMPARE(prompts->messages.at(0).caption, QStringLiteral("提示"));
    }

    // The screenshots of the documentation: a frame on view, and the edit panel open. The screen is taken
    // over the window's frame, so that a window manager's title bar shows the caption.
    void screenshotsOfTheMainWindow()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = app::startUp();
        TForm7& window = windows->Form7();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        // A recording of the program's own setup wizard on a blue desktop.
        const QString path = dir.filePath(QStringLiteral("shot.avi"));
        {
            test::MakeRecording(dir.path(), QStringLiteral("shot.avi"), {.frames = 0});
            QWidget& wizard = windows->Form5();
            wizard.show();
            QVERIFY(QTest::qWaitForWindowExposed(&wizard));
            const QImage face = wizard.grab().toImage();
            wizard.hide();
            store::FrameStore frames = store::FrameStore::OpenFrameStoreForAppend(QFile::encodeName(path + ".xxx").toStdString());
            for (int k = 0; k < 3; ++k) {
                QImage desktop(800, 500, QImage::Format_RGB32);
                QPainter painter(&desktop);
                QLinearGradient sky(0, 0, 0, 500);
                sky.setColorAt(0, QColor(40, 90, 170));
                sky.setColorAt(1, QColor(20, 40, 90));
                painter.fillRect(desktop.rect(), sky);
                painter.drawImage(60 + 20 * k, 40, face);
                painter.end();
                frames.AppendFrame({desktop.constBits(), desktop.width(), desktop.height(), desktop.bytesPerLine(),
                                    store::PixelLayout::Xrgb32});
            }
            frames.AddToFrameCount(3);
        }
        openThroughDialog(window, *prompts, path);
        window.ToolButton2->click();
        QVERIFY(prompts->messages.isEmpty());
        QVERIFY(test::pointerTo(*window.ToolButton1, window.ToolButton1->rect().center()));
        QTRY_COMPARE(window.StatusPanels[0]->text(), QStringLiteral("打开所录文件进行编辑。"));
        QTest::qWait(300);
        const auto framed = [&] {
            return window.screen()->grabWindow(0, window.frameGeometry().x(), window.frameGeometry().y(),
                                               window.frameGeometry().width(), window.frameGeometry().height())
                .toImage();
        };
        test::saveScreenshot(framed(), QStringLiteral("main-window-frame.png"));

        window.ToolButton14->click();
        QVERIFY(test::pointerTo(*window.Memo1, window.Memo1->rect().center()));
        QTest::qWait(300);
        const QImage panel = test::screenOf(window);
        test::saveScreenshot(framed(), QStringLiteral("main-window-edit-panel.png"));
        // The panel is on the screen, at the left, and the picture moved right of it.
        QCOMPARE(window.tedit->mapTo(&window, QPoint(0, 0)).x(), 0);
        QVERIFY(panel.pixelColor(window.ScrollBox1->mapTo(&window, QPoint(5, 5))) != QColor(128, 128, 128));
    }
};

QUOLVA_RECORD_GUI_TEST_MAIN(MainWindowTest)
#include "gui_main_window.moc"

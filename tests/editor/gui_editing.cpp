// The main window's editing on a real X display, through its own controls with scripted dialogs: the
// overlay messages, the text modes and what the screen shows of a box, boxes and captions outside the
// picture, the box's width before the edit panel was ever shown, a cleared caption, the rise and its
// stop, the font controls, the continuous update (refusals, commands refused while it runs, a run cut
// at the last frame) and brightness.
#include "../record/RecordGuiSupport.h"
#include "EditingSupport.h"
#include "RecordingFixture.h"
#include "Rig.h"
#include "ScriptedPrompts.h"
#include "app/Startup.h"
#include "editor/BoxPieces.h"
#include "editor/EditorControls.h"
#include "editor/Etool.h"
#include "publish/Unit6.h"
#include "store/FrameStoreWalk.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>

using namespace quolva;
using editor::FrameRewriter;
using editor::OverlayBoxes;
using editor::TForm7;
using test::ScriptedPrompts;

namespace {

void clickItem(editor::RadioGroup* group, int index)
{
    group->findChildren<QRadioButton*>().at(index)->click();
}

QStringList texts(const ScriptedPrompts& prompts)
{
    QStringList list;
    for (const auto& message : prompts.messages) {
        if (message.caption != QStringLiteral("提示") || message.icon != platform::MessageIcon::Warning)
            list << QStringLiteral("(wrong caption or icon) ");
        list << message.text;
    }
    return list;
}

QList<QByteArray> records(const QString& framesPath)
{
    QFile file(framesPath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray all = file.readAll();
    store::FrameStore frames = store::FrameStore::OpenFrameStoreReadOnly(QFile::encodeName(framesPath).toStdString());
    const store::FrameStoreWalk walk = store::WalkFramesForwards(frames);
    QList<QByteArray> list;
    for (std::size_t i = 0; i < walk.recordStarts.size(); ++i) {
        const qint64 end = i + 1 < walk.recordStarts.size() ? walk.recordStarts[i + 1] : all.size();
        list << all.mid(walk.recordStarts[i], end - walk.recordStarts[i]);
    }
    return list;
}

qint64 inkOf(const QImage& picture)
{
    qint64 ink = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if (qAlpha(picture.pixel(x, y)) != 0)
                ink += 255 - qGray(picture.pixel(x, y));
    return ink;
}

// The opaque pixels of a box that the screen does not show as the box's own inside the picture area's
// viewport: 0 when the whole box shows.
int hiddenPixels(TForm7& window, int box)
{
    const QImage shown = window.overlays().Box(box).Shown();
    const QImage screen = test::screenOf(window);
    const QWidget* viewport = window.ScrollBox1->viewport();
    const QRect visible(viewport->mapTo(&window, QPoint(0, 0)), viewport->size());
    const editor::PictureControl* control = window.TextBoxControl(box);
    int hidden = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x) {
            if (qAlpha(shown.pixel(x, y)) != 255)
                continue;
            const QPoint at = control->mapTo(&window, QPoint(x, y));
            if (!visible.contains(at) || (screen.pixel(at) & 0xffffff) != (shown.pixel(x, y) & 0xffffff))
                ++hidden;
        }
    return hidden;
}

// Drags a box by `by` through the drag handlers, gripped at its centre.
void dragBy(TForm7& window, int box, QPoint by)
{
    const QPoint grip = window.TextBoxControl(box)->rect().center();
    window.TextBoxMouseDown(box, grip);
    window.TextBoxMouseMove(box, grip + by);
    window.TextBoxMouseUp(box);
}

void scrollTo(QScrollArea* area, bool farthest)
{
    for (QScrollBar* bar : {area->horizontalScrollBar(), area->verticalScrollBar()})
        bar->setValue(farthest ? bar->maximum() : bar->minimum());
}

QImage windowPicture(TForm7& window)
{
    const QRect frame = window.frameGeometry();
    return window.screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height()).toImage();
}

} // namespace

class EditingTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    static void open(TForm7& window, ScriptedPrompts& prompts, const QString& path)
    {
        prompts.answerFiles({path});
        window.ToolButton1->click();
        QVERIFY(window.recording().IsOpen());
    }

private slots:
    void initTestCase() { QUOLVA_REQUIRE_DISPLAY(); }

    // The messages of the text tools, each once, with the caption "提示" and the warning icon.
    void overlayMessages()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = app::startUp();
        TForm7& window = windows->Form7();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.ToolButton14->click();

        window.SpeedButton1Click();  // try before anything was rendered
        window.SpeedButton10Click(); // stop while nothing rises
        window.Memo1->clear();
        QTest::keyRelease(window.Memo1, Qt::Key_Backspace); // every key release renders
        window.ToolButton27->click(); // update without a recording
        QCOMPARE(texts(*prompts), (QStringList{"请键入文字", "没有文字", "请键入文字", "尚未打开文件"}));
        QVERIFY(!window.Image3->hasPicture());
        QVERIFY(!window.Timer2.isActive() && !window.Timer5.isActive());
    }

    // Static text is framed and see-through outside its line; the rising mode keeps it see-through, now
    // by white; the caption rises by Edit4 a tick and stop puts it below the picture.
    void modesTransparencyAndTheRise()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = app::startUp();
        TForm7& window = windows->Form7();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        open(window, *prompts, test::MakeRecording(dir.path(), QStringLiteral("modes.avi"),
                                                   {.frames = 4, .width = 400, .height = 300}));
        window.ToolButton14->click();
        window.Memo1->setPlainText(QStringLiteral("第一行\n第二行\n第三行"));
        window.N122->trigger();
        const QImage& box = window.Image3->picture();
        QCOMPARE(box.size(), QSize(window.Memo1->width() + 23, 100));
        QVERIFY(window.overlays().Box(0).transparent);
        QCOMPARE(qAlpha(box.pixel(0, 99)), 0);                       // the black outline is not drawn
        QCOMPARE(box.pixel(10, 50), editor::kBoxShade1 | 0xff000000u); // the line is
        QTest::qWait(100);
        const QImage screen = test::screenOf(window);
        const QPoint inWindow = window.Image3->mapTo(&window, QPoint(10, 50));
        QCOMPARE(screen.pixel(inWindow) & 0xffffff, editor::kBoxShade1 & 0xffffff); // in front of the picture
        const QPoint margin = window.Image3->mapTo(&window, QPoint(3, 50));
        const QColor under = window.PictureOnView().pixelColor(window.Image3->pos() + QPoint(3, 50));
        QVERIFY(test::Near(screen.pixelColor(margin), under, 2)); // the frame shows through

        clickItem(window.RadioGroup1, 1);
        QVERIFY(window.Panel7->isEnabled());
        QVERIFY(window.overlays().Box(0).transparent);
        QCOMPARE(qAlpha(window.Image3->picture().pixel(5, 5)), 0); // white is left out now
        clickItem(window.RadioGroup2, 2);
        window.SpeedButton12->click();
        QVERIFY(!window.overlays().Box(2).transparent); // never framed: text on a white rectangle
        QCOMPARE(window.Image14->picture().pixel(5, 5), qRgb(255, 255, 255));

        // The rise: a speed that is not a whole number is refused once.
        window.Edit4->setText(QStringLiteral("fast"));
        window.SpeedButton1->click();
        QVERIFY(!window.Timer2.isActive());
        window.Edit4->setText(QStringLiteral("4"));
        window.SpeedButton1->click();
        QVERIFY(window.Timer2.isActive());
        window.Timer2.stop(); // the test ticks by hand
        window.Timer2.start(3600000);
        for (int i = 0; i < 3; ++i)
            window.Timer2Timer();
        QCOMPARE(window.Image14->y(), 300 - 12);
        QCOMPARE(window.Image14->x(), 216);
        window.Edit4->setText(QStringLiteral("4.5"));
        window.Timer2Timer();
        QVERIFY(!window.Timer2.isActive());
        QCOMPARE(window.Image14->y(), 300 - 12);
        window.SpeedButton10->click(); // no longer rising
        window.Edit4->setText(QStringLiteral("4"));
        window.SpeedButton1->click();
        window.Timer2Timer();
        window.SpeedButton10->click();
        QVERIFY(!window.Timer2.isActive());
        QCOMPARE(window.Image14->y(), 300);
        QCOMPARE(window.overlays().Rise(), 0);
        QCOMPARE(texts(*prompts), (QStringList{OverlayBoxes::kBadSpeedMessage, OverlayBoxes::kBadSpeedMessage, "没有文字"}));

        // UpDown1 moves within 1 to 10 and Edit4 shows it.
        window.UpDown1->step(20);
        QCOMPARE(window.Edit4->text(), QStringLiteral("10"));
    }

    // A box shows wherever it stands in the picture area, which scrolls to reach it: half off the
    // picture's right edge, wholly outside the viewport, dragged above and left of the picture (the
    // picture staying put on the screen while the box is dragged); a cleared box no longer widens it.
    void boxesShowWhereverTheyStand()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = app::startUp();
        TForm7& window = windows->Form7();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        open(window, *prompts, test::MakeRecording(dir.path(), QStringLiteral("outside.avi"),
                                                   {.frames = 2, .width = 400, .height = 300}));
        const QColor background = test::BackgroundOf(window.PictureOnView());
        window.ToolButton14->click();
        window.Memo1->setPlainText(QStringLiteral("框外的标注"));
        window.SpeedButton4->click(); // a callout of style 1 in box "1f"
        const int width = window.Image3->width();
        QVERIFY(width > 100);

        dragBy(window, 0, QPoint(400 - width / 2 - 40, 0));
        QCOMPARE(window.overlays().Box(0).position, QPoint(400 - width / 2, 88));
        QTRY_COMPARE(hiddenPixels(window, 0), 0);
        test::saveScreenshot(windowPicture(window), QStringLiteral("text-box-half-off-the-picture.png"));

        const QWidget* viewport = window.ScrollBox1->viewport();
        dragBy(window, 0, QPoint(viewport->width() + 50 - window.overlays().Box(0).position.x(), 0));
        QCOMPARE(window.overlays().Box(0).position.x(), viewport->width() + 50);
        scrollTo(window.ScrollBox1, true);
        QTRY_COMPARE(hiddenPixels(window, 0), 0);
        scrollTo(window.ScrollBox1, false);

        // Above and left of the picture, dragged with the real pointer in steps.
        const QPoint start = window.overlays().Box(0).position;
        dragBy(window, 0, QPoint(40, 88) - start);
        QCOMPARE(window.overlays().Box(0).position, QPoint(40, 88));
        const QPoint pictureAt = window.Image4->mapTo(&window, QPoint(0, 0));
        const QPoint grip = window.Image3->rect().center();
        QVERIFY(test::pointerTo(*window.Image3, grip));
        QVERIFY(test::xdotool({QStringLiteral("mousedown"), QStringLiteral("1")}));
        const QPoint from = window.Image3->mapToGlobal(grip);
        const QPoint by(-100, -128);
        for (int step = 1; step <= 4; ++step) {
            const QPoint to = from + by * step / 4;
            QVERIFY(test::xdotool({QStringLiteral("mousemove"), QString::number(to.x()), QString::number(to.y())}));
            QTRY_COMPARE(window.overlays().Box(0).position, QPoint(40, 88) + by * step / 4);
            QCOMPARE(window.Image4->mapTo(&window, QPoint(0, 0)), pictureAt);
        }
        QVERIFY(test::xdotool({QStringLiteral("mouseup"), QStringLiteral("1")}));
        QTRY_VERIFY(!window.overlays().Dragging());
        QCOMPARE(window.overlays().Box(0).position, QPoint(-60, -40));
        scrollTo(window.ScrollBox1, false);
        QTRY_COMPARE(hiddenPixels(window, 0), 0);

        // An update burns the part over the picture where it stands, and clears the box at its end: the
        // box then shows nothing and the area is the picture's again.
        window.Edit3->setText(QStringLiteral("1"));
        window.ToolButton27->click();
        QTRY_VERIFY(!window.Timer5.isActive());
        QCOMPARE(window.Edit1->text(), QStringLiteral("1"));
        const QImage burnt = window.PictureOnView();
        QVERIFY(test::Near(burnt.pixelColor(QPoint(-60, -40) + QPoint(150, 46)), Qt::white, 30)); // its inside
        QVERIFY(test::Near(burnt.pixelColor(QPoint(-60, -40) + QPoint(width + 20, 46)), background));
        QVERIFY(window.overlays().Box(0).cleared);
        QTRY_COMPARE(window.ScrollBox1->horizontalScrollBar()->maximum(), 0);
        QCOMPARE(window.ScrollBox1->verticalScrollBar()->maximum(), 0);
        QCOMPARE(window.Image4->mapTo(window.ScrollBox1->viewport(), QPoint(0, 0)), QPoint(0, 0));
        window.SpeedButton13->click(); // clearing again changes nothing
        QCOMPARE(window.ScrollBox1->horizontalScrollBar()->maximum(), 0);
        QVERIFY(prompts->messages.isEmpty() && prompts->errors.isEmpty());
    }

    // With no recording open the picture area still shows a rendered box.
    void boxShowsWithNoRecordingOpen()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = app::startUp();
        TForm7& window = windows->Form7();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(!window.recording().IsOpen());
        window.ToolButton14->click();
        window.SpeedButton12->click();
        QVERIFY(window.Image3->hasPicture());
        QTRY_COMPARE(hiddenPixels(window, 0), 0);
    }

    // A rising caption shows below the picture, where it waits, and while it rises into it.
    void risingCaptionShowsBelowThePicture()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = app::startUp();
        TForm7& window = windows->Form7();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        open(window, *prompts, test::MakeRecording(dir.path(), QStringLiteral("rising.avi"),
                                                   {.frames = 2, .width = 400, .height = 300}));
        window.ToolButton14->click();
        window.Memo1->setPlainText(QStringLiteral("升上来的字幕"));
        clickItem(window.RadioGroup2, 1);
        clickItem(window.RadioGroup1, 1);
        window.N241->trigger();
        const int height = window.Image5->height();
        QCOMPARE(height, 82);
        window.Edit4->setText(QStringLiteral("10"));
        window.SpeedButton1->click();
        window.Timer2.stop(); // the test ticks by hand
        window.Timer2.start(3600000);
        window.SpeedButton10->click(); // the caption waits just below the picture
        QCOMPARE(window.Image5->y(), 300);
        QTRY_COMPARE(hiddenPixels(window, 1), 0);

        window.SpeedButton1->click();
        window.Timer2.stop();
        window.Timer2.start(3600000);
        for (int i = 0; i < 4; ++i)
            window.Timer2Timer();
        QCOMPARE(window.overlays().Box(1).position.y(), 260);
        QTRY_COMPARE(hiddenPixels(window, 1), 0);
        test::saveScreenshot(windowPicture(window), QStringLiteral("rising-caption-entering-from-below.png"));
        window.SpeedButton10->click();
        QVERIFY(prompts->messages.isEmpty() && prompts->errors.isEmpty());
    }

    // A box rendered before the edit panel was ever shown is as wide, and wraps its lines as, one
    // rendered with the panel shown: the memo's width as the panel lays it out, plus 23.
    void boxTakesTheMemosWidthAsThePanelLaysItOut()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = app::startUp();
        TForm7& window = windows->Form7();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(!window.tedit->isVisible());
        window.Memo1->setPlainText(QStringLiteral("一二三四五六七八九十一二三四五六七八九十一二三四五六七八九十"));
        window.N122->trigger(); // renders box "1f" with the panel never shown
        const QSize hidden = window.Image3->picture().size();
        window.ToolButton14->click();
        QVERIFY(window.tedit->isVisible());
        QTest::qWait(50);
        window.N122->trigger();
        const QSize shown = window.Image3->picture().size();
        QCOMPARE(hidden, shown);
        QCOMPARE(shown.width(), window.Memo1->width() + 23);
        QVERIFY2(shown.height() > 64, "the long line wraps"); // more than one line of 18 pixels
        window.SpeedButton14->click(); // hidden again, the memo keeps its width
        window.N122->trigger();
        QCOMPARE(window.Image3->picture().size(), shown);
    }

    // A box rendered only as a rising caption (never framed) and cleared shows nothing on the screen.
    void clearedCaptionShowsNothing()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = app::startUp();
        TForm7& window = windows->Form7();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        open(window, *prompts, test::MakeRecording(dir.path(), QStringLiteral("cleared.avi"),
                                                   {.frames = 2, .width = 400, .height = 300}));
        window.ToolButton14->click();
        window.Memo1->setPlainText(QStringLiteral("字幕"));
        clickItem(window.RadioGroup2, 2);
        clickItem(window.RadioGroup1, 1);
        QVERIFY(!window.overlays().Box(2).transparent);
        dragBy(window, 2, QPoint(20, 150) - window.overlays().Box(2).position); // wholly over the picture
        QTRY_COMPARE(hiddenPixels(window, 2), 0);
        window.SpeedButton13->click();
        QTest::qWait(100);
        const QImage screen = test::screenOf(window);
        const QImage& picture = window.PictureOnView();
        const QRect box(window.overlays().Box(2).position, window.Image14->size());
        int drawn = 0;
        for (int y = box.top(); y <= box.bottom(); y += 3)
            for (int x = box.left(); x <= box.right(); x += 3)
                drawn += !test::Near(screen.pixelColor(window.Image4->mapTo(&window, QPoint(x, y))),
                                     picture.pixelColor(x, y), 2);
        QCOMPARE(drawn, 0);
    }

    // Colour through the dialog, size, face, bold and the box styles re-render the chosen box.
    void fontControlsRender()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = app::startUp();
        TForm7& window = windows->Form7();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.ToolButton14->click();
        window.Memo1->setPlainText(QStringLiteral("字"));
        window.N761->trigger();
        QCOMPARE(window.Image3->picture().height(), 160);
        window.N122->trigger();
        QCOMPARE(window.Image3->picture().height(), 64);

        prompts->answerColor(QColor(220, 0, 0));
        window.ToolButton13->click();
        QCOMPARE(window.overlayColor, QColor(220, 0, 0));
        bool red = false;
        const QImage picture = window.Image3->picture();
        for (int y = 23; y < 41 && !red; ++y)
            for (int x = 23; x < 45 && !red; ++x)
                red = qRed(picture.pixel(x, y)) > 150 && qGreen(picture.pixel(x, y)) < 80;
        QVERIFY(red);
        prompts->answerColor(std::nullopt);
        window.ToolButton13->click();
        QCOMPARE(window.overlayColor, QColor(220, 0, 0));

        const qint64 plain = inkOf(window.Image3->picture());
        window.ToolButton10->click(); // bold
        QVERIFY(inkOf(window.Image3->picture()) > plain);

        const int face = window.ComboBox1->findText(QStringLiteral("WenQuanYi Micro Hei"));
        QVERIFY(face >= 0);
        window.ComboBox1->setCurrentIndex(face);
        QCOMPARE(window.overlays().font.face, QStringLiteral("WenQuanYi Micro Hei"));

        // The memo takes the overlay font and the box gets the lines as the memo wraps them.
        window.Memo1->setPlainText(QStringLiteral("一二三四五六七八九十一二三四五六七八九十一二三四五六七八九十"));
        window.N122->trigger();
        const int lines12 = (window.Image3->picture().height() - 46) / 18;
        QVERIFY2(lines12 >= 2, qPrintable(QString::number(lines12)));
        window.N401->trigger();
        QCOMPARE(window.Memo1->font().pointSize(), 40);
        const int lines40 = (window.Image3->picture().height() - 46) / 60;
        QVERIFY2(lines40 > lines12, qPrintable(QStringLiteral("%1 lines at 12, %2 at 40").arg(lines12).arg(lines40)));
        window.N122->trigger();
        QCOMPARE((window.Image3->picture().height() - 46) / 18, lines12);

        window.SpeedButton11->click(); // style 7: a stub centred on the bottom edge
        const QImage stubbed = window.Image3->picture();
        QCOMPARE(stubbed.pixel(stubbed.width() / 2 - 1, stubbed.height() - 4), editor::kBoxShade1 | 0xff000000u);
        window.SpeedButton3->click(); // style 0: none
        QCOMPARE(qAlpha(window.Image3->picture().pixel(stubbed.width() / 2 - 1, stubbed.height() - 4)), 0);
        QVERIFY(prompts->messages.isEmpty());
    }

    // The update through the window: refused counts, the browser refused while it runs, a run cut at the
    // last frame, the callout cleared at the end.
    void continuousUpdate()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = app::startUp();
        TForm7& window = windows->Form7();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QString path = test::MakeRecording(dir.path(), QStringLiteral("update.avi"), {.frames = 10});
        const QList<QByteArray> before = records(path + ".xxx");
        open(window, *prompts, path);
        test::toFrameOne(window);
        window.ToolButton14->click();
        for (int i = 0; i < 7; ++i)
            window.ToolButton2->click();
        QCOMPARE(window.Edit1->text(), QStringLiteral("8"));
        window.Memo1->setPlainText(QStringLiteral("标注"));
        window.SpeedButton12->click();
        window.Image3->move(2, 2);
        window.overlays().Box(0).position = QPoint(2, 2);

        for (const char* bad : {"0", "abc"}) {
            window.Edit3->setText(QString::fromLatin1(bad));
            window.ToolButton27->click();
            QVERIFY(!window.Timer5.isActive());
        }
        window.Edit3->setText(QStringLiteral("50"));
        window.N6->trigger();
        QVERIFY(window.Timer5.isActive());
        QVERIFY(window.StatusPanels[0]->text().contains(QStringLiteral("50")));
        const QString busy = window.recording().BusyMessage();
        QVERIFY(busy.contains(QStringLiteral("连续更新")));
        window.ToolButton2->click(); // refused while the update runs
        window.ToolButton3->click();
        window.ToolButton12->click();
        // The publish dialog shown meanwhile leaves the cursor to the update, and its start is refused.
        window.N12->trigger();
        QVERIFY(windows->Form6().isVisible());
        windows->Form6().SpeedButton4Click();
        windows->Form6().hide();
        QTRY_VERIFY_WITH_TIMEOUT(!window.Timer5.isActive(), 10000);
        QCOMPARE(texts(*prompts), (QStringList{FrameRewriter::kBadCountMessage, FrameRewriter::kBadCountMessage,
                                               busy, busy, busy, busy}));
        QVERIFY(prompts->errors.isEmpty());
        QCOMPARE(window.Edit1->text(), QStringLiteral("1"));
        QVERIFY(window.recording().IsOpen());

        // Frames 8 to 10 carry the callout; the rest are as recorded; the callout box is wiped.
        const QList<QByteArray> after = records(path + ".xxx");
        QCOMPARE(after.size(), 10);
        for (int k = 0; k < 10; ++k)
            QVERIFY2((after[k] == before[k]) == (k < 7), qPrintable(QString::number(k + 1)));
        QCOMPARE(window.overlays().Box(0).picture.pixel(0, 0) & 0xffffff, 0x808080u);
        QCOMPARE(qAlpha(window.Image3->picture().pixel(20, 20)), 0);
    }

    // Brightness on the picture on view: the snapshot, a factor, 1.0 gives the snapshot back; the work
    // file lies in the program's private folder.
    void brightness()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = app::startUp();
        TForm7& window = windows->Form7();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        open(window, *prompts, test::MakeRecording(dir.path(), QStringLiteral("bright.avi"), {.frames = 2}));
        const QImage snapshot = window.PictureOnView();
        window.ToolButton5->click();
        window.N141->trigger();
        const QRgb was = snapshot.pixel(3, 3);
        const QRgb now = window.PictureOnView().pixel(3, 3);
        QCOMPARE(qRed(now), editor::Brightness::Scale(qRed(was), 1.4));
        QCOMPARE(qGreen(now), editor::Brightness::Scale(qGreen(was), 1.4));
        QCOMPARE(qBlue(now), editor::Brightness::Scale(qBlue(was), 1.4));
        window.N011->trigger();
        window.N101->trigger();
        QCOMPARE(window.PictureOnView(), snapshot);
        const QString workFile = window.brightness().WorkFilePath();
        QVERIFY(QFileInfo::exists(workFile));
        QVERIFY(!workFile.startsWith(QStringLiteral("c:")));
        window.ToolButton25->click(); // the hidden single-frame update does nothing
        QCOMPARE(window.PictureOnView(), snapshot);
        QVERIFY(prompts->messages.isEmpty() && prompts->errors.isEmpty());
    }
};

QUOLVA_RECORD_GUI_TEST_MAIN(EditingTest)
#include "gui_editing.moc"

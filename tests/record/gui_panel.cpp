// The recording panel on a real display: its skins and the skin setting, the face drawn with the
// shapes' raster mixes, hover tints and button cursors, hints, right-click menus, the drag, the buttons,
// the status texts over a recording and the refusals.
#include "RecordGuiSupport.h"
#include "Rig.h"
#include "ScriptedPrompts.h"
#include "app/Application.h"
#include "app/Startup.h"
#include "app/Unit8.h"
#include "editor/Etool.h"
#include "record/PanelArtwork.h"
#include "record/PanelFace.h"

#include <QHelpEvent>
#include <QLabel>
#include <QtEndian>
#include <QMenu>
#include <QSettings>
#include <QToolTip>

using quolva::platform::MessageIcon;
using quolva::record::PanelFace;
using quolva::record::PanelShapeId;
using quolva::record::TForm1;
using quolva::test::ScriptedPrompts;

namespace {

// Runs `change` on the skin's settings and writes them out.
template <typename Change>
void withSettings(Change change)
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quolvaer"), QStringLiteral("cg"));
    change(settings);
    settings.sync();
}

QString storedSkin()
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quolvaer"), QStringLiteral("cg"));
    return settings.value(QStringLiteral("via")).toString();
}

QRgb andOf(QRgb a, QColor b)
{
    return qRgb(qRed(a) & b.red(), qGreen(a) & b.green(), qBlue(a) & b.blue());
}

QPoint centreOf(const PanelFace& face, PanelShapeId id)
{
    return face.shape(id).bounds.center();
}

bool clickAt(QWidget& widget, QPoint local, int button)
{
    return quolva::test::pointerTo(widget, local)
           && quolva::test::xdotool({QStringLiteral("click"), QString::number(button)});
}

// The picture of the override cursor, or a null image when the default pointer is in force.
QImage cursorPicture()
{
    const QCursor* cursor = QGuiApplication::overrideCursor();
    return cursor ? cursor->pixmap().toImage() : QImage();
}

} // namespace

class PanelTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir;

    // A panel shown on the screen, the pointer parked away from it.
    static void showPanel(TForm1& panel)
    {
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
    }

private slots:
    void initTestCase()
    {
        QUOLVA_REQUIRE_DISPLAY();
        QVERIFY(qEnvironmentVariable("XDG_CONFIG_HOME").startsWith(QDir::tempPath()));
        QVERIFY(quolva::test::xdotool({QStringLiteral("mousemove"), QStringLiteral("5"), QStringLiteral("5")}));
    }

    void init()
    {
        withSettings([](QSettings& s) { s.remove(QStringLiteral("via")); });
    }

    void placeAndSize()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = quolva::app::startUp();
        TForm1& panel = windows->Form1();
        QCOMPARE(panel.size(), QSize(154, 60));
        QVERIFY(panel.windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(panel.pos(), QPoint(1280 - 230, 1024 - 140));
        QCOMPARE(panel.Label1->font().pixelSize(), 12);
        QCOMPARE(panel.Label1->palette().color(QPalette::WindowText), QColor(0, 255, 0));
        QVERIFY(panel.Label1->text().isEmpty());
        QVERIFY(prompts->messages.isEmpty()); // both hotkeys registered: nothing to report
    }

    void firstStartShowsSkinFourAndStoresIt()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = quolva::app::startUp();
        TForm1& panel = windows->Form1();
        QVERIFY(storedSkin().isEmpty());
        showPanel(panel);
        QCOMPARE(panel.face->picture().cacheKey(), panel.Image10.cacheKey());
        QCOMPARE(storedSkin(), QStringLiteral("4"));
        QFile file(quolva::test::skinSettingsFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY2(file.readAll().contains("via=4"), qPrintable(file.fileName()));
    }

    void theStoredSkinIsShownEachTimeThePanelIsShown()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = quolva::app::startUp();
        TForm1& panel = windows->Form1();
        withSettings([](QSettings& s) { s.setValue(QStringLiteral("via"), QStringLiteral("2")); });
        showPanel(panel);
        QCOMPARE(panel.face->picture().cacheKey(), panel.Image4.cacheKey());
        QVERIFY(panel.jm2->isChecked());
        panel.hide();
        panel.face->setPicture(panel.Image3);
        showPanel(panel);
        QCOMPARE(panel.face->picture().cacheKey(), panel.Image4.cacheKey());

        // Trailing blanks do not matter.
        panel.hide();
        withSettings([](QSettings& s) { s.setValue(QStringLiteral("via"), QStringLiteral("1 ")); });
        showPanel(panel);
        QCOMPARE(panel.face->picture().cacheKey(), panel.Image3.cacheKey());
        QVERIFY(prompts->errors.isEmpty());
    }

    void aNumberThatIsNoSkinChangesNothing()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = quolva::app::startUp();
        TForm1& panel = windows->Form1();
        panel.face->setPicture(panel.Image2);
        for (const char* value : {"7", "0", "12", "-1"}) {
            withSettings([value](QSettings& s) { s.setValue(QStringLiteral("via"), QString::fromLatin1(value)); });
            showPanel(panel);
            QVERIFY2(panel.face->picture().cacheKey() == panel.Image2.cacheKey(), value);
            panel.hide();
        }
        QCOMPARE(storedSkin(), QStringLiteral("-1")); // nothing rewritten
        // A value that is no number at all is reported; the picture stays.
        withSettings([](QSettings& s) { s.setValue(QStringLiteral("via"), QStringLiteral("x")); });
        showPanel(panel);
        QCOMPARE(prompts->errors.size(), 1);
        QCOMPARE(panel.face->picture().cacheKey(), panel.Image2.cacheKey());
    }

    void choosingASkinShowsAndStoresIt()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = quolva::app::startUp();
        TForm1& panel = windows->Form1();
        showPanel(panel);
        const QStringList captions{"紫水晶", "绿宝石", "橄榄树", "蓝晶玲"};
        QCOMPARE(panel.PopupMenu2->actions().size(), 4);
        const QPixmap* pictures[] = {&panel.Image3, &panel.Image4, &panel.Image2, &panel.Image10};
        for (int skin = 1; skin <= 4; ++skin) {
            QAction* item = panel.PopupMenu2->actions().at(skin - 1);
            QCOMPARE(item->text(), captions[skin - 1]);
            QCOMPARE(item->objectName(), QStringLiteral("jm%1").arg(skin));
            item->trigger();
            QCOMPARE(panel.face->picture().cacheKey(), pictures[skin - 1]->cacheKey());
            QCOMPARE(storedSkin(), QString::number(skin));
            QVERIFY(item->isChecked());

            // What the screen shows, for the documentation; a status text as during a recording.
            panel.Label1->setText(QStringLiteral("已录12s"));
            panel.Label1->adjustSize();
            panel.Label1->move(145 - panel.Label1->width(), 36);
            QTest::qWait(100);
            const QImage shot = quolva::test::screenOf(panel);
            QCOMPARE(shot.size(), QSize(154, 60));
            const QImage face = panel.face->composedFace();
            QCOMPARE(shot.pixel(0, 20), face.pixel(0, 20));     // the black frame
            QCOMPARE(shot.pixel(57, 16), face.pixel(57, 16));   // the record button
            QCOMPARE(shot.pixel(147, 3), face.pixel(147, 3));   // the close box
            quolva::test::saveScreenshot(shot, QStringLiteral("panel-skin-%1.png").arg(skin));
        }
        // Each skin is a picture of its own.
        QVERIFY(panel.Image3.toImage() != panel.Image4.toImage());
        QVERIFY(panel.Image4.toImage() != panel.Image2.toImage());
        QVERIFY(panel.Image2.toImage() != panel.Image10.toImage());
    }

    void theShapesMixIntoThePicture()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = quolva::app::startUp();
        TForm1& panel = windows->Form1();
        const QImage picture = panel.Image10.toImage().convertToFormat(QImage::Format_RGB32);
        const QImage face = panel.face->composedFace();
        QCOMPARE(face.size(), QSize(154, 60));
        // The drag surface's outline frames the panel (153 × 60); its white brush leaves the picture.
        for (QPoint edge : {QPoint(0, 0), QPoint(0, 30), QPoint(152, 30), QPoint(70, 0), QPoint(70, 59)})
            QCOMPARE(face.pixel(edge), qRgb(0, 0, 0));
        QCOMPARE(face.pixel(153, 30), picture.pixel(153, 30));
        QCOMPARE(face.pixel(100, 45), picture.pixel(100, 45));
        // The elliptic buttons' black brush mixed by OR changes nothing.
        for (PanelShapeId button : {PanelShapeId::Shape1, PanelShapeId::Shape3, PanelShapeId::Shape4, PanelShapeId::Shape6}) {
            const QPoint c = centreOf(*panel.face, button);
            QCOMPARE(face.pixel(c), picture.pixel(c));
        }
        // The skin button: a sky-blue outline mixed by AND, the inside unchanged.
        QCOMPARE(face.pixel(52, 50), andOf(picture.pixel(52, 50), QColor(166, 202, 240)));
        QCOMPARE(face.pixel(52, 54), picture.pixel(52, 54));
        // The close box's picture lies under its shape.
        const QImage closeBox = quolva::record::closeBoxPicture().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(face.pixel(147, 3), closeBox.pixel(3, 3));

        // Hit-testing: the buttons over the drag surface, ellipses only inside their curve.
        QCOMPARE(panel.face->shapeAt(QPoint(57, 16))->id, PanelShapeId::Shape1);
        QCOMPARE(panel.face->shapeAt(QPoint(49, 8))->id, PanelShapeId::Shape2); // the ellipse's corner
        QCOMPARE(panel.face->shapeAt(QPoint(147, 3))->id, PanelShapeId::Shape7);
        QCOMPARE(panel.face->shapeAt(QPoint(41, 51))->id, PanelShapeId::Shape5);
        QCOMPARE(panel.face->shapeAt(QPoint(153, 30)), nullptr);
    }

    void hoverTintsAndButtonCursors()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = quolva::app::startUp();
        TForm1& panel = windows->Form1();
        showPanel(panel);
        PanelFace& face = *panel.face;
        const QImage picture = panel.Image10.toImage().convertToFormat(QImage::Format_RGB32);
        const QImage closeBox = quolva::record::closeBoxPicture().toImage().convertToFormat(QImage::Format_RGB32);
        const QPoint insideSkinButton(52, 54);

        QVERIFY(quolva::test::pointerTo(panel, insideSkinButton));
        QTRY_COMPARE(face.composedFace().pixel(insideSkinButton), andOf(picture.pixel(insideSkinButton), PanelFace::kAqua));
        QTRY_COMPARE(quolva::test::screenOf(panel).pixel(insideSkinButton),
                     andOf(picture.pixel(insideSkinButton), PanelFace::kAqua));
        QVERIFY(quolva::test::pointerTo(panel, QPoint(147, 3)));
        QTRY_COMPARE(face.composedFace().pixel(147, 3), andOf(closeBox.pixel(3, 3), PanelFace::kFuchsia));

        const struct {
            PanelShapeId button;
            int cursor;
        } buttons[] = {{PanelShapeId::Shape3, 55}, {PanelShapeId::Shape1, 66}, {PanelShapeId::Shape4, 77}, {PanelShapeId::Shape6, 88}};
        for (const auto& b : buttons) {
            QVERIFY(quolva::test::pointerTo(panel, centreOf(face, b.button)));
            const QImage expected = quolva::record::panelCursor(b.cursor).pixmap().toImage();
            QTRY_VERIFY2(cursorPicture() == expected, qPrintable(QString::number(b.cursor)));
        }
        // The cursors are the program's: they stay away from the panel until the drag surface is crossed
        // (or the main window's picture area or memo, which set the arrow back; its status bar does not).
        QVERIFY(quolva::test::pointerTo(windows->Form7(), QPoint(300, windows->Form7().height() - 6)));
        QTest::qWait(100);
        QVERIFY(!cursorPicture().isNull());

        QVERIFY(quolva::test::pointerTo(panel, QPoint(8, 40)));
        QTRY_VERIFY(cursorPicture().isNull());
        QTRY_COMPARE(face.composedFace().pixel(insideSkinButton), andOf(picture.pixel(insideSkinButton), PanelFace::kSilver));
        QCOMPARE(face.composedFace().pixel(147, 3), closeBox.pixel(3, 3));
    }

    void hints()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = quolva::app::startUp();
        TForm1& panel = windows->Form1();
        showPanel(panel);
        const struct {
            PanelShapeId shape;
            const char* hint;
        } hints[] = {{PanelShapeId::Shape3, "设置向导"}, {PanelShapeId::Shape1, "录制"}, {PanelShapeId::Shape6, "停止"},
                     {PanelShapeId::Shape4, "返回主窗口"}, {PanelShapeId::Shape5, "界面风格"}};
        for (const auto& h : hints) {
            const QPoint at = centreOf(*panel.face, h.shape);
            QHelpEvent help(QEvent::ToolTip, at, panel.face->mapToGlobal(at));
            QApplication::sendEvent(panel.face, &help);
            QTRY_COMPARE(QToolTip::text(), QString::fromUtf8(h.hint));
        }
        QToolTip::hideText();
    }

    void rightClickOpensThePanelMenuOnTheBackgroundAndTheStatusText()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = quolva::app::startUp();
        TForm1& panel = windows->Form1();
        showPanel(panel);
        QStringList items;
        for (const QAction* action : panel.PopupMenu1->actions())
            items << (action->isSeparator() ? QStringLiteral("-") : action->text());
        QCOMPARE(items, (QStringList{"帮助(&h)", "关于(&a)", "-", "返回主窗口(&w)"}));

        QVERIFY(clickAt(panel, QPoint(8, 40), 3));
        QTRY_VERIFY(panel.PopupMenu1->isVisible());
        // At the pointer.
        QVERIFY((panel.PopupMenu1->pos() - panel.mapToGlobal(QPoint(8, 40))).manhattanLength() <= 2);
        panel.PopupMenu1->hide();

        panel.Label1->setText(QStringLiteral("已录3s"));
        panel.Label1->adjustSize();
        panel.Label1->move(145 - panel.Label1->width(), 36);
        QVERIFY(clickAt(panel, panel.Label1->geometry().center(), 3));
        QTRY_VERIFY(panel.PopupMenu1->isVisible());
        panel.PopupMenu1->hide();

        // Not on the buttons.
        for (PanelShapeId button : {PanelShapeId::Shape1, PanelShapeId::Shape3, PanelShapeId::Shape4, PanelShapeId::Shape6,
                                    PanelShapeId::Shape5, PanelShapeId::Shape7}) {
            QVERIFY(clickAt(panel, centreOf(*panel.face, button), 3));
            QTest::qWait(150);
            QVERIFY(!panel.PopupMenu1->isVisible());
            QVERIFY(!panel.PopupMenu2->isVisible());
        }
        QVERIFY(prompts->messages.isEmpty());
        QVERIFY(windows->Form7().isVisible());
        QVERIFY(panel.isVisible());

        // The left button on the skin button opens the skin menu.
        QVERIFY(clickAt(panel, centreOf(*panel.face, PanelShapeId::Shape5), 1));
        QTRY_VERIFY(panel.PopupMenu2->isVisible());
        panel.PopupMenu2->hide();

        // The panel menu's items.
        panel.N2->trigger();
        QTRY_VERIFY(windows->Form8().isVisible());
        windows->Form7().hide();
        panel.N4->trigger();
        QVERIFY(windows->Form7().isVisible());
        QVERIFY(!panel.isVisible());
    }

    void draggingKeepsThePointUnderThePointer()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = quolva::app::startUp();
        TForm1& panel = windows->Form1();
        showPanel(panel);
        const QPoint start = panel.pos();
        const QPoint grip(8, 40);
        QVERIFY(quolva::test::pointerTo(panel, grip));
        QVERIFY(quolva::test::xdotool({QStringLiteral("mousedown"), QStringLiteral("1")}));
        QTRY_VERIFY(panel.face->isDragging());
        // In steps, each one handled before the next, as a hand moves.
        const QPoint target = panel.mapToGlobal(grip) + QPoint(-60, -45);
        for (int i = 1; i <= 3; ++i) {
            const QPoint at = panel.mapToGlobal(grip) + (target - panel.mapToGlobal(grip)) / (4 - i);
            QVERIFY(quolva::test::xdotool({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y())}));
            QTRY_COMPARE(panel.mapToGlobal(grip), at);
        }
        QVERIFY(quolva::test::xdotool({QStringLiteral("mouseup"), QStringLiteral("1")}));
        QTRY_VERIFY(!panel.face->isDragging());
        QCOMPARE(panel.pos(), start + QPoint(-60, -45));
        QCOMPARE(panel.mapFromGlobal(QCursor::pos()), grip);

        // Moving without the button does not drag.
        QVERIFY(quolva::test::xdotool({QStringLiteral("mousemove_relative"), QStringLiteral("--"), QStringLiteral("20"), QStringLiteral("5")}));
        QTest::qWait(150);
        QCOMPARE(panel.pos(), start + QPoint(-60, -45));
        // Pressing a button shape does not drag either.
        QVERIFY(quolva::test::pointerTo(panel, centreOf(*panel.face, PanelShapeId::Shape6)));
        QVERIFY(quolva::test::xdotool({QStringLiteral("mousedown"), QStringLiteral("1")}));
        QVERIFY(quolva::test::xdotool({QStringLiteral("mousemove_relative"), QStringLiteral("--"), QStringLiteral("30"), QStringLiteral("0")}));
        QVERIFY(quolva::test::xdotool({QStringLiteral("mouseup"), QStringLiteral("1")}));
        QTest::qWait(150);
        QCOMPARE(panel.pos(), start + QPoint(-60, -45));
        // The stop button took the press and so gets the release: "还没有进行录制".
        QCOMPARE(prompts->messages.size(), 1);
        QCOMPARE(prompts->messages.front().text, QStringLiteral("还没有进行录制"));
    }

    void buttonsRunTheirCommands()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = quolva::app::startUp();
        TForm1& panel = windows->Form1();
        showPanel(panel);
        QVERIFY(clickAt(panel, centreOf(*panel.face, PanelShapeId::Shape1), 1));
        QTRY_COMPARE(prompts->messages.size(), 1);
        QCOMPARE(prompts->messages[0].text, QStringLiteral("请先进行设置"));
        QCOMPARE(prompts->messages[0].caption, QString());
        QCOMPARE(prompts->messages[0].icon, MessageIcon::Error);
        QVERIFY(!panel.recorder().isRecording());

        QVERIFY(clickAt(panel, centreOf(*panel.face, PanelShapeId::Shape6), 1));
        QTRY_COMPARE(prompts->messages.size(), 2);
        QCOMPARE(prompts->messages[1].text, QStringLiteral("还没有进行录制"));
        QCOMPARE(prompts->messages[1].caption, QStringLiteral("提示"));
        QCOMPARE(prompts->messages[1].icon, MessageIcon::Warning);

        QVERIFY(clickAt(panel, centreOf(*panel.face, PanelShapeId::Shape3), 1));
        QTRY_VERIFY(windows->Form5().isVisible());
        QCOMPARE(windows->Form5().step, 0);
        windows->Form5().SpeedButton7Click();

        windows->Form7().hide();
        QVERIFY(clickAt(panel, centreOf(*panel.face, PanelShapeId::Shape4), 1));
        QTRY_VERIFY(windows->Form7().isVisible());
        QVERIFY(!panel.isVisible());
    }

    void statusTextsOverARecording()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = quolva::app::startUp();
        TForm1& panel = windows->Form1();
        auto& recorder = panel.recorder();
        const QString target = dir.filePath(QStringLiteral("status.avi"));
        quolva::test::prepareRegionRecording(*windows, *prompts, target, 160);
        windows->Form7().hide();
        showPanel(panel);

        panel.luzhi();
        QVERIFY(recorder.isRecording());
        QCOMPARE(panel.Label1->text(), QStringLiteral("Start"));
        QVERIFY(recorder.Timer1.isActive());
        QVERIFY(recorder.Timer2.isActive());
        QCOMPARE(recorder.Timer2.interval(), 1000);
        recorder.Timer2.stop(); // the test's own ticks
        for (int second = 1; second <= 12; ++second)
            recorder.Timer2Timer();
        QCOMPARE(panel.Label1->text(), QStringLiteral("已录12s"));
        QCOMPARE(panel.Label1->geometry().right(), 144); // right edge at x 145
        QCOMPARE(panel.Label1->y(), 36);

        // A second Record while recording changes nothing.
        panel.luzhi();
        QCOMPARE(panel.Label1->text(), QStringLiteral("已录12s"));

        panel.tingzhi();
        QCOMPARE(panel.Label1->text(), QStringLiteral("ok"));
        QVERIFY(!recorder.Timer1.isActive());
        QVERIFY(recorder.Timer3.isActive());
        QCOMPARE(recorder.Timer3.interval(), 20);
        // The finishing step runs on Timer3's first tick: the files close, the panel hands over.
        QTRY_VERIFY(!recorder.isFinishing());
        QCOMPARE(panel.Label1->text(), QStringLiteral("End"));
        QCOMPARE(recorder.elapsedSeconds, 0);
        QVERIFY(!panel.isVisible());
        QVERIFY(windows->Form7().isVisible());
        QVERIFY(prompts->messages.isEmpty());
        // Both files are finished: the AVI file's RIFF header counts the whole file.
        QFile avi(target);
        QVERIFY(avi.open(QIODevice::ReadOnly));
        const QByteArray riff = avi.read(8);
        QCOMPARE(riff.left(4), QByteArray("RIFF"));
        QCOMPARE(qint64(qFromLittleEndian<quint32>(riff.constData() + 4)) + 8, avi.size());
        QCOMPARE(quolva::test::frameCountOf(target), recorder.framesOfLastRecording);

        // After a finished recording: Record and Stop are refused until the wizard runs again.
        panel.luzhi();
        panel.tingzhi();
        panel.tingzhi();
        QCOMPARE(prompts->messages.size(), 3);
        QCOMPARE(prompts->messages[0].text, QStringLiteral("请先进行设置"));
        QCOMPARE(prompts->messages[1].text, QStringLiteral("还没有进行录制"));
        QCOMPARE(prompts->messages[2].text, QStringLiteral("还没有进行录制"));
    }

    // Last: closing the main window asks the program to end.
    void theCloseBoxClosesThePanelAndTheMainWindow()
    {
        ScriptedPrompts::Installed prompts;
        const auto windows = quolva::app::startUp();
        TForm1& panel = windows->Form1();
        showPanel(panel);
        QVERIFY(clickAt(panel, QPoint(147, 3), 1));
        QTRY_VERIFY(!panel.isVisible());
        QVERIFY(!windows->Form7().isVisible());
    }
};

QUOLVA_RECORD_GUI_TEST_MAIN(PanelTest)
#include "gui_panel.moc"

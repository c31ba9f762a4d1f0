// A user records a region of a real X screen with `quolvactl record`, opens the recording in the main
// window, places a framed callout (box style 1) on frame 3 and burns it into frames 3 to 5 with the
// continuous update, then burns a rising caption into frames 6 to 15. `quolvactl frames` shows the
// callout in frames 3 to 5 and the caption, climbing, in frames 6 to 15, and every other frame byte for
// byte as recorded; `quolvactl check` accepts the recording.
#include "../record/RecordGuiSupport.h"
#include "EditingSupport.h"
#include "Rig.h"
#include "ScriptedPrompts.h"
#include "app/Application.h"
#include "app/Startup.h"
#include "editor/BoxPieces.h"
#include "editor/EditorControls.h"
#include "editor/Etool.h"

#include <QLineEdit>
#include <QLinearGradient>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

using namespace quolva;
using editor::TForm7;
using test::ScriptedPrompts;

namespace {

const QRect kRegion(100, 100, 320, 240);

// The scene under the region: dark colours only, so that the white of the boxes stands out.
class SceneWindow : public QWidget {
public:
    SceneWindow() : QWidget(nullptr, Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint) { setGeometry(kRegion); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        QLinearGradient sky(0, 0, 0, height());
        sky.setColorAt(0, QColor(30, 70, 140));
        sky.setColorAt(1, QColor(10, 30, 70));
        painter.fillRect(rect(), sky);
        painter.fillRect(200, 30, 90, 60, QColor(120, 40, 40));
        painter.fillRect(30, 150, 120, 50, QColor(40, 110, 50));
    }
};

QString quolvactl()
{
    return QDir(qEnvironmentVariable("QUOLVA_BIN_DIR")).filePath(QStringLiteral("quolvactl"));
}

bool runQuolvactl(const QStringList& arguments, QString* output = nullptr)
{
    QProcess process;
    process.start(quolvactl(), arguments);
    if (!process.waitForStarted(10000))
        return false;
    // The event loop goes on, so that the scene stays painted while the recording runs.
    QElapsedTimer clock;
    clock.start();
    while (process.state() != QProcess::NotRunning && clock.elapsed() < 60000)
        QTest::qWait(20);
    if (output)
        *output = QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
    return process.state() == QProcess::NotRunning && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

QList<QByteArray> framesOf(const QString& folder)
{
    QList<QByteArray> frames;
    for (const QString& name : QDir(folder).entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name)) {
        QFile file(QDir(folder).filePath(name));
        if (file.open(QIODevice::ReadOnly))
            frames << file.readAll();
    }
    return frames;
}

QImage picture(const QByteArray& jpeg)
{
    return QImage::fromData(jpeg, "JPEG").convertToFormat(QImage::Format_RGB32);
}

bool nearColour(QRgb a, QRgb b, int tolerance)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

bool nearWhite(QRgb pixel) { return nearColour(pixel, qRgb(255, 255, 255), 30); }

// The callout of style 1 at `at` in the frame: its white inside and its three-shade line on the left edge.
bool hasCallout(const QImage& frame, QPoint at)
{
    return nearWhite(frame.pixel(at + QPoint(16, 30))) && nearWhite(frame.pixel(at + QPoint(18, 34))) &&
           nearColour(frame.pixel(at + QPoint(11, 30)), editor::kBoxShade2, 40) &&
           !nearWhite(frame.pixel(at + QPoint(4, 30))); // the black margin is left out: the scene shows
}

// The top of the caption's white background in the column x, or -1 when there is no white there.
int captionTop(const QImage& frame, int x)
{
    for (int y = 0; y < frame.height(); ++y)
        if (nearWhite(frame.pixel(x, y)) && y + 1 < frame.height() && nearWhite(frame.pixel(x, y + 1)))
            return y;
    return -1;
}

void clickItem(editor::RadioGroup* group, int index)
{
    const QList<QRadioButton*> buttons = group->findChildren<QRadioButton*>();
    QVERIFY(index < buttons.size());
    buttons.at(index)->click();
}

void waitForUpdate(TForm7& window)
{
    QTRY_VERIFY_WITH_TIMEOUT(!window.Timer5.isActive(), 20000);
    QVERIFY(!window.recording().IsHeld());
}

} // namespace

class BurnsACalloutAndARisingCaption : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void initTestCase()
    {
        QUOLVA_REQUIRE_DISPLAY();
        QUOLVA_REQUIRE_SOUND_SERVER();
    }

    void editsARecordedScreen()
    {
        // The recording, by quolvactl, of a scene on the screen, the pointer out of the way.
        const QString path = dir.filePath(QStringLiteral("edited.avi"));
        {
            QVERIFY(test::xdotool({QStringLiteral("mousemove"), QStringLiteral("0"), QStringLiteral("0")}));
            SceneWindow scene;
            scene.show();
            QVERIFY(QTest::qWaitForWindowExposed(&scene));
            QTest::qWait(300);
            QString said;
            QVERIFY2(runQuolvactl({QStringLiteral("record"), path, QStringLiteral("--seconds"), QStringLiteral("3"),
                                   QStringLiteral("--region"), QStringLiteral("320x240+100+100")},
                                  &said),
                     qPrintable(said));
        }
        const QString before = dir.filePath(QStringLiteral("before"));
        QVERIFY(runQuolvactl({QStringLiteral("frames"), path, before}));
        const QList<QByteArray> recorded = framesOf(before);
        QVERIFY2(recorded.size() >= 18, qPrintable(QString::number(recorded.size())));

        ScriptedPrompts::Installed prompts;
        const auto windows = app::startUp(path);
        QVERIFY(windows);
        TForm7& window = windows->Form7();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(window.recording().IsOpen());
        window.ToolButton14->click(); // the edit panel

        // A callout on frame 3: the text typed, box style 1, dragged into place.
        test::toFrameOne(window);
        window.ToolButton2->click();
        window.ToolButton2->click();
        QCOMPARE(window.Edit1->text(), QStringLiteral("3"));
        window.Memo1->setPlainText(QStringLiteral("这里是标注"));
        window.SpeedButton4->click();
        QVERIFY(window.Image3->hasPicture());
        const QPoint grip = window.Image3->rect().center();
        QVERIFY(test::pointerTo(*window.Image3, grip));
        QVERIFY(test::xdotool({QStringLiteral("mousedown"), QStringLiteral("1")}));
        const QPoint target = window.Image3->mapToGlobal(grip) + QPoint(30, -40);
        QVERIFY(test::xdotool({QStringLiteral("mousemove"), QString::number(target.x()), QString::number(target.y())}));
        QTRY_COMPARE(window.Image3->pos(), QPoint(40 + 30, 88 - 40));
        QTest::qWait(200);
        test::saveScreenshot(window.screen()->grabWindow(0, window.frameGeometry().x(), window.frameGeometry().y(),
                                                         window.frameGeometry().width(), window.frameGeometry().height())
                                 .toImage(),
                             QStringLiteral("editor-placing-a-callout.png"));
        QVERIFY(test::xdotool({QStringLiteral("mouseup"), QStringLiteral("1")}));
        QTRY_VERIFY(!window.overlays().Dragging());
        const QPoint callout = window.overlays().Box(0).position - window.Image4->pos();

        window.Edit3->setText(QStringLiteral("3"));
        window.ToolButton27->click();
        waitForUpdate(window);
        QCOMPARE(window.Edit1->text(), QStringLiteral("1"));

        // A rising caption from frame 6 on: box "2f", the rising mode, dragged to the left, 6 pixels a tick.
        for (int i = 0; i < 5; ++i)
            window.ToolButton2->click();
        QCOMPARE(window.Edit1->text(), QStringLiteral("6"));
        window.Memo1->setPlainText(QStringLiteral("字幕从下面升上来"));
        clickItem(window.RadioGroup2, 1);
        window.Edit4->setText(QStringLiteral("6"));
        clickItem(window.RadioGroup1, 1);
        QVERIFY(window.Panel7->isEnabled());
        QVERIFY(test::pointerTo(*window.Image5, QPoint(50, 32)));
        QVERIFY(test::xdotool({QStringLiteral("mousedown"), QStringLiteral("1")}));
        const QPoint left = window.Image5->mapToGlobal(QPoint(50, 32)) - QPoint(176, 0);
        QVERIFY(test::xdotool({QStringLiteral("mousemove"), QString::number(left.x()), QString::number(left.y())}));
        QTRY_COMPARE(window.Image5->pos(), QPoint(40, 88));
        QVERIFY(test::xdotool({QStringLiteral("mouseup"), QStringLiteral("1")}));
        QTRY_VERIFY(!window.overlays().Dragging());
        const int captionX = window.overlays().Box(1).position.x() - window.Image4->x() + 6;
        window.Edit3->setText(QStringLiteral("10"));
        window.ToolButton27->click();
        QVERIFY(window.Timer2.isActive());
        // The editor half way through the run, the caption climbing over the frames: the two timers are
        // held for the picture.
        QTRY_VERIFY_WITH_TIMEOUT(window.recording().NumberOnView() >= 11, 20000);
        window.Timer5.stop();
        window.Timer2.stop();
        QTest::qWait(150);
        test::saveScreenshot(window.screen()->grabWindow(0, window.frameGeometry().x(), window.frameGeometry().y(),
                                                         window.frameGeometry().width(), window.frameGeometry().height())
                                 .toImage(),
                             QStringLiteral("editor-rising-caption-during-an-update.png"));
        window.Timer2.start();
        window.Timer5.start();
        waitForUpdate(window);
        QVERIFY(!window.Timer2.isActive());
        QVERIFY2(prompts->messages.isEmpty(), qPrintable(prompts->messages.value(0).text));
        QVERIFY2(prompts->errors.isEmpty(), qPrintable(prompts->errors.value(0)));
        window.ToolButton12->click();

        // What quolvactl finds in the edited recording.
        QString checked;
        QVERIFY2(runQuolvactl({QStringLiteral("check"), path}, &checked), qPrintable(checked));
        const QString after = dir.filePath(QStringLiteral("after"));
        QVERIFY(runQuolvactl({QStringLiteral("frames"), path, after}));
        const QList<QByteArray> edited = framesOf(after);
        QCOMPARE(edited.size(), recorded.size());
        test::saveScreenshot(picture(edited[14]), QStringLiteral("frame-15-with-a-rising-caption.png"));
        int lastTop = kRegion.height();
        QList<int> tops;
        for (int k = 1; k <= edited.size(); ++k) {
            const QByteArray& now = edited[k - 1];
            const QImage frame = picture(now);
            const bool calloutRun = k >= 3 && k <= 5;
            const bool captionRun = k >= 6 && k <= 15;
            if (!calloutRun && !captionRun) {
                QVERIFY2(now == recorded[k - 1], qPrintable(QStringLiteral("frame %1 changed").arg(k)));
                continue;
            }
            QVERIFY2(now != recorded[k - 1], qPrintable(QStringLiteral("frame %1 unchanged").arg(k)));
            QCOMPARE(hasCallout(frame, callout), calloutRun);
            QVERIFY2(!hasCallout(picture(recorded[k - 1]), callout), "the scene looks like a callout");
            const int top = captionTop(frame, captionX);
            if (calloutRun) {
                QCOMPARE(top, -1);
                continue;
            }
            QVERIFY2(top >= 0, qPrintable(QStringLiteral("frame %1 has no caption").arg(k)));
            QVERIFY2(top <= lastTop, qPrintable(QStringLiteral("frame %1: the caption sank to %2").arg(k).arg(top)));
            lastTop = top;
            tops << top;
        }
        QVERIFY(tops.first() < kRegion.height());
        QVERIFY2(tops.first() - tops.last() >= 30, qPrintable(QStringLiteral("the caption rose from %1 to %2")
                                                                   .arg(tops.first())
                                                                   .arg(tops.last())));
        QCOMPARE(captionTop(picture(recorded[5]), captionX), -1);
    }
};

int main(int argc, char** argv)
{
    test::useTemporaryConfig();
    app::QuolvaApplication application(argc, argv);
    BurnsACalloutAndARisingCaption test;
    return QTest::qExec(&test, argc, argv);
}

#include "e2e_burns_a_callout_and_a_rising_caption.moc"

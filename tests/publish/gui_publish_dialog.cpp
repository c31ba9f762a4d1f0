// The publish dialog and the real compressor chooser on an X display: the dialog centred and drawn with
// its texts, the chooser shown over the main window, a compressor picked in it with the mouse, and the
// export that follows; the web group's choices made with the mouse and its movie written while the dialog
// stays responsive. With QUOLVA_SCREENSHOT_DIR set, the windows are saved as pictures.
#include "ScreenPictures.h"
#include "PublishTestSupport.h"
#include "Rig.h"
#include "ScriptedPrompts.h"
#include "app/WindowSet.h"
#include "editor/Etool.h"
#include "platform/CompressorChooser.h"
#include "publish/Unit6.h"
#include "publish/WebExport.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

using namespace quolva;
using namespace quolva::test;

namespace {

} // namespace

class PublishDialogGuiTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir_;
    QTemporaryDir config_;

private slots:
    void initTestCase()
    {
        QUOLVA_REQUIRE_DISPLAY();
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config_.path()));
    }

    void aCompressorIsPickedInTheRealChooser()
    {
        app::WindowSet windows;
        publish::TForm6& dialog = windows.Form6();
        const QString path = MakeScreenRecording(dir_.path(), "gui.avi", 320, 240, 12);
        windows.Form7().show();
        windows.Form7().recording().Open(path);
        dialog.Button5Click();
        dialog.fileReady = true;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTest::qWait(200);

        // Centred on the screen, drawn with its texts.
        const QRect available = dialog.screen()->availableGeometry();
        QVERIFY2((dialog.frameGeometry().center() - available.center()).manhattanLength() <= 16, // a title bar added late moves it a little
                 qPrintable(QStringLiteral("frame centre %1,%2").arg(dialog.frameGeometry().center().x()).arg(dialog.frameGeometry().center().y())));
        QCOMPARE(dialog.geometry().size(), QSize(271, 434));
        const QImage shown = screenOf(dialog);
        QCOMPARE(shown.size(), QSize(271, 434));
        QVERIFY(distinctColours(shown) > 20);
        saveScreenshot(shown, QStringLiteral("publish-dialog.png"));

        // "是", then the real chooser: looked at, h264 picked with the mouse, OK.
        dialog.setRadioGroup1ItemIndex(0);
        QString chooserProblem = QStringLiteral("the chooser did not appear");
        QTimer::singleShot(300, this, [&] {
            platform::CompressorChooser* chooser = nullptr;
            for (QWidget* window : QApplication::topLevelWidgets())
                if (auto* candidate = qobject_cast<platform::CompressorChooser*>(window); candidate && candidate->isVisible())
                    chooser = candidate;
            if (!chooser)
                return;
            if (!QTest::qWaitForWindowExposed(chooser)) {
                chooserProblem = QStringLiteral("the chooser was not exposed");
                chooser->reject();
                return;
            }
            QTest::qWait(200);
            saveScreenshot(screenOf(*chooser), QStringLiteral("compressor-chooser.png"));
            if (chooser->windowTitle() != QLatin1String("Select Compressor")) {
                chooserProblem = QStringLiteral("title ") + chooser->windowTitle();
                chooser->reject();
                return;
            }
            const int h264 = chooser->compressors->findText(QStringLiteral("H.264"), Qt::MatchStartsWith);
            chooser->compressors->setCurrentIndex(h264);
            QTest::mouseClick(chooser->ok, Qt::LeftButton);
            chooserProblem.clear();
        });
        QTest::mouseClick(dialog.SpeedButton4, Qt::LeftButton);
        QVERIFY2(chooserProblem.isEmpty(), qPrintable(chooserProblem));
        QVERIFY(dialog.Timer1->isActive());
        QVERIFY(dialog.aviExport().compressorActive);

        // The timer runs the export while the dialog stays responsive; then the exit button closes it.
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.Timer1->isActive(), 30000);
        QCOMPARE(dialog.SpeedButton4->text(), QStringLiteral("结束"));
        QTest::qWait(100);
        saveScreenshot(screenOf(dialog), QStringLiteral("publish-dialog-finished.png"));
        QTest::mouseClick(dialog.SpeedButton2, Qt::LeftButton);
        QTRY_VERIFY(!dialog.isVisible());
        QVERIFY(!windows.Form7().recording().IsOpen());
        const QJsonArray streams = avitest::probeStreams(path);
        QCOMPARE(streams.size(), 2);
        QCOMPARE(streams[1].toObject().value("codec_name").toString(), QStringLiteral("h264"));
        QCOMPARE(streams[1].toObject().value("nb_read_packets").toString(), QStringLiteral("12"));
    }

    void theWebGroupWritesAMovieWhileTheDialogStaysResponsive()
    {
        ScriptedPrompts::Installed prompts; // the save dialog answers at once; the rest is real
        app::WindowSet windows;
        publish::TForm6& dialog = windows.Form6();
        const QString path = MakeScreenRecording(dir_.path(), "web.avi", 640, 480, 40);
        windows.Form7().show();
        windows.Form7().recording().Open(path);
        dialog.Button5Click();
        dialog.fileReady = true;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));

        // "WebM (VP9)" picked from the format list with the keyboard, as a user would.
        dialog.WebFormatBox->setFocus();
        QTest::keyClick(dialog.WebFormatBox, Qt::Key_Down);
        QCOMPARE(dialog.WebFormatBox->currentText(), QStringLiteral("WebM (VP9)"));
        const QString movie = dir_.filePath("web.webm");
        prompts->answerFiles({movie});
        QTest::mouseClick(dialog.WebStartButton, Qt::LeftButton);
        QVERIFY(dialog.Timer3->isActive());
        QCOMPARE(dialog.WebStartButton->text(), QStringLiteral("取消"));

        // The dialog repaints and takes input while the movie is written (the longest pause is VP9's
        // look-ahead, encoded at once when the last frame is in).
        QElapsedTimer responsive;
        int longestGap = 0;
        bool shot = false;
        responsive.start();
        while (dialog.Timer3->isActive() && responsive.elapsed() < 60000) {
            QElapsedTimer gap;
            gap.start();
            QTest::qWait(20);
            longestGap = std::max(longestGap, int(gap.elapsed()));
            if (!shot && dialog.ProgressBar1->value() >= dialog.ProgressBar1->maximum() / 3) {
                saveScreenshot(screenOf(dialog), QStringLiteral("publish-dialog-web.png"));
                shot = true;
            }
        }
        QVERIFY(!dialog.Timer3->isActive());
        QVERIFY2(longestGap < 1500, qPrintable(QString::number(longestGap)));
        QVERIFY2(prompts->messages.isEmpty(), qPrintable(prompts->messages.isEmpty() ? "" : prompts->messages.last().text));
        QCOMPARE(dialog.WebStartButton->text(), QStringLiteral("开始"));
        QCOMPARE(avitest::probeStreams(movie).first().toObject().value("codec_name").toString(), QStringLiteral("vp9"));
        QTest::mouseClick(dialog.SpeedButton2, Qt::LeftButton);
        QTRY_VERIFY(!dialog.isVisible());
    }
};

QTEST_MAIN(PublishDialogGuiTest)
#include "gui_publish_dialog.moc"

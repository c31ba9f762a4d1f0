// The real dialogs under the window manager: a modal dialog opened while one of the program's
// always-on-top windows is shown comes up above it, where it can be seen and answered, whatever window
// owns it; and Qt's own buttons and dialogs speak Chinese as the rest of the interface.
#include "Rig.h"
#include "platform/Prompts.h"
#include "platform/StandardTexts.h"
#include "platform/VideoCompressors.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QtTest>

#include <functional>

using namespace quolva;

namespace {

// What the screen shows at the centre of a window, against what the window itself paints there.
bool shownOnTop(QWidget& window)
{
    const QPoint centre = window.geometry().center();
    const QImage screen = window.screen()->grabWindow(0, centre.x() - 8, centre.y() - 8, 16, 16).toImage();
    const QImage own = window.grab(QRect(window.rect().center() - QPoint(8, 8), QSize(16, 16))).toImage();
    return screen.convertToFormat(QImage::Format_RGB32) == own.convertToFormat(QImage::Format_RGB32);
}

} // namespace

class DialogsStayInSight : public QObject {
    Q_OBJECT

    // Opens a dialog through the real Prompts and looks at it once it is up, then closes it.
    void whileOpen(const std::function<void()>& open, const std::function<void(QWidget&)>& look)
    {
        bool looked = false;
        QTimer::singleShot(0, this, [&] {
            QTRY_VERIFY_WITH_TIMEOUT(QApplication::activeModalWidget() != nullptr, 5000);
            QWidget& dialog = *QApplication::activeModalWidget();
            QTRY_VERIFY_WITH_TIMEOUT(dialog.isVisible() && shownOnTop(dialog), 3000);
            look(dialog);
            looked = true;
            if (auto* modal = qobject_cast<QDialog*>(&dialog))
                modal->reject();
        });
        open();
        QVERIFY(looked);
    }

private slots:
    void initTestCase() { QUOLVA_REQUIRE_DISPLAY(); }

    // The publish dialog is always on top and the compressor chooser is owned by the main window; the
    // wizard is always on top and a message may belong to the panel.
    void modalDialogsComeUpAboveAnAlwaysOnTopWindow()
    {
        QWidget mainWindow;
        mainWindow.setGeometry(100, 100, 700, 500);
        mainWindow.show();
        QDialog onTop(nullptr, Qt::WindowStaysOnTopHint);
        onTop.setGeometry(150, 150, 600, 400);
        onTop.show();
        QVERIFY(QTest::qWaitForWindowExposed(&onTop));
        QTest::qWait(200);

        whileOpen([&] {
            platform::prompts().chooseVideoCompressor(&mainWindow, QStringLiteral("Select Compressor"), 0,
                                                      platform::InstalledVideoCompressors(), {});
        }, [](QWidget& chooser) { QCOMPARE(chooser.windowTitle(), QStringLiteral("Select Compressor")); });
        whileOpen([&] {
            platform::prompts().message(&mainWindow, QStringLiteral("请先打开文件"), QStringLiteral("提示"),
                                        platform::MessageIcon::Warning);
        }, [](QWidget& box) { QCOMPARE(box.windowTitle(), QStringLiteral("提示")); });
        platform::FileDialogRequest save;
        save.title = QStringLiteral("保存");
        save.filter = QStringLiteral("Flash File[*.swf]|*.swf");
        whileOpen([&] { platform::prompts().saveFile(&mainWindow, save); },
                  [](QWidget& dialog) { QCOMPARE(dialog.windowTitle(), QStringLiteral("保存")); });
        whileOpen([&] { platform::prompts().chooseColor(&mainWindow, Qt::blue); }, [](QWidget&) {});
    }

    void qtsOwnTextsAreChinese()
    {
        QVERIFY(platform::useChineseStandardTexts(*qApp));
        QMessageBox box(QMessageBox::Question, QStringLiteral("提示"), QStringLiteral("是否修复？"),
                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QCOMPARE(box.button(QMessageBox::Yes)->text().remove(QLatin1Char('&')).left(1), QStringLiteral("是"));
        QCOMPARE(box.button(QMessageBox::No)->text().remove(QLatin1Char('&')).left(1), QStringLiteral("否"));
        QCOMPARE(box.button(QMessageBox::Cancel)->text().remove(QLatin1Char('&')).left(2), QStringLiteral("取消"));
    }
};

QTEST_MAIN(DialogsStayInSight)
#include "gui_dialogs_stay_in_sight.moc"

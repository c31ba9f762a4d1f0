// The sound-format chooser the program shows (the real Prompts): titled as asked, it starts at the
// current format, lists the offered formats, and ends in success or cancel; with nothing to offer it
// fails at once. Driven through the wizard's picture button once, as a user would.
#include "RecordGuiSupport.h"
#include "Rig.h"
#include "app/Application.h"
#include "app/Startup.h"
#include "platform/Prompts.h"
#include "platform/WaveIn.h"
#include "record/PictureButton.h"
#include "record/SoundFormatArea.h"
#include "record/SoundFormatChooser.h"

#include <QDialogButtonBox>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include <functional>

using quolva::platform::SoundFormat;
using quolva::platform::SoundFormatChoice;

namespace {

const QList<SoundFormat> kOffered{SoundFormat::pcm(8000, 16, 1), SoundFormat::pcm(11025, 16, 1),
                                  SoundFormat::pcm(22050, 16, 2), SoundFormat::pcm(44100, 16, 2)};

// Runs `act` on the chooser once it is open.
void whenTheChooserIsOpen(std::function<void(QDialog&, QListWidget&, QDialogButtonBox&)> act)
{
    auto attempt = std::make_shared<std::function<void()>>();
    *attempt = [act, attempt] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            QTimer::singleShot(20, *attempt);
            return;
        }
        auto* list = dialog->findChild<QListWidget*>(QStringLiteral("formats"));
        auto* buttons = dialog->findChild<QDialogButtonBox*>();
        QVERIFY(list && buttons);
        act(*dialog, *list, *buttons);
    };
    QTimer::singleShot(20, *attempt);
}

} // namespace

class SoundFormatChooserTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QUOLVA_REQUIRE_DISPLAY(); }

    void startsAtTheCurrentFormatAndReturnsTheChosenOne()
    {
        QStringList shown;
        QString title;
        int startRow = -2;
        whenTheChooserIsOpen([&](QDialog& dialog, QListWidget& list, QDialogButtonBox& buttons) {
            title = dialog.windowTitle();
            startRow = list.selectedItems().isEmpty() ? -1 : list.row(list.selectedItems().front());
            for (int i = 0; i < list.count(); ++i)
                shown << list.item(i)->text();
            quolva::test::saveScreenshot(dialog.grab().toImage(), QStringLiteral("sound-format-chooser.png"));
            list.setCurrentRow(2);
            buttons.button(QDialogButtonBox::Ok)->click();
        });
        const SoundFormatChoice choice =
            quolva::platform::prompts().chooseSoundFormat(nullptr, QStringLiteral("Select Audio Format"),
                                                          SoundFormat::pcm(11025, 16, 1), kOffered);
        QCOMPARE(title, QStringLiteral("Select Audio Format"));
        QCOMPARE(startRow, 1);
        QCOMPARE(shown.size(), 4);
        QVERIFY2(shown[1].contains(QStringLiteral("11025 Hz")) && shown[1].contains(QStringLiteral("16 位"))
                     && shown[1].contains(QStringLiteral("单声道")),
                 qPrintable(shown[1]));
        QVERIFY2(shown[3].contains(QStringLiteral("立体声")), qPrintable(shown[3]));
        QCOMPARE(choice.result, quolva::platform::MMSYSERR_NOERROR);
        QCOMPARE(choice.format, SoundFormat::pcm(22050, 16, 2));
    }

    void cancelKeepsTheCurrentFormat()
    {
        whenTheChooserIsOpen([](QDialog&, QListWidget& list, QDialogButtonBox& buttons) {
            list.setCurrentRow(3);
            buttons.button(QDialogButtonBox::Cancel)->click();
        });
        const SoundFormatChoice choice = quolva::platform::prompts().chooseSoundFormat(
            nullptr, QStringLiteral("Select Audio Format"), SoundFormat::pcm(8000, 16, 1), kOffered);
        QCOMPARE(choice.result, quolva::platform::ACMERR_CANCELED);
        QCOMPARE(choice.format, SoundFormat::pcm(8000, 16, 1));
    }

    void aFormatThatIsNotOfferedSelectsNothing()
    {
        bool okEnabled = true;
        int startRow = -2;
        whenTheChooserIsOpen([&](QDialog& dialog, QListWidget& list, QDialogButtonBox& buttons) {
            startRow = list.selectedItems().isEmpty() ? -1 : list.row(list.selectedItems().front());
            okEnabled = buttons.button(QDialogButtonBox::Ok)->isEnabled();
            dialog.reject();
        });
        const SoundFormatChoice choice = quolva::platform::prompts().chooseSoundFormat(
            nullptr, QStringLiteral("Select Audio Format"), SoundFormat::pcm(11025, 8, 1), kOffered);
        QCOMPARE(startRow, -1);
        QVERIFY(!okEnabled);
        QCOMPARE(choice.result, quolva::platform::ACMERR_CANCELED);
    }

    void nothingToOfferFailsWithoutADialog()
    {
        QTimer watchdog;
        bool dialogSeen = false;
        connect(&watchdog, &QTimer::timeout, [&] {
            if (QApplication::activeModalWidget()) {
                dialogSeen = true;
                QApplication::activeModalWidget()->close();
            }
        });
        watchdog.start(20);
        const SoundFormatChoice choice = quolva::platform::prompts().chooseSoundFormat(
            nullptr, QStringLiteral("Select Audio Format"), SoundFormat::pcm(11025, 16, 1), {});
        QCOMPARE(choice.result, quolva::platform::ACMERR_NOTPOSSIBLE);
        QVERIFY(!dialogSeen);
    }

    void theWizardsPictureButtonOpensIt()
    {
        const auto windows = quolva::app::startUp();
        auto& wizard = windows->Form5();
        auto& session = windows->Form1().recorder().session;
        wizard.show();
        QVERIFY(QTest::qWaitForWindowExposed(&wizard));
        const QList<SoundFormat> offered = quolva::platform::supportedRecordingFormats();
        const qsizetype wanted = offered.indexOf(SoundFormat::pcm(44100, 16, 1));
        QVERIFY(wanted >= 0);
        QWidget* owner = nullptr;
        whenTheChooserIsOpen([&](QDialog& dialog, QListWidget& list, QDialogButtonBox& buttons) {
            owner = dialog.parentWidget();
            QCOMPARE(list.count(), offered.size());
            list.setCurrentRow(int(wanted));
            buttons.button(QDialogButtonBox::Ok)->click();
        });
        QTest::mouseClick(wizard.FormatButton, Qt::LeftButton);
        QCOMPARE(owner, static_cast<QWidget*>(&wizard));
        QCOMPARE(quolva::record::toPlatformFormat(session.soundFormat), SoundFormat::pcm(44100, 16, 1));
        QCOMPARE(session.audioStreamInfo.dwRate, 44100u);
        QCOMPARE(session.audioStreamInfo.dwSampleSize, 2u);
        wizard.SpeedButton7Click();
    }
};

QUOLVA_RECORD_GUI_TEST_MAIN(SoundFormatChooserTest)
#include "gui_sound_format_chooser.moc"

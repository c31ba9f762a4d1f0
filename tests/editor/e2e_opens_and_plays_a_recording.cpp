// A user records three seconds with `quolvactl record`, starts `quolva REC.avi` and plays it: every frame
// is shown in order at the recording's pace, and playback ends on frame 1 about when the sound ends.
#include "../record/RecordGuiSupport.h"
#include "Rig.h"
#include "ScriptedPrompts.h"
#include "app/Startup.h"
#include "editor/EditorControls.h"
#include "editor/Etool.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QToolButton>

using quolva::test::ScriptedPrompts;
using namespace quolva;

class OpensAndPlaysARecording : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void initTestCase()
    {
        QUOLVA_REQUIRE_DISPLAY();
        QUOLVA_REQUIRE_SOUND_SERVER();
    }

    void aRecordingOfQuolvactlPlaysToItsEnd()
    {
        const QString target = dir.filePath(QStringLiteral("demo.avi"));
        QProcess quolvactl;
        quolvactl.setProcessChannelMode(QProcess::MergedChannels);
        quolvactl.start(QDir(qEnvironmentVariable("QUOLVA_BIN_DIR")).filePath(QStringLiteral("quolvactl")),
                        {QStringLiteral("record"), target, QStringLiteral("--seconds"), QStringLiteral("3"),
                         QStringLiteral("--region"), QStringLiteral("320x240+50+50")});
        QVERIFY2(quolvactl.waitForStarted(), qPrintable(quolvactl.errorString()));
        QVERIFY(quolvactl.waitForFinished(60000));
        QVERIFY2(quolvactl.exitCode() == 0, quolvactl.readAll().constData());
        const int frames = test::frameCountOf(target);
        QVERIFY2(frames >= 20, qPrintable(QString::number(frames)));

        ScriptedPrompts::Installed prompts;
        const auto windows = app::startUp(target);
        editor::TForm7& window = windows->Form7();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.Edit1->text(), QStringLiteral("1"));
        QCOMPARE(window.Edit5->text(), QString::number(frames));
        const int interval = window.Timer6.interval();
        QCOMPARE(interval, window.recording().PlaybackIntervalMs());
        QVERIFY2(interval >= 80 && interval <= 130, qPrintable(QString::number(interval)));

        QStringList shown;
        connect(window.Edit1, &QLineEdit::textChanged, this, [&](const QString& number) { shown << number; });
        QElapsedTimer clock;
        clock.start();
        window.ToolButton6->click();
        QTRY_VERIFY_WITH_TIMEOUT(!window.Timer6.isActive(), 20000);
        const qint64 played = clock.elapsed();

        // Frames 2 to N in order, then frame 1.
        QStringList expected;
        for (int n = 2; n <= frames; ++n)
            expected << QString::number(n);
        expected << QStringLiteral("1");
        QCOMPARE(shown, expected);
        QCOMPARE(window.SpeedButton16->text(), QStringLiteral("结束"));
        // The pace: N − 1 steps and the end tick at the frame period, within a fifth of the sound's length
        // (the bench measures it closely).
        const double expectedMs = double(interval) * frames;
        QVERIFY2(std::abs(double(played) - expectedMs) < expectedMs / 5,
                 qPrintable(QStringLiteral("%1 ms played, %2 ms expected").arg(played).arg(expectedMs)));
        QVERIFY(prompts->messages.isEmpty());
        QVERIFY2(prompts->errors.isEmpty(), qPrintable(prompts->errors.join('\n')));
    }
};

int main(int argc, char** argv)
{
    test::useTemporaryConfig();
    app::QuolvaApplication application(argc, argv);
    OpensAndPlaysARecording test;
    return QTest::qExec(&test, argc, argv);
}

#include "e2e_opens_and_plays_a_recording.moc"

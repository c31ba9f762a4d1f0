// A user records a region with sound: the wizard sets up a new target and a 320 × 240 region over a
// red window, the panel's record button starts, about three seconds pass while a 660 Hz tone plays into
// the rig's sound card, the stop button ends it. The frame store holds the red frames, the AVI file the
// tone, and both pass quolvactl check and ffprobe.
#include "SoundAnalysis.h"
#include "RecordGuiSupport.h"
#include "Rig.h"
#include "ScriptedPrompts.h"
#include "app/Application.h"
#include "app/Startup.h"
#include "editor/Etool.h"
#include "record/PanelFace.h"
#include "store/FrameStoreWalk.h"
#include "store/Jpeg.h"

#include <QDataStream>
#include <QLabel>
#include <QtMath>

using quolva::test::ScriptedPrompts;

namespace {

constexpr double kToneHz = 660.0;

// A 16-bit stereo WAV file of a sine.
bool writeTone(const QString& path, double hz, int seconds)
{
    const int rate = 44100;
    QByteArray pcm;
    QDataStream samples(&pcm, QIODevice::WriteOnly);
    samples.setByteOrder(QDataStream::LittleEndian);
    for (int i = 0; i < rate * seconds; ++i) {
        const auto v = static_cast<qint16>(12000 * std::sin(2 * M_PI * hz * i / rate));
        samples << v << v;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QDataStream out(&file);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("RIFF", 4);
    out << quint32(36 + pcm.size());
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(2) << quint32(rate) << quint32(rate * 4) << quint16(4) << quint16(16);
    out.writeRawData("data", 4);
    out << quint32(pcm.size());
    out.writeRawData(pcm.constData(), int(pcm.size()));
    return out.status() == QDataStream::Ok;
}

QString run(const QString& program, const QStringList& arguments, int* status)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForStarted()) {
        *status = -1;
        return QStringLiteral("%1 could not be started: %2").arg(program, process.errorString());
    }
    if (!process.waitForFinished(60000)) {
        *status = -1;
        return QStringLiteral("%1 did not finish").arg(program);
    }
    *status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromUtf8(process.readAll());
}

} // namespace

class RecordsThroughWizardAndPanel : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QUOLVA_REQUIRE_DISPLAY();
        QUOLVA_REQUIRE_SOUND_SERVER();
        QVERIFY2(!qEnvironmentVariableIsEmpty("QUOLVA_RIG_SINK"), "run through scripts/with-rig.sh");
    }

    void recordsARegionWithSound()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("demo.avi"));
        const QString tone = dir.filePath(QStringLiteral("tone.wav"));
        QVERIFY(writeTone(tone, kToneHz, 10));

        // What the region will show: a red window.
        QWidget red;
        red.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        red.setAutoFillBackground(true);
        QPalette palette = red.palette();
        palette.setColor(QPalette::Window, QColor(255, 0, 0));
        red.setPalette(palette);
        red.setGeometry(100, 100, 320, 240);
        red.show();
        QVERIFY(QTest::qWaitForWindowExposed(&red));

        ScriptedPrompts::Installed prompts;
        const auto windows = quolva::app::startUp();
        auto& panel = windows->Form1();
        auto& recorder = panel.recorder();
        quolva::test::prepareRegionRecording(*windows, *prompts, target, 320, QPoint(100, 100));
        QCOMPARE(windows->Form2().captureRect(), QRect(100, 100, 320, 240));
        windows->Form7().hide();
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));

        QProcess player;
        player.start(QStringLiteral("paplay"), {QStringLiteral("-d"), qEnvironmentVariable("QUOLVA_RIG_SINK"), tone});
        QVERIFY(player.waitForStarted());
        QTest::qWait(300);

        const auto click = [&](quolva::record::PanelShapeId id) {
            return quolva::test::pointerTo(panel, panel.face->shape(id).bounds.center())
                   && quolva::test::xdotool({QStringLiteral("click"), QStringLiteral("1")});
        };
        QVERIFY(click(quolva::record::PanelShapeId::Shape1));
        QTRY_VERIFY(recorder.isRecording());
        QTest::qWait(3000);
        QVERIFY(click(quolva::record::PanelShapeId::Shape6));
        QTRY_VERIFY_WITH_TIMEOUT(panel.Label1->text() == QStringLiteral("End"), 10000);
        QVERIFY(!panel.isVisible());
        QVERIFY(windows->Form7().isVisible());
        player.kill();
        player.waitForFinished();
        QVERIFY(prompts->messages.isEmpty());
        QVERIFY2(prompts->errors.isEmpty(), qPrintable(prompts->errors.join('\n')));

        // The frames: whole records, counted by the header, each the red region.
        const int frames = quolva::test::frameCountOf(target);
        QVERIFY2(frames >= 20 && frames <= 40, qPrintable(QString::number(frames)));
        {
            auto store = quolva::store::FrameStore::OpenFrameStoreReadOnly(
                std::filesystem::path((target + ".xxx").toStdString()));
            const quolva::store::FrameStoreWalk walk = quolva::store::WalkFramesForwards(store);
            QVERIFY2(walk.Clean(), walk.fault.c_str());
            QCOMPARE(int(walk.recordStarts.size()), frames);
            for (const std::int64_t start : {walk.recordStarts.front(), walk.recordStarts.back()}) {
                store.Seek(start);
                const quolva::store::Picture picture = store.DecodeFrame(store.ReadNextFrame());
                QCOMPARE(picture.Width(), 320);
                QCOMPARE(picture.Height(), 240);
                const std::uint8_t* pixel = picture.Row(120) + 3 * 160;
                QVERIFY2(pixel[0] > 230 && pixel[1] < 30 && pixel[2] < 30,
                         qPrintable(QStringLiteral("%1 %2 %3").arg(pixel[0]).arg(pixel[1]).arg(pixel[2])));
            }
        }

        // The sound: about the recording's length of the tone, at the default format.
        {
            using namespace quolva::store;
            PAVIFILE avi;
            QCOMPARE(AVIFileOpen(&avi, target.toStdString(), OF_READ), AVIERR_OK);
            PAVISTREAM audio;
            QCOMPARE(AVIFileGetStream(avi, &audio, streamtypeAUDIO, 0), AVIERR_OK);
            SoundFormatArea format{};
            LONG formatSize = sizeof(format);
            AVIStreamReadFormat(audio, 0, &format, &formatSize);
            QCOMPARE(format.format.nSamplesPerSec, 11025u);
            QCOMPARE(format.format.nChannels, 1);
            const LONG bytes = AVIStreamLength(audio);
            QVERIFY2(bytes >= 2 * 22050 && bytes <= 5 * 22050, qPrintable(QString::number(bytes)));
            QByteArray pcm(bytes, Qt::Uninitialized);
            LONG read = 0;
            LONG samples = 0;
            QCOMPARE(AVIStreamRead(audio, 0, bytes, pcm.data(), bytes, &read, &samples), AVIERR_OK);
            QCOMPARE(read, bytes);
            AVIStreamRelease(audio);
            AVIFileRelease(avi);
            // The middle second (from a whole sample on): the tone.
            const std::vector<double> sound = soundtest::samples16(pcm.mid((pcm.size() / 4) * 2 - 11024, 22050));
            double power = 0;
            for (double v : sound)
                power += v * v;
            const double heard = soundtest::dominantFrequency(sound, 11025);
            QVERIFY2(std::abs(heard - kToneHz) < 2.0,
                     qPrintable(QStringLiteral("%1 Hz heard, mean power %2").arg(heard).arg(power / double(sound.size()))));
        }

        // Independent readers.
        int status = 0;
        const QString ffprobe = run(QStringLiteral("ffprobe"),
                                    {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                                     QStringLiteral("stream=codec_name,sample_rate,channels"), QStringLiteral("-of"),
                                     QStringLiteral("csv=p=0"), target},
                                    &status);
        QCOMPARE(status, 0);
        QCOMPARE(ffprobe.trimmed(), QStringLiteral("pcm_s16le,11025,1"));
        const QString quolvactl = QDir(qEnvironmentVariable("QUOLVA_BIN_DIR")).filePath(QStringLiteral("quolvactl"));
        const QString check = run(quolvactl, {QStringLiteral("check"), target}, &status);
        QVERIFY2(status == 0, qPrintable(check));
    }
};

int main(int argc, char** argv)
{
    quolva::test::useTemporaryConfig();
    qunsetenv("QUOLVA_SOUND_SOURCE"); // the rig's sound card, for real
    quolva::app::QuolvaApplication application(argc, argv);
    RecordsThroughWizardAndPanel test;
    return QTest::qExec(&test, argc, argv);
}

#include "e2e_records_through_wizard_and_panel.moc"

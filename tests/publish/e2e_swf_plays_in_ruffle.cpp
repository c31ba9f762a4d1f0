// Published movies played in a real SWF player: Ruffle in Debian's Chromium, driven by playwright-core
// (tests/publish/player/play.mjs). The player's screenshots show the recorded frames pixel for pixel,
// its frames advance at the header's rate, and the sound it hands to the audio output is the recorded
// tone. The second case is the user's whole road at full HD: quolvactl record on a 1920 × 1080 screen
// with a tone playing, quolvactl publish --swf, and the movie shown whole in the player, with its sound.
//
// The sound is taken where Ruffle hands it to the browser: every AudioBuffer that it starts is copied
// by a script the page runs first (so the check does not depend on a sound card or on the sound server).
#include "Rig.h"
#include "SoundAnalysis.h"
#include "SwfExportSupport.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

#include <cmath>

using namespace quolva;
using namespace quolva::test;

namespace {

constexpr int kCodeBits = 8;

// Frame k of the synthetic recording: a diagonal colour ramp that shifts with k, and k in binary as
// eight squares along the top (white for 1, black for 0), which the player's pixels are read by.
QImage CodedFrame(int k, int width, int height)
{
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.setPixel(x, y, qRgb((x * 255 / width + 7 * k) % 256, (y * 255 / height) % 256, (x + y + 40 * k) % 256));
    QPainter painter(&picture);
    for (int bit = 0; bit < kCodeBits; ++bit)
        painter.fillRect(16 + 36 * bit, 16, 24, 24, (k >> bit & 1) ? Qt::white : Qt::black);
    return picture;
}

QPoint CodePoint(int bit)
{
    return {28 + 36 * bit, 28};
}

int CodeOf(const std::function<QRgb(QPoint)>& colourAt)
{
    int code = 0;
    for (int bit = 0; bit < kCodeBits; ++bit)
        if (qGray(colourAt(CodePoint(bit))) > 128)
            code |= 1 << bit;
    return code;
}

struct Played {
    QString failure;
    QJsonObject report;
    std::vector<QImage> shots;
    std::vector<double> audio;
    double audioRate = 0;
};

// Runs the player on a movie; a failure to bring it up comes back as text (the test then fails).
Played Play(const QString& movie, const QString& outDir, double seconds, const QString& shots, const QString& probe = {})
{
    Played played;
    const QString playerDir = qEnvironmentVariable("QUOLVA_PLAYER_DIR");
    if (playerDir.isEmpty()) {
        played.failure = QStringLiteral("QUOLVA_PLAYER_DIR is not set: run the test through ctest");
        return played;
    }
    if (!QFileInfo::exists(QStringLiteral("/usr/bin/chromium"))) {
        played.failure = QStringLiteral("/usr/bin/chromium is missing: scripts/install-deps.sh installs it");
        return played;
    }
    if (!QFileInfo::exists(playerDir + QStringLiteral("/node_modules/@ruffle-rs/ruffle/ruffle.js")) ||
        !QFileInfo::exists(playerDir + QStringLiteral("/node_modules/playwright-core/package.json"))) {
        played.failure = QStringLiteral("Ruffle or playwright-core is not installed in %1 (npm ci)").arg(playerDir);
        return played;
    }
    QStringList arguments{playerDir + QStringLiteral("/play.mjs"), movie, outDir, QStringLiteral("--seconds"),
                          QString::number(seconds), QStringLiteral("--shots"), shots};
    if (!probe.isEmpty())
        arguments << QStringLiteral("--probe") << probe;
    QProcess node;
    node.start(QStringLiteral("node"), arguments);
    if (!node.waitForStarted(10000) || !node.waitForFinished(180000)) {
        played.failure = QStringLiteral("node did not run: ") + node.errorString();
        return played;
    }
    const QByteArray output = node.readAllStandardOutput();
    if (node.exitStatus() != QProcess::NormalExit || node.exitCode() != 0) {
        played.failure = QStringLiteral("the player failed: ") + QString::fromLocal8Bit(node.readAllStandardError());
        return played;
    }
    played.report = QJsonDocument::fromJson(output).object();
    for (const QJsonValue& shot : played.report["shots"].toArray())
        played.shots.push_back(QImage(shot.toObject()["path"].toString()).convertToFormat(QImage::Format_RGB32));
    const QByteArray audio = ReadFile(outDir + QStringLiteral("/audio.f32"));
    const auto* samples = reinterpret_cast<const float*>(audio.constData());
    played.audio.assign(samples, samples + audio.size() / 4);
    played.audioRate = played.report["audio"].toObject()["sampleRate"].toDouble();
    return played;
}

// The mean and the largest difference of one colour channel between the shown picture and the frame,
// over the rectangle the movie's shape covers (one pixel narrower and lower than the frame).
struct Difference {
    double mean = 0;
    int largest = 0;
};

Difference Compare(const QImage& shown, const QImage& frame, QRect area = {})
{
    if (area.isNull())
        area = QRect(0, 0, frame.width() - 1, frame.height() - 1);
    Difference d;
    qint64 total = 0, count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb a = shown.pixel(x, y), b = frame.pixel(x, y);
            for (int c : {std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))}) {
                total += c;
                d.largest = std::max(d.largest, c);
                ++count;
            }
        }
    d.mean = count ? double(total) / double(count) : 255;
    return d;
}

// The window that fills the full-HD screen of the second case: a picture that differs everywhere, with
// a different colour in each corner, so that a movie cut short or shifted anywhere shows it.
class ScreenPattern : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const int w = width(), h = height();
        QLinearGradient ramp(0, 0, w, h);
        ramp.setColorAt(0, QColor(20, 60, 200));
        ramp.setColorAt(1, QColor(240, 200, 40));
        painter.fillRect(rect(), ramp);
        painter.setPen(QPen(Qt::black, 3));
        for (int x = 0; x < w; x += 160)
            painter.drawLine(x, 0, x, h);
        for (int y = 0; y < h; y += 120)
            painter.drawLine(0, y, w, y);
        painter.fillRect(0, 0, 200, 150, QColor(230, 30, 30));
        painter.fillRect(w - 200, 0, 200, 150, QColor(30, 200, 60));
        painter.fillRect(0, h - 150, 200, 150, QColor(250, 250, 250));
        painter.fillRect(w - 200, h - 150, 200, 150, QColor(140, 30, 180));
        QFont font = painter.font();
        font.setPixelSize(90);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(rect(), Qt::AlignCenter, QStringLiteral("Quolva 1920 × 1080"));
    }
};

// A private X display of the given size, stopped when the object goes.
class PrivateDisplay {
public:
    explicit PrivateDisplay(const QString& size)
    {
        QTemporaryFile* number = new QTemporaryFile(&owner_);
        number->open();
        server_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        server_.start(QStringLiteral("sh"), {QStringLiteral("-c"),
                                             QStringLiteral("exec Xvfb -displayfd 3 -screen 0 %1 -nolisten tcp -noreset 3>%2")
                                                 .arg(size, number->fileName())});
        for (int i = 0; i < 200 && display_.isEmpty(); ++i) {
            QThread::msleep(25);
            QFile file(number->fileName());
            if (file.open(QIODevice::ReadOnly))
                display_ = QString::fromLatin1(file.readAll()).trimmed();
        }
        if (!display_.isEmpty())
            display_.prepend(QLatin1Char(':'));
    }
    ~PrivateDisplay()
    {
        server_.terminate();
        server_.waitForFinished(5000);
    }
    const QString& name() const { return display_; }

private:
    QObject owner_;
    QProcess server_;
    QString display_;
};

QProcessEnvironment WithDisplay(const QString& display)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    return environment;
}

} // namespace

class SwfInRuffleTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void initTestCase()
    {
        QUOLVA_REQUIRE_DISPLAY();
        QUOLVA_REQUIRE_SOUND_SERVER();
    }

    // 31 coded frames over 3 s of a 660 Hz tone: 30 frames at 10.33 a second.
    void publishedRecordingPlaysInRuffle()
    {
        RecordingRecipe recipe{.frames = 31, .width = 320, .height = 240};
        recipe.soundBytes = 3 * 11025 * 2;
        recipe.toneHz = 660;
        recipe.picture = CodedFrame;
        const QString rec = MakeRecording(dir.path(), QStringLiteral("coded.avi"), recipe);
        const QString movie = dir.filePath(QStringLiteral("coded.swf"));
        const ExportRun run = RunExport(rec, movie);
        QVERIFY(!run.refusal);
        const SwfFile swf = ParseSwf(ReadFile(movie));
        const double headerRate = swf.rateInteger + swf.rateFraction / 256.0;
        QCOMPARE(swf.frameCount, quint16(30));

        QString probe;
        for (int bit = 0; bit < kCodeBits; ++bit)
            probe += QStringLiteral("%1,%2;").arg(CodePoint(bit).x()).arg(CodePoint(bit).y());
        const QString outDir = dir.filePath(QStringLiteral("coded-play"));
        QVERIFY(QDir().mkpath(outDir));
        const Played played = Play(movie, outDir, 2.6, QStringLiteral("0.6,1.3,2.0"), probe);
        QVERIFY2(played.failure.isEmpty(), qPrintable(played.failure));
        QVERIFY2(played.report["refused"].toArray().isEmpty(), "the page asked for something beyond 127.0.0.1");
        const QJsonObject metadata = played.report["metadata"].toObject();
        QCOMPARE(metadata["numFrames"].toInt(), 30);
        QCOMPARE(metadata["frameRate"].toDouble(), headerRate);

        // The picture: each screenshot is a recorded frame, pixel for pixel but for rounding.
        const std::vector<QImage> frames = DecodedFrames(rec);
        QCOMPARE(played.shots.size(), std::size_t{3});
        for (const QImage& shot : played.shots) {
            QCOMPARE(shot.size(), QSize(321, 241));
            const int k = CodeOf([&](QPoint p) { return shot.pixel(p); });
            QVERIFY2(k < 30, qPrintable(QStringLiteral("code %1").arg(k)));
            const Difference d = Compare(shot, frames[static_cast<std::size_t>(k)]);
            qInfo("screenshot shows frame %d: mean difference %.3f, largest %d", k, d.mean, d.largest);
            QVERIFY2(d.mean < 1.0 && d.largest <= 8, qPrintable(QStringLiteral("frame %1 differs: mean %2, largest %3")
                                                                   .arg(k).arg(d.mean).arg(d.largest)));
            // The neighbour differs plainly: the comparison can tell frames apart.
            QVERIFY(Compare(shot, frames[static_cast<std::size_t>(k + 1)]).mean > 5);
        }

        // The pace: when each frame first appeared, over the first run through the movie.
        QList<QPair<double, int>> firstSeen;
        for (const QJsonValue& sample : played.report["probes"].toArray()) {
            const QJsonArray rgb = sample.toObject()["rgb"].toArray();
            const int k = CodeOf([&](QPoint p) {
                const QJsonArray c = rgb[(p.x() - 28) / 36].toArray();
                return qRgb(c[0].toInt(), c[1].toInt(), c[2].toInt());
            });
            if (k >= 30)
                continue; // not a frame of the movie: the stage before the first frame (white)
            if (!firstSeen.isEmpty() && k < firstSeen.last().second)
                break; // the movie started over
            if (firstSeen.isEmpty() || k != firstSeen.last().second)
                firstSeen << qMakePair(sample.toObject()["t"].toDouble(), k);
        }
        QVERIFY2(firstSeen.size() >= 15, qPrintable(QStringLiteral("only %1 frames seen").arg(firstSeen.size())));
        int skipped = 0;
        for (qsizetype i = 1; i < firstSeen.size(); ++i)
            skipped += firstSeen[i].second - firstSeen[i - 1].second - 1;
        // A player that falls behind may run two frames between two paintings; a few, not many.
        QVERIFY2(skipped <= 4, qPrintable(QStringLiteral("%1 frames never shown").arg(skipped)));
        // A line through (time, frame) of every frame change: its slope is the rate shown.
        double st = 0, sk = 0, stt = 0, stk = 0;
        const auto n = static_cast<double>(firstSeen.size());
        for (const auto& [t, k] : firstSeen) {
            st += t / 1000;
            sk += k;
            stt += t / 1000 * t / 1000;
            stk += t / 1000 * k;
        }
        const double shownRate = (n * stk - st * sk) / (n * stt - st * st);
        qInfo("header rate %.3f, frames advanced at %.3f a second", headerRate, shownRate);
        QVERIFY2(std::abs(shownRate - headerRate) < 0.08 * headerRate,
                 qPrintable(QStringLiteral("frames advanced at %1 a second, the header says %2").arg(shownRate).arg(headerRate)));

        // The sound: Ruffle played the 660 Hz tone, for about as long as the movie ran.
        QVERIFY2(played.audioRate > 0, "Ruffle started no sound");
        std::vector<double> loud;
        for (double v : played.audio)
            if (std::abs(v) > 0.02)
                loud.push_back(v);
        const double loudSeconds = double(loud.size()) / played.audioRate;
        qInfo("sound: %.2f s handed to the output, %.2f s of it above silence", double(played.audio.size()) / played.audioRate,
              loudSeconds);
        QVERIFY2(loudSeconds > 1.5, qPrintable(QStringLiteral("only %1 s of sound").arg(loudSeconds)));
        const double pitch = soundtest::dominantFrequency(played.audio, played.audioRate, 100, 4000);
        QVERIFY2(std::abs(pitch - 660) < 3, qPrintable(QStringLiteral("the sound's pitch is %1 Hz").arg(pitch)));
    }

    // The whole road at full HD: a screen of 1920 × 1080 recorded by quolvactl with a tone playing,
    // published with quolvactl publish --swf, shown whole by the player, with its sound.
    void fullHdRecordingShowsWhole()
    {
        PrivateDisplay display(QStringLiteral("1920x1080x24"));
        QVERIFY2(!display.name().isEmpty(), "Xvfb did not start");
        QProcess painter;
        painter.setProcessEnvironment(WithDisplay(display.name()));
        painter.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--paint-screen")});
        QVERIFY(painter.waitForStarted(10000));
        QVERIFY(painter.waitForReadyRead(15000)); // it says when the picture is on the screen

        const QString bin = qEnvironmentVariable("QUOLVA_BIN_DIR");
        const QString target = dir.filePath(QStringLiteral("fullhd.avi"));
        QTemporaryFile tone(dir.filePath(QStringLiteral("toneXXXXXX.wav")));
        QVERIFY(tone.open());
        tone.write(soundtest::toneWav(880, 44100, 6));
        tone.flush();
        QProcess speaker;
        speaker.start(QStringLiteral("paplay"), {QStringLiteral("--device=") + qEnvironmentVariable("QUOLVA_RIG_SINK"),
                                                 tone.fileName()});
        QVERIFY(speaker.waitForStarted(5000));
        QThread::msleep(500);
        QProcess recorder;
        recorder.setProcessEnvironment(WithDisplay(display.name()));
        recorder.start(bin + QStringLiteral("/quolvactl"), {QStringLiteral("record"), target, QStringLiteral("--full-screen"),
                                                            QStringLiteral("--seconds"), QStringLiteral("3")});
        QVERIFY(recorder.waitForFinished(60000));
        QVERIFY2(recorder.exitCode() == 0, recorder.readAllStandardError().constData());
        speaker.kill();
        speaker.waitForFinished(5000);
        painter.kill();
        painter.waitForFinished(5000);

        const QString movie = dir.filePath(QStringLiteral("fullhd.swf"));
        QProcess publisher;
        publisher.start(bin + QStringLiteral("/quolvactl"), {QStringLiteral("publish"), target, QStringLiteral("--swf"), movie});
        QVERIFY(publisher.waitForFinished(120000));
        QVERIFY2(publisher.exitCode() == 0, publisher.readAllStandardError().constData());
        qInfo("%s", publisher.readAllStandardOutput().trimmed().constData());
        const SwfFile swf = ParseSwf(ReadFile(movie));
        QCOMPARE(swf.rect[1], 1921 * 20);
        QCOMPARE(swf.rect[3], 1081 * 20);
        QVERIFY(swf.frameCount >= 20);

        const QString outDir = dir.filePath(QStringLiteral("fullhd-play"));
        QVERIFY(QDir().mkpath(outDir));
        const Played played = Play(movie, outDir, 2.5, QStringLiteral("1.2"));
        QVERIFY2(played.failure.isEmpty(), qPrintable(played.failure));
        QVERIFY(played.report["refused"].toArray().isEmpty());
        QCOMPARE(played.shots.size(), std::size_t{1});
        const QImage& shot = played.shots[0];
        QCOMPARE(shot.size(), QSize(1921, 1081));
        QVERIFY(shot.save(dir.filePath(QStringLiteral("fullhd-shot.png"))));
        if (!qEnvironmentVariableIsEmpty("QUOLVA_KEEP_SHOT"))
            shot.save(qEnvironmentVariable("QUOLVA_KEEP_SHOT"));

        // The screen does not change: every frame shows it, and the player shows it whole, corners too.
        const std::vector<QImage> frames = DecodedFrames(target);
        const QImage& frame = frames[frames.size() / 2];
        const Difference whole = Compare(shot, frame);
        qInfo("full HD: mean difference %.3f, largest %d", whole.mean, whole.largest);
        QVERIFY2(whole.mean < 1.0, qPrintable(QStringLiteral("mean difference %1").arg(whole.mean)));
        for (const QRect& corner : {QRect(0, 0, 200, 150), QRect(1719, 0, 200, 150), QRect(0, 929, 200, 150),
                                    QRect(1719, 929, 200, 150)}) {
            const Difference d = Compare(shot, frame, corner);
            QVERIFY2(d.mean < 1.0 && d.largest <= 16,
                     qPrintable(QStringLiteral("corner at %1,%2: mean %3").arg(corner.x()).arg(corner.y()).arg(d.mean)));
        }
        QCOMPARE(QColor(shot.pixel(1900, 1060)), QColor(frame.pixel(1900, 1060)));

        QVERIFY2(played.audioRate > 0, "Ruffle started no sound");
        const double pitch = soundtest::dominantFrequency(played.audio, played.audioRate, 100, 4000);
        qInfo("full HD: sound at %.1f Hz", pitch);
        QVERIFY2(std::abs(pitch - 880) < 3, qPrintable(QStringLiteral("the sound's pitch is %1 Hz").arg(pitch)));
    }
};

int main(int argc, char** argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--paint-screen") == 0) {
        QApplication application(argc, argv);
        ScreenPattern pattern;
        pattern.setWindowFlags(Qt::FramelessWindowHint);
        pattern.setGeometry(QGuiApplication::primaryScreen()->geometry());
        pattern.show();
        QTimer::singleShot(1000, [] {
            std::fputs("shown\n", stdout);
            std::fflush(stdout);
        });
        return QApplication::exec();
    }
    QApplication application(argc, argv);
    SwfInRuffleTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "e2e_swf_plays_in_ruffle.moc"

#pragma once
// Helpers of the recording panel's and the wizard's GUI tests: a private settings folder, the wizard
// driven through its steps, screenshots, xdotool.

#include "ScreenPictures.h"
#include "ScriptedPrompts.h"
#include "app/Application.h"
#include "app/WindowSet.h"
#include "platform/ArrowPointer.h"
#include "record/Recorder.h"
#include "record/Unit1.h"
#include "record/Unit2.h"
#include "record/Unit3.h"
#include "record/Unit5.h"
#include "store/AviFileServices.h"
#include "store/FrameStore.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QProcess>
#include <QRadioButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>

namespace quolva::test {

// The skin setting is the program's one persistent file: tests keep theirs in a folder of their own,
// never in the user's ~/.config. Call before the application object exists.
inline QString useTemporaryConfig()
{
    static QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    return config.path();
}

// The file QSettings keeps the skin setting in.
inline QString skinSettingsFile()
{
    return QDir(qEnvironmentVariable("XDG_CONFIG_HOME")).filePath(QStringLiteral("Quolvaer/cg.conf"));
}

// Runs xdotool with the arguments; fails the test when it fails.
inline bool xdotool(const QStringList& arguments)
{
    return QProcess::execute(QStringLiteral("xdotool"), arguments) == 0;
}

// Moves the real pointer to a point of a widget.
inline bool pointerTo(QWidget& widget, QPoint local)
{
    const QPoint at = widget.mapToGlobal(local);
    return xdotool({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y())});
}

// Where the window system shows a window's client area, in screen pixels (asked of the X server).
inline QRect clientRectOnScreen(QWidget& window)
{
    QProcess probe;
    probe.start(QStringLiteral("xwininfo"), {QStringLiteral("-id"), QString::number(window.winId())});
    probe.waitForFinished();
    QRect at;
    for (const QByteArray& line : probe.readAllStandardOutput().split('\n')) {
        const int value = line.mid(line.indexOf(':') + 1).trimmed().toInt();
        if (line.contains("Absolute upper-left X:"))
            at.moveLeft(value);
        else if (line.contains("Absolute upper-left Y:"))
            at.moveTop(value);
        else if (line.contains("Width:"))
            at.setWidth(value);
        else if (line.contains("Height:"))
            at.setHeight(value);
    }
    return at;
}

// Drives a shown wizard from step 0 through a new target at `path` to the region path's step 5, with the
// region size in Edit1 (its height three quarters of it).
// Drives a shown wizard from step 0 through a new target at `path` to step 2 (full screen or a region).
inline void wizardToNewTarget(record::TForm5& wizard, ScriptedPrompts& prompts, const QString& path)
{
    wizard.SpeedButton6Click(); // 0 -> 1
    wizard.Rg1New->setChecked(true);
    prompts.answerFiles({path});
    wizard.SpeedButton6Click(); // 1 -> 2: the new target
}

inline void wizardToRegionFinish(record::TForm5& wizard, ScriptedPrompts& prompts, const QString& path, int width = 640)
{
    wizardToNewTarget(wizard, prompts, path);
    wizard.CheckBox1->setChecked(false);
    wizard.SpeedButton6Click(); // 2 -> 3
    wizard.Edit1->setText(QString::number(width));
    wizard.Edit1Return();
    wizard.SpeedButton6Click(); // 3 -> 4
    wizard.SpeedButton6Click(); // 4 -> 5
}

// Prepares a region recording of `path` through the wizard, as a user would: opened, led to the end
// and finished. The viewfinder sits at `place`.
inline void prepareRegionRecording(app::WindowSet& windows, ScriptedPrompts& prompts, const QString& path,
                                   int width = 640, QPoint place = QPoint(100, 100))
{
    record::TForm5& wizard = windows.Form5();
    wizard.show();
    QVERIFY(wizard.isVisible());
    wizardToRegionFinish(wizard, prompts, path, width);
    QCOMPARE(wizard.step, 5);
    windows.Form2().move(place);
    wizard.SpeedButton6Click(); // finish
    QVERIFY(!wizard.isVisible());
    QVERIFY(windows.Form1().recorder().session.ready);
}

// A borderless window over the whole screen, below the others, showing a picture drawn in screen pixels.
class ScreenPicture : public QWidget {
public:
    explicit ScreenPicture(const std::function<void(QImage&)>& draw)
        : QWidget(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnBottomHint)
    {
        QScreen* screen = QGuiApplication::primaryScreen();
        setGeometry(screen->geometry());
        const qreal scale = screen->devicePixelRatio();
        picture_ = QImage((QSizeF(screen->geometry().size()) * scale).toSize(), QImage::Format_RGB32);
        draw(picture_);
        picture_.setDevicePixelRatio(scale);
    }
    const QImage& picture() const { return picture_; }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).drawImage(0, 0, picture_); }

private:
    QImage picture_;
};

// A screen picture whose every pixel tells where it lies: red is x / 5, green is y / 4 (in screen
// pixels), blue is 128. A frame grabbed from it tells where on the screen it was taken, even through JPEG.
class PositionPicture : public ScreenPicture {
public:
    PositionPicture()
        : ScreenPicture([](QImage& picture) {
              for (int y = 0; y < picture.height(); ++y)
                  for (int x = 0; x < picture.width(); ++x)
                      picture.setPixel(x, y, qRgb(std::min(255, x / 5), std::min(255, y / 4), 128));
          })
    {
    }
};

// The screen point that a frame of a PositionPicture shows at `at` (the mean of 7 × 7 pixels around it).
inline QPoint screenPointShown(const QImage& frame, QPoint at)
{
    double red = 0, green = 0;
    int n = 0;
    for (int dy = -3; dy <= 3; ++dy)
        for (int dx = -3; dx <= 3; ++dx) {
            const QColor c = frame.pixelColor(at + QPoint(dx, dy));
            red += c.red();
            green += c.green();
            ++n;
        }
    return {int(red / n * 5 + 2), int(green / n * 4 + 1)};
}

// The bounds of the dark pixels (the arrow's outline: a PositionPicture has none).
inline QRect darkBounds(const QImage& frame)
{
    QRect bounds;
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x) {
            const QColor c = frame.pixelColor(x, y);
            if (c.red() < 50 && c.green() < 50 && c.blue() < 50)
                bounds |= QRect(x, y, 1, 1);
        }
    return bounds;
}

// Where the arrow drawn into a frame has its tip, from the bounds of its dark outline; null when the
// frame shows no arrow.
inline std::optional<QPoint> arrowTipIn(const QImage& frame)
{
    const QRect bounds = darkBounds(frame);
    if (bounds.isEmpty())
        return std::nullopt;
    QImage probe(100, 100, QImage::Format_RGB32);
    probe.fill(QColor(128, 128, 128));
    platform::drawArrowPointer(probe, QPoint(50, 50));
    return bounds.topLeft() + (QPoint(50, 50) - darkBounds(probe).topLeft());
}

// The frames of a recording's store, as pictures.
inline QList<QImage> framesOf(const QString& target)
{
    QList<QImage> pictures;
    store::FrameStore frames = store::FrameStore::OpenFrameStoreReadOnly(
        std::filesystem::path(record::RecordingSession::FrameStorePath(target).toStdString()));
    frames.Seek(store::kFrameStoreHeaderSize);
    while (frames.Position() < frames.Size()) {
        const store::Picture picture = frames.DecodeFrame(frames.ReadNextFrame());
        QImage image(picture.Width(), picture.Height(), QImage::Format_RGB888);
        for (int y = 0; y < picture.Height(); ++y)
            std::memcpy(image.scanLine(y), picture.Row(y), std::size_t(picture.Width()) * 3);
        pictures << image.convertToFormat(QImage::Format_RGB32);
    }
    return pictures;
}

// A finished recording at `path` whose frames are `frames` pictures of `size`, made with the engine
// itself: the AVI file with its (empty) audio stream and the frame store beside it.
inline void makeRecording(const QString& path, QSize size, int frames, const store::SoundFormatArea* format = nullptr)
{
    record::RecordingSession session;
    session.ResetRecordingDefaults();
    if (format) {
        session.soundFormat = *format;
        session.ApplySoundFormatToStreamInfo();
    }
    session.NewTarget(path);
    store::AVIStreamSetFormat(session.audioStream, 0, &session.soundFormat, sizeof(session.soundFormat));
    session.OpenFrameStoreForRecording(size);
    for (int i = 0; i < frames; ++i) {
        QImage picture(size, QImage::Format_RGB32);
        picture.fill(QColor::fromHsv((i * 40) % 360, 200, 220));
        record::AppendCaptureBitmap(*session.frameStore, picture);
        ++session.frameCounter;
    }
    session.CloseRecordingFiles();
}

// The number of frames the header of a frame store counts.
inline int frameCountOf(const QString& target)
{
    store::FrameStore frames = store::FrameStore::OpenFrameStoreReadOnly(
        std::filesystem::path(record::RecordingSession::FrameStorePath(target).toStdString()));
    return frames.ReadFrameCount();
}

} // namespace quolva::test

// A GUI test program: the settings in a private folder, the synthetic tone as the sound input unless
// the test chose otherwise, the program's own application object.
#define QUOLVA_RECORD_GUI_TEST_MAIN(TestClass)                                                                    \
    int main(int argc, char** argv)                                                                                \
    {                                                                                                              \
        quolva::test::useTemporaryConfig();                                                                        \
        if (qEnvironmentVariableIsEmpty("QUOLVA_SOUND_SOURCE"))                                                    \
            qputenv("QUOLVA_SOUND_SOURCE", "tone:440");                                                            \
        quolva::app::QuolvaApplication application(argc, argv);                                                    \
        TestClass test;                                                                                            \
        return QTest::qExec(&test, argc, argv);                                                                    \
    }

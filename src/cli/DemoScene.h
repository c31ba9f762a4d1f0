#pragma once
#include <QAudioSink>
#include <QElapsedTimer>
#include <QIODevice>
#include <QTimer>
#include <QWidget>

#include <memory>

namespace quolva::cli {

// The demonstration's scene: a borderless window whose picture moves all the time (a sky that changes
// colour, a bouncing ball, a running clock and a Chinese title), so that a recording of it shows motion.
class DemoScene : public QWidget {
public:
    explicit DemoScene(QRect geometry);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer frames_;
    QElapsedTimer clock_;
};

// Walks the real pointer round a circle inside a rectangle of the screen, so that the recording shows the
// arrow moving.
class PointerWalk : public QObject {
public:
    explicit PointerWalk(QRect area);

private:
    QTimer steps_;
    QElapsedTimer clock_;
    QRect area_;
};

// Plays a sine tone on the sound server's default output while it exists: what the default input hears
// in the demonstration's private sound server.
class TonePlayer {
public:
    explicit TonePlayer(double hz);
    ~TonePlayer();
    // False when no output could be opened (the demonstration then records silence and says so).
    bool Playing() const;

private:
    std::unique_ptr<QIODevice> source_;
    std::unique_ptr<QAudioSink> sink_;
};

} // namespace quolva::cli

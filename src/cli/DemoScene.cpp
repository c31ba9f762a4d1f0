#include "cli/DemoScene.h"

#include "platform/UiFonts.h"

#include <QAudioFormat>
#include <QCursor>
#include <QMediaDevices>
#include <QPainter>

#include <cmath>
#include <numbers>

namespace quolva::cli {

DemoScene::DemoScene(QRect geometry)
    : QWidget(nullptr, Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint | Qt::WindowStaysOnTopHint)
{
    setGeometry(geometry);
    clock_.start();
    frames_.setInterval(40);
    connect(&frames_, &QTimer::timeout, this, [this] { update(); });
    frames_.start();
}

void DemoScene::paintEvent(QPaintEvent*)
{
    const double t = clock_.elapsed() / 1000.0;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, height());
    sky.setColorAt(0, QColor::fromHsvF(std::fmod(0.55 + t * 0.03, 1.0), 0.7, 0.75));
    sky.setColorAt(1, QColor::fromHsvF(std::fmod(0.65 + t * 0.03, 1.0), 0.8, 0.25));
    painter.fillRect(rect(), sky);

    // A ball bouncing between the walls and the floor.
    const int r = height() / 10;
    const double x = r + (width() - 2 * r) * std::abs(std::fmod(t * 0.45, 2.0) - 1.0);
    const double y = height() - r - (height() - 3 * r) * std::abs(std::sin(t * 2.4));
    painter.setBrush(QColor(250, 200, 60));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QPointF(x, y), r, r);

    painter.setPen(Qt::white);
    painter.setFont(platform::interfaceFont(QStringLiteral("宋体"), height() / 9));
    painter.drawText(QRect(0, height() / 12, width(), height() / 6), Qt::AlignCenter, QStringLiteral("Quolva 4.1 演示"));
    painter.setFont(platform::interfaceFont(QStringLiteral("宋体"), height() / 14));
    painter.drawText(QRect(0, height() / 12 + height() / 6, width(), height() / 8), Qt::AlignCenter,
                     QStringLiteral("%1 s").arg(t, 0, 'f', 1));
}

PointerWalk::PointerWalk(QRect area) : area_(area)
{
    clock_.start();
    steps_.setInterval(30);
    connect(&steps_, &QTimer::timeout, this, [this] {
        const double a = clock_.elapsed() / 1000.0 * 1.6;
        const QPoint centre = area_.center();
        QCursor::setPos(centre + QPoint(int(area_.width() / 3 * std::cos(a)), int(area_.height() / 3 * std::sin(a))));
    });
    steps_.start();
}

namespace {

// A sine of 16-bit mono samples, as much as the sink asks for.
class SineSource : public QIODevice {
public:
    SineSource(double hz, int rate) : step_(2 * std::numbers::pi * hz / rate) { open(QIODevice::ReadOnly); }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return 1 << 16; }

protected:
    qint64 readData(char* data, qint64 size) override
    {
        const qint64 samples = size / 2;
        for (qint64 i = 0; i < samples; ++i) {
            const auto value = static_cast<qint16>(std::lround(9000 * std::sin(phase_)));
            data[2 * i] = static_cast<char>(value & 0xFF);
            data[2 * i + 1] = static_cast<char>((value >> 8) & 0xFF);
            phase_ = std::fmod(phase_ + step_, 2 * std::numbers::pi);
        }
        return samples * 2;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    double step_;
    double phase_ = 0;
};

} // namespace

TonePlayer::TonePlayer(double hz)
{
    const QAudioDevice output = QMediaDevices::defaultAudioOutput();
    if (output.isNull())
        return;
    QAudioFormat format;
    format.setSampleRate(44100);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    source_ = std::make_unique<SineSource>(hz, format.sampleRate());
    sink_ = std::make_unique<QAudioSink>(output, format);
    sink_->start(source_.get());
}

TonePlayer::~TonePlayer()
{
    if (sink_)
        sink_->stop();
}

bool TonePlayer::Playing() const
{
    return sink_ && sink_->error() == QAudio::NoError && sink_->state() != QAudio::StoppedState;
}

} // namespace quolva::cli

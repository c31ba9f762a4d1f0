#include "record/TutorialMarks.h"

#include "platform/InputWatch.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace quolva::record {
namespace {

constexpr int kRingRadius = 18;

} // namespace

TutorialMarks::TutorialMarks() = default;
TutorialMarks::~TutorialMarks() = default;

QString TutorialMarks::Begin(const RecordingOptions& options)
{
    End();
    showClicks_ = options.showClicks;
    showKeys_ = options.showKeys;
    if (!showClicks_ && !showKeys_)
        return {};
    clock_.start();
    watch_ = std::make_unique<platform::InputWatch>();
    if (!watch_->isAvailable()) {
        const QString problem = watch_->problem();
        End();
        return problem;
    }
    if (showKeys_)
        QObject::connect(watch_.get(), &platform::InputWatch::keyChanged, watch_.get(),
                         [this](std::uint32_t keysym, bool pressed) { caption_.KeyChanged(keysym, pressed, clock_.elapsed()); });
    return {};
}

void TutorialMarks::End()
{
    watch_.reset();
    caption_ = ShortcutCaption();
    showClicks_ = showKeys_ = false;
}

void TutorialMarks::DrawUnderPointer(QImage& frame, QPoint hotSpot)
{
    if (!watch_)
        return;
    if (!showClicks_) {
        watch_->drain(); // the keys pressed up to this tick
        return;
    }
    if (watch_->takeButtonDown()) // reads the keys as well
        drawClickRing(frame, hotSpot);
}

void TutorialMarks::DrawOver(QImage& frame)
{
    if (!watch_ || !showKeys_)
        return;
    const QString caption = caption_.CaptionAt(clock_.elapsed());
    if (!caption.isEmpty())
        drawShortcutCaption(frame, caption);
}

void drawClickRing(QImage& frame, QPoint centre)
{
    QPainter painter(&frame);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 220, 0, 90));
    painter.drawEllipse(centre, kRingRadius, kRingRadius);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(0, 0, 0, 170), 3));
    painter.drawEllipse(centre, kRingRadius + 2, kRingRadius + 2);
    painter.setPen(QPen(QColor(255, 200, 0, 230), 3));
    painter.drawEllipse(centre, kRingRadius - 1, kRingRadius - 1);
}

void drawShortcutCaption(QImage& frame, const QString& caption)
{
    QPainter painter(&frame);
    painter.setRenderHint(QPainter::Antialiasing);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(std::clamp(frame.height() / 18, 12, 40));
    painter.setFont(font);
    const QFontMetrics metrics(font);
    const int padding = font.pixelSize() / 2;
    const QSize box(metrics.horizontalAdvance(caption) + 2 * padding, metrics.height() + padding);
    const QRect area(QPoint((frame.width() - box.width()) / 2, frame.height() - box.height() - padding), box);
    QPainterPath path;
    path.addRoundedRect(area, padding, padding);
    painter.fillPath(path, QColor(20, 20, 20, 190));
    painter.setPen(Qt::white);
    painter.drawText(area, Qt::AlignCenter, caption);
}

} // namespace quolva::record

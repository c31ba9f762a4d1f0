#include "platform/MonitorStream.h"

#include <QPainter>

namespace quolva::platform {

double MonitorStream::scale() const
{
    return size.width() > 0 && !streamSize.isEmpty() ? double(streamSize.width()) / size.width() : 1.0;
}

QPoint MonitorStream::onDesktop(QPoint onStream) const
{
    return position + (QPointF(onStream) / scale()).toPoint();
}

void MonitorStream::grab(const QRect& rect, QImage& into, const StreamCopy& copyFromStream) const
{
    const QRect onMonitor = rect.translated(-position);
    if (!QRect(QPoint(0, 0), size).contains(onMonitor))
        into.fill(Qt::black);
    const double factor = scale();
    if (factor == 1.0) {
        copyFromStream(onMonitor, into);
        return;
    }
    // A scaled monitor: its stream pixels, smoothed down (or up) to the desktop's.
    QImage stream(QSize(qRound(rect.width() * factor), qRound(rect.height() * factor)), QImage::Format_RGB32);
    stream.fill(Qt::black);
    copyFromStream(QRect((QPointF(onMonitor.topLeft()) * factor).toPoint(), stream.size()), stream);
    QPainter painter(&into);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(into.rect(), stream);
}

} // namespace quolva::platform

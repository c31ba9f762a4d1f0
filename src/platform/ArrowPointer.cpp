#include "platform/ArrowPointer.h"

#include <QPainter>

#include <algorithm>
#include <stdexcept>

// Resources of a static library are registered by hand, outside any namespace.
static void registerPlatformResources()
{
    Q_INIT_RESOURCE(platform);
}

namespace quolva::platform {

const QImage& arrowPointerImage()
{
    static const QImage picture = [] {
        registerPlatformResources();
        QImage image(QStringLiteral(":/platform/arrow.png"));
        if (image.isNull())
            throw std::runtime_error("The arrow pointer picture :/platform/arrow.png is missing");
        return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }();
    return picture;
}

void drawArrowPointer(QImage& frame, QPoint client)
{
    const QImage& arrow = arrowPointerImage();
    const QPoint origin = client - kArrowPointerTip;
    const QImage::Format format = frame.format();
    if (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32 &&
        format != QImage::Format_ARGB32_Premultiplied) {
        QPainter painter(&frame);
        painter.drawImage(origin, arrow);
        return;
    }
    // The usual case, a 32-bit frame, blended directly: the tick does this on every frame.
    const int x0 = std::max(0, -origin.x());
    const int y0 = std::max(0, -origin.y());
    const int x1 = std::min(arrow.width(), frame.width() - origin.x());
    const int y1 = std::min(arrow.height(), frame.height() - origin.y());
    for (int y = y0; y < y1; ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(arrow.constScanLine(y));
        auto* out = reinterpret_cast<QRgb*>(frame.scanLine(origin.y() + y)) + origin.x();
        for (int x = x0; x < x1; ++x) {
            const QRgb src = in[x];
            const int alpha = qAlpha(src);
            if (alpha == 255) {
                out[x] = src;
            } else if (alpha != 0) {
                const QRgb dst = out[x];
                const int keep = 255 - alpha;
                out[x] = qRgba(qRed(src) + qRed(dst) * keep / 255, qGreen(src) + qGreen(dst) * keep / 255,
                               qBlue(src) + qBlue(dst) * keep / 255, 255);
            }
        }
    }
}

}  // namespace quolva::platform

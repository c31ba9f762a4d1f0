#include "record/Unit3.h"

#include <stdexcept>

namespace quolva::record {

store::PictureView PictureOf(const QImage& image)
{
    store::PictureView view;
    view.pixels = image.constBits();
    view.width = image.width();
    view.height = image.height();
    view.stride = image.bytesPerLine();
    switch (image.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
        view.layout = store::PixelLayout::Xrgb32;
        break;
    case QImage::Format_RGB888:
        view.layout = store::PixelLayout::Rgb24;
        break;
    default:
        throw std::invalid_argument("a frame picture must be a 24-bit or 32-bit image");
    }
    return view;
}

void AppendCaptureBitmap(store::FrameStore& frames, const QImage& bitmap)
{
    if (bitmap.format() == QImage::Format_RGB32 || bitmap.format() == QImage::Format_RGB888
        || bitmap.format() == QImage::Format_ARGB32) {
        frames.AppendFrame(PictureOf(bitmap));
        return;
    }
    // Any other depth is converted to 24-bit RGB first.
    frames.AppendFrame(PictureOf(bitmap.convertToFormat(QImage::Format_RGB888)));
}

} // namespace quolva::record

#include "editor/FramePictureFile.h"

#include "store/Jpeg.h"
#include "store/OutputFile.h"

#include <QFile>
#include <QSaveFile>

#include <stdexcept>

namespace quolva::editor {

void SaveAsJpeg(const QImage& picture, const QString& path)
{
    if (picture.isNull())
        throw std::runtime_error("没有画面可以保存到 \"" + path.toStdString() + "\"");
    const QImage pixels = picture.format() == QImage::Format_RGB32 || picture.format() == QImage::Format_ARGB32
                              ? picture
                              : picture.convertToFormat(QImage::Format_RGB32);
    const std::vector<std::uint8_t> jpeg = store::EncodeJpeg(
        {pixels.constBits(), pixels.width(), pixels.height(), pixels.bytesPerLine(), store::PixelLayout::Xrgb32});

    // QSaveFile follows links too, but puts a regular file in place of a pipe or a device.
    const store::OutputTarget target = store::ResolveOutputTarget(QFile::encodeName(path).toStdString());
    QSaveFile file(QFile::decodeName(target.path.c_str()));
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(reinterpret_cast<const char*>(jpeg.data()), qint64(jpeg.size())) != qint64(jpeg.size()) ||
        !file.commit())
        throw std::runtime_error("无法写入图片文件 \"" + path.toStdString() + "\"：" + file.errorString().toStdString());
}

} // namespace quolva::editor

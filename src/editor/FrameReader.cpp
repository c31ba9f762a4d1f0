#include "editor/FrameReader.h"

#include "store/Jpeg.h"

namespace quolva::editor {

QImage DecodeFramePicture(const store::FrameRecord& record, const QString& frameStorePath, QImage reuse)
{
    QImage picture = std::move(reuse);
    try {
        store::DecodeJpegInto(record.jpeg, DescribeFrameRecord(record, frameStorePath), store::PixelLayout::Xrgb32,
                              [&](int width, int height) {
                                  if (picture.width() != width || picture.height() != height ||
                                      picture.format() != QImage::Format_RGB32)
                                      picture = QImage(width, height, QImage::Format_RGB32);
                                  if (picture.isNull())
                                      throw RecordingError("not enough memory for a frame of " +
                                                           std::to_string(width) + "×" + std::to_string(height));
                                  return store::PixelTarget{picture.bits(), picture.bytesPerLine()};
                              });
    } catch (const RecordingError&) {
        throw;
    } catch (const store::StoreError& failure) {
        throw RecordingError(failure.what());
    }
    return picture;
}

std::string DescribeFrameRecord(const store::FrameRecord& record, const QString& frameStorePath)
{
    return "the frame at offset " + std::to_string(record.offset) + " of frame store \"" + frameStorePath.toStdString() +
           "\"";
}

FrameReader::FrameReader(store::FrameStore reader, QString frameStorePath)
    : reader_(std::move(reader)), frameStorePath_(std::move(frameStorePath))
{
}

std::optional<QImage> FrameReader::Next()
{
    const std::optional<store::FrameRecord> record = NextRecord();
    if (!record)
        return std::nullopt;
    return DecodeFramePicture(*record, frameStorePath_);
}

std::optional<store::FrameRecord> FrameReader::NextRecord()
{
    if (reader_.Position() >= reader_.Size())
        return std::nullopt;
    try {
        return reader_.ReadNextFrame();
    } catch (const store::StoreError& failure) {
        throw RecordingError(failure.what());
    }
}

} // namespace quolva::editor

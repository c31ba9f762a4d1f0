#pragma once
#include <QImage>
#include <QString>

namespace quolva::editor {

// Saves a picture as a JPEG file (quality 90, as every frame is encoded), whatever the file's name ends
// in. The file is replaced only once the whole picture has been written; a symbolic link is followed and
// stays. What is not a regular file (a folder, a pipe, a device) is refused. A failure is thrown naming
// the file.
void SaveAsJpeg(const QImage& picture, const QString& path);

} // namespace quolva::editor

#pragma once
#include "editor/RecordingError.h"
#include "store/FrameStore.h"

#include <QImage>
#include <QString>

#include <optional>
#include <string>

namespace quolva::editor {

// A frame record decoded into a 32-bit picture. A record that cannot be decoded is thrown as
// RecordingError naming its offset and the frame store.
// `reuse`, when it is a 32-bit picture of the record's size that nobody else holds, receives the pixels
// instead of a new picture.
QImage DecodeFramePicture(const store::FrameRecord& record, const QString& frameStorePath, QImage reuse = {});
// How messages name a record: its offset and the frame store.
std::string DescribeFrameRecord(const store::FrameRecord& record, const QString& frameStorePath);

// Long work's own way through the frames of the open recording: a read-only handle on its frame store
// with a position of its own, from the first record on. Nothing the browser does moves it, and reading
// through it never moves the browser's cursor.
class FrameReader {
public:
    FrameReader(store::FrameStore reader, QString frameStorePath);

    // The next record, decoded; nothing after the last record. A record that cannot be read is thrown as
    // RecordingError with the position left before it.
    std::optional<QImage> Next();
    // The next record as it lies in the store, not decoded; nothing after the last record. A record that
    // cannot be read is thrown as Next throws it.
    std::optional<store::FrameRecord> NextRecord();

private:
    store::FrameStore reader_;
    QString frameStorePath_;
};

} // namespace quolva::editor

#pragma once
// Helpers of the publishing tests: screen-like recordings, the frames as the store decodes them,
// ffmpeg's and ffprobe's view of a published file, picture distance, damaged frame stores.
#include "../store/test_avi_support.h"
#include "RecordingFixture.h"
#include "editor/OpenRecording.h"
#include "platform/VideoCompressor.h"
#include "publish/AviExport.h"
#include "store/FrameStore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLinearGradient>
#include <QPainter>

#include <cmath>
#include <limits>

namespace quolva::test {

// A frame such as a screen shows: a window with lines of text, a colour gradient, and a block that moves
// with k, so that consecutive frames differ a little, as in a recording.
inline QImage ScreenLikePicture(int k, int width, int height)
{
    QImage picture(width, height, QImage::Format_RGB32);
    picture.fill(QColor(230, 232, 236));
    QPainter painter(&picture);
    const QRect window(width / 10, height / 8, width * 3 / 5, height * 3 / 4);
    painter.fillRect(window, Qt::white);
    painter.fillRect(QRect(window.topLeft(), QSize(window.width(), 10)), QColor(40, 90, 160));
    for (int line = 0; line * 8 + 16 < window.height(); ++line)
        for (int x = 4; x < window.width() - 8; x += 6)
            if ((line * 7 + x / 6 + (line == 2 ? k : 0)) % 5 != 0)
                painter.fillRect(window.left() + x, window.top() + 14 + line * 8, 4, 5, QColor(20, 20, 20));
    QLinearGradient gradient(0, 0, width, height);
    gradient.setColorAt(0, QColor(200, 60, 40));
    gradient.setColorAt(1, QColor(40, 140, 220));
    painter.fillRect(QRect(width * 3 / 4, height / 10, width / 5, height * 4 / 5), gradient);
    painter.fillRect(QRect((k * 5) % std::max(1, width - 8), height - 12, 8, 8), Qt::black);
    return picture;
}

// A recording like MakeRecording's, whose frames are ScreenLikePicture(k).
inline QString MakeScreenRecording(const QString& dir, const QString& name, int width, int height, int frames,
                                   std::int64_t soundBytes = 22050)
{
    RecordingRecipe recipe;
    recipe.frames = 0;
    recipe.headerCount = frames;
    recipe.soundBytes = soundBytes;
    const QString path = MakeRecording(dir, name, recipe);
    store::FrameStore store = store::FrameStore::OpenFrameStoreForAppend(QFile::encodeName(path + ".xxx").toStdString());
    for (int k = 0; k < frames; ++k) {
        const QImage picture = ScreenLikePicture(k, width, height);
        store.AppendFrame({picture.constBits(), width, height, picture.bytesPerLine(), store::PixelLayout::Xrgb32});
    }
    store.Close();
    return path;
}

// The frames of a recording (every one, or the first `limit`) as the store decodes them, as top-down BGR
// bytes one after the other.
inline QByteArray StoreFramesBgr(const QString& path, int limit = std::numeric_limits<int>::max())
{
    editor::OpenRecording recording;
    recording.Open(path);
    QByteArray all;
    for (int k = 0; k < limit; ++k) {
        const std::optional<QImage> picture = recording.ReadNextPicture();
        if (!picture)
            break;
        const QImage bgr = picture->convertToFormat(QImage::Format_BGR888);
        for (int y = 0; y < bgr.height(); ++y)
            all.append(reinterpret_cast<const char*>(bgr.constScanLine(y)), bgr.width() * 3);
    }
    return all;
}

// Peak signal-to-noise ratio of two equally long byte pictures, in dB (infinite when equal).
inline double Psnr(const char* a, const char* b, qsizetype bytes)
{
    double squares = 0;
    for (qsizetype i = 0; i < bytes; ++i) {
        const double d = static_cast<unsigned char>(a[i]) - static_cast<unsigned char>(b[i]);
        squares += d * d;
    }
    if (squares == 0)
        return std::numeric_limits<double>::infinity();
    return 10 * std::log10(255.0 * 255.0 / (squares / double(bytes)));
}

// Per chunk of stream `streamNumber` in the file's idx1 index, in order: whether it is flagged as a key
// frame (AVIIF_KEYFRAME). Read from the file itself, since ffprobe reports what its parsers find in the
// bitstream rather than what the index says.
inline QList<bool> IndexKeyFlags(const QString& path, int streamNumber)
{
    QList<bool> keys;
    const QByteArray file = avitest::fileBytes(path);
    const auto dword = [&file](qsizetype at) {
        quint32 value = 0;
        std::memcpy(&value, file.constData() + at, 4);
        return value;
    };
    if (file.size() < 12 || !file.startsWith("RIFF"))
        return keys;
    const QByteArray chunkId = QByteArray::number(streamNumber).rightJustified(2, '0') + "dc";
    qsizetype at = 12;
    const qsizetype end = std::min<qsizetype>(file.size(), 8 + qsizetype(dword(4)));
    while (at + 8 <= end) {
        const quint32 size = dword(at + 4);
        if (file.mid(at, 4) == "idx1") {
            for (qsizetype entry = at + 8; entry + 16 <= at + 8 + qsizetype(size); entry += 16)
                if (file.mid(entry, 4) == chunkId)
                    keys << ((dword(entry + 4) & 0x10) != 0);
            return keys;
        }
        at += 8 + qsizetype(size) + (size & 1);
    }
    return keys;
}

// Per decoded frame of the first video stream: whether the decoder found a key frame (an intra picture
// that needs no other).
inline QList<bool> DecodedKeyFrames(const QString& path)
{
    const avitest::ToolRun run = avitest::runTool(
        "ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries", "frame=key_frame", "-of", "json", path});
    QList<bool> keys;
    for (const QJsonValue frame : QJsonDocument::fromJson(run.out).object().value("frames").toArray())
        keys << (frame.toObject().value("key_frame").toInt() == 1);
    return keys;
}

// The offset of record k (from 0) of a frame store.
inline std::int64_t RecordOffset(const QString& storePath, int k)
{
    store::FrameStore store = store::FrameStore::OpenFrameStoreReadOnly(QFile::encodeName(storePath).toStdString());
    store.Seek(store::kFrameStoreHeaderSize);
    for (int i = 0; i < k; ++i)
        store.SkipNextFrame();
    return store.Position();
}

// Ways a frame store can be damaged at record k.
enum class Damage {
    Undecodable, // the record reads, its JPEG does not decode (its start marker is gone)
    Unreadable,  // the record's framing is garbled: it cannot be read at all
};

inline void DamageRecord(const QString& storePath, int k, Damage damage)
{
    const std::int64_t offset = RecordOffset(storePath, k);
    QFile file(storePath);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.seek(offset));
    const int digits = file.read(1).at(0) - '0';
    if (damage == Damage::Undecodable) {
        QVERIFY(file.seek(offset + 1 + digits));
        QCOMPARE(file.read(2), QByteArray("\xFF\xD8"));
        QVERIFY(file.seek(offset + 1 + digits));
        file.write("\x00\x00", 2);
    } else {
        QVERIFY(file.seek(offset));
        file.write("x");
    }
}

// The whole export as quolvactl runs it, on an open recording: uncompressed for an empty key, otherwise
// through the compressor with this key at its default settings (or the quality given).
inline void SetUpExport(publish::AviExport& avi, editor::OpenRecording& recording)
{
    const editor::PublishHandOver handOver = recording.HandOver();
    avi.frameCount = handOver.frameCount;
    avi.soundLength = handOver.soundLength;
    avi.soundRate = handOver.soundRate;
    const std::optional<QImage> first = recording.ReadNextPicture();
    if (first)
        avi.SetFrameSize(first->width(), first->height());
    recording.SetCursor(store::kFrameStoreHeaderSize);
}

inline bool ChooseCompressor(publish::AviExport& avi, const QString& key, platform::LONG quality = platform::ICQUALITY_DEFAULT)
{
    const platform::VideoCompressorInfo* info = platform::FindVideoCompressor(key);
    if (!info)
        return false;
    avi.compVars.dwFlags = platform::ICMF_COMPVARS_VALID;
    avi.compVars.hic = platform::ICOpen(platform::ICTYPE_VIDEO, info->fccHandler, platform::ICMODE_COMPRESS);
    avi.compVars.fccType = platform::ICTYPE_VIDEO;
    avi.compVars.fccHandler = info->fccHandler;
    avi.compVars.lQ = quality;
    avi.compVars.lKey = info->defaultKeyFrameRate;
    return avi.compVars.hic != nullptr;
}

} // namespace quolva::test

#pragma once
// Reading back what the SWF export wrote: the header's fields, the tags, the bitmaps' ids, the sound
// blocks; running an export on a recording; and the movie that the described algorithm gives, built
// here with the SWF library in memory, to hold the export's bytes against.
#include "../swf/SwfTestSupport.h"
#include "RecordingFixture.h"
#include "editor/OpenRecording.h"
#include "publish/SwfExport.h"

#include <QFile>
#include <QImage>
#include <QThread>

#include <optional>
#include <sstream>

namespace quolva::test {

struct SwfFile {
    QByteArray bytes;
    int rectBits = 0;
    std::int32_t rect[4] = {}; // xmin, xmax, ymin, ymax as written
    quint8 rateFraction = 0;
    quint8 rateInteger = 0;
    quint16 frameCount = 0;
    quint32 fileLength = 0;
    QList<swftest::ParsedTag> tags;

    QList<int> codes() const
    {
        QList<int> list;
        for (const swftest::ParsedTag& tag : tags)
            list << tag.code;
        return list;
    }
    QList<swftest::ParsedTag> tagsOf(int code) const
    {
        QList<swftest::ParsedTag> list;
        for (const swftest::ParsedTag& tag : tags)
            if (tag.code == code)
                list << tag;
        return list;
    }
    // The bodies of the SoundStreamBlock tags in order, joined.
    QByteArray sound() const
    {
        QByteArray joined;
        for (const swftest::ParsedTag& tag : tagsOf(19))
            joined += tag.body;
        return joined;
    }
};

// Signed fields of `bits` bits, most significant bit first, from a bit position.
inline std::int32_t readBits(const QByteArray& bytes, int& position, int bits, bool isSigned = true)
{
    std::uint32_t value = 0;
    for (int i = 0; i < bits; ++i, ++position)
        value = value << 1 | ((static_cast<quint8>(bytes[position / 8]) >> (7 - position % 8)) & 1);
    if (isSigned && bits > 0 && (value >> (bits - 1)) & 1)
        return static_cast<std::int32_t>(value | ~((std::uint64_t{1} << bits) - 1));
    return static_cast<std::int32_t>(value);
}

// A RECT at byte `at`: xmin, xmax, ymin, ymax; `end` receives the byte after it.
inline std::array<std::int32_t, 4> readRect(const QByteArray& bytes, qsizetype at, qsizetype* end = nullptr)
{
    int position = static_cast<int>(at * 8);
    const int n = readBits(bytes, position, 5, false);
    std::array<std::int32_t, 4> values{};
    for (std::int32_t& value : values)
        value = readBits(bytes, position, n);
    if (end)
        *end = (position + 7) / 8;
    return values;
}

inline SwfFile ParseSwf(const QByteArray& bytes)
{
    SwfFile swf;
    swf.bytes = bytes;
    if (bytes.size() < 12 || !bytes.startsWith("FWS"))
        return swf;
    swf.fileLength = swftest::readU32(bytes, 4);
    swf.rectBits = static_cast<quint8>(bytes[8]) >> 3;
    qsizetype at = 0;
    const auto rect = readRect(bytes, 8, &at);
    std::copy(rect.begin(), rect.end(), swf.rect);
    swf.rateFraction = static_cast<quint8>(bytes[at]);
    swf.rateInteger = static_cast<quint8>(bytes[at + 1]);
    swf.frameCount = static_cast<quint16>(swftest::readU16(bytes, at + 2));
    swf.tags = swftest::parseTags(bytes.mid(at + 4));
    return swf;
}

inline QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Opens the recording as the editor does and runs the export; the PublishError's text when it refuses.
struct ExportRun {
    std::optional<QString> refusal;
    std::int32_t framesWritten = 0;
    std::vector<QImage> shown; // what onFrame handed over, in order
    std::vector<std::int32_t> shownIndexes;
    bool shownOnCallingThread = true;
    std::int64_t cursorAfter = -1;
    publish::SwfPacing pacing;
    publish::SwfSoundHead head;
};

inline ExportRun RunExport(const QString& recordingPath, const QString& output, unsigned threads = 0,
                           std::uint64_t fileLengthLimit = publish::SwfExport::MaxFileLength)
{
    ExportRun run;
    editor::OpenRecording recording;
    recording.Open(recordingPath);
    publish::SwfExport swf(recording, recording.frameCount);
    swf.threads = threads;
    swf.fileLengthLimit = fileLengthLimit;
    QThread* const caller = QThread::currentThread();
    swf.onFrame = [&](std::int32_t k, const QImage& frame) {
        run.shownOnCallingThread = run.shownOnCallingThread && QThread::currentThread() == caller;
        run.shownIndexes.push_back(k);
        run.shown.push_back(frame);
    };
    try {
        swf.Run(output);
    } catch (const publish::PublishError& refusal) {
        run.refusal = QString::fromStdString(refusal.what());
    }
    run.framesWritten = swf.framesWritten();
    run.cursorAfter = recording.Cursor();
    run.pacing = swf.pacing();
    run.head = swf.soundHead();
    return run;
}

// Every frame of the store as the publisher decodes it.
inline std::vector<QImage> DecodedFrames(const QString& recordingPath)
{
    editor::OpenRecording recording;
    recording.Open(recordingPath);
    std::vector<QImage> frames;
    while (std::optional<QImage> frame = recording.ReadNextPicture())
        frames.push_back(*frame);
    return frames;
}

// The converted frame: alpha, red, green, blue, top row first.
inline std::vector<std::uint8_t> ArgbOf(const QImage& frame)
{
    std::vector<std::uint8_t> pixels;
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x) {
            const QRgb p = frame.pixel(x, y);
            pixels.insert(pixels.end(), {255, static_cast<std::uint8_t>(qRed(p)), static_cast<std::uint8_t>(qGreen(p)),
                                         static_cast<std::uint8_t>(qBlue(p))});
        }
    return pixels;
}

// The movie exactly as described, for a recording whose N frames and L sample frames give 8 frames a
// second with L ÷ N = R ÷ 8 whole: everything in memory, the ids set to those the export should use
// (from `firstId` on), blocks of R ÷ 8 sample frames.
inline QByteArray DescribedMovie(const QString& recordingPath, const RecordingRecipe& recipe, std::uint16_t firstId)
{
    const std::vector<QImage> frames = DecodedFrames(recordingPath);
    const std::vector<std::uint8_t> sound = FixtureSound(recipe);
    const auto& format = recipe.soundFormat.format;
    const std::uint16_t samplesPerBlock = static_cast<std::uint16_t>(format.nSamplesPerSec / 8);
    const std::uint8_t rate = format.nSamplesPerSec == 11025 ? 1 : format.nSamplesPerSec == 22050 ? 2 : 3;
    const std::uint8_t bits16 = format.wBitsPerSample == 16, stereo = format.nChannels == 2;

    FlashMovie movie;
    std::ostream& body = movie.Body();
    body << FlashTagBackgroundColor(255, 255, 255);
    body << FlashTagSoundStreamHead2(rate, bits16, stereo, 0, rate, bits16, stereo, samplesPerBlock);
    std::uint16_t id = firstId;
    int width = 0, height = 0, k = 0;
    std::size_t soundAt = 0;
    for (; k < recipe.frames - 1; ++k) {
        const std::size_t blockBytes = std::size_t{samplesPerBlock} * format.nBlockAlign;
        const std::size_t take = std::min(blockBytes, sound.size() - std::min(sound.size(), soundAt));
        const std::vector<std::uint8_t> slice(sound.begin() + static_cast<std::ptrdiff_t>(soundAt),
                                              sound.begin() + static_cast<std::ptrdiff_t>(soundAt + take));
        soundAt += take;
        width = frames[static_cast<std::size_t>(k)].width();
        height = frames[static_cast<std::size_t>(k)].height();
        const std::vector<std::uint8_t> pixels = ArgbOf(frames[static_cast<std::size_t>(k)]);
        FlashTagDefineBitsLossless2 bitmap(5, static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height),
                                           FlashZLibBitmapData(pixels.data(), static_cast<std::uint32_t>(pixels.size())));
        bitmap.SetID(id++);
        body << bitmap;
        FlashMatrix matrix;
        matrix.SetScale(FlashFixed(20.0), FlashFixed(20.0));
        matrix.SetTranslate(0, 0);
        FlashFillStyleBitmap fill(bitmap.GetID(), matrix, false);
        FlashFillStyleArray fills;
        fills.AddStyle(&fill);
        FlashShapeWithStyle shape;
        shape.SetFillStyles(fills);
        FlashShapeRecordChange selectFill;
        selectFill.SetFillStyle1(1);
        shape.AddRecord(selectFill);
        shape.AddRecord(FlashShapeRecordChange(0, 0));
        const auto dx = static_cast<std::int16_t>((width - 1) * 20), dy = static_cast<std::int16_t>((height - 1) * 20);
        shape.AddRecord(FlashShapeRecordStraight(dx, 0));
        shape.AddRecord(FlashShapeRecordStraight(0, dy));
        shape.AddRecord(FlashShapeRecordStraight(static_cast<std::int16_t>(-dx), 0));
        shape.AddRecord(FlashShapeRecordStraight(0, static_cast<std::int16_t>(-dy)));
        FlashTagDefineShape3 shapeTag(shape);
        shapeTag.SetID(id++);
        body << shapeTag;
        if (k > 0)
            body << FlashTagRemoveObject2(300);
        body << FlashTagPlaceObject2(300, shapeTag.GetID());
        body << FlashTagShowFrame();
        body << FlashTagSoundStreamBlock(slice.data(), static_cast<std::uint32_t>(slice.size()));
    }
    body << FlashTagEnd();
    std::ostringstream file;
    movie.WriteTo(file, 5, (width + 1) * 20, (height + 1) * 20, 8.0, static_cast<std::uint16_t>(k));
    return swftest::bytesOf(file.str());
}

// The id the next character will get.
inline std::uint16_t NextCharacterId()
{
    return static_cast<std::uint16_t>(65535 - FlashIDEnabled::RemainingIDs() + 1);
}

// Files left in a folder (hidden ones included: an unfinished movie lies beside its output).
inline QStringList FilesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace quolva::test

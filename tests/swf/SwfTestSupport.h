#pragma once

// Helpers shared by the SWF writer tests: bytes and bits of what the writer produced, a walker over the
// tags of a movie body, and a small movie laid out the way the SWF export lays out its movies.

#include "Flash.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <sstream>
#include <utility>
#include <vector>

namespace swftest {

template <class Writable>
QByteArray written(Writable&& value)
{
    std::ostringstream out;
    out << std::forward<Writable>(value);
    const std::string bytes = out.str();
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

inline QByteArray bytesOf(const std::string& bytes)
{
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// "D9 40 00" and the like; spaces are ignored.
inline QByteArray hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text));
}

// The bits of the bytes, most significant first.
inline QString bitString(const QByteArray& bytes)
{
    QString bits;
    for (char byte : bytes)
        for (int bit = 7; bit >= 0; --bit)
            bits += (static_cast<unsigned char>(byte) >> bit & 1) ? QLatin1Char('1') : QLatin1Char('0');
    return bits;
}

// Bits given as text ("1 1100 0 0", spaces ignored), padded with zero bits to whole bytes.
inline QString paddedBits(QString bits)
{
    bits.remove(QLatin1Char(' '));
    while (bits.size() % 8 != 0)
        bits += QLatin1Char('0');
    return bits;
}

inline QString bitString(const BitBuffer& buffer)
{
    const auto& bytes = buffer.GetBytes();
    return bitString(QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())))
        .left(buffer.GetBitPosition());
}

inline quint32 readU16(const QByteArray& bytes, qsizetype at)
{
    return static_cast<quint8>(bytes[at]) | static_cast<quint32>(static_cast<quint8>(bytes[at + 1])) << 8;
}

inline quint32 readU32(const QByteArray& bytes, qsizetype at)
{
    return readU16(bytes, at) | readU16(bytes, at + 2) << 16;
}

struct ParsedTag {
    int code = -1;
    bool longHeader = false;
    QByteArray body;
};

// Walks the tags of a movie body; a tag running past the end ends the walk with code -1.
inline QList<ParsedTag> parseTags(const QByteArray& body)
{
    QList<ParsedTag> tags;
    qsizetype at = 0;
    while (at + 2 <= body.size()) {
        ParsedTag tag;
        const quint32 word = readU16(body, at);
        tag.code = static_cast<int>(word >> 6);
        quint32 length = word & 63;
        at += 2;
        if (length == 63) {
            if (at + 4 > body.size())
                return tags << ParsedTag{};
            length = readU32(body, at);
            tag.longHeader = true;
            at += 4;
        }
        if (at + static_cast<qsizetype>(length) > body.size())
            return tags << ParsedTag{};
        tag.body = body.mid(at, length);
        at += length;
        tags << tag;
    }
    return tags;
}

// The body of a movie file: what follows the header, whose length depends on its RECT's field width.
inline QByteArray movieBody(const QByteArray& file)
{
    if (file.size() < 9)
        return QByteArray();
    const int rectWidth = static_cast<quint8>(file[8]) >> 3;
    return file.mid(12 + (5 + 4 * rectWidth + 7) / 8);
}

// A picture of width x height ARGB pixels (alpha 255): a colour ramp with an 8 x 8 square that moves with
// the frame number.
inline std::vector<unsigned char> testPicture(int width, int height, int frame)
{
    std::vector<unsigned char> pixels(static_cast<std::size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            unsigned char* pixel = &pixels[(static_cast<std::size_t>(y) * width + x) * 4];
            const bool inSquare = x >= 3 * frame && x < 3 * frame + 8 && y >= 2 * frame && y < 2 * frame + 8;
            pixel[0] = 255;
            pixel[1] = inSquare ? 250 : static_cast<unsigned char>(x * 5);
            pixel[2] = inSquare ? 20 : static_cast<unsigned char>(y * 7);
            pixel[3] = static_cast<unsigned char>((x + y + frame * 13) % 256);
        }
    }
    return pixels;
}

// A 440 Hz tone as 16-bit little-endian mono samples at 11025 Hz.
inline std::vector<unsigned char> testTone(int sampleCount)
{
    std::vector<unsigned char> bytes;
    bytes.reserve(static_cast<std::size_t>(sampleCount) * 2);
    for (int n = 0; n < sampleCount; ++n) {
        const auto sample = static_cast<std::int16_t>(std::lround(12000.0 * std::sin(2.0 * std::numbers::pi * 440.0 * n / 11025.0)));
        bytes.push_back(static_cast<unsigned char>(sample & 0xFF));
        bytes.push_back(static_cast<unsigned char>((sample >> 8) & 0xFF));
    }
    return bytes;
}

constexpr std::uint16_t frameDepth = 300;
constexpr std::uint16_t samplesPerBlock = 11025 / 8;

struct WrittenMovie {
    QByteArray file;
    std::vector<std::uint16_t> bitmapIds;
    std::vector<std::uint16_t> shapeIds;
};

// Writes a movie the way the SWF export does: background, sound stream head, then per frame the bitmap,
// the shape filled with it, the removal of the previous shape, the placement, the frame and its sound
// block; then End, and the header in front. Each frame carries samplesPerBlock samples of the sound.
inline WrittenMovie writeTestMovie(int width, int height, int frameCount, const std::vector<unsigned char>& sound)
{
    WrittenMovie result;
    FlashMovie movie;
    std::ostream& body = movie.Body();
    body << FlashTagBackgroundColor(255, 255, 255);
    body << FlashTagSoundStreamHead2(1, 1, 0, 0, 1, 1, 0, samplesPerBlock);
    const std::size_t blockBytes = samplesPerBlock * 2;
    for (int frame = 0; frame < frameCount; ++frame) {
        const std::vector<unsigned char> pixels = testPicture(width, height, frame);
        FlashTagDefineBitsLossless2 bitmap(5, static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height),
                                           FlashZLibBitmapData(pixels.data(), static_cast<std::uint32_t>(pixels.size())));
        body << bitmap;
        result.bitmapIds.push_back(bitmap.GetID());

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
        const auto dx = static_cast<std::int16_t>((width - 1) * 20);
        const auto dy = static_cast<std::int16_t>((height - 1) * 20);
        shape.AddRecord(FlashShapeRecordStraight(dx, 0));
        shape.AddRecord(FlashShapeRecordStraight(0, dy));
        shape.AddRecord(FlashShapeRecordStraight(static_cast<std::int16_t>(-dx), 0));
        shape.AddRecord(FlashShapeRecordStraight(0, static_cast<std::int16_t>(-dy)));
        FlashTagDefineShape3 shapeTag(shape);
        body << shapeTag;
        result.shapeIds.push_back(shapeTag.GetID());

        if (frame > 0)
            body << FlashTagRemoveObject2(frameDepth);
        body << FlashTagPlaceObject2(frameDepth, shapeTag.GetID());
        body << FlashTagShowFrame();
        const std::size_t offset = static_cast<std::size_t>(frame) * blockBytes;
        const std::size_t available = offset < sound.size() ? std::min(blockBytes, sound.size() - offset) : 0;
        body << FlashTagSoundStreamBlock(available > 0 ? sound.data() + offset : nullptr,
                                         static_cast<std::uint32_t>(available));
    }
    body << FlashTagEnd();

    std::ostringstream file;
    movie.WriteTo(file, 5, (width + 1) * 20, (height + 1) * 20, 8.0, static_cast<std::uint16_t>(frameCount));
    result.file = bytesOf(file.str());
    return result;
}

} // namespace swftest

#pragma once
// Recordings made for tests without the screen or a sound device: an AVI file with a sound track and the
// frame store beside it, written through the same services the recorder uses. Frame k (from 0) is a
// picture of one colour, FrameColour(k), with a white block whose place moves with k, so that frames can
// be told apart after JPEG.
#include "store/AviFileServices.h"
#include "store/FrameStore.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QString>

#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

namespace quolva::test {

struct RecordingRecipe {
    int frames = 3;
    int width = 64;
    int height = 48;
    std::int32_t headerCount = -1;     // the header's count; -1: the number of frames
    bool withSoundStream = true;
    bool withSoundFormat = true;
    store::SoundFormatArea soundFormat = DefaultRecorderFormat();
    std::int64_t soundBytes = 22050;   // written in blocks of at most one second, as the recorder does
    double toneHz = 440;               // 16-bit sound carries this tone; 8-bit sound a ramp
    // Frame k's picture; FramePicture when not set.
    std::function<QImage(int k, int width, int height)> picture = nullptr;

    static store::SoundFormatArea DefaultRecorderFormat()
    {
        store::SoundFormatArea area{};
        area.format = {store::WAVE_FORMAT_PCM, 1, 11025, 22050, 2, 16, 0};
        return area;
    }
};

inline QColor FrameColour(int k)
{
    static const QColor colours[] = {QColor(200, 30, 30), QColor(30, 160, 40), QColor(40, 60, 200),
                                     QColor(220, 200, 40), QColor(150, 40, 170), QColor(30, 180, 180)};
    return colours[k % 6].darker(100 + 10 * (k / 6 % 8));
}

inline QImage FramePicture(int k, int width, int height)
{
    QImage picture(width, height, QImage::Format_RGB32);
    picture.fill(FrameColour(k));
    QPainter painter(&picture);
    const int block = std::max(2, std::min(width, height) / 8);
    painter.fillRect((k * block) % std::max(1, width - block), height / 2 - block / 2, block, block, Qt::white);
    return picture;
}

// The sound bytes a recipe writes (also what a test compares a read-back with).
inline std::vector<std::uint8_t> FixtureSound(const RecordingRecipe& recipe)
{
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(recipe.soundBytes));
    const auto& f = recipe.soundFormat.format;
    if (f.wBitsPerSample == 16 && f.nBlockAlign >= 2) {
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
            const std::size_t frame = i / f.nBlockAlign;
            const auto value = static_cast<std::int16_t>(
                8000 * std::sin(2 * M_PI * recipe.toneHz * static_cast<double>(frame) / f.nSamplesPerSec));
            bytes[i] = static_cast<std::uint8_t>(value & 0xFF);
            bytes[i + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
        }
    } else {
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<std::uint8_t>(i * 7);
    }
    return bytes;
}

// Writes `dir`/`name` and its frame store; returns the AVI path. Fails the calling test through
// exceptions only (the services throw or return codes that are checked here).
inline QString MakeRecording(const QString& dir, const QString& name, const RecordingRecipe& recipe = {})
{
    const QString path = QDir(dir).filePath(name);
    store::PAVIFILE file;
    if (store::AVIFileOpen(&file, QFile::encodeName(path).toStdString(),
                           store::OF_CREATE | store::OF_WRITE | store::OF_SHARE_DENY_NONE) != store::AVIERR_OK)
        throw std::runtime_error(store::AviLastError());
    if (recipe.withSoundStream) {
        store::AVISTREAMINFOA info{};
        info.fccType = store::streamtypeAUDIO;
        info.dwScale = 1;
        info.dwRate = recipe.soundFormat.format.nSamplesPerSec;
        info.dwQuality = static_cast<store::DWORD>(-1);
        info.dwSampleSize = recipe.soundFormat.format.nBlockAlign;
        store::PAVISTREAM stream;
        if (store::AVIFileCreateStream(file, &stream, info) != store::AVIERR_OK)
            throw std::runtime_error(store::AviLastError());
        if (recipe.withSoundFormat)
            store::AVIStreamSetFormat(stream, 0, &recipe.soundFormat, sizeof recipe.soundFormat);
        const std::vector<std::uint8_t> sound = FixtureSound(recipe);
        const std::size_t block = std::max<std::size_t>(1, recipe.soundFormat.format.nAvgBytesPerSec);
        for (std::size_t at = 0; at < sound.size(); at += block) {
            const auto n = static_cast<store::LONG>(std::min(block, sound.size() - at));
            if (store::AVIStreamWrite(stream, store::AVIStreamLength(stream), n, sound.data() + at, n, 0, nullptr,
                                      nullptr) != store::AVIERR_OK)
                throw std::runtime_error(store::AviLastError());
        }
        store::AVIStreamRelease(stream);
    }
    store::AVIFileRelease(file);

    store::FrameStore frames = store::FrameStore::CreateFrameStore(QFile::encodeName(path + ".xxx").toStdString());
    for (int k = 0; k < recipe.frames; ++k) {
        const QImage picture = (recipe.picture ? recipe.picture(k, recipe.width, recipe.height)
                                             : FramePicture(k, recipe.width, recipe.height))
                                   .convertToFormat(QImage::Format_RGB32);
        frames.AppendFrame({picture.constBits(), picture.width(), picture.height(), picture.bytesPerLine(),
                            store::PixelLayout::Xrgb32});
    }
    frames.AddToFrameCount(recipe.headerCount >= 0 ? recipe.headerCount : recipe.frames);
    frames.Close();
    return path;
}

// The colour at the centre of the top-left quarter, which the white block never covers.
inline QColor BackgroundOf(const QImage& picture)
{
    return picture.pixelColor(picture.width() / 4, picture.height() / 8);
}

// Colours after JPEG are close, not equal.
inline bool Near(const QColor& a, const QColor& b, int tolerance = 12)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

} // namespace quolva::test

// quolvactl info: what a recording holds - the frame store's header count, its records and frame size,
// the sound's bytes and duration, and every stream of the AVI file. One "key: value" fact per line, the
// keys always the same, so that scripts can read them; a missing part says "none".
#include "cli/Commands.h"
#include "record/RecordingSession.h"
#include "store/AviFile.h"
#include "store/FrameStoreWalk.h"
#include "store/Jpeg.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <string>

namespace quolva::cli {
namespace {

// A fourcc as its four characters when they are printable, "0" for none, hexadecimal otherwise.
QString FourccText(store::FOURCC id)
{
    if (id == 0)
        return QStringLiteral("0");
    QString text;
    for (int i = 0; i < 4; ++i) {
        const auto c = static_cast<char>((id >> (8 * i)) & 0xFF);
        if (c < 0x20 || c > 0x7E)
            return QStringLiteral("0x%1").arg(id, 8, 16, QLatin1Char('0'));
        text += QLatin1Char(c);
    }
    return text;
}

__extension__ typedef unsigned __int128 Wide; // a 64-bit count times two 32-bit header fields

// count × factor × 1000 ÷ divisor (divisor > 0) in decimal: the product of a hostile header's fields
// does not fit 64 bits.
QString MillisecondsText(std::uint64_t count, std::uint64_t factor, std::uint64_t divisor)
{
    Wide value = Wide{count} * factor * 1000 / divisor;
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(value % 10)));
        value /= 10;
    } while (value != 0);
    return QString::fromStdString(digits);
}

template <typename T> bool ReadFormat(const std::vector<std::uint8_t>& format, T& into)
{
    if (format.size() < sizeof(T))
        return false;
    std::memcpy(&into, format.data(), sizeof(T));
    return true;
}

void FrameStoreFacts(const QString& framesPath, QStringList& lines)
{
    lines << QStringLiteral("frame store: %1").arg(framesPath);
    if (!QFileInfo::exists(framesPath)) {
        lines << QStringLiteral("frame store present: no") << QStringLiteral("header frame count: none")
              << QStringLiteral("frame records: none") << QStringLiteral("frame size: none");
        return;
    }
    lines << QStringLiteral("frame store present: yes");
    store::FrameStore frames = store::FrameStore::OpenFrameStoreReadOnly(QFile::encodeName(framesPath).toStdString());
    QStringList faults;
    try {
        lines << QStringLiteral("header frame count: %1").arg(frames.ReadFrameCount());
    } catch (const store::StoreError& failure) {
        lines << QStringLiteral("header frame count: unreadable");
        faults << QString::fromUtf8(failure.what());
    }
    // Every record, both copies of its size checked: the header lags behind while a recording runs.
    const store::FrameStoreWalk walk = store::WalkFramesForwards(frames);
    lines << QStringLiteral("frame records: %1").arg(walk.recordStarts.size());
    if (walk.recordStarts.empty()) {
        lines << QStringLiteral("frame size: none");
    } else {
        try {
            frames.Seek(walk.recordStarts.front());
            const store::FrameRecord first = frames.ReadNextFrame();
            const store::JpegDimensions size = store::ReadJpegDimensions(
                first.jpeg, "the first frame of " + QFile::encodeName(framesPath).toStdString());
            lines << QStringLiteral("frame size: %1x%2").arg(size.width).arg(size.height);
        } catch (const store::StoreError& failure) {
            lines << QStringLiteral("frame size: unreadable");
            faults << QString::fromUtf8(failure.what());
        }
    }
    for (const store::DamagedTrailer& trailer : walk.damagedTrailers)
        faults << QStringLiteral("offset %1: %2 (the record is read by its leading size)")
                      .arg(trailer.recordOffset)
                      .arg(QString::fromStdString(trailer.fault));
    if (!walk.ReachedTheEnd())
        faults << QStringLiteral("offset %1: %2").arg(walk.faultOffset).arg(QString::fromStdString(walk.fault));
    for (const QString& fault : faults)
        lines << QStringLiteral("frame store fault: %1").arg(fault);
}

// The first audio stream: the bytes its chunks hold and their duration by the format's bytes per second,
// then the stream header's length as it is. The recorder passes byte counts as sample counts, so in its
// files the header's length is the byte count too (and the editor takes it as one); other writers count
// samples of the block size there.
void SoundFacts(store::AviFile& file, QStringList& lines)
{
    const store::PAVISTREAM audio = file.findStream(store::streamtypeAUDIO, 0);
    if (!audio) {
        lines << QStringLiteral("sound format: none") << QStringLiteral("sound data bytes: none")
              << QStringLiteral("sound length ms: none") << QStringLiteral("sound header length: none");
        return;
    }
    store::SoundFormatArea area{}; // a 16-byte wave format (no cbSize) reads with cbSize 0
    const std::vector<std::uint8_t>& format = audio->format();
    if (!format.empty())
        std::memcpy(&area, format.data(), std::min(format.size(), sizeof area));
    const std::uint64_t bytes = audio->dataBytes();
    lines << QStringLiteral("sound format: %1").arg(record::SoundFormatText(area))
          << QStringLiteral("sound data bytes: %1").arg(bytes);
    if (area.format.nAvgBytesPerSec == 0)
        lines << QStringLiteral("sound length ms: none");
    else
        lines << QStringLiteral("sound length ms: ") + MillisecondsText(bytes, 1, area.format.nAvgBytesPerSec);
    lines << QStringLiteral("sound header length: %1").arg(audio->length());
}

// How long a stream plays: sound by its data bytes and the format's bytes per second (the recorder's and
// the dubbing's header lengths are byte counts, other writers' sample counts), pictures by their count
// and the time base.
QString DurationText(const store::AviStream& stream, const store::AVISTREAMINFOA& info, const store::WAVEFORMATEX* wave)
{
    if (wave != nullptr)
        return wave->nAvgBytesPerSec == 0 ? QStringLiteral("none")
                                          : MillisecondsText(stream.dataBytes(), 1, wave->nAvgBytesPerSec);
    if (info.dwRate == 0)
        return QStringLiteral("none");
    return MillisecondsText(std::uint64_t(std::max(stream.length(), 0)), info.dwScale, info.dwRate);
}

void StreamFacts(store::AviFile& file, QStringList& lines)
{
    int audioStreams = 0;
    for (int n = 0; n < file.streamCount(); ++n)
        audioStreams += file.stream(n)->type() == store::streamtypeAUDIO ? 1 : 0;
    lines << QStringLiteral("streams: %1").arg(file.streamCount())
          << QStringLiteral("audio streams: %1").arg(audioStreams);
    for (int n = 0; n < file.streamCount(); ++n) {
        const store::PAVISTREAM stream = file.stream(n);
        const store::AVISTREAMINFOA info = stream->info();
        const QString key = QStringLiteral("stream %1 ").arg(n);
        lines << key + QStringLiteral("type: ") + FourccText(info.fccType)
              << key + QStringLiteral("handler: ") + FourccText(info.fccHandler)
              << key + QStringLiteral("rate: %1").arg(info.dwRate) << key + QStringLiteral("scale: %1").arg(info.dwScale)
              << key + QStringLiteral("length: %1").arg(stream->length())
              << key + QStringLiteral("sample size: %1").arg(info.dwSampleSize);
        const std::vector<std::uint8_t>& format = stream->format();
        store::WAVEFORMATEX wave{};
        store::BITMAPINFOHEADER bitmap{};
        // A wave format without its cbSize field (16 bytes) is common in files of other writers.
        if (info.fccType == store::streamtypeAUDIO && format.size() >= 16) {
            std::memcpy(&wave, format.data(), std::min(format.size(), sizeof wave));
            lines << key + QStringLiteral("format tag: %1").arg(wave.wFormatTag)
                  << key + QStringLiteral("channels: %1").arg(wave.nChannels)
                  << key + QStringLiteral("samples per second: %1").arg(wave.nSamplesPerSec)
                  << key + QStringLiteral("average bytes per second: %1").arg(wave.nAvgBytesPerSec)
                  << key + QStringLiteral("block align: %1").arg(wave.nBlockAlign)
                  << key + QStringLiteral("bits per sample: %1").arg(wave.wBitsPerSample)
                  << key + QStringLiteral("data bytes: %1").arg(stream->dataBytes())
                  << key + QStringLiteral("duration ms: ") + DurationText(*stream, info, &wave);
        } else if (info.fccType == store::streamtypeVIDEO && ReadFormat(format, bitmap)) {
            lines << key + QStringLiteral("width: %1").arg(bitmap.biWidth)
                  << key + QStringLiteral("height: %1").arg(bitmap.biHeight)
                  << key + QStringLiteral("bit count: %1").arg(bitmap.biBitCount)
                  << key + QStringLiteral("compression: ") + FourccText(bitmap.biCompression)
                  << key + QStringLiteral("duration ms: ") + DurationText(*stream, info, nullptr);
        } else {
            lines << key + QStringLiteral("format bytes: %1").arg(format.size());
        }
    }
}

} // namespace

int InfoCommand(const QStringList& arguments)
{
    if (arguments.size() != 1) {
        err(QStringLiteral("usage: quolvactl info REC.avi"));
        return 2;
    }
    const QString target = arguments.front();
    if (LooksLikeSwf(target))
        return SwfInfo(target);
    // The AVI file is read first: a file that is not an AVI fails before anything is printed.
    const store::PAVIFILE file = store::AviFile::open(QFile::encodeName(target).toStdString(), store::OF_READ);
    QStringList lines;
    lines << QStringLiteral("avi file: %1").arg(target)
          << QStringLiteral("avi complete: %1").arg(file->wasComplete() ? QStringLiteral("yes") : QStringLiteral("no"));
    FrameStoreFacts(record::RecordingSession::FrameStorePath(target), lines);
    SoundFacts(*file, lines);
    StreamFacts(*file, lines);
    file->close();
    for (const QString& line : lines)
        out(line);
    return 0;
}

} // namespace quolva::cli

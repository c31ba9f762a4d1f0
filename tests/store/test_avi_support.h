#pragma once
// Helpers of the AVI tests: recorder-like stream descriptions, test sound and pictures, and ffmpeg /
// ffprobe as independent readers of the files written.
#include "store/AviFileServices.h"

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTest>

#include <cstring>
#include <string>
#include <vector>

namespace avitest {

using namespace quolva::store;

inline SoundFormatArea soundFormat(DWORD rate = 11025, WORD channels = 1, WORD bits = 16)
{
    SoundFormatArea area{};
    area.format.wFormatTag = WAVE_FORMAT_PCM;
    area.format.nChannels = channels;
    area.format.nSamplesPerSec = rate;
    area.format.nBlockAlign = static_cast<WORD>(channels * bits / 8);
    area.format.nAvgBytesPerSec = rate * area.format.nBlockAlign;
    area.format.wBitsPerSample = bits;
    return area;
}

// The audio stream description the recorder uses: scale 1, rate = samples per second, sample size =
// block alignment, quality -1.
inline AVISTREAMINFOA audioInfo(const SoundFormatArea& format = soundFormat())
{
    AVISTREAMINFOA info{};
    info.fccType = streamtypeAUDIO;
    info.dwScale = 1;
    info.dwRate = format.format.nSamplesPerSec;
    info.dwQuality = 0xFFFFFFFFu;
    info.dwSampleSize = format.format.nBlockAlign;
    return info;
}

inline AVISTREAMINFOA videoInfo(int width, int height, DWORD scale, DWORD rate)
{
    AVISTREAMINFOA info{};
    info.fccType = streamtypeVIDEO;
    info.dwScale = scale;
    info.dwRate = rate;
    info.rcFrame = {0, 0, width, height};
    return info;
}

inline BITMAPINFOHEADER bitmapHeader(int width, int height, DWORD compression = BI_RGB, WORD bits = 24)
{
    BITMAPINFOHEADER h{};
    h.biSize = 40;
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = bits;
    h.biCompression = compression;
    if (compression == BI_RGB)
        h.biSizeImage = static_cast<DWORD>(((width * 3 + 3) / 4 * 4) * height);
    return h;
}

// Recognisable sound: a sawtooth whose slope depends on `seed`, as 16-bit samples.
inline QByteArray pcm(int bytes, int seed)
{
    QByteArray data(bytes, Qt::Uninitialized);
    for (int i = 0; i < bytes; ++i)
        data[i] = static_cast<char>((i * (seed + 3) + seed * 17 + (i >> 7)) & 0xFF);
    return data;
}

// A bottom-up 24-bit DIB with rows padded to 4 bytes, and the same picture as top-down BGR rows.
struct Picture {
    QByteArray dib;
    QByteArray topDownBgr;
};
inline Picture picture(int width, int height, int seed)
{
    const int stride = (width * 3 + 3) / 4 * 4;
    Picture p{QByteArray(stride * height, 0), QByteArray(width * 3 * height, 0)};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width * 3; ++x) {
            const char v = static_cast<char>((x * 7 + y * 13 + seed * 29 + (x * y) % 11) & 0xFF);
            p.topDownBgr[y * width * 3 + x] = v;
            p.dib[(height - 1 - y) * stride + x] = v;
        }
    }
    return p;
}

struct ToolRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

inline ToolRun runTool(const QString& program, const QStringList& args, int timeoutMs = 240000)
{
    QProcess process;
    process.start(program, args);
    ToolRun run;
    if (!process.waitForStarted(10000)) {
        run.err = (program + " did not start").toUtf8();
        return run;
    }
    process.closeWriteChannel();
    process.waitForFinished(timeoutMs);
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return run;
}

// Stream descriptions as ffprobe reads them, packets counted by reading every packet.
inline QJsonArray probeStreams(const QString& path)
{
    const ToolRun run = runTool("ffprobe", {"-v", "error", "-count_packets", "-show_entries",
                                            "stream=codec_type,codec_name,codec_tag_string,sample_rate,channels,"
                                            "width,height,nb_read_packets,r_frame_rate,duration",
                                            "-of", "json", path});
    if (run.exitCode != 0)
        qWarning("ffprobe failed on %s: %s", qPrintable(path), run.err.constData());
    return QJsonDocument::fromJson(run.out).object().value("streams").toArray();
}

// The sound of audio stream `n` as ffmpeg decodes it, as 16-bit little-endian samples.
inline QByteArray ffmpegSound(const QString& path, int n = 0)
{
    const ToolRun run = runTool("ffmpeg", {"-v", "error", "-i", path, "-map", QString("0:a:%1").arg(n), "-c:a",
                                           "pcm_s16le", "-f", "s16le", "-"});
    if (run.exitCode != 0)
        qWarning("ffmpeg failed on %s: %s", qPrintable(path), run.err.constData());
    return run.out;
}

// The frames of the first video stream as ffmpeg decodes them, top-down BGR.
inline QByteArray ffmpegFrames(const QString& path, const QString& pixelFormat = "bgr24")
{
    const ToolRun run = runTool("ffmpeg", {"-v", "error", "-i", path, "-map", "0:v:0", "-f", "rawvideo", "-pix_fmt",
                                           pixelFormat, "-vsync", "passthrough", "-"});
    if (run.exitCode != 0)
        qWarning("ffmpeg failed on %s: %s", qPrintable(path), run.err.constData());
    return run.out;
}

inline QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

// Everything a stream holds, read through AVIStreamRead from sample 0.
inline QByteArray readAll(const PAVISTREAM& stream)
{
    QByteArray all;
    const AVISTREAMINFOA info = stream->info();
    LONG position = 0;
    std::vector<char> buffer(1 << 20);
    for (;;) {
        LONG bytes = 0, samples = 0;
        const LONG want = info.dwSampleSize ? static_cast<LONG>(buffer.size() / info.dwSampleSize) : 1;
        if (AVIStreamRead(stream, position, want, buffer.data(), static_cast<LONG>(buffer.size()), &bytes, &samples) !=
                AVIERR_OK ||
            samples == 0)
            break;
        all.append(buffer.data(), bytes);
        position += samples;
    }
    return all;
}

// Offsets of the RIFF headers of a file ('AVI ' first, then 'AVIX' parts).
inline std::vector<qint64> riffParts(const QString& path)
{
    std::vector<qint64> parts;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return parts;
    qint64 pos = 0;
    while (pos + 12 <= f.size()) {
        f.seek(pos);
        const QByteArray head = f.read(12);
        if (!head.startsWith("RIFF"))
            break;
        quint32 size;
        std::memcpy(&size, head.constData() + 4, 4);
        parts.push_back(pos);
        if (size == 0)
            break;
        pos += 8 + size + (size & 1);
    }
    return parts;
}

} // namespace avitest

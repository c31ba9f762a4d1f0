// The AVI file services as the recorder, the editor and the publisher call them: streams, formats,
// lengths, reads, time conversions, handles and failures.
#include "test_avi_support.h"

#include <QDir>
#include <QTemporaryDir>

#include <csignal>
#include <fstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace avitest;


namespace {

// A hand-made AVI file of one audio stream, the shapes a hostile file can take: a super index of
// `superEntries` entries that all name the one standard index, whose `standardEntries` entries point at
// the one data chunk except the last, which points outside the data (so the index cannot be used); and
// `emptyChunks` data chunks of no bytes (8 bytes each in the file) in the movi list.
QByteArray craftedAvi(int superEntries, int standardEntries, int emptyChunks)
{
    QByteArray b;
    const auto u16 = [&](quint16 v) { b.append(reinterpret_cast<const char*>(&v), 2); };
    const auto u32 = [&](quint32 v) { b.append(reinterpret_cast<const char*>(&v), 4); };
    const auto u64 = [&](quint64 v) { b.append(reinterpret_cast<const char*>(&v), 8); };
    const auto open = [&](const char* id, const char* type) {
        const qint64 at = b.size();
        b.append(id, 4);
        u32(0);
        if (type)
            b.append(type, 4);
        return at;
    };
    const auto close = [&](qint64 at) {
        const quint32 size = static_cast<quint32>(b.size() - at - 8);
        std::memcpy(b.data() + at + 4, &size, 4);
        if (size & 1)
            b.append('\0');
    };
    const qint64 riff = open("RIFF", "AVI ");
    const qint64 hdrl = open("LIST", "hdrl");
    const qint64 avih = open("avih", nullptr);
    b.append(QByteArray(56, '\0'));
    close(avih);
    const qint64 strl = open("LIST", "strl");
    const qint64 strh = open("strh", nullptr);
    b.append("auds", 4);
    b.append(QByteArray(16, '\0'));
    u32(1);     // scale
    u32(11025); // rate
    u32(0);     // start
    u32(0);     // length
    u32(0);
    u32(0xFFFFFFFF);
    u32(2); // sample size
    u64(0);
    close(strh);
    const qint64 strf = open("strf", nullptr);
    u16(1), u16(1), u32(11025), u32(22050), u16(2), u16(16), u16(0);
    close(strf);
    const qint64 indx = open("indx", nullptr);
    u16(4), b.append('\0'), b.append('\0'), u32(static_cast<quint32>(superEntries)), b.append("00wb", 4), u32(0), u32(0), u32(0);
    const qint64 superAt = b.size();
    b.append(QByteArray(16 * superEntries, '\0'));
    close(indx);
    close(strl);
    close(hdrl);
    const qint64 movi = open("LIST", "movi");
    const qint64 data = open("00wb", nullptr);
    u32(0x01020304);
    close(data);
    for (int i = 0; i < emptyChunks; ++i)
        b.append("00wb", 4), u32(0);
    const qint64 ix = open("ix00", nullptr);
    u16(2), b.append('\0'), b.append('\1'), u32(static_cast<quint32>(standardEntries)), b.append("00wb", 4);
    u64(static_cast<quint64>(movi + 8)), u32(0);
    for (int i = 0; i < standardEntries; ++i)
        u32(i + 1 < standardEntries ? static_cast<quint32>(data + 8 - (movi + 8)) : 0x7FFFFFF0u), u32(4);
    close(ix);
    close(movi);
    close(riff);
    for (int i = 0; i < superEntries; ++i) {
        const quint64 offset = static_cast<quint64>(ix);
        const quint32 size = static_cast<quint32>(8 + 24 + 8 * standardEntries);
        std::memcpy(b.data() + superAt + 16 * i, &offset, 8);
        std::memcpy(b.data() + superAt + 16 * i + 8, &size, 4);
    }
    return b;
}

// Opens `file` for reading in a child process held to `limit` (CPU seconds or address space above what
// the child already uses). The child's exit status: 0 opened, 2 refused with an AVI error saying
// `refusal`, 3 another AVI error, 4 anything else thrown; killed by a signal: -signal.
int openLimited(const QString& file, int resource, rlim_t limit, const char* refusal)
{
    const pid_t child = fork();
    if (child == 0) {
        if (resource == RLIMIT_AS) {
            std::ifstream status("/proc/self/status");
            std::string line;
            rlim_t used = 0;
            while (std::getline(status, line))
                if (line.rfind("VmSize:", 0) == 0)
                    used = std::stoull(line.substr(7)) * 1024;
            limit += used;
        }
        const rlimit bound{limit, limit};
        setrlimit(resource, &bound);
        try {
            AviFile::open(file.toStdString(), OF_READ)->close();
            _exit(0);
        } catch (const AviError& e) {
            _exit(std::string(e.what()).find(refusal) != std::string::npos ? 2 : 3);
        } catch (...) {
            _exit(4);
        }
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child)
        return -1000;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

} // namespace

class TestAviFile : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.filePath(name); }
    static void writeBytes(const QString& file, const QByteArray& bytes)
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(f.write(bytes), bytes.size());
    }

    // A file with one recorder-style audio stream holding `blocks`, written with sample count = bytes.
    void writeSoundFile(const QString& file, const std::vector<QByteArray>& blocks)
    {
        PAVIFILE avi;
        PAVISTREAM audio;
        QCOMPARE(AVIFileOpen(&avi, file.toStdString(), OF_CREATE | OF_WRITE | OF_SHARE_DENY_NONE), AVIERR_OK);
        QCOMPARE(AVIFileCreateStream(avi, &audio, audioInfo()), AVIERR_OK);
        const SoundFormatArea format = soundFormat();
        QCOMPARE(AVIStreamSetFormat(audio, 0, &format, sizeof format), AVIERR_OK);
        for (const QByteArray& b : blocks)
            QCOMPARE(AVIStreamWrite(audio, AVIStreamLength(audio), static_cast<LONG>(b.size()), b.constData(),
                                    static_cast<LONG>(b.size()), 0, nullptr, nullptr),
                     AVIERR_OK);
        AVIStreamRelease(audio);
        AVIFileRelease(avi);
    }

private slots:
    void initTestCase() { QVERIFY(dir_.isValid()); }
    void cleanup()
    {
        AviFile::setPartSize(std::uint64_t(1) << 30);
        AviFile::setHeaderRoom(16384);
    }

    // The continue path of the recorder: an empty audio stream, released, opened again with 0x42,
    // written at its length, holds the old sound followed by the new, and counts bytes as its length.
    void continuedRecordingHoldsOldThenNewSound()
    {
        const QString file = path("continue.avi");
        AVIFileInit();
        PAVIFILE avi;
        PAVISTREAM audio;
        QCOMPARE(AVIFileOpen(&avi, file.toStdString(), 0x1041), AVIERR_OK);
        QCOMPARE(AVIFileCreateStream(avi, &audio, audioInfo()), AVIERR_OK);
        AVIStreamRelease(audio);
        QCOMPARE(AVIFileRelease(avi), 0u);
        AVIFileExit();

        const QByteArray first = pcm(22054, 1), last = pcm(11026, 2), second = pcm(22054, 3);
        for (const QByteArray& block : {first, QByteArray(), second, last}) {
            AVIFileInit();
            QCOMPARE(AVIFileOpen(&avi, file.toStdString(), 0x42), AVIERR_OK);
            QCOMPARE(AVIFileGetStream(avi, &audio, streamtypeAUDIO, 0), AVIERR_OK);
            SoundFormatArea format = soundFormat();
            QCOMPARE(AVIStreamSetFormat(audio, 0, &format, 20), AVIERR_OK);
            const LONG length = AVIStreamLength(audio);
            LONG samples = -1, bytes = -1;
            QCOMPARE(AVIStreamWrite(audio, length, static_cast<LONG>(block.size()), block.constData(),
                                    static_cast<LONG>(block.size()), 0, &samples, &bytes),
                     AVIERR_OK);
            QCOMPARE(bytes, static_cast<LONG>(block.size()));
            QCOMPARE(AVIStreamLength(audio), length + static_cast<LONG>(block.size()));
            AVIStreamRelease(audio);
            AVIFileRelease(avi);
            AVIFileExit();
        }

        QCOMPARE(AVIFileOpen(&avi, file.toStdString(), OF_READ), AVIERR_OK);
        QCOMPARE(AVIFileGetStream(avi, &audio, streamtypeAUDIO, 0), AVIERR_OK);
        QCOMPARE(AVIStreamLength(audio), static_cast<LONG>(first.size() + second.size() + last.size()));
        QCOMPARE(readAll(audio), first + second + last);
        AVIFileRelease(avi);
        AVIStreamRelease(audio);
        QCOMPARE(ffmpegSound(file), first + second + last);
    }

    // A video stream added to a file with audio streams comes after them; "auds" 0 stays the first.
    void addedStreamsComeAfterTheFirstAudioStream()
    {
        const QString file = path("streams.avi");
        const QByteArray recorded = pcm(4000, 5), dubbed = pcm(3000, 6);
        writeSoundFile(file, {recorded});

        PAVIFILE avi;
        PAVISTREAM audio, dubbing, video;
        QCOMPARE(AVIFileOpen(&avi, file.toStdString(), 0x42), AVIERR_OK);
        QCOMPARE(AVIFileGetStream(avi, &audio, streamtypeAUDIO, 0), AVIERR_OK);
        AVISTREAMINFOA info{};
        QCOMPARE(AVIStreamInfo(audio, &info, sizeof info), AVIERR_OK);
        QCOMPARE(info.dwLength, DWORD(4000));
        // Dubbing creates its stream from the description just read: its length still starts at 0.
        QCOMPARE(AVIFileCreateStream(avi, &dubbing, &info), AVIERR_OK);
        QCOMPARE(AVIStreamLength(dubbing), 0);
        const SoundFormatArea format = soundFormat();
        AVIStreamSetFormat(dubbing, 0, &format, 20);
        QCOMPARE(AVIStreamWrite(dubbing, 0, 3000, dubbed.constData(), 3000, 0, nullptr, nullptr), AVIERR_OK);

        const Picture frame = picture(8, 6, 1);
        QCOMPARE(AVIFileCreateStream(avi, &video, videoInfo(8, 6, 1, 10)), AVIERR_OK);
        const BITMAPINFOHEADER bih = bitmapHeader(8, 6);
        QCOMPARE(AVIStreamSetFormat(video, 0, &bih, 40), AVIERR_OK);
        QCOMPARE(AVIStreamWrite(video, 0, 1, frame.dib.constData(), static_cast<LONG>(frame.dib.size()),
                                AVIIF_KEYFRAME, nullptr, nullptr),
                 AVIERR_OK);
        PAVISTREAM first;
        QCOMPARE(AVIFileGetStream(avi, &first, streamtypeAUDIO, 0), AVIERR_OK);
        QCOMPARE(first->number(), 0);
        QCOMPARE(readAll(first), recorded);
        AVIStreamRelease(first);
        AVIStreamRelease(audio);
        AVIStreamRelease(dubbing);
        AVIStreamRelease(video);
        QCOMPARE(AVIFileRelease(avi), 0u);

        QCOMPARE(AVIFileOpen(&avi, file.toStdString(), 0x42), AVIERR_OK);
        QCOMPARE(avi->streamCount(), 3);
        QCOMPARE(AVIFileGetStream(avi, &audio, streamtypeAUDIO, 0), AVIERR_OK);
        QCOMPARE(readAll(audio), recorded);
        QCOMPARE(AVIFileGetStream(avi, &dubbing, streamtypeAUDIO, 1), AVIERR_OK);
        QCOMPARE(readAll(dubbing), dubbed);
        QCOMPARE(AVIFileGetStream(avi, &video, streamtypeVIDEO, 0), AVIERR_OK);
        QCOMPARE(video->number(), 2);
        QCOMPARE(readAll(video), frame.dib);
        AVIFileRelease(avi);
        AVIStreamRelease(audio);
        AVIStreamRelease(dubbing);
        AVIStreamRelease(video);

        const QJsonArray streams = probeStreams(file);
        QCOMPARE(streams.size(), 3);
        QCOMPARE(streams[0].toObject()["codec_type"].toString(), QString("audio"));
        QCOMPARE(streams[1].toObject()["codec_type"].toString(), QString("audio"));
        QCOMPARE(streams[2].toObject()["codec_type"].toString(), QString("video"));
        QCOMPARE(ffmpegSound(file, 0), recorded);
        QCOMPARE(ffmpegSound(file, 1), dubbed);
    }

    // Descriptions and formats read back as they were given, also after reopening; a stream that
    // holds data keeps its format.
    void descriptionsAndFormatsReadBackUnchanged()
    {
        const QString file = path("formats.avi");
        AVISTREAMINFOA given = audioInfo(soundFormat(22050, 2));
        std::strcpy(given.szName, "voice");
        given.wLanguage = 7;
        given.dwLength = 12345; // ignored: a new stream is empty
        const SoundFormatArea format = soundFormat(22050, 2);
        const BITMAPINFOHEADER bih = bitmapHeader(320, 200, mmioFOURCC('M', 'J', 'P', 'G'));
        {
            PAVIFILE avi;
            PAVISTREAM audio, video;
            AVIFileOpen(&avi, file.toStdString(), 0x1041);
            AVIFileCreateStream(avi, &audio, given);
            AVIFileCreateStream(avi, &video, videoInfo(320, 200, 12, 96));
            QCOMPARE(AVIStreamSetFormat(audio, 0, &format, 20), AVIERR_OK);
            QCOMPARE(AVIStreamSetFormat(video, 0, &bih, 40), AVIERR_OK);
            QCOMPARE(AVIStreamSetFormat(video, 3, &bih, 40), AVIERR_UNSUPPORTED);
            const QByteArray data = pcm(400, 1);
            AVIStreamWrite(audio, 0, 100, data.constData(), 400, 0, nullptr, nullptr);
            SoundFormatArea other = soundFormat(44100, 2);
            QCOMPARE(AVIStreamSetFormat(audio, 0, &other, 20), AVIERR_UNSUPPORTED);
            QVERIFY(QString::fromStdString(AviLastError()).contains("already holds data"));
            QCOMPARE(AVIStreamSetFormat(audio, 0, &format, 18), AVIERR_OK); // the same, without the padding
            AVIStreamRelease(audio);
            AVIStreamRelease(video);
            AVIFileRelease(avi);
        }
        PAVIFILE avi;
        PAVISTREAM audio, video;
        QCOMPARE(AVIFileOpen(&avi, file.toStdString(), 0x42), AVIERR_OK);
        QCOMPARE(AVIFileGetStream(avi, &audio, streamtypeAUDIO, 0), AVIERR_OK);
        QCOMPARE(AVIFileGetStream(avi, &video, streamtypeVIDEO, 0), AVIERR_OK);
        AVISTREAMINFOA info{};
        QCOMPARE(AVIStreamInfo(audio, &info, sizeof info), AVIERR_OK);
        QCOMPARE(info.fccType, streamtypeAUDIO);
        QCOMPARE(info.dwRate, DWORD(22050));
        QCOMPARE(info.dwScale, DWORD(1));
        QCOMPARE(info.dwSampleSize, DWORD(4));
        QCOMPARE(info.dwQuality, DWORD(0xFFFFFFFF));
        QCOMPARE(info.wLanguage, WORD(7));
        QCOMPARE(info.dwLength, DWORD(100));
        QCOMPARE(QString(info.szName), QString("voice"));
        SoundFormatArea readBack;
        std::memset(&readBack, 0xAB, sizeof readBack);
        LONG size = sizeof readBack;
        QCOMPARE(AVIStreamReadFormat(audio, 0, &readBack, &size), AVIERR_OK);
        QCOMPARE(size, 20);
        QCOMPARE(std::memcmp(&readBack, &format, 20), 0);
        LONG needed = 0;
        QCOMPARE(AVIStreamReadFormat(video, 0, nullptr, &needed), AVIERR_OK);
        QCOMPARE(needed, 40);
        BITMAPINFOHEADER bihBack{};
        QCOMPARE(AVIStreamReadFormat(video, 0, &bihBack, &needed), AVIERR_OK);
        QCOMPARE(std::memcmp(&bihBack, &bih, 40), 0);
        QCOMPARE(AVIStreamInfo(video, &info, sizeof info), AVIERR_OK);
        QCOMPARE(info.dwScale, DWORD(12));
        QCOMPARE(info.dwRate, DWORD(96));
        QCOMPARE(info.rcFrame.right, 320);
        QCOMPARE(info.rcFrame.bottom, 200);
        AVIStreamRelease(audio);
        AVIStreamRelease(video);
        AVIFileRelease(avi);
    }

    // Lengths are the sum of the sample counts written, whatever the byte counts, across reopening.
    void lengthIsTheSumOfSampleCounts()
    {
        const QString file = path("length.avi");
        const QByteArray block = pcm(2000, 4);
        PAVIFILE avi;
        PAVISTREAM bytesCounted, samplesCounted, video;
        AVIFileOpen(&avi, file.toStdString(), 0x1041);
        AVIFileCreateStream(avi, &bytesCounted, audioInfo());
        AVIFileCreateStream(avi, &samplesCounted, audioInfo());
        AVIFileCreateStream(avi, &video, videoInfo(4, 4, 1, 10));
        for (int i = 0; i < 3; ++i) {
            AVIStreamWrite(bytesCounted, AVIStreamLength(bytesCounted), 2000, block.constData(), 2000, 0, nullptr, nullptr);
            AVIStreamWrite(samplesCounted, AVIStreamLength(samplesCounted), 1000, block.constData(), 2000, 0, nullptr, nullptr);
            AVIStreamWrite(video, i, 1, block.constData(), 48, AVIIF_KEYFRAME, nullptr, nullptr);
        }
        // A write of 0 bytes (the empty buffer a stopped device hands back) adds nothing.
        QCOMPARE(AVIStreamWrite(bytesCounted, AVIStreamLength(bytesCounted), 0, nullptr, 0, 0, nullptr, nullptr), AVIERR_OK);
        QCOMPARE(AVIStreamLength(bytesCounted), 6000);
        QCOMPARE(AVIStreamLength(samplesCounted), 3000);
        QCOMPARE(AVIStreamLength(video), 3);
        // Writes go at the end only.
        QCOMPARE(AVIStreamWrite(video, 1, 1, block.constData(), 48, 0, nullptr, nullptr), AVIERR_BADPARAM);
        QVERIFY(QString::fromStdString(AviLastError()).contains("length.avi"));
        AVIStreamRelease(bytesCounted);
        AVIStreamRelease(samplesCounted);
        AVIStreamRelease(video);
        AVIFileRelease(avi);

        AVIFileOpen(&avi, file.toStdString(), OF_READ);
        AVIFileGetStream(avi, &bytesCounted, streamtypeAUDIO, 0);
        AVIFileGetStream(avi, &samplesCounted, streamtypeAUDIO, 1);
        AVIFileGetStream(avi, &video, streamtypeVIDEO, 0);
        QCOMPARE(AVIStreamLength(bytesCounted), 6000);
        QCOMPARE(AVIStreamLength(samplesCounted), 3000);
        QCOMPARE(AVIStreamLength(video), 3);
        QCOMPARE(AVIStreamWrite(video, 3, 1, block.constData(), 48, 0, nullptr, nullptr), AVIERR_READONLY);
        AVIFileRelease(avi);
        AVIStreamRelease(bytesCounted);
        AVIStreamRelease(samplesCounted);
        AVIStreamRelease(video);
    }

    // Reads count samples of dwSampleSize bytes over the data present, never past its end.
    void readsFixedSizeSamples()
    {
        const QString file = path("read.avi");
        const QByteArray a = pcm(1000, 1), b = pcm(501, 2); // 1501 bytes: 750 whole samples
        writeSoundFile(file, {a, b});
        PAVIFILE avi;
        PAVISTREAM audio;
        AVIFileOpen(&avi, file.toStdString(), OF_READ);
        AVIFileGetStream(avi, &audio, streamtypeAUDIO, 0);
        const QByteArray all = a + b;
        char buffer[4096];
        LONG bytes = -1, samples = -1;
        // Across the chunk boundary.
        QCOMPARE(AVIStreamRead(audio, 490, 20, buffer, sizeof buffer, &bytes, &samples), AVIERR_OK);
        QCOMPARE(samples, 20);
        QCOMPARE(bytes, 40);
        QCOMPARE(QByteArray(buffer, bytes), all.mid(980, 40));
        // Partial at the end: the odd last byte is no whole sample.
        QCOMPARE(AVIStreamRead(audio, 740, 100, buffer, sizeof buffer, &bytes, &samples), AVIERR_OK);
        QCOMPARE(samples, 10);
        QCOMPARE(QByteArray(buffer, bytes), all.mid(1480, 20));
        // Past the end: nothing, successfully.
        QCOMPARE(AVIStreamRead(audio, 750, 10, buffer, sizeof buffer, &bytes, &samples), AVIERR_OK);
        QCOMPARE(bytes, 0);
        QCOMPARE(samples, 0);
        QCOMPARE(AVIStreamRead(audio, 5000, 10, buffer, sizeof buffer, &bytes, &samples), AVIERR_OK);
        QCOMPARE(samples, 0);
        // A buffer for fewer samples than asked reads what fits; one for none is too small.
        QCOMPARE(AVIStreamRead(audio, 0, 100, buffer, 7, &bytes, &samples), AVIERR_OK);
        QCOMPARE(samples, 3);
        QCOMPARE(QByteArray(buffer, bytes), all.left(6));
        QCOMPARE(AVIStreamRead(audio, 0, 100, buffer, 1, &bytes, &samples), AVIERR_BUFFERTOOSMALL);
        QCOMPARE(samples, 0);
        // Without a buffer: the sizes only.
        QCOMPARE(AVIStreamRead(audio, 700, 100, nullptr, 0, &bytes, &samples), AVIERR_OK);
        QCOMPARE(samples, 50);
        QCOMPARE(bytes, 100);
        QCOMPARE(AVIStreamRead(audio, -1, 1, buffer, sizeof buffer, &bytes, &samples), AVIERR_BADPARAM);
        AVIStreamRelease(audio);
        AVIFileRelease(avi);
    }

    // Streams of one sample per chunk read one chunk per call.
    void readsOneChunkPerSample()
    {
        const QString file = path("frames.avi");
        PAVIFILE avi;
        PAVISTREAM video;
        AVIFileOpen(&avi, file.toStdString(), 0x1041);
        AVIFileCreateStream(avi, &video, videoInfo(4, 2, 1, 5));
        const BITMAPINFOHEADER bih = bitmapHeader(4, 2, mmioFOURCC('M', 'J', 'P', 'G'));
        AVIStreamSetFormat(video, 0, &bih, 40);
        const QByteArray f0 = pcm(31, 1), f2 = pcm(100, 2);
        AVIStreamWrite(video, 0, 1, f0.constData(), 31, AVIIF_KEYFRAME, nullptr, nullptr);
        AVIStreamWrite(video, 1, 1, nullptr, 0, 0, nullptr, nullptr); // an empty frame keeps its place
        AVIStreamWrite(video, 2, 1, f2.constData(), 100, 0, nullptr, nullptr);
        char buffer[256];
        LONG bytes = -1, samples = -1;
        QCOMPARE(AVIStreamRead(video, 0, 5, buffer, sizeof buffer, &bytes, &samples), AVIERR_OK);
        QCOMPARE(samples, 1);
        QCOMPARE(QByteArray(buffer, bytes), f0);
        QCOMPARE(AVIStreamRead(video, 1, 1, buffer, sizeof buffer, &bytes, &samples), AVIERR_OK);
        QCOMPARE(bytes, 0);
        QCOMPARE(samples, 1);
        QCOMPARE(AVIStreamRead(video, 2, 1, buffer, 99, &bytes, &samples), AVIERR_BUFFERTOOSMALL);
        QCOMPARE(AVIStreamRead(video, 2, 1, nullptr, 0, &bytes, &samples), AVIERR_OK);
        QCOMPARE(bytes, 100);
        QCOMPARE(AVIStreamRead(video, 3, 1, buffer, sizeof buffer, &bytes, &samples), AVIERR_OK);
        QCOMPARE(samples, 0);
        AVIStreamRelease(video);
        AVIFileRelease(avi);

        AVIFileOpen(&avi, file.toStdString(), OF_READ);
        AVIFileGetStream(avi, &video, streamtypeVIDEO, 0);
        QCOMPARE(AVIStreamLength(video), 3);
        QCOMPARE(AVIStreamRead(video, 2, 1, buffer, sizeof buffer, &bytes, &samples), AVIERR_OK);
        QCOMPARE(QByteArray(buffer, bytes), f2);
        AVIFileRelease(avi);
        AVIStreamRelease(video);
        // ffmpeg passes over the empty frame and keeps the others' times.
        const QJsonObject probed = probeStreams(file)[0].toObject();
        QCOMPARE(probed["nb_read_packets"].toString(), QString("2"));
    }

    void convertsBetweenSamplesAndTime()
    {
        const QString file = path("time.avi");
        PAVIFILE avi;
        PAVISTREAM audio, video, noScale;
        AVIFileOpen(&avi, file.toStdString(), 0x1041);
        AVISTREAMINFOA info = audioInfo();
        info.dwStart = 7;
        AVIFileCreateStream(avi, &audio, info);
        AVIFileCreateStream(avi, &video, videoInfo(4, 4, 12, 96)); // 96 frames in 12 s: 8 per second
        AVIFileCreateStream(avi, &noScale, videoInfo(4, 4, 0, 96)); // a sound track under one second
        QCOMPARE(AVIStreamStart(audio), 7);
        QCOMPARE(AVIStreamSampleToTime(audio, 0), 0);
        QCOMPARE(AVIStreamSampleToTime(audio, 11025), 1000);
        QCOMPARE(AVIStreamSampleToTime(audio, 11024), 999);
        QCOMPARE(AVIStreamTimeToSample(audio, 1000), 11025);
        QCOMPARE(AVIStreamTimeToSample(audio, AVIStreamSampleToTime(audio, 0)), 0);
        QCOMPARE(AVIStreamSampleToTime(audio, 2000000000), LONG(2000000000LL * 1000 / 11025));
        QCOMPARE(AVIStreamSampleToTime(video, 1), 125);
        QCOMPARE(AVIStreamTimeToSample(video, 250), 2);
        QCOMPARE(AVIStreamTimeToSample(video, 249), 1);
        QCOMPARE(AVIStreamTimeToSample(noScale, 1000), -1);
        QCOMPARE(AVIStreamSampleToTime(noScale, 5), 0);
        QCOMPARE(AVIStreamSampleToTime(audio, -1), -1);
        AVIStreamRelease(audio);
        AVIStreamRelease(video);
        AVIStreamRelease(noScale);
        AVIFileRelease(avi);
    }


    // Hostile files cost work and memory bounded by their size: a standard index named by every entry of
    // the super index is read once, and a file of countless empty chunks is refused with a clear error
    // instead of remembering them all.
    void hostileIndexesAndChunksAreBounded()
    {
        const QString shared = path("one-index-named-60000-times.avi");
        writeBytes(shared, craftedAvi(60000, 60000, 0));
        QCOMPARE(openLimited(shared, RLIMIT_CPU, 5, ""), 0);

        const QString empty = path("eight-million-empty-chunks.avi");
        writeBytes(empty, craftedAvi(0, 1, 8'000'000));
        QCOMPARE(openLimited(empty, RLIMIT_AS, rlim_t{256} << 20, "chunks"), 2);
    }

    // Failures give a code and a message naming the file; handles release in any order, once.
    void failuresAndHandles()
    {
        PAVIFILE avi;
        PAVISTREAM stream;
        const QString missing = path("no/such/dir/x.avi");
        QCOMPARE(AVIFileOpen(&avi, missing.toStdString(), 0x1041), AVIERR_FILEOPEN);
        QVERIFY(!avi);
        QVERIFY(QString::fromStdString(AviLastError()).contains(missing));
        QCOMPARE(AVIFileOpen(&avi, path("absent.avi").toStdString(), 0x42), AVIERR_FILEOPEN);
        QVERIFY(QString::fromStdString(AviLastError()).contains("absent.avi"));

        const QString text = path("text.avi");
        {
            QFile f(text);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("this is not a movie at all");
        }
        QCOMPARE(AVIFileOpen(&avi, text.toStdString(), 0x42), AVIERR_BADFORMAT);
        QVERIFY(QString::fromStdString(AviLastError()).contains("not an AVI file"));

        const QString sound = path("handles.avi");
        writeSoundFile(sound, {pcm(100, 1)});
        QCOMPARE(AVIFileOpen(&avi, sound.toStdString(), 0x42), AVIERR_OK);
        QCOMPARE(AVIFileGetStream(avi, &stream, streamtypeVIDEO, 0), AVIERR_NODATA);
        QVERIFY(!stream);
        QCOMPARE(QString::fromStdString(AviLastError()), "AVI file \"" + sound + "\" has no video stream");
        QCOMPARE(AVIFileGetStream(avi, &stream, streamtypeAUDIO, 1), AVIERR_NODATA);
        QVERIFY(QString::fromStdString(AviLastError()).contains("has no audio stream"));
        QCOMPARE(AVIStreamLength(stream), -1);

        // The file goes first, the stream keeps it alive and completes it when released.
        QCOMPARE(AVIFileGetStream(avi, &stream, streamtypeAUDIO, 0), AVIERR_OK);
        QCOMPARE(AVIFileRelease(avi), 1u);
        QCOMPARE(AVIFileRelease(avi), 0u);
        const QByteArray more = pcm(300, 2);
        QCOMPARE(AVIStreamWrite(stream, 100, 300, more.constData(), 300, 0, nullptr, nullptr), AVIERR_OK);
        QCOMPARE(AVIStreamRelease(stream), 0u);
        QCOMPARE(AVIStreamRelease(stream), 0u);
        QCOMPARE(ffmpegSound(sound), pcm(100, 1) + more);

        // A handle that is never released still completes the file when it goes.
        {
            auto file = AviFile::open(sound.toStdString(), 0x42);
            auto audio = file->getStream(streamtypeAUDIO, 0);
            audio->write(audio->length(), 50, pcm(50, 3).constData(), 50, 0);
        }
        QCOMPARE(ffmpegSound(sound), pcm(100, 1) + more + pcm(50, 3));
        // Operations on a closed file throw, naming it.
        auto file = AviFile::open(sound.toStdString(), OF_READ);
        auto audio = file->stream(0);
        file->close();
        file->close();
        QVERIFY_THROWS_EXCEPTION(AviError, audio->read(0, 1, nullptr, 0));
    }

    // Opening and releasing without a change leaves the file byte for byte as it was.
    void unchangedFileIsLeftAlone()
    {
        const QString file = path("untouched.avi");
        writeSoundFile(file, {pcm(3000, 1), pcm(3000, 2)});
        const QByteArray before = fileBytes(file);
        PAVIFILE avi;
        PAVISTREAM audio;
        AVIFileOpen(&avi, file.toStdString(), 0x42);
        AVIFileGetStream(avi, &audio, streamtypeAUDIO, 0);
        SoundFormatArea format = soundFormat();
        AVIStreamSetFormat(audio, 0, &format, 20);
        QCOMPARE(readAll(audio).size(), 6000);
        AVIStreamRelease(audio);
        AVIFileRelease(avi);
        QCOMPARE(fileBytes(file), before);
    }

    // When added streams outgrow the header room the file is written again, completely.
    void outgrownHeaderRoomRewritesTheFile()
    {
        AviFile::setHeaderRoom(1024);
        const QString sub = path("room");
        QDir().mkpath(sub);
        const QString file = sub + "/room.avi";
        const QByteArray recorded = pcm(5000, 1);
        writeSoundFile(file, {recorded});
        PAVIFILE avi;
        AVIFileOpen(&avi, file.toStdString(), 0x42);
        std::vector<QByteArray> dubbed;
        for (int i = 0; i < 6; ++i) {
            PAVISTREAM s;
            QCOMPARE(AVIFileCreateStream(avi, &s, audioInfo()), AVIERR_OK);
            const SoundFormatArea format = soundFormat();
            AVIStreamSetFormat(s, 0, &format, 20);
            dubbed.push_back(pcm(700 + i, 10 + i));
            QCOMPARE(AVIStreamWrite(s, 0, 700 + i, dubbed.back().constData(), 700 + i, 0, nullptr, nullptr), AVIERR_OK);
            AVIStreamRelease(s);
        }
        AVIFileRelease(avi);
        QCOMPARE(QDir(sub).entryList(QDir::Files), QStringList{"room.avi"});
        QCOMPARE(probeStreams(file).size(), 7);
        QCOMPARE(ffmpegSound(file, 0), recorded);
        for (int i = 0; i < 6; ++i)
            QCOMPARE(ffmpegSound(file, i + 1), dubbed[static_cast<std::size_t>(i)].left((700 + i) / 2 * 2));
        AVIFileOpen(&avi, file.toStdString(), OF_READ);
        QCOMPARE(avi->streamCount(), 7);
        QCOMPARE(readAll(avi->stream(6)), dubbed[5].left(704));
        AVIFileRelease(avi);
    }

    // A rewrite that cannot finish (here: the file size limit) leaves the old file as it was.
    void interruptedRewriteLosesNothing()
    {
        AviFile::setHeaderRoom(1024);
        const QString file = path("limit.avi");
        const QByteArray recorded = pcm(200000, 1);
        writeSoundFile(file, {recorded});
        const QByteArray before = fileBytes(file);

        PAVIFILE avi;
        AVIFileOpen(&avi, file.toStdString(), 0x42);
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit limit = old;
        limit.rlim_cur = 100000; // below the size of the file written again
        setrlimit(RLIMIT_FSIZE, &limit);
        HRESULT result = AVIERR_OK;
        for (int i = 0; i < 8 && result == AVIERR_OK; ++i) {
            PAVISTREAM s;
            result = AVIFileCreateStream(avi, &s, audioInfo());
            AVIStreamRelease(s);
        }
        setrlimit(RLIMIT_FSIZE, &old);
        QCOMPARE(result, AVIERR_FILEWRITE);
        QVERIFY(QString::fromStdString(AviLastError()).contains("limit.avi"));
        avi.reset(); // the file is left as the failed change found it
        QCOMPARE(QDir(dir_.path()).entryList({"limit.avi.*"}, QDir::Files), QStringList());
        PAVISTREAM audio;
        QCOMPARE(AVIFileOpen(&avi, file.toStdString(), OF_READ), AVIERR_OK);
        QCOMPARE(AVIFileGetStream(avi, &audio, streamtypeAUDIO, 0), AVIERR_OK);
        QCOMPARE(readAll(audio), recorded);
        AVIStreamRelease(audio);
        AVIFileRelease(avi);
        QCOMPARE(ffmpegSound(file), recorded);
        Q_UNUSED(before);
    }
};

QTEST_GUILESS_MAIN(TestAviFile)
#include "test_avi_file.moc"

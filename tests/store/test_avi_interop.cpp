// The files the AVI services write, read by ffmpeg; files of other writers, OpenDML parts, files cut
// short and files whose writer died, read and continued by the AVI services.
#include "test_avi_support.h"

#include <QCryptographicHash>
#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace avitest;

class TestAviInterop : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.filePath(name); }

    static void truncateFile(const QString& file, qint64 size)
    {
        QFile f(file);
        QVERIFY(f.resize(size));
    }

    // Appends `block` to the first audio stream of `file` as the recorder continues a recording.
    static void appendSound(const QString& file, const QByteArray& block)
    {
        PAVIFILE avi;
        PAVISTREAM audio;
        QCOMPARE(AVIFileOpen(&avi, file.toStdString(), 0x42), AVIERR_OK);
        QCOMPARE(AVIFileGetStream(avi, &audio, streamtypeAUDIO, 0), AVIERR_OK);
        SoundFormatArea format{};
        LONG size = sizeof format;
        QCOMPARE(AVIStreamReadFormat(audio, 0, &format, &size), AVIERR_OK);
        QCOMPARE(AVIStreamSetFormat(audio, 0, &format, sizeof format), AVIERR_OK);
        QCOMPARE(AVIStreamWrite(audio, AVIStreamLength(audio), static_cast<LONG>(block.size()), block.constData(),
                                static_cast<LONG>(block.size()), 0, nullptr, nullptr),
                 AVIERR_OK);
        AVIStreamRelease(audio);
        QCOMPARE(AVIFileRelease(avi), 0u);
    }

private slots:
    void initTestCase() { QVERIFY(dir_.isValid()); }
    void cleanup()
    {
        AviFile::setPartSize(std::uint64_t(1) << 30);
        AviFile::setHeaderRoom(16384);
    }

    // Sound and uncompressed frames (rows padded to 4 bytes, bottom row first) as ffmpeg reads them.
    void soundAndFramesDecodeInFfmpeg()
    {
        const QString file = path("av.avi");
        const int width = 33, height = 10, frames = 5; // 99-byte rows padded to 100
        PAVIFILE avi;
        PAVISTREAM audio, video;
        AVIFileOpen(&avi, file.toStdString(), 0x1041);
        AVIFileCreateStream(avi, &audio, audioInfo());
        const SoundFormatArea format = soundFormat();
        AVIStreamSetFormat(audio, 0, &format, 20);
        QByteArray sound;
        for (int i = 0; i < 3; ++i) {
            const QByteArray block = pcm(22054, i);
            sound += block;
            AVIStreamWrite(audio, AVIStreamLength(audio), 22054, block.constData(), 22054, 0, nullptr, nullptr);
        }
        AVIStreamWrite(audio, AVIStreamLength(audio), 0, sound.constData(), 0, 0, nullptr, nullptr);
        // As the publisher adds it: N frames in the sound's whole seconds.
        AVIFileCreateStream(avi, &video, videoInfo(width, height, 3, frames));
        const BITMAPINFOHEADER bih = bitmapHeader(width, height);
        AVIStreamSetFormat(video, 0, &bih, 40);
        QByteArray expected;
        for (int i = 0; i < frames; ++i) {
            const Picture p = picture(width, height, i);
            expected += p.topDownBgr;
            QCOMPARE(AVIStreamWrite(video, i, 1, p.dib.constData(), static_cast<LONG>(p.dib.size()), AVIIF_KEYFRAME,
                                    nullptr, nullptr),
                     AVIERR_OK);
        }
        AVIStreamRelease(video);
        AVIStreamRelease(audio);
        AVIFileRelease(avi);

        const QJsonArray streams = probeStreams(file);
        QCOMPARE(streams.size(), 2);
        const QJsonObject a = streams[0].toObject(), v = streams[1].toObject();
        QCOMPARE(a["codec_type"].toString(), QString("audio"));
        QCOMPARE(a["codec_name"].toString(), QString("pcm_s16le"));
        QCOMPARE(a["sample_rate"].toString(), QString("11025"));
        QCOMPARE(a["channels"].toInt(), 1);
        QCOMPARE(v["codec_type"].toString(), QString("video"));
        QCOMPARE(v["codec_name"].toString(), QString("rawvideo"));
        QCOMPARE(v["width"].toInt(), width);
        QCOMPARE(v["height"].toInt(), height);
        QCOMPARE(v["r_frame_rate"].toString(), QString("5/3"));
        QCOMPARE(v["nb_read_packets"].toString(), QString::number(frames));
        QCOMPARE(ffmpegSound(file), sound);
        QCOMPARE(ffmpegFrames(file), expected);
    }

    // Compressed frames (Motion JPEG, here made by ffmpeg) stored as given and decoded by ffmpeg.
    void compressedFramesDecodeInFfmpeg()
    {
        const QString pattern = path("frame%1.jpg");
        QCOMPARE(runTool("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=size=64x48:rate=10", "-frames:v",
                                    "4", "-c:v", "mjpeg", "-pix_fmt", "yuvj420p", pattern.arg("%d")})
                     .exitCode,
                 0);
        const QString file = path("mjpg.avi");
        PAVIFILE avi;
        PAVISTREAM video;
        AVIFileOpen(&avi, file.toStdString(), 0x1041);
        AVIFileCreateStream(avi, &video, videoInfo(64, 48, 1, 10));
        BITMAPINFOHEADER bih = bitmapHeader(64, 48, mmioFOURCC('M', 'J', 'P', 'G'));
        bih.biSizeImage = 64 * 48 * 3;
        AVIStreamSetFormat(video, 0, &bih, 40);
        for (int i = 1; i <= 4; ++i) {
            const QByteArray jpeg = fileBytes(pattern.arg(i));
            QVERIFY(!jpeg.isEmpty());
            AVIStreamWrite(video, i - 1, 1, jpeg.constData(), static_cast<LONG>(jpeg.size()), AVIIF_KEYFRAME, nullptr,
                           nullptr);
        }
        AVIStreamRelease(video);
        AVIFileRelease(avi);
        const QJsonArray streams = probeStreams(file);
        QCOMPARE(streams.size(), 1);
        QCOMPARE(streams[0].toObject()["codec_name"].toString(), QString("mjpeg"));
        QCOMPARE(streams[0].toObject()["nb_read_packets"].toString(), QString("4"));
        const ToolRun direct = runTool("ffmpeg", {"-v", "error", "-i", pattern.arg("%d"), "-f", "rawvideo", "-pix_fmt", "rgb24", "-"});
        QCOMPARE(direct.exitCode, 0);
        QCOMPARE(ffmpegFrames(file, "rgb24"), direct.out);
    }

    // Many OpenDML parts (a small part size): read back by the services and by ffmpeg, also after
    // appending; closed parts are read from their standard indexes, not by walking their chunks.
    void openDmlPartsRoundTrip_data()
    {
        QTest::addColumn<int>("partSize");
        QTest::newRow("64 KiB parts") << 64 * 1024;
        QTest::newRow("4 KiB parts, super indexes outgrow the header room") << 4096;
    }
    void openDmlPartsRoundTrip()
    {
        QFETCH(int, partSize);
        AviFile::setPartSize(static_cast<std::uint64_t>(partSize));
        if (partSize == 4096)
            AviFile::setHeaderRoom(4096);
        const QString file = path(QString("odml%1.avi").arg(partSize));
        QByteArray sound, frames;
        std::vector<QByteArray> frameList;
        auto writeSome = [&](PAVISTREAM& audio, PAVISTREAM& video, int count, int seed) {
            for (int i = 0; i < count; ++i) {
                const QByteArray block = pcm(3000 + (i % 3) * 2, seed + i);
                sound += block;
                QCOMPARE(AVIStreamWrite(audio, AVIStreamLength(audio), static_cast<LONG>(block.size()), block.constData(),
                                        static_cast<LONG>(block.size()), 0, nullptr, nullptr),
                         AVIERR_OK);
                const Picture p = picture(16, 8, seed + i);
                frames += p.topDownBgr;
                frameList.push_back(p.dib);
                QCOMPARE(AVIStreamWrite(video, AVIStreamLength(video), 1, p.dib.constData(),
                                        static_cast<LONG>(p.dib.size()), AVIIF_KEYFRAME, nullptr, nullptr),
                         AVIERR_OK);
            }
        };
        {
            PAVIFILE avi;
            PAVISTREAM audio, video;
            AVIFileOpen(&avi, file.toStdString(), 0x1041);
            AVIFileCreateStream(avi, &audio, audioInfo());
            const SoundFormatArea format = soundFormat();
            AVIStreamSetFormat(audio, 0, &format, 20);
            AVIFileCreateStream(avi, &video, videoInfo(16, 8, 1, 10));
            const BITMAPINFOHEADER bih = bitmapHeader(16, 8);
            AVIStreamSetFormat(video, 0, &bih, 40);
            writeSome(audio, video, 150, 0);
            AVIStreamRelease(audio);
            AVIStreamRelease(video);
            AVIFileRelease(avi);
        }
        const auto parts = riffParts(file);
        QVERIFY2(parts.size() >= 6, qPrintable(QString("%1 RIFF parts").arg(parts.size())));
        if (partSize == 4096) // the file was written again with its data further on
            QVERIFY(fileBytes(file).indexOf("movi") > 4096 + 8);
        QCOMPARE(riffParts(file).back() + 8 < QFileInfo(file).size(), true);

        {
            PAVIFILE avi;
            PAVISTREAM audio, video;
            QCOMPARE(AVIFileOpen(&avi, file.toStdString(), 0x42), AVIERR_OK);
            AVIFileGetStream(avi, &audio, streamtypeAUDIO, 0);
            AVIFileGetStream(avi, &video, streamtypeVIDEO, 0);
            QCOMPARE(AVIStreamLength(audio), static_cast<LONG>(sound.size()));
            QCOMPARE(AVIStreamLength(video), 150);
            writeSome(audio, video, 60, 1000);
            AVIStreamRelease(audio);
            AVIStreamRelease(video);
            AVIFileRelease(avi);
        }
        QVERIFY(riffParts(file).size() > parts.size());

        const QJsonArray streams = probeStreams(file);
        QCOMPARE(streams.size(), 2);
        QCOMPARE(streams[1].toObject()["nb_read_packets"].toString(), QString("210"));
        QCOMPARE(ffmpegSound(file), sound);
        QCOMPARE(ffmpegFrames(file), frames);

        // Spoil the header of a data chunk in the third part: a walk would stop there, the index does not.
        const qint64 third = riffParts(file)[2];
        QByteArray bytes = fileBytes(file);
        const qint64 chunk = bytes.indexOf("00wb", third + 24);
        QVERIFY(chunk > 0);
        bytes.replace(chunk, 4, "\x01\x02\x03\x04");
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        }
        PAVIFILE avi;
        QCOMPARE(AVIFileOpen(&avi, file.toStdString(), OF_READ), AVIERR_OK);
        QCOMPARE(readAll(avi->stream(0)), sound);
        QByteArray dibs;
        for (const QByteArray& d : frameList)
            dibs += d;
        QCOMPARE(readAll(avi->stream(1)), dibs);
        AVIFileRelease(avi);
    }

    // A file with only idx1 (as ffmpeg writes below 1 GiB) is read by it: a spoilt chunk header in the
    // middle does not stop the reading, as it would stop a walk.
    void idx1IsReadBeforeWalking()
    {
        const QString file = path("idx1.avi");
        QCOMPARE(runTool("ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", "sine=frequency=300:sample_rate=8000", "-t",
                                    "3", "-c:a", "pcm_s16le", file})
                     .exitCode,
                 0);
        const QByteArray sound = ffmpegSound(file);
        QByteArray bytes = fileBytes(file);
        QVERIFY(!bytes.contains("ix00"));
        const qint64 movi = bytes.indexOf("movi");
        const qint64 third = bytes.indexOf("00wb", bytes.indexOf("00wb", bytes.indexOf("00wb", movi) + 8) + 8);
        QVERIFY(movi > 0 && third > movi);
        bytes.replace(third, 4, "\x01\x02\x03\x04");
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        }
        PAVIFILE avi;
        QCOMPARE(AVIFileOpen(&avi, file.toStdString(), OF_READ), AVIERR_OK);
        QCOMPARE(readAll(avi->stream(0)), sound);
        AVIFileRelease(avi);
    }

    // A finished file cut in the middle of movi opens with every complete chunk, and can be continued.
    void cutFileReopensWithEveryCompleteChunk()
    {
        const QString file = path("cut.avi");
        std::vector<QByteArray> blocks;
        for (int i = 0; i < 6; ++i)
            blocks.push_back(pcm(5000, 40 + i));
        {
            PAVIFILE avi;
            PAVISTREAM audio;
            AVIFileOpen(&avi, file.toStdString(), 0x1041);
            AVIFileCreateStream(avi, &audio, audioInfo());
            const SoundFormatArea format = soundFormat();
            AVIStreamSetFormat(audio, 0, &format, 20);
            for (const auto& b : blocks)
                AVIStreamWrite(audio, AVIStreamLength(audio), 5000, b.constData(), 5000, 0, nullptr, nullptr);
            AVIStreamRelease(audio);
            AVIFileRelease(avi);
        }
        // Cut inside the fifth chunk: four remain whole.
        const QByteArray bytes = fileBytes(file);
        const qint64 fifth = bytes.indexOf(blocks[4].left(64));
        QVERIFY(fifth > 0);
        truncateFile(file, fifth + 1234);
        const QByteArray kept = blocks[0] + blocks[1] + blocks[2] + blocks[3];

        PAVIFILE avi;
        PAVISTREAM audio;
        QCOMPARE(AVIFileOpen(&avi, file.toStdString(), OF_READ), AVIERR_OK);
        QCOMPARE(AVIFileGetStream(avi, &audio, streamtypeAUDIO, 0), AVIERR_OK);
        QCOMPARE(readAll(audio), kept);
        QCOMPARE(AVIStreamLength(audio), static_cast<LONG>(kept.size()));
        AVIStreamRelease(audio);
        AVIFileRelease(avi);
        // ffmpeg also gives what it finds of the cut chunk.
        const QByteArray decoded = ffmpegSound(file);
        QVERIFY(decoded.startsWith(kept));
        QCOMPARE(decoded.mid(kept.size()), blocks[4].left(decoded.size() - kept.size()));

        const QByteArray more = pcm(3000, 99);
        appendSound(file, more);
        QCOMPARE(ffmpegSound(file), kept + more);
    }

    // A writer that dies (here: a child process that exits without releasing) leaves every written
    // chunk readable, with the length it had reached, in a single part and across OpenDML parts.
    void fileOfADeadWriterReopens_data()
    {
        QTest::addColumn<int>("partSize");
        QTest::newRow("one part") << (1 << 30);
        QTest::newRow("many parts") << 32 * 1024;
    }
    void fileOfADeadWriterReopens()
    {
        QFETCH(int, partSize);
        const QString file = path(QString("died%1.avi").arg(partSize));
        QByteArray sound;
        for (int i = 0; i < 40; ++i)
            sound += pcm(2206, i);
        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            AviFile::setPartSize(static_cast<std::uint64_t>(partSize));
            PAVIFILE avi;
            PAVISTREAM audio, video;
            AVIFileOpen(&avi, file.toStdString(), 0x1041);
            AVIFileCreateStream(avi, &audio, audioInfo());
            const SoundFormatArea format = soundFormat();
            AVIStreamSetFormat(audio, 0, &format, 20);
            AVIFileCreateStream(avi, &video, videoInfo(8, 8, 1, 10));
            const BITMAPINFOHEADER bih = bitmapHeader(8, 8);
            AVIStreamSetFormat(video, 0, &bih, 40);
            for (int i = 0; i < 40; ++i) {
                AVIStreamWrite(audio, AVIStreamLength(audio), 2206, sound.constData() + i * 2206, 2206, 0, nullptr, nullptr);
                const Picture p = picture(8, 8, i);
                AVIStreamWrite(video, i, 1, p.dib.constData(), static_cast<LONG>(p.dib.size()), AVIIF_KEYFRAME,
                               nullptr, nullptr);
            }
            _exit(0); // no release: the writer dies here
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));

        PAVIFILE avi;
        PAVISTREAM audio, video;
        QCOMPARE(AVIFileOpen(&avi, file.toStdString(), OF_READ), AVIERR_OK);
        QCOMPARE(AVIFileGetStream(avi, &audio, streamtypeAUDIO, 0), AVIERR_OK);
        QCOMPARE(AVIFileGetStream(avi, &video, streamtypeVIDEO, 0), AVIERR_OK);
        QCOMPARE(AVIStreamLength(audio), static_cast<LONG>(sound.size()));
        QCOMPARE(AVIStreamLength(video), 40);
        QCOMPARE(readAll(audio), sound);
        AVIStreamRelease(audio);
        AVIStreamRelease(video);
        AVIFileRelease(avi);
        if (partSize > (1 << 20)) // ffmpeg reads a dead writer's single part by its chunks
            QCOMPARE(ffmpegSound(file), sound);

        // Continuing it completes the file.
        const QByteArray more = pcm(1000, 77);
        AviFile::setPartSize(static_cast<std::uint64_t>(partSize));
        appendSound(file, more);
        QCOMPARE(ffmpegSound(file), sound + more);
        const QJsonArray streams = probeStreams(file);
        QCOMPARE(streams[1].toObject()["nb_read_packets"].toString(), QString("40"));
    }

    // Files of ffmpeg's AVI writer: sound only, sound and frames, OpenDML beyond 1 GiB.
    void ffmpegFilesOpenAndContinue_data()
    {
        QTest::addColumn<QStringList>("inputs");
        QTest::addColumn<int>("streams");
        QTest::newRow("sound") << QStringList{"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=11025", "-t", "2",
                                              "-c:a", "pcm_s16le"}
                               << 1;
        QTest::newRow("sound and frames")
            << QStringList{"-f", "lavfi", "-i", "testsrc=size=64x48:rate=10", "-f", "lavfi", "-i",
                           "sine=frequency=440:sample_rate=11025", "-t", "2", "-c:v", "mjpeg", "-c:a", "pcm_s16le"}
            << 2;
        QTest::newRow("OpenDML") << QStringList{"-f", "lavfi", "-i", "color=c=blue:size=640x480:rate=100", "-f", "lavfi",
                                                "-i", "sine=frequency=440:sample_rate=11025", "-t", "11.7", "-c:v",
                                                "rawvideo", "-pix_fmt", "bgr24", "-c:a", "pcm_s16le"}
                                 << 2;
    }
    void ffmpegFilesOpenAndContinue()
    {
        QFETCH(QStringList, inputs);
        QFETCH(int, streams);
        const QString file = path("ffmpeg.avi");
        QStringList args{"-v", "error", "-y"};
        QCOMPARE(runTool("ffmpeg", args + inputs + QStringList{file}).exitCode, 0);
        const QByteArray before = ffmpegSound(file);
        QVERIFY(before.size() > 40000);

        PAVIFILE avi;
        PAVISTREAM audio;
        QCOMPARE(AVIFileOpen(&avi, file.toStdString(), 0x42), AVIERR_OK);
        QCOMPARE(avi->streamCount(), streams);
        QCOMPARE(AVIFileGetStream(avi, &audio, streamtypeAUDIO, 0), AVIERR_OK);
        QCOMPARE(readAll(audio), before);
        SoundFormatArea format{};
        LONG size = sizeof format;
        QCOMPARE(AVIStreamReadFormat(audio, 0, &format, &size), AVIERR_OK);
        QCOMPARE(format.format.nSamplesPerSec, DWORD(11025));
        QCOMPARE(format.format.nBlockAlign, WORD(2));
        AVIStreamRelease(audio);
        AVIFileRelease(avi);

        const QByteArray more = pcm(22050, 8);
        appendSound(file, more);
        QCOMPARE(ffmpegSound(file), before + more);
        QCOMPARE(probeStreams(file).size(), streams);
        QFile::remove(file);
    }

    // Opt-in (QUOLVA_BIG_TESTS=1): a real file beyond 4 GiB (QUOLVA_BIG_TEST_GIB, default 4), read back
    // by the services and by ffmpeg.
    void fileBeyondFourGiB()
    {
        if (qEnvironmentVariableIntValue("QUOLVA_BIG_TESTS") != 1)
            QSKIP("set QUOLVA_BIG_TESTS=1 to write a file of 4.3 GiB");
        const int gib = std::max(4, qEnvironmentVariableIntValue("QUOLVA_BIG_TEST_GIB"));
        struct statvfs fs {};
        QVERIFY(statvfs(qPrintable(dir_.path()), &fs) == 0);
        if (std::uint64_t(fs.f_bavail) * fs.f_frsize < (std::uint64_t(gib + 2) << 30))
            QSKIP("not enough free disk space");
        const QString file = path("big.avi");
        const int width = 1280, height = 720, frameBytes = width * 3 * height; // 2.6 MiB
        const int frames = static_cast<int>((std::uint64_t(gib) << 30) / frameBytes) + 60;
        QCryptographicHash written(QCryptographicHash::Md5);
        QByteArray frame(frameBytes, 0);
        {
            PAVIFILE avi;
            PAVISTREAM video;
            AVIFileOpen(&avi, file.toStdString(), 0x1041);
            AVIFileCreateStream(avi, &video, videoInfo(width, height, 1, 25));
            const BITMAPINFOHEADER bih = bitmapHeader(width, height);
            AVIStreamSetFormat(video, 0, &bih, 40);
            for (int i = 0; i < frames; ++i) {
                std::memset(frame.data(), i & 0xFF, 4096);
                std::memcpy(frame.data() + frameBytes / 2, &i, sizeof i);
                written.addData(frame);
                QCOMPARE(AVIStreamWrite(video, i, 1, frame.constData(), frameBytes, AVIIF_KEYFRAME, nullptr, nullptr),
                         AVIERR_OK);
            }
            AVIStreamRelease(video);
            AVIFileRelease(avi);
        }
        QVERIFY(QFileInfo(file).size() > (qint64(gib) << 30));
        QVERIFY(riffParts(file).size() >= std::size_t(gib));
        {
            PAVIFILE avi;
            QCOMPARE(AVIFileOpen(&avi, file.toStdString(), OF_READ), AVIERR_OK);
            auto video = avi->stream(0);
            QCOMPARE(video->length(), frames);
            QCryptographicHash read(QCryptographicHash::Md5);
            for (int i = 0; i < frames; ++i) {
                QCOMPARE(video->read(i, 1, frame.data(), frameBytes).bytes, frameBytes);
                read.addData(frame);
            }
            QCOMPARE(read.result(), written.result());
        }
        QCOMPARE(probeStreams(file)[0].toObject()["nb_read_packets"].toString(), QString::number(frames));
        const ToolRun md5 = runTool("ffmpeg", {"-v", "error", "-i", file, "-map", "0:v", "-c", "copy", "-f", "md5", "-"}, 900000);
        QCOMPARE(md5.out.trimmed(), "MD5=" + written.result().toHex());
        QFile::remove(file);
    }
};

QTEST_GUILESS_MAIN(TestAviInterop)
#include "test_avi_interop.moc"

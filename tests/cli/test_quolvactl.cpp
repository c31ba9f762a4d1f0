// quolvactl run as a program on recordings made with the recorder's own session and store code:
// info reports what they hold, frames writes their pictures byte for byte, check passes on a
// recording in order and fails precisely on damage; usage errors give status 2.
#include "Quolvactl.h"
#include "record/RecordingSession.h"
#include "store/AviFileServices.h"
#include "store/Jpeg.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstring>
#include <vector>

#include <sys/resource.h>

using namespace quolva;

namespace {

using Run = test::QuolvactlRun;

Run quolvactl(const QStringList& arguments)
{
    return test::RunQuolvactl(arguments);
}

// The "key: value" lines of info; a key met twice is a fault of the output.
QMap<QString, QString> facts(const QString& output)
{
    QMap<QString, QString> map;
    for (const QString& line : output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const qsizetype colon = line.indexOf(QStringLiteral(": "));
        if (colon <= 0 || map.contains(line.left(colon)))
            return {{QStringLiteral("bad line"), line}};
        map.insert(line.left(colon), line.mid(colon + 2));
    }
    return map;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// A picture that differs from frame to frame.
store::Picture framePicture(int width, int height, int seed)
{
    store::Picture picture(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width * 3; ++x)
            picture.Row(y)[x] = static_cast<std::uint8_t>(x * 5 + y * 3 + seed * 40 + (x * y) % 7);
    return picture;
}

constexpr int kWidth = 64, kHeight = 48, kFrames = 4;
// 100.2 s of sound at 22050 bytes per second: length × 1000 does not fit 32 bits.
constexpr int kSoundBytes = 10 * 220500 + 4410;

// A recording as the recorder leaves it: the target with its audio stream (default format, the sound
// written with the byte count as the sample count) and the frame store beside it, count brought up to
// date. Returns the JPEG bytes of the frames.
std::vector<QByteArray> makeRecording(const QString& target, store::DWORD sampleSize)
{
    record::RecordingSession session;
    if (sampleSize != session.audioStreamInfo.dwSampleSize)
        session.ApplySoundFormatToStreamInfo(); // what the wizard does once the format chooser closes
    session.NewTarget(target);
    store::AVIStreamSetFormat(session.audioStream, 0, &session.soundFormat, sizeof session.soundFormat);
    QByteArray sound(220500, Qt::Uninitialized);
    for (qsizetype i = 0; i < sound.size(); ++i)
        sound[i] = static_cast<char>((i * 7) & 0xFF);
    for (int written = 0; written < kSoundBytes;) {
        const int bytes = std::min<int>(static_cast<int>(sound.size()), kSoundBytes - written);
        store::AVIStreamWrite(session.audioStream, store::AVIStreamLength(session.audioStream), bytes, sound.constData(),
                              bytes, 0, nullptr, nullptr);
        written += bytes;
    }
    session.OpenFrameStoreForRecording(QSize(kWidth, kHeight));
    std::vector<QByteArray> jpegs;
    for (int i = 0; i < kFrames; ++i) {
        const std::vector<std::uint8_t> jpeg = store::EncodeJpeg(framePicture(kWidth, kHeight, i).View());
        session.frameStore->AppendRecord(store::FrameStore::FrameRecordFromJpeg(jpeg));
        jpegs.emplace_back(reinterpret_cast<const char*>(jpeg.data()), static_cast<qsizetype>(jpeg.size()));
        ++session.frameCounter;
    }
    session.CloseRecordingFiles();
    return jpegs;
}

// Where each record starts in the frame store.
std::vector<qint64> recordStarts(const std::vector<QByteArray>& jpegs)
{
    std::vector<qint64> starts;
    qint64 at = 16;
    for (const QByteArray& jpeg : jpegs) {
        starts.push_back(at);
        at += jpeg.size() + 2 * QByteArray::number(jpeg.size()).size() + 2;
    }
    return starts;
}

} // namespace

class TestQuolvactl : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString target_;
    std::vector<QByteArray> jpegs_;

    // A copy of the recording under another name, to be damaged.
    QString copyRecording(const QString& name)
    {
        const QString copy = dir_.filePath(name);
        QFile::remove(copy);
        QFile::remove(copy + ".xxx");
        if (!QFile::copy(target_, copy) || !QFile::copy(target_ + ".xxx", copy + ".xxx"))
            return {};
        return copy;
    }

    // A Motion JPEG video stream of `frames` of the recording's pictures, as a publisher adds one.
    void addMjpegStream(const store::PAVIFILE& avi, int frames)
    {
        store::AVISTREAMINFOA info{};
        info.fccType = store::streamtypeVIDEO;
        info.fccHandler = store::mmioFOURCC('M', 'J', 'P', 'G');
        info.dwScale = 1;
        info.dwRate = 10;
        store::PAVISTREAM video;
        QCOMPARE(store::AVIFileCreateStream(avi, &video, info), store::AVIERR_OK);
        store::BITMAPINFOHEADER bih{};
        bih.biSize = 40;
        bih.biWidth = kWidth;
        bih.biHeight = kHeight;
        bih.biPlanes = 1;
        bih.biBitCount = 24;
        bih.biCompression = store::mmioFOURCC('M', 'J', 'P', 'G');
        QCOMPARE(store::AVIStreamSetFormat(video, 0, &bih, sizeof bih), store::AVIERR_OK);
        for (int i = 0; i < frames; ++i) {
            const QByteArray& jpeg = jpegs_[static_cast<std::size_t>(i) % jpegs_.size()];
            store::AVIStreamWrite(video, i, 1, jpeg.constData(), static_cast<store::LONG>(jpeg.size()),
                                  store::AVIIF_KEYFRAME, nullptr, nullptr);
        }
        store::AVIStreamRelease(video);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        target_ = dir_.filePath(QStringLiteral("rec.avi"));
        jpegs_ = makeRecording(target_, 2);
        QCOMPARE(jpegs_.size(), std::size_t{kFrames});
    }

    void infoReportsWhatTheRecordingHolds_data()
    {
        QTest::addColumn<int>("sampleSize");
        QTest::newRow("stream sample size 1 (the default description)") << 1;
        QTest::newRow("stream sample size 2 (after the format chooser)") << 2;
    }
    void infoReportsWhatTheRecordingHolds()
    {
        QFETCH(int, sampleSize);
        const QString target = dir_.filePath(QStringLiteral("info%1.avi").arg(sampleSize));
        makeRecording(target, static_cast<store::DWORD>(sampleSize));
        const Run run = quolvactl({QStringLiteral("info"), target});
        QVERIFY2(run.status == 0, qPrintable(run.err));
        const QMap<QString, QString> f = facts(run.out);
        QVERIFY2(!f.contains("bad line"), qPrintable(f.value("bad line")));
        const QMap<QString, QString> expected{
            {"avi file", target},
            {"avi complete", "yes"},
            {"frame store", target + ".xxx"},
            {"frame store present", "yes"},
            {"header frame count", "4"},
            {"frame records", "4"},
            {"frame size", "64x48"},
            {"sound format", "11025Hz,16Bits1Channel"},
            {"sound data bytes", QString::number(kSoundBytes)},
            {"sound length ms", "100200"},
            {"sound header length", QString::number(kSoundBytes)},
            {"streams", "1"},
            {"audio streams", "1"},
            {"stream 0 type", "auds"},
            {"stream 0 handler", "0"},
            {"stream 0 rate", "11025"},
            {"stream 0 scale", "1"},
            {"stream 0 length", QString::number(kSoundBytes)},
            {"stream 0 sample size", QString::number(sampleSize)},
            {"stream 0 format tag", "1"},
            {"stream 0 channels", "1"},
            {"stream 0 samples per second", "11025"},
            {"stream 0 average bytes per second", "22050"},
            {"stream 0 block align", "2"},
            {"stream 0 bits per sample", "16"},
            {"stream 0 data bytes", QString::number(kSoundBytes)},
            {"stream 0 duration ms", "100200"},
        };
        QCOMPARE(f, expected);
        QVERIFY(run.err.isEmpty());
    }

    // Other writers count the stream header's length in samples of the block size, not in bytes as the
    // recorder does: info takes the sound's bytes and duration from the data and its format, and shows the
    // header's length as it is.
    void infoReportsTheSoundOfFilesFromOtherWriters_data()
    {
        QTest::addColumn<QString>("channels");
        QTest::addColumn<QString>("rate");
        QTest::addColumn<QString>("dataBytes");
        QTest::addColumn<QString>("headerLength");
        QTest::newRow("ffmpeg, 2 s mono 16-bit 11025 Hz") << "1" << "11025" << "44100" << "22050";
        QTest::newRow("ffmpeg, 2 s stereo 16-bit 22050 Hz") << "2" << "22050" << "176400" << "44100";
    }
    void infoReportsTheSoundOfFilesFromOtherWriters()
    {
        QFETCH(QString, channels);
        QFETCH(QString, rate);
        QFETCH(QString, dataBytes);
        QFETCH(QString, headerLength);
        const QString file = dir_.filePath(QStringLiteral("ffmpeg-%1-%2.avi").arg(channels, rate));
        QProcess ffmpeg;
        ffmpeg.start(QStringLiteral("ffmpeg"), {"-v", "error", "-y", "-f", "lavfi", "-i",
                                                "sine=frequency=440:duration=2:sample_rate=" + rate, "-ac", channels,
                                                "-c:a", "pcm_s16le", file});
        QVERIFY(ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0);
        const Run run = quolvactl({QStringLiteral("info"), file});
        QVERIFY2(run.status == 0, qPrintable(run.err));
        const QMap<QString, QString> f = facts(run.out);
        QCOMPARE(f.value("sound data bytes"), dataBytes);
        QCOMPARE(f.value("sound length ms"), QStringLiteral("2000"));
        QCOMPARE(f.value("sound header length"), headerLength);
        QCOMPARE(f.value("stream 0 length"), headerLength);
    }

    void infoReportsMissingPartsAndOtherStreams()
    {
        // A video stream added as the publisher adds it, and no frame store.
        const QString target = copyRecording(QStringLiteral("video.avi"));
        QVERIFY(QFile::remove(target + ".xxx"));
        {
            store::PAVIFILE avi;
            QCOMPARE(store::AVIFileOpen(&avi, target.toStdString(), 0x42), store::AVIERR_OK);
            addMjpegStream(avi, kFrames);
            QVERIFY(!QTest::currentTestFailed());
            // A second sound track, as dubbing adds one: 1.5 s of 8-bit sound.
            store::AVISTREAMINFOA dubbed{};
            dubbed.fccType = store::streamtypeAUDIO;
            dubbed.dwScale = 1;
            dubbed.dwRate = 11025;
            dubbed.dwSampleSize = 1;
            store::PAVISTREAM audio;
            QCOMPARE(store::AVIFileCreateStream(avi, &audio, dubbed), store::AVIERR_OK);
            const store::WAVEFORMATEX eightBits{store::WAVE_FORMAT_PCM, 1, 11025, 11025, 1, 8, 0};
            QCOMPARE(store::AVIStreamSetFormat(audio, 0, &eightBits, sizeof eightBits), store::AVIERR_OK);
            const QByteArray sound(16538, '\x80');
            store::AVIStreamWrite(audio, 0, 16538, sound.constData(), 16538, 0, nullptr, nullptr);
            store::AVIStreamRelease(audio);
            store::AVIFileRelease(avi);
        }
        Run run = quolvactl({QStringLiteral("info"), target});
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QMap<QString, QString> f = facts(run.out);
        QCOMPARE(f.value("frame store present"), QString("no"));
        QCOMPARE(f.value("header frame count"), QString("none"));
        QCOMPARE(f.value("frame records"), QString("none"));
        QCOMPARE(f.value("frame size"), QString("none"));
        QCOMPARE(f.value("streams"), QString("3"));
        QCOMPARE(f.value("audio streams"), QString("2"));
        QCOMPARE(f.value("stream 2 type"), QString("auds"));
        QCOMPARE(f.value("stream 2 data bytes"), QString("16538"));
        QCOMPARE(f.value("stream 2 duration ms"), QString("1500"));
        QCOMPARE(f.value("stream 1 duration ms"), QString::number(kFrames * 100));
        QCOMPARE(f.value("stream 1 type"), QString("vids"));
        QCOMPARE(f.value("stream 1 handler"), QString("MJPG"));
        QCOMPARE(f.value("stream 1 rate"), QString("10"));
        QCOMPARE(f.value("stream 1 length"), QString::number(kFrames));
        QCOMPARE(f.value("stream 1 width"), QString("64"));
        QCOMPARE(f.value("stream 1 height"), QString("48"));
        QCOMPARE(f.value("stream 1 bit count"), QString("24"));
        QCOMPARE(f.value("stream 1 compression"), QString("MJPG"));
        QCOMPARE(f.value("sound format"), QString("11025Hz,16Bits1Channel"));

        // An AVI without sound.
        const QString silent = dir_.filePath(QStringLiteral("silent.avi"));
        {
            store::PAVIFILE avi;
            store::PAVISTREAM video;
            QCOMPARE(store::AVIFileOpen(&avi, silent.toStdString(), 0x1041), store::AVIERR_OK);
            store::AVISTREAMINFOA info{};
            info.fccType = store::streamtypeVIDEO;
            info.dwScale = 1;
            info.dwRate = 10;
            QCOMPARE(store::AVIFileCreateStream(avi, &video, info), store::AVIERR_OK);
            store::AVIStreamRelease(video);
            store::AVIFileRelease(avi);
        }
        run = quolvactl({QStringLiteral("info"), silent});
        QVERIFY2(run.status == 0, qPrintable(run.err));
        f = facts(run.out);
        QCOMPARE(f.value("sound format"), QString("none"));
        QCOMPARE(f.value("sound data bytes"), QString("none"));
        QCOMPARE(f.value("sound length ms"), QString("none"));
        QCOMPARE(f.value("sound header length"), QString("none"));
        QCOMPARE(f.value("stream 0 format bytes"), QString("0"));

        // A frame store with more records than its header counts (a recording that still runs).
        const QString running = copyRecording(QStringLiteral("running.avi"));
        QByteArray store = fileBytes(running + ".xxx");
        store.replace(0, 1, "3");
        QVERIFY(writeBytes(running + ".xxx", store));
        f = facts(quolvactl({QStringLiteral("info"), running}).out);
        QCOMPARE(f.value("header frame count"), QString("3"));
        QCOMPARE(f.value("frame records"), QString("4"));
        QVERIFY(!f.contains("frame store fault"));

        // A header that is not a number, and a torn last record: reported, not a crash.
        store.replace(0, 1, "x");
        store.chop(3);
        QVERIFY(writeBytes(running + ".xxx", store));
        run = quolvactl({QStringLiteral("info"), running});
        QCOMPARE(run.status, 0);
        QCOMPARE(run.out.count("frame store fault: "), 2);
        f.clear();
        for (const QString& line : run.out.split('\n'))
            if (!line.startsWith("frame store fault: "))
                f.insert(line.section(": ", 0, 0), line.section(": ", 1));
        QCOMPARE(f.value("header frame count"), QString("unreadable"));
        QCOMPARE(f.value("frame records"), QString("3"));
        QVERIFY2(run.out.contains(QString("frame store fault: offset %1: ").arg(recordStarts(jpegs_).back())), qPrintable(run.out));

        // Not an AVI file at all: a message and status 1, nothing on standard output.
        const QString text = dir_.filePath(QStringLiteral("notes.avi"));
        QVERIFY(writeBytes(text, "just some text, no RIFF here\n"));
        run = quolvactl({QStringLiteral("info"), text});
        QCOMPARE(run.status, 1);
        QVERIFY(run.out.isEmpty());
        QVERIFY2(run.err.contains(text) && run.err.contains("not an AVI file"), qPrintable(run.err));
    }

    // A video stream's duration is its length × dwScale × 1000 ÷ dwRate milliseconds: with the header's
    // fields at their largest the product needs more than 64 bits, and info still says it right.
    void infoDurationsOfHostileHeaders_data()
    {
        QTest::addColumn<quint32>("scale");
        QTest::addColumn<quint32>("rate");
        QTest::addColumn<quint32>("length");
        QTest::addColumn<QString>("duration");
        QTest::newRow("plain") << 1u << 10u << 3u << "300";
        QTest::newRow("largest scale") << 0xFFFFFFFFu << 1u << 0x7FFFFFFFu << "9223372030412324865000";
        QTest::newRow("largest scale and rate") << 0xFFFFFFFFu << 0xFFFFFFFFu << 0x7FFFFFFFu << "2147483647000";
    }
    void infoDurationsOfHostileHeaders()
    {
        QFETCH(quint32, scale);
        QFETCH(quint32, rate);
        QFETCH(quint32, length);
        QFETCH(QString, duration);
        const QString file = dir_.filePath(QStringLiteral("hostile-%1.avi").arg(QTest::currentDataTag()).replace(' ', '-'));
        {
            store::PAVIFILE avi;
            QCOMPARE(store::AVIFileOpen(&avi, file.toStdString(), 0x1041), store::AVIERR_OK);
            addMjpegStream(avi, 3);
            QVERIFY(!QTest::currentTestFailed());
            store::AVIFileRelease(avi);
        }
        // The stream header's dwScale, dwRate and dwLength, written over.
        QByteArray bytes = fileBytes(file);
        const qint64 header = bytes.indexOf("strh") + 8;
        QVERIFY(header > 8);
        std::memcpy(bytes.data() + header + 20, &scale, 4);
        std::memcpy(bytes.data() + header + 24, &rate, 4);
        std::memcpy(bytes.data() + header + 32, &length, 4);
        QVERIFY(writeBytes(file, bytes));

        const Run run = quolvactl({QStringLiteral("info"), file});
        QVERIFY2(run.status == 0, qPrintable(run.err));
        const QMap<QString, QString> f = facts(run.out);
        QCOMPARE(f.value("stream 0 scale"), QString::number(scale));
        QCOMPARE(f.value("stream 0 length"), QString::number(length));
        QCOMPARE(f.value("stream 0 duration ms"), duration);
    }

    void framesWritesEachRecordsJpegBytes()
    {
        const QString folder = dir_.filePath(QStringLiteral("out/frames"));
        const Run run = quolvactl({QStringLiteral("frames"), target_, folder});
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QVERIFY2(run.out.startsWith("4 frames written"), qPrintable(run.out));
        QCOMPARE(QDir(folder).entryList(QDir::Files),
                 QStringList({"000001.jpg", "000002.jpg", "000003.jpg", "000004.jpg"}));
        for (int i = 0; i < kFrames; ++i)
            QVERIFY2(fileBytes(QDir(folder).filePath(QStringLiteral("%1.jpg").arg(i + 1, 6, 10, QLatin1Char('0')))) ==
                         jpegs_[static_cast<std::size_t>(i)],
                     qPrintable(QString("frame %1").arg(i + 1)));

        // A folder that already holds frame pictures is refused and left as it was.
        const QString first = QDir(folder).filePath("000001.jpg");
        QVERIFY(writeBytes(first, "older picture"));
        const Run again = quolvactl({QStringLiteral("frames"), target_, folder});
        QCOMPARE(again.status, 1);
        QVERIFY2(again.err.contains("already holds frame pictures"), qPrintable(again.err));
        QCOMPARE(fileBytes(first), QByteArray("older picture"));

        // A torn last record: the whole frames are written, and the fault is reported with status 1.
        const QString torn = copyRecording(QStringLiteral("torn.avi"));
        QByteArray store = fileBytes(torn + ".xxx");
        store.chop(10);
        QVERIFY(writeBytes(torn + ".xxx", store));
        const QString tornFolder = dir_.filePath(QStringLiteral("torn-frames"));
        const Run cut = quolvactl({QStringLiteral("frames"), torn, tornFolder});
        QCOMPARE(cut.status, 1);
        QVERIFY2(cut.err.contains(QString("offset %1").arg(recordStarts(jpegs_).back())), qPrintable(cut.err));
        QCOMPARE(QDir(tornFolder).entryList(QDir::Files).size(), kFrames - 1);

        // No frame store: a message naming it and status 1.
        const QString none = copyRecording(QStringLiteral("none.avi"));
        QVERIFY(QFile::remove(none + ".xxx"));
        const Run missing = quolvactl({QStringLiteral("frames"), none, dir_.filePath(QStringLiteral("none-frames"))});
        QCOMPARE(missing.status, 1);
        QVERIFY2(missing.err.contains(none + ".xxx"), qPrintable(missing.err));
    }

    void checkPassesOnARecordingInOrder()
    {
        const Run run = quolvactl({QStringLiteral("check"), target_});
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QVERIFY2(run.out.contains("frame store: 4 frames") && run.out.endsWith("ok\n"), qPrintable(run.out));
    }

    void checkFailsPreciselyAtTheFirstFault()
    {
        const std::vector<qint64> starts = recordStarts(jpegs_);

        // The trailing size of the second record no longer matches its leading size.
        const QString trailing = copyRecording(QStringLiteral("trailing.avi"));
        QByteArray store = fileBytes(trailing + ".xxx");
        const qint64 trailingDigit = starts[2] - 2; // the last digit of record 2's trailing size
        store[trailingDigit] = store[trailingDigit] == '9' ? '8' : static_cast<char>(store[trailingDigit] + 1);
        QVERIFY(writeBytes(trailing + ".xxx", store));
        Run run = quolvactl({QStringLiteral("check"), trailing});
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains(trailing + ".xxx") && run.err.contains(QString("offset %1:").arg(starts[1])) &&
                     run.err.contains("trailing size"),
                 qPrintable(run.err));

        // The header counts a frame more than the store holds.
        const QString header = copyRecording(QStringLiteral("header.avi"));
        store = fileBytes(header + ".xxx");
        store.replace(0, 1, "5");
        QVERIFY(writeBytes(header + ".xxx", store));
        run = quolvactl({QStringLiteral("check"), header});
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains(header + ".xxx") && run.err.contains("offset 0:") &&
                     run.err.contains("header counts 5 frames") && run.err.contains("holds 4 records"),
                 qPrintable(run.err));

        // An idx1 entry that names the wrong place.
        const QString index = copyRecording(QStringLiteral("index.avi"));
        QByteArray avi = fileBytes(index);
        const qint64 idx1 = avi.lastIndexOf("idx1");
        QVERIFY(idx1 > 0);
        const qint64 offsetField = idx1 + 8 + 16 + 8; // entry 2's offset
        quint32 offset;
        std::memcpy(&offset, avi.constData() + offsetField, 4);
        offset += 16;
        std::memcpy(avi.data() + offsetField, &offset, 4);
        QVERIFY(writeBytes(index, avi));
        run = quolvactl({QStringLiteral("check"), index});
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains(index) && run.err.contains(QString("offset %1:").arg(idx1 + 8 + 16)) &&
                     run.err.contains("idx1 entry 2"),
                 qPrintable(run.err));

        // A file whose writer died.
        const QString died = copyRecording(QStringLiteral("died.avi"));
        avi = fileBytes(died);
        std::memset(avi.data() + 4, 0, 4);
        QVERIFY(writeBytes(died, avi));
        run = quolvactl({QStringLiteral("check"), died});
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains("not finished; run quolvactl repair"), qPrintable(run.err));
    }

    // One record in the middle damaged in one of its fields. Where its leading size, its whole JPEG and
    // the next record agree, only the trailing copy of its size is wrong: frames writes every frame and
    // says where the damage lies, check fails there, and repair rewrites just the damaged bytes. Damage
    // that cannot be explained so is refused by repair, byte for byte, as before.
    void damageInTheMiddle_data()
    {
        QTest::addColumn<QString>("shape");
        QTest::addColumn<int>("framesWritten");
        QTest::addColumn<bool>("mended");
        QTest::newRow("trailing size, a digit changed") << "trailing digit" << kFrames << true;
        QTest::newRow("trailing size, not a number") << "trailing text" << kFrames << true;
        QTest::newRow("trailing digit count changed") << "trailing count" << kFrames << true;
        QTest::newRow("leading size, a digit changed") << "leading digit" << 1 << false;
        QTest::newRow("JPEG torn in the middle") << "torn picture" << 1 << false;
    }
    void damageInTheMiddle()
    {
        QFETCH(QString, shape);
        QFETCH(int, framesWritten);
        QFETCH(bool, mended);
        const std::vector<qint64> starts = recordStarts(jpegs_);
        const QString damaged = copyRecording(QStringLiteral("middle-%1.avi").arg(QTest::currentDataTag()).replace(' ', '-'));
        const QByteArray whole = fileBytes(damaged + ".xxx");
        QByteArray store = whole;
        const qint64 sizeDigits = QByteArray::number(jpegs_[1].size()).size();
        const auto bump = [&](qint64 at) { store[at] = store[at] == '9' ? '8' : static_cast<char>(store[at] + 1); };
        if (shape == "trailing digit")
            bump(starts[2] - 2);
        else if (shape == "trailing text")
            store.replace(starts[2] - 1 - sizeDigits, sizeDigits, QByteArray(sizeDigits, 'x'));
        else if (shape == "trailing count")
            bump(starts[2] - 1);
        else if (shape == "leading digit")
            bump(starts[1] + sizeDigits);
        else if (shape == "torn picture")
            store.remove(starts[1] + 1 + sizeDigits + jpegs_[1].size() / 2, 100);
        QVERIFY(writeBytes(damaged + ".xxx", store));

        const Run checked = quolvactl({QStringLiteral("check"), damaged});
        QCOMPARE(checked.status, 1);
        QVERIFY2(checked.err.contains(QString("offset %1:").arg(starts[1])), qPrintable(checked.err));

        const QString folder = dir_.filePath(QStringLiteral("frames-%1").arg(shape).replace(' ', '-'));
        const Run frames = quolvactl({QStringLiteral("frames"), damaged, folder});
        QCOMPARE(frames.status, mended ? 0 : 1);
        QVERIFY2(frames.out.startsWith(QString("%1 frames written").arg(framesWritten)), qPrintable(frames.out));
        QVERIFY2(frames.err.contains(QString("offset %1").arg(starts[1])), qPrintable(frames.err));
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), framesWritten);
        for (int i = 0; i < framesWritten; ++i)
            QVERIFY2(fileBytes(QDir(folder).filePath(QStringLiteral("%1.jpg").arg(i + 1, 6, 10, QLatin1Char('0')))) ==
                         jpegs_[static_cast<std::size_t>(i)],
                     qPrintable(QString("frame %1").arg(i + 1)));

        const Run repaired = quolvactl({QStringLiteral("repair"), damaged});
        QVERIFY2(repaired.out.contains(QString("offset %1").arg(starts[1])), qPrintable(repaired.out + repaired.err));
        if (mended) {
            QVERIFY2(repaired.status == 0, qPrintable(repaired.out + repaired.err));
            QVERIFY2(repaired.out.contains(QString("offset %1").arg(starts[2] - 1 - sizeDigits)) &&
                         repaired.out.endsWith("\nrepaired\n"),
                     qPrintable(repaired.out));
            QVERIFY(fileBytes(damaged + ".xxx") == whole); // the damaged bytes, and only they, were rewritten
            const Run again = quolvactl({QStringLiteral("check"), damaged});
            QVERIFY2(again.status == 0, qPrintable(again.err));
        } else {
            QCOMPARE(repaired.status, 1);
            QVERIFY2(repaired.out.contains("left as it is") && repaired.err.contains("not repaired"),
                     qPrintable(repaired.out + repaired.err));
            QVERIFY(fileBytes(damaged + ".xxx") == store);
        }
    }

    // quolvactl record into a nearly full disk (a file size limit fails the writes the same way, and the
    // signal it would send is ignored as a disk gives none): the recording stops by itself, the program
    // ends with status 1 and one clear message instead of an uncaught exception, and the frame store's
    // header counts every record written. Offscreen, so the screen is the program's own (black).
    void recordStopsByItselfOnAFullDisk()
    {
        const QString target = dir_.filePath(QStringLiteral("full-disk.avi"));
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("DISPLAY"), QStringLiteral(":offscreen"));
        environment.insert(QStringLiteral("QUOLVA_SOUND_SOURCE"), QStringLiteral("tone:440"));
        process.setProcessEnvironment(environment);
        process.setChildProcessModifier([] {
            const rlimit limit{60000, 60000}; // the AVI's header room and about two seconds of sound
            ::setrlimit(RLIMIT_FSIZE, &limit);
            std::signal(SIGXFSZ, SIG_IGN);
        });
        process.start(qEnvironmentVariable("QUOLVA_BIN_DIR") + QStringLiteral("/quolvactl"),
                      {QStringLiteral("record"), target, QStringLiteral("--seconds"), QStringLiteral("20"),
                       QStringLiteral("--region"), QStringLiteral("64x48+0+0")});
        QVERIFY(process.waitForStarted(10000));
        QVERIFY2(process.waitForFinished(15000), "the recording did not stop by itself");
        const QString err = QString::fromLocal8Bit(process.readAllStandardError());
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 1);
        QCOMPARE(err.count(QStringLiteral("录制已自动停止")), 1);
        QVERIFY2(err.contains(target), qPrintable(err));

        const Run info = quolvactl({QStringLiteral("info"), target});
        const QMap<QString, QString> f = facts(info.out);
        QVERIFY2(f.value("frame records").toInt() > 0, qPrintable(info.out + info.err));
        QCOMPARE(f.value("header frame count"), f.value("frame records"));
        QVERIFY2(f.value("sound data bytes").toInt() > 0, qPrintable(info.out));
    }

    // A recording whose sound device could not be opened keeps its frames, but the command says that no
    // sound was recorded and why, and ends with a status of its own. Offscreen, as above.
    void recordSaysWhenNoSoundWasRecorded_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("status");
        QTest::newRow("a tone") << "tone:440" << 0;
        QTest::newRow("no device") << "none" << 3;
    }
    void recordSaysWhenNoSoundWasRecorded()
    {
        QFETCH(QString, source);
        QFETCH(int, status);
        const QString target = dir_.filePath(QStringLiteral("sound-%1.avi").arg(QTest::currentDataTag()).replace(' ', '-'));
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("DISPLAY"), QStringLiteral(":offscreen"));
        environment.insert(QStringLiteral("QUOLVA_SOUND_SOURCE"), source);
        process.setProcessEnvironment(environment);
        process.start(qEnvironmentVariable("QUOLVA_BIN_DIR") + QStringLiteral("/quolvactl"),
                      {QStringLiteral("record"), target, QStringLiteral("--seconds"), QStringLiteral("1"),
                       QStringLiteral("--region"), QStringLiteral("64x48+0+0")});
        QVERIFY(process.waitForStarted(10000));
        QVERIFY(process.waitForFinished(30000));
        const QString err = QString::fromLocal8Bit(process.readAllStandardError());
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QVERIFY2(process.exitCode() == status, qPrintable(QString::number(process.exitCode()) + ": " + err));
        const QString said = QStringLiteral("quolvactl record: no sound was recorded: ");
        if (status == 0) {
            QVERIFY2(!err.contains(said), qPrintable(err));
        } else {
            QCOMPARE(err.count(said), 1);
            QVERIFY2(err.contains(said + QStringLiteral("Failed to open waveform input device.")) &&
                         err.contains(QStringLiteral("QUOLVA_SOUND_SOURCE=none")),
                     qPrintable(err));
        }
        const QMap<QString, QString> f = facts(quolvactl({QStringLiteral("info"), target}).out);
        QVERIFY2(f.value("frame records").toInt() > 0, "the frames are kept");
        QCOMPARE(f.value("header frame count"), f.value("frame records"));
        QCOMPARE(f.value("sound data bytes").toInt() > 0, status == 0);
    }

    // Without an X display to reach there is nothing to record: a clear refusal with status 1, never Qt's
    // abort, and no file.
    void recordWithoutADisplaySaysSo_data()
    {
        QTest::addColumn<QByteArray>("display"); // empty: not set
        QTest::addColumn<QString>("said");
        QTest::newRow("not set") << QByteArray() << "DISPLAY is not set";
        QTest::newRow("nobody there") << QByteArray(":4077") << "cannot connect to the X display \":4077\"";
    }
    void recordWithoutADisplaySaysSo()
    {
        QFETCH(QByteArray, display);
        QFETCH(QString, said);
        // As on a desktop: the X11 platform, not the tests' offscreen one.
        const QByteArray before = qgetenv("DISPLAY"), platform = qgetenv("QT_QPA_PLATFORM");
        const auto restore = qScopeGuard([&] {
            before.isNull() ? qunsetenv("DISPLAY") : qputenv("DISPLAY", before);
            platform.isNull() ? qunsetenv("QT_QPA_PLATFORM") : qputenv("QT_QPA_PLATFORM", platform);
        });
        display.isEmpty() ? qunsetenv("DISPLAY") : qputenv("DISPLAY", display);
        qunsetenv("QT_QPA_PLATFORM");
        const QString out = dir_.filePath(QStringLiteral("nowhere.avi"));
        const Run run = quolvactl({"record", out, "--seconds", "1"});
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains(said) && run.err.contains("there is no screen to record"), qPrintable(run.err));
        QVERIFY(!QFileInfo::exists(out));
    }

    void usageErrorsGiveStatus2()
    {
        const QList<QStringList> misuses{
            {},
            {"info"},
            {"info", target_, "extra"},
            {"frames", target_},
            {"frames", target_, dir_.filePath("x"), "extra"},
            {"check"},
            {"check", target_, target_},
            {"no-such-command"},
            // Seconds whose milliseconds do not fit a timer: 4294968 s would wrap around to 704 ms.
            {"record", dir_.filePath("long.avi"), "--seconds", "4294968"},
            {"record", dir_.filePath("long.avi"), "--seconds", "2147484"},
            {"record", dir_.filePath("long.avi"), "--seconds", "99999999999"},
        };
        for (const QStringList& arguments : misuses) {
            const Run run = quolvactl(arguments);
            QVERIFY2(run.status == 2, qPrintable(arguments.join(' ') + ": status " + QString::number(run.status)));
            QVERIFY2(!run.err.isEmpty(), qPrintable(arguments.join(' ')));
            if (arguments.contains("--seconds"))
                QVERIFY2(run.err.contains("--seconds") && run.err.contains("2147483"), qPrintable(run.err));
        }
        QVERIFY(!QFileInfo::exists(dir_.filePath("x")));
        QVERIFY(!QFileInfo::exists(dir_.filePath("long.avi")));
    }
};

QTEST_GUILESS_MAIN(TestQuolvactl)
#include "test_quolvactl.moc"

// The AVI export without a window, checked by ffprobe and ffmpeg as independent readers: the exact time
// base, the DIB layout, every frame as the store decodes it (bit for bit uncompressed, within a stated
// distance compressed), key frames as the encoder made them, the sound untouched and first, OpenDML for
// large files, and a valid file when a frame cannot be read half-way.
#include "PublishTestSupport.h"
#include "editor/OpenRecording.h"
#include "publish/AviExport.h"
#include "store/AviCheck.h"
#include "store/AviFileServices.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace quolva;
using namespace quolva::test;

namespace {

struct Published {
    QString path;
    std::int32_t framesWritten = 0;
    QString failure; // the PublishError's message, when the export stopped
};

// Opens the recording, exports it (codec empty: uncompressed) and closes it, completing the file.
Published publishRecording(const QString& path, const QString& codec = {}, bool* heldWhileRunning = nullptr,
                           unsigned decodeThreads = 0)
{
    Published result;
    result.path = path;
    editor::OpenRecording recording;
    recording.Open(path);
    {
        publish::AviExport avi(recording);
        SetUpExport(avi, recording);
        avi.decodeThreads = decodeThreads;
        if (codec.isEmpty()) {
            avi.StartUncompressed();
        } else {
            if (!ChooseCompressor(avi, codec) || !avi.StartCompressed())
                return {};
        }
        try {
            avi.Run([&](std::int32_t) {
                if (heldWhileRunning)
                    *heldWhileRunning = recording.IsHeld();
            });
        } catch (const publish::PublishError& failure) {
            result.failure = QString::fromUtf8(failure.what());
        }
        result.framesWritten = avi.framesWritten;
        if (recording.IsHeld())
            result.failure += QStringLiteral(" [recording still held]");
    }
    recording.Close();
    return result;
}

store::AVISTREAMINFOA videoInfoOf(const QString& path)
{
    store::PAVIFILE file;
    store::AVIFileOpen(&file, QFile::encodeName(path).toStdString(), store::OF_READ);
    store::PAVISTREAM video;
    store::AVISTREAMINFOA info{};
    if (store::AVIFileGetStream(file, &video, store::streamtypeVIDEO, 0) == store::AVIERR_OK)
        store::AVIStreamInfo(video, &info, sizeof info);
    return info;
}

QByteArray soundOf(const QString& path)
{
    store::PAVIFILE file;
    store::AVIFileOpen(&file, QFile::encodeName(path).toStdString(), store::OF_READ);
    store::PAVISTREAM audio;
    store::AVIFileGetStream(file, &audio, store::streamtypeAUDIO, 0);
    return avitest::readAll(audio);
}

QByteArray fixtureSoundBytes(const RecordingRecipe& recipe)
{
    const std::vector<std::uint8_t> bytes = FixtureSound(recipe);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

} // namespace

class AviExportTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir_;

    QString fresh(const QString& name) const { return dir_.filePath(name); }

private slots:
    void timeBaseIsTheExactRatio_data()
    {
        QTest::addColumn<int>("frames");
        QTest::addColumn<int>("soundLength");
        QTest::addColumn<int>("soundRate");
        QTest::addColumn<uint>("rate");
        QTest::addColumn<uint>("scale");
        QTest::addColumn<bool>("capturePace");
        // 96 frames over 12.4 s: 96 × 11025 ÷ 136710 = 240 ÷ 31, not 96 ÷ 12.
        QTest::newRow("96 frames in 12.4 s") << 96 << 136710 << 11025 << 240u << 31u << false;
        // 19 frames over 1.9 s: 10 per second, not 19.
        QTest::newRow("19 frames in 1.9 s") << 19 << 41895 << 22050 << 10u << 1u << false;
        QTest::newRow("one frame in a third of a second") << 1 << 14700 << 44100 << 3u << 1u << false;
        QTest::newRow("sound shorter than a sample") << 30 << 0 << 11025 << 10u << 1u << true;
        QTest::newRow("no sound rate") << 30 << 33075 << 0 << 10u << 1u << true;
        QTest::newRow("no frames") << 0 << 33075 << 11025 << 10u << 1u << true;
        QTest::newRow("negative counts") << -5 << -1 << 11025 << 10u << 1u << true;
        QTest::newRow("largest counts, ratio 1") << 2147483647 << 2147483647 << 2147483647 << 2147483647u << 1u << false;
    }

    void timeBaseIsTheExactRatio()
    {
        QFETCH(int, frames);
        QFETCH(int, soundLength);
        QFETCH(int, soundRate);
        QFETCH(uint, rate);
        QFETCH(uint, scale);
        QFETCH(bool, capturePace);
        const publish::VideoTimeBase timeBase = publish::ExactVideoTimeBase(frames, soundLength, soundRate);
        QCOMPARE(timeBase.rate, rate);
        QCOMPARE(timeBase.scale, scale);
        QCOMPARE(timeBase.capturePace, capturePace);
    }

    // Terms that do not fit after reduction become the nearest ratio whose terms fit in 31 bits.
    void timeBaseTooFineForTheFieldsIsTheNearestThatFits()
    {
        struct Case {
            int frames, soundLength, soundRate;
        };
        for (const Case c : {Case{2147483647, 3, 2147483646}, Case{7, 2147483647, 2147483629},
                             Case{999983, 2147483629, 1000003}, Case{1, 2147483647, 1}}) {
            const publish::VideoTimeBase timeBase = publish::ExactVideoTimeBase(c.frames, c.soundLength, c.soundRate);
            QVERIFY(timeBase.rate >= 1 && timeBase.rate <= 0x7FFFFFFFu);
            QVERIFY(timeBase.scale >= 1 && timeBase.scale <= 0x7FFFFFFFu);
            const long double exact = static_cast<long double>(c.frames) * c.soundRate / c.soundLength;
            const long double got = static_cast<long double>(timeBase.rate) / timeBase.scale;
            // Either the ratio is as close as 31-bit terms allow, or the rate is pinned at the largest term.
            const bool pinned = timeBase.rate == 0x7FFFFFFFu && timeBase.scale == 1 && exact > 0x7FFFFFFF;
            QVERIFY2(pinned || std::fabs(static_cast<double>(got / exact - 1)) < 1e-15 ||
                         std::fabs(static_cast<double>(got - exact)) <= 1.0L / (static_cast<long double>(timeBase.scale) * 0x7FFFFFFF),
                     qPrintable(QStringLiteral("%1/%2 for %3").arg(timeBase.rate).arg(timeBase.scale).arg(double(exact))));
        }
    }

    // The file says what the time base says: 96 frames last exactly as long as 12.4 s of sound.
    void ninetySixFramesLastAsLongAsTheSound()
    {
        RecordingRecipe recipe;
        recipe.frames = 96;
        recipe.width = 16;
        recipe.height = 16;
        recipe.soundBytes = 136710 * 2; // 12.4 s at 11025 Hz, 16-bit mono
        const QString path = MakeRecording(dir_.path(), "twelve.avi", recipe);
        const Published published = publishRecording(path);
        QVERIFY2(published.failure.isEmpty(), qPrintable(published.failure));
        const store::AVISTREAMINFOA info = videoInfoOf(path);
        QCOMPARE(info.dwRate, 240u);
        QCOMPARE(info.dwScale, 31u);
        QCOMPARE(info.dwLength, 96u);
        const QJsonArray streams = avitest::probeStreams(path);
        QCOMPARE(streams.size(), 2);
        QCOMPARE(streams[1].toObject().value("duration").toString().toDouble(), 12.4);
    }

    void dibRowsArePaddedBottomUpBgr_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("rowBytes");
        QTest::newRow("640 pixels") << 640 << 1920;
        QTest::newRow("641 pixels") << 641 << 1924;
        QTest::newRow("1 pixel") << 1 << 4;
        QTest::newRow("2 pixels") << 2 << 8;
        QTest::newRow("3 pixels") << 3 << 12;
    }

    void dibRowsArePaddedBottomUpBgr()
    {
        QFETCH(int, width);
        QFETCH(int, rowBytes);
        const int height = 3;
        QImage picture(width, height, QImage::Format_RGB32);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                picture.setPixel(x, y, qRgb(10 + y, 100 + x % 100, 200 + y));
        std::vector<std::uint8_t> dib;
        publish::PictureToDib(picture, width, height, dib);
        QCOMPARE(publish::DibRowBytes(width), rowBytes);
        QCOMPARE(dib.size(), std::size_t(rowBytes * height));
        for (int y = 0; y < height; ++y) {
            const std::uint8_t* row = dib.data() + (height - 1 - y) * rowBytes; // bottom row first
            for (int x = 0; x < width; ++x) {
                QCOMPARE(int(row[x * 3]), 200 + y);        // blue
                QCOMPARE(int(row[x * 3 + 1]), 100 + x % 100); // green
                QCOMPARE(int(row[x * 3 + 2]), 10 + y);     // red
            }
            for (int pad = width * 3; pad < rowBytes; ++pad)
                QCOMPARE(int(row[pad]), 0);
        }
        // A picture of another size is cut or filled out with black, never read past its end.
        publish::PictureToDib(picture, width + 2, height + 1, dib);
        QCOMPARE(dib.size(), std::size_t(publish::DibRowBytes(width + 2) * (height + 1)));
        QCOMPARE(int(dib[0]), 0); // the bottom row lies below the picture
    }

    // "否": every frame bit for bit as the store decodes it, rows padded, the sound untouched and first.
    void uncompressedFramesAreTheStoreFrames()
    {
        RecordingRecipe recipe;
        recipe.frames = 12;
        recipe.width = 65; // rows of 195 bytes, padded to 196
        recipe.height = 49;
        const QString path = MakeRecording(dir_.path(), "plain.avi", recipe);
        bool held = false;
        const Published published = publishRecording(path, {}, &held);
        QVERIFY2(published.failure.isEmpty(), qPrintable(published.failure));
        QVERIFY2(held, "the recording is held while the export runs");
        QCOMPARE(published.framesWritten, 12);

        const store::AviCheckReport check = store::CheckAviFile(QFile::encodeName(path).toStdString());
        QVERIFY2(check.Clean(), check.message.c_str());
        const QJsonArray streams = avitest::probeStreams(path);
        QCOMPARE(streams.size(), 2);
        QCOMPARE(streams[0].toObject().value("codec_type").toString(), QStringLiteral("audio"));
        QCOMPARE(streams[1].toObject().value("codec_name").toString(), QStringLiteral("rawvideo"));
        QCOMPARE(streams[1].toObject().value("width").toInt(), 65);
        QCOMPARE(streams[1].toObject().value("nb_read_packets").toString(), QStringLiteral("12"));
        QCOMPARE(avitest::ffmpegFrames(path), StoreFramesBgr(path));
        QCOMPARE(soundOf(path), fixtureSoundBytes(recipe));
        QCOMPARE(avitest::ffmpegSound(path), fixtureSoundBytes(recipe));

        // The stream as the services read it: the 40-byte DIB format and frames of 196 × 49 bytes.
        store::PAVIFILE file;
        store::AVIFileOpen(&file, QFile::encodeName(path).toStdString(), store::OF_READ);
        store::PAVISTREAM video;
        QCOMPARE(store::AVIFileGetStream(file, &video, store::streamtypeVIDEO, 0), store::AVIERR_OK);
        QCOMPARE(video->format().size(), std::size_t(40));
        store::BITMAPINFOHEADER format{};
        std::memcpy(&format, video->format().data(), sizeof format);
        QCOMPARE(format.biBitCount, store::WORD(24));
        QCOMPARE(format.biCompression, store::BI_RGB);
        QCOMPARE(format.biSizeImage, 0u);
        QCOMPARE(video->info().fccHandler, 0u);
        store::LONG bytes = 0, samples = 0;
        std::vector<std::uint8_t> chunk(196 * 49);
        QCOMPARE(store::AVIStreamRead(video, 0, 1, chunk.data(), store::LONG(chunk.size()), &bytes, &samples), store::AVIERR_OK);
        QCOMPARE(bytes, 196 * 49);
    }

    // The frames are decoded ahead on several threads straight into the stream's layout: the file is the
    // same byte for byte whatever the number of threads, and each uncompressed frame is the store's picture
    // made into a DIB, also for frames of another size than the first (cut, or filled out with black).
    void decodingOnSeveralThreadsWritesTheSameBytes_data()
    {
        QTest::addColumn<QString>("codec");
        QTest::newRow("uncompressed") << QString();
        QTest::newRow("H.264") << "h264";
        QTest::newRow("FFV1") << "ffv1";
    }

    void decodingOnSeveralThreadsWritesTheSameBytes()
    {
        QFETCH(QString, codec);
        const int width = 66, height = 50, frames = 23; // rows of 198 bytes, padded to 200; even for H.264
        const auto sizeOf = [&](int k) { return k == 5 ? QSize(80, 60) : k == 9 ? QSize(31, 17) : QSize(width, height); };
        const auto makeCopy = [&](const QString& name) {
            RecordingRecipe recipe;
            recipe.frames = 0;
            recipe.headerCount = frames;
            const QString path = MakeRecording(dir_.path(), name, recipe);
            store::FrameStore store = store::FrameStore::OpenFrameStoreForAppend(QFile::encodeName(path + ".xxx").toStdString());
            for (int k = 0; k < frames; ++k) {
                const QImage picture = ScreenLikePicture(k, sizeOf(k).width(), sizeOf(k).height());
                store.AppendFrame({picture.constBits(), picture.width(), picture.height(), picture.bytesPerLine(),
                                   store::PixelLayout::Xrgb32});
            }
            store.Close();
            return path;
        };
        const QString tag = codec.isEmpty() ? QStringLiteral("raw") : codec;
        QByteArray first;
        for (unsigned threads : {1u, 2u, 5u}) {
            const QString path = makeCopy(QStringLiteral("threads-%1-%2.avi").arg(tag).arg(threads));
            const Published published = publishRecording(path, codec, nullptr, threads);
            QVERIFY2(published.failure.isEmpty(), qPrintable(published.failure));
            QCOMPARE(published.framesWritten, frames);
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            if (first.isEmpty())
                first = bytes;
            else
                QVERIFY2(bytes == first, qPrintable(QStringLiteral("%1 threads wrote another file").arg(threads)));
        }
        if (!codec.isEmpty())
            return;

        const QString path = dir_.filePath(QStringLiteral("threads-raw-1.avi"));
        editor::OpenRecording recording;
        recording.Open(path);
        const auto close = qScopeGuard([&] { recording.Close(); });
        store::PAVIFILE file;
        store::AVIFileOpen(&file, QFile::encodeName(path).toStdString(), store::OF_READ);
        store::PAVISTREAM video;
        QCOMPARE(store::AVIFileGetStream(file, &video, store::streamtypeVIDEO, 0), store::AVIERR_OK);
        std::vector<std::uint8_t> expected, chunk(publish::DibRowBytes(width) * height);
        for (int k = 0; k < frames; ++k) {
            const std::optional<QImage> picture = recording.ReadNextPicture();
            QVERIFY(picture);
            publish::PictureToDib(*picture, width, height, expected);
            store::LONG bytes = 0;
            QCOMPARE(store::AVIStreamRead(video, k, 1, chunk.data(), store::LONG(chunk.size()), &bytes, nullptr),
                     store::AVIERR_OK);
            QVERIFY2(chunk == expected, qPrintable(QStringLiteral("frame %1").arg(k)));
        }
    }

    // Each compressor of the list: the file names it by its FOURCC, holds one chunk per frame, and every
    // frame decodes close to the store's (lossless ones: equal). The floors hold for these screen-like
    // frames at the compressors' default quality.
    void compressedFramesDecodeCloseToTheStore_data()
    {
        QTest::addColumn<QString>("codec");
        QTest::addColumn<QString>("fourcc");
        QTest::addColumn<double>("psnrFloor");
        const double lossless = std::numeric_limits<double>::infinity();
        QTest::newRow("H.264") << "h264" << "H264" << 30.0;
        QTest::newRow("MPEG-4 part 2") << "mpeg4" << "FMP4" << 34.0;
        QTest::newRow("Motion JPEG") << "mjpeg" << "MJPG" << 37.0;
        QTest::newRow("Cinepak") << "cinepak" << "cvid" << 36.0;
        // Microsoft Video 1 keeps 15-bit colour and two colours per 4 × 4 block: sharp text suffers.
        QTest::newRow("Microsoft Video 1") << "msvideo1" << "CRAM" << 19.0;
        QTest::newRow("ZMBV") << "zmbv" << "ZMBV" << lossless;
        QTest::newRow("FFV1") << "ffv1" << "FFV1" << lossless;
        QTest::newRow("Ut Video") << "utvideo" << "ULRG" << lossless;
        QTest::newRow("Huffyuv") << "huffyuv" << "HFYU" << lossless;
    }

    void compressedFramesDecodeCloseToTheStore()
    {
        QFETCH(QString, codec);
        QFETCH(QString, fourcc);
        QFETCH(double, psnrFloor);
        const int width = 160, height = 120, frames = 10;
        const QString path = MakeScreenRecording(dir_.path(), codec + ".avi", width, height, frames);
        const Published published = publishRecording(path, codec);
        QVERIFY2(!published.path.isEmpty(), "the compressor started");
        QVERIFY2(published.failure.isEmpty(), qPrintable(published.failure));
        QCOMPARE(published.framesWritten, frames);

        const store::AviCheckReport check = store::CheckAviFile(QFile::encodeName(path).toStdString());
        QVERIFY2(check.Clean(), check.message.c_str());
        const QJsonArray streams = avitest::probeStreams(path);
        QCOMPARE(streams.size(), 2);
        QCOMPARE(streams[0].toObject().value("codec_type").toString(), QStringLiteral("audio"));
        const QJsonObject video = streams[1].toObject();
        QCOMPARE(video.value("codec_tag_string").toString(), fourcc);
        QCOMPARE(video.value("nb_read_packets").toString(), QString::number(frames));
        QCOMPARE(video.value("width").toInt(), width);

        const QByteArray decoded = avitest::ffmpegFrames(path);
        const QByteArray stored = StoreFramesBgr(path);
        const qsizetype frameBytes = width * height * 3;
        QCOMPARE(decoded.size(), stored.size());
        QCOMPARE(decoded.size(), frameBytes * frames);
        double worst = std::numeric_limits<double>::infinity();
        for (int k = 0; k < frames; ++k)
            worst = std::min(worst, Psnr(decoded.constData() + k * frameBytes, stored.constData() + k * frameBytes, frameBytes));
        qInfo("%s: worst frame PSNR %.2f dB (floor %.1f)", qPrintable(codec), worst, psnrFloor);
        QVERIFY2(worst >= psnrFloor, qPrintable(QStringLiteral("worst frame %1 dB").arg(worst)));
        QVERIFY(IndexKeyFlags(path, 1).value(0));
    }

    // Key frames are flagged as the encoder made them: a delta frame is never flagged as key (players
    // would seek to it and show garbage), and every key frame is.
    void keyFramesAreFlaggedAsTheEncoderSays_data()
    {
        QTest::addColumn<QString>("codec");
        QTest::newRow("H.264") << "h264";
        QTest::newRow("MPEG-4 part 2") << "mpeg4";
    }

    void keyFramesAreFlaggedAsTheEncoderSays()
    {
        QFETCH(QString, codec);
        const QString path = MakeScreenRecording(dir_.path(), codec + "-keys.avi", 160, 120, 24);
        editor::OpenRecording recording;
        recording.Open(path);
        {
            publish::AviExport avi(recording);
            SetUpExport(avi, recording);
            QVERIFY(ChooseCompressor(avi, codec));
            avi.compVars.lKey = 8;
            QVERIFY(avi.StartCompressed());
            avi.Run();
        }
        recording.Close();
        const QList<bool> flagged = IndexKeyFlags(path, 1);
        QCOMPARE(flagged.size(), 24);
        QCOMPARE(DecodedKeyFrames(path), flagged);
        QCOMPARE(flagged.count(true), 3); // frames 0, 8 and 16
        QVERIFY(flagged[0] && flagged[8] && flagged[16]);
    }

    // A frame that cannot be read or decoded half-way stops the export with a message naming it; the
    // file holds the frames before it, indexed, and a compressor's held-back frames are not lost.
    void aFrameThatCannotBeReadStopsWithAValidFile_data()
    {
        QTest::addColumn<QString>("codec");
        QTest::addColumn<int>("damage");
        QTest::newRow("uncompressed, undecodable") << QString() << int(Damage::Undecodable);
        QTest::newRow("uncompressed, unreadable") << QString() << int(Damage::Unreadable);
        QTest::newRow("H.264, undecodable") << "h264" << int(Damage::Undecodable);
        QTest::newRow("H.264, unreadable") << "h264" << int(Damage::Unreadable);
        QTest::newRow("uncompressed, store ends early") << QString() << -1;
    }

    void aFrameThatCannotBeReadStopsWithAValidFile()
    {
        QFETCH(QString, codec);
        QFETCH(int, damage);
        const int good = 6;
        const QString name = QStringLiteral("damaged-%1.avi").arg(QTest::currentDataTag()).replace(' ', '-').remove(',');
        QString path;
        if (damage < 0) {
            path = MakeScreenRecording(dir_.path(), name, 64, 48, good);
            store::FrameStore store = store::FrameStore::OpenFrameStoreForAppend(QFile::encodeName(path + ".xxx").toStdString());
            store.AddToFrameCount(4); // the header counts 10 frames, the store holds 6
            store.Close();
        } else {
            path = MakeScreenRecording(dir_.path(), name, 64, 48, 10);
            DamageRecord(path + ".xxx", good, Damage(damage));
        }
        const Published published = publishRecording(path, codec);
        QVERIFY2(published.failure.contains(QStringLiteral("第 %1 帧").arg(good + 1)), qPrintable(published.failure));
        QVERIFY2(!published.failure.contains(QStringLiteral("still held")), qPrintable(published.failure));
        QCOMPARE(published.framesWritten, good);

        const store::AviCheckReport check = store::CheckAviFile(QFile::encodeName(path).toStdString());
        QVERIFY2(check.Clean(), check.message.c_str());
        const QJsonArray streams = avitest::probeStreams(path);
        QCOMPARE(streams.size(), 2);
        QCOMPARE(streams[1].toObject().value("nb_read_packets").toString(), QString::number(good));
        const QByteArray decoded = avitest::ffmpegFrames(path);
        QCOMPARE(decoded.size(), qsizetype(64 * 48 * 3 * good));
        if (codec.isEmpty())
            QCOMPARE(decoded, StoreFramesBgr(path, good));
    }

    // A recording too large for one RIFF part is published through the OpenDML extension: the file
    // continues in AVIX parts, and every reader still finds every frame and the whole sound.
    void aLargeExportContinuesInOpenDmlParts()
    {
        const std::uint64_t partSize = store::AviFile::partSize();
        store::AviFile::setPartSize(256 * 1024);
        const auto restore = qScopeGuard([partSize] { store::AviFile::setPartSize(partSize); });
        RecordingRecipe recipe;
        recipe.frames = 40;
        recipe.width = 160; // 57600 bytes a frame, 2.3 MB in all
        recipe.height = 120;
        recipe.soundBytes = 5 * 22050;
        const QString path = MakeRecording(dir_.path(), "large.avi", recipe);
        const Published published = publishRecording(path);
        QVERIFY2(published.failure.isEmpty(), qPrintable(published.failure));

        const store::AviCheckReport check = store::CheckAviFile(QFile::encodeName(path).toStdString());
        QVERIFY2(check.Clean(), check.message.c_str());
        QVERIFY2(check.parts >= 5, qPrintable(QString::number(check.parts)));
        QVERIFY(check.standardIndexes > 0);
        const QJsonArray streams = avitest::probeStreams(path);
        QCOMPARE(streams.size(), 2);
        QCOMPARE(streams[1].toObject().value("nb_read_packets").toString(), QStringLiteral("40"));
        QCOMPARE(avitest::ffmpegFrames(path), StoreFramesBgr(path));
        QCOMPARE(avitest::ffmpegSound(path), fixtureSoundBytes(recipe));
    }
};

QTEST_MAIN(AviExportTest)
#include "test_avi_export.moc"

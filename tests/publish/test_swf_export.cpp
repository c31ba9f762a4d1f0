// The SWF export on recordings made for the test: the movie as described where the recording runs at 8
// frames a second, the edge cases of the run (no frame, the last frame left out, the ids of two exports,
// the sound head), the mends (picture and sound in step, blocks counted in sample frames, resampled rates,
// frames beyond 1639 pixels, the limits, an output that cannot be recipe, a short store), and the same
// bytes from one thread and from several.
#include "SoundAnalysis.h"
#include "SwfExportSupport.h"
#include "TestFiles.h"

#include "publish/PublishError.h"
#include "publish/SwfMovieFile.h"
#include "publish/SwfSoundTrack.h"
#include "store/FrameStore.h"

#include <QTemporaryDir>
#include <QtTest>


using namespace quolva;
using namespace quolva::test;
using publish::SwfExport;
using publish::SwfPacing;

namespace {

store::SoundFormatArea pcm(std::uint32_t rate, int bits, int channels)
{
    store::SoundFormatArea area{};
    const auto align = static_cast<store::WORD>(bits / 8 * channels);
    area.format = {store::WAVE_FORMAT_PCM, static_cast<store::WORD>(channels), rate, rate * align, align,
                   static_cast<store::WORD>(bits), 0};
    return area;
}

// The straight edges of a DefineShape3 body as (dx, dy) twips, in drawing order.
QList<QPair<int, int>> shapeEdges(const QByteArray& body)
{
    qsizetype at = 0;
    readRect(body, 2, &at);
    // One bitmap fill (1 + 1 + 2 + the matrix's 8 bytes), no line styles, then the bit-packed records.
    at += 1 + 1 + 2 + 8 + 1;
    int position = static_cast<int>(at * 8);
    const int fillBits = readBits(body, position, 4, false);
    const int lineBits = readBits(body, position, 4, false);
    QList<QPair<int, int>> edges;
    for (;;) {
        if (readBits(body, position, 1, false) == 0) { // a change record or the end
            const int flags = readBits(body, position, 5, false);
            if (flags == 0)
                return edges;
            if (flags & 1) {
                const int m = readBits(body, position, 5, false);
                readBits(body, position, m);
                readBits(body, position, m);
            }
            if (flags & 2)
                readBits(body, position, fillBits, false);
            if (flags & 4)
                readBits(body, position, fillBits, false);
            if (flags & 8)
                readBits(body, position, lineBits, false);
            continue;
        }
        if (readBits(body, position, 1, false) == 0)
            return edges << qMakePair(-999999, -999999); // a curve: never drawn by the export
        const int n = readBits(body, position, 4, false) + 2;
        if (readBits(body, position, 1, false) == 1) {
            const int dx = readBits(body, position, n);
            edges << qMakePair(dx, readBits(body, position, n));
        } else if (readBits(body, position, 1, false) == 1) {
            edges << qMakePair(0, readBits(body, position, n));
        } else {
            edges << qMakePair(readBits(body, position, n), 0);
        }
    }
}

} // namespace

class SwfExportTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    QString out(const QString& name) const { return dir.filePath(name); }

private slots:
    // 800 × 600 frames and 11025 Hz 16-bit sound whose N frames span exactly N × 1378 sample frames: the
    // movie runs at 8 frames a second and every byte is the described one, from one thread or several.
    void eightFramesASecondGivesTheDescribedBytes()
    {
        RecordingRecipe recipe{.frames = 4, .width = 800, .height = 600};
        recipe.soundBytes = 4 * 1378 * 2;
        const QString rec = MakeRecording(dir.path(), QStringLiteral("eight.avi"), recipe);

        const std::uint16_t firstId = NextCharacterId();
        const ExportRun run = RunExport(rec, out(QStringLiteral("eight.swf")), 1);
        QVERIFY2(!run.refusal, qPrintable(run.refusal.value_or(QString())));
        const QByteArray described = DescribedMovie(rec, recipe, firstId);
        const QByteArray written = ReadFile(out(QStringLiteral("eight.swf")));
        QCOMPARE(written.size(), described.size());
        QVERIFY(written == described);

        const SwfFile swf = ParseSwf(written);
        QCOMPARE(swf.frameCount, quint16(3)); // N − 1: the last record is left out
        QCOMPARE(run.framesWritten, 3);
        QCOMPARE(swf.rect[1], 16020);
        QCOMPARE(swf.rect[3], 12020);
        QCOMPARE(swf.rateInteger, quint8(8));
        QCOMPARE(swf.rateFraction, quint8(0));
        QCOMPARE(swf.fileLength, quint32(written.size()));
        QCOMPARE(shapeEdges(swf.tagsOf(32)[0].body),
                 (QList<QPair<int, int>>{{15980, 0}, {0, 11980}, {-15980, 0}, {0, -11980}}));
        QCOMPARE(swf.codes(), (QList<int>{9, 45, 36, 32, 26, 1, 19, 36, 32, 28, 26, 1, 19, 36, 32, 28, 26, 1, 19, 0}));
        for (const swftest::ParsedTag& place : swf.tagsOf(26))
            QCOMPARE(swftest::readU16(place.body, 1), quint32(300));
        QCOMPARE(swf.tagsOf(28)[0].body, swftest::hex("2C 01"));

        // The dialog saw every frame in order; the read position went back to the first record.
        QCOMPARE(run.shownIndexes, (std::vector<std::int32_t>{0, 1, 2}));
        QCOMPARE(run.shown[1], DecodedFrames(rec)[1]);
        QCOMPARE(run.cursorAfter, store::kFrameStoreHeaderSize);

        // Several threads write the same bytes (with ids further on); the dialog still sees every frame
        // on its own thread, in order.
        const std::uint16_t nextId = NextCharacterId();
        const ExportRun threaded = RunExport(rec, out(QStringLiteral("eight3.swf")), 3);
        QVERIFY(!threaded.refusal);
        QCOMPARE(threaded.shownIndexes, (std::vector<std::int32_t>{0, 1, 2}));
        QVERIFY(threaded.shownOnCallingThread);
        QVERIFY(ReadFile(out(QStringLiteral("eight3.swf"))) == DescribedMovie(rec, recipe, nextId));
    }

    // No frame to write: N = 0 and N = 1 give a movie of background, sound head and End.
    void noFrameGivesAnEmptyMovie_data()
    {
        QTest::addColumn<int>("records");
        QTest::newRow("N = 0") << 0;
        QTest::newRow("N = 1") << 1;
    }
    void noFrameGivesAnEmptyMovie()
    {
        QFETCH(int, records);
        const QString rec = MakeRecording(dir.path(), QStringLiteral("empty%1.avi").arg(records), {.frames = records});
        const std::uint16_t before = NextCharacterId();
        const ExportRun run = RunExport(rec, out(QStringLiteral("empty%1.swf").arg(records)));
        QVERIFY(!run.refusal);
        QVERIFY(run.shown.empty());
        const SwfFile swf = ParseSwf(ReadFile(out(QStringLiteral("empty%1.swf").arg(records))));
        QCOMPARE(swf.frameCount, quint16(0));
        QCOMPARE(swf.codes(), (QList<int>{9, 45, 0}));
        QCOMPARE(swf.tags[0].body, swftest::hex("FF FF FF"));
        QCOMPARE(swf.rect[1], 20); // no frame converted: a frame size of 0 × 0 pixels
        QCOMPARE(swf.fileLength, quint32(swf.bytes.size()));
        QCOMPARE(NextCharacterId(), before);
    }

    // Two exports in one run: the second continues the ids where the first stopped; each shape fills
    // with the bitmap just before it and is the one placed.
    void idsContinueAcrossExports()
    {
        const QString rec = MakeRecording(dir.path(), QStringLiteral("ids.avi"), {.frames = 3});
        const std::uint16_t first = NextCharacterId();
        for (int round = 0; round < 2; ++round) {
            const QString name = QStringLiteral("ids%1.swf").arg(round);
            QVERIFY(!RunExport(rec, out(name)).refusal);
            const SwfFile swf = ParseSwf(ReadFile(out(name)));
            const auto bitmaps = swf.tagsOf(36), shapes = swf.tagsOf(32), places = swf.tagsOf(26);
            QCOMPARE(bitmaps.size(), 2);
            for (int k = 0; k < 2; ++k) {
                const quint32 bitmapId = first + 4 * round + 2 * k;
                QCOMPARE(swftest::readU16(bitmaps[k].body, 0), bitmapId);
                QCOMPARE(swftest::readU16(shapes[k].body, 0), bitmapId + 1);
                QCOMPARE(swftest::readU16(places[k].body, 3), bitmapId + 1);
                qsizetype fillAt = 0;
                readRect(shapes[k].body, 2, &fillAt);
                QCOMPARE(shapes[k].body.mid(fillAt, 2), swftest::hex("01 41"));
                QCOMPARE(swftest::readU16(shapes[k].body, fillAt + 2), bitmapId);
            }
        }
    }

    void soundHeadFromTheFormat_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("code");
        QTest::newRow("11025 Hz 16-bit mono") << 11025 << 16 << 1 << 1;
        QTest::newRow("22050 Hz 16-bit stereo") << 22050 << 16 << 2 << 2;
        QTest::newRow("44100 Hz 8-bit stereo") << 44100 << 8 << 2 << 3;
        QTest::newRow("5512 Hz 8-bit mono") << 5512 << 8 << 1 << 0;
    }
    void soundHeadFromTheFormat()
    {
        QFETCH(int, rate);
        QFETCH(int, bits);
        QFETCH(int, channels);
        QFETCH(int, code);
        const auto format = pcm(static_cast<std::uint32_t>(rate), bits, channels).format;
        const publish::SwfSoundHead head = SwfExport::SoundHead(format, static_cast<std::uint32_t>(rate), 1378);
        const std::uint8_t is16 = bits == 16, isStereo = channels == 2;
        QCOMPARE(head, (publish::SwfSoundHead{static_cast<std::uint8_t>(code), is16, isStereo, 0,
                                              static_cast<std::uint8_t>(code), is16, isStereo, 1378}));
        // The rates the track is resampled to when the format's own has no code.
        QCOMPARE(publish::SwfSoundTrack::CodedRateFor(static_cast<std::uint32_t>(rate)), static_cast<std::uint32_t>(rate));
    }

    void resampledRates_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("coded");
        QTest::newRow("8000") << 8000 << 11025;
        QTest::newRow("16000") << 16000 << 22050;
        QTest::newRow("32000") << 32000 << 44100;
        QTest::newRow("48000") << 48000 << 44100;
        QTest::newRow("96000") << 96000 << 44100;
        QTest::newRow("4000 keeps code 0") << 4000 << 4000;
    }
    void resampledRates()
    {
        QFETCH(int, rate);
        QFETCH(int, coded);
        QCOMPARE(publish::SwfSoundTrack::CodedRateFor(static_cast<std::uint32_t>(rate)), static_cast<std::uint32_t>(coded));
    }

    // r = N × R / L and the blocks ⌊k·L/N⌋ … ⌊(k+1)·L/N⌋; 10 frames a second where that cannot be.
    void pacing_data()
    {
        QTest::addColumn<int>("frames");
        QTest::addColumn<qint64>("soundFrames");
        QTest::addColumn<int>("rate");
        QTest::addColumn<double>("frameRate");
        QTest::addColumn<bool>("fallback");
        QTest::addColumn<int>("samplesPerBlock");
        QTest::addColumn<QList<qint64>>("starts"); // of blocks 0, 1, 2 and of block N
        QTest::newRow("8 a second") << 4 << qint64(5512) << 11025 << 4 * 11025 / 5512.0 << false << 1378
                                    << QList<qint64>{0, 1378, 2756, 5512};
        QTest::newRow("10.5 a second") << 21 << qint64(22050) << 11025 << 10.5 << false << 1050
                                       << QList<qint64>{0, 1050, 2100, 22050};
        QTest::newRow("uneven blocks") << 3 << qint64(10) << 4 << 1.2 << false << 3 << QList<qint64>{0, 3, 6, 10};
        QTest::newRow("no sound") << 5 << qint64(0) << 11025 << 10.0 << true << 1102 << QList<qint64>{0, 0, 0, 0};
        QTest::newRow("no frames") << 0 << qint64(11025) << 11025 << 10.0 << true << 1102 << QList<qint64>{0, 1102, 2205, 0};
        QTest::newRow("too slow") << 2 << qint64(441000) << 44100 << 10.0 << true << 4410
                                  << QList<qint64>{0, 4410, 8820, 8820};
        QTest::newRow("too fast") << 700 << qint64(11025) << 11025 << 10.0 << true << 1102
                                  << QList<qint64>{0, 1102, 2205, 11025};
        QTest::newRow("rate 0") << 5 << qint64(100) << 0 << 10.0 << true << 0 << QList<qint64>{0, 0, 0, 0};
    }
    void pacing()
    {
        QFETCH(int, frames);
        QFETCH(qint64, soundFrames);
        QFETCH(int, rate);
        QFETCH(double, frameRate);
        QFETCH(bool, fallback);
        QFETCH(int, samplesPerBlock);
        QFETCH(QList<qint64>, starts);
        const SwfPacing p = SwfPacing::For(frames, soundFrames, static_cast<std::uint32_t>(rate));
        QCOMPARE(p.frameRate, frameRate);
        QCOMPARE(p.byCapturePace, fallback);
        QCOMPARE(int(p.samplesPerBlock), samplesPerBlock);
        QCOMPARE((QList<qint64>{p.BlockStart(0), p.BlockStart(1), p.BlockStart(2), p.BlockStart(frames)}), starts);
    }

    // A recording at 10.5 frames a second (21 frames over 2 s of sound): the header says so, and block k
    // holds exactly the sample frames recorded while frame k was on screen, 16-bit frames kept whole.
    void eachBlockHoldsItsFramesSound_data()
    {
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("channels");
        QTest::newRow("16-bit mono") << 16 << 1;
        QTest::newRow("16-bit stereo") << 16 << 2;
        QTest::newRow("8-bit mono") << 8 << 1;
    }
    void eachBlockHoldsItsFramesSound()
    {
        QFETCH(int, bits);
        QFETCH(int, channels);
        RecordingRecipe recipe{.frames = 21, .width = 40, .height = 30};
        recipe.soundFormat = pcm(11025, bits, channels);
        const int align = bits / 8 * channels;
        recipe.soundBytes = 22050 * align;
        const QString rec = MakeRecording(dir.path(), QStringLiteral("step%1_%2.avi").arg(bits).arg(channels), recipe);
        const QString output = out(QStringLiteral("step%1_%2.swf").arg(bits).arg(channels));
        const ExportRun run = RunExport(rec, output);
        QVERIFY(!run.refusal);
        const SwfFile swf = ParseSwf(ReadFile(output));
        QCOMPARE(swf.rateInteger, quint8(10));
        QCOMPARE(swf.rateFraction, quint8(128));
        const auto head = swf.tagsOf(45)[0].body;
        QCOMPARE(swftest::readU16(head, 2), quint32(22050 / 21));
        const auto blocks = swf.tagsOf(19);
        QCOMPARE(blocks.size(), 20);
        const std::vector<std::uint8_t> sound = FixtureSound(recipe);
        for (int k = 0; k < 20; ++k) {
            const qint64 from = k * 22050LL / 21, to = (k + 1) * 22050LL / 21;
            const QByteArray expected(reinterpret_cast<const char*>(sound.data()) + from * align,
                                      static_cast<qsizetype>((to - from) * align));
            QCOMPARE(blocks[k].body, expected);
        }
    }

    // 48000 Hz and 8000 Hz tracks are resampled to 44100 and 11025 Hz as they are read: the rate codes
    // name the new rate, the frame rate and the blocks are counted at it, and the tone keeps its pitch.
    void tracksWithoutRateCodeAreResampled_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("coded");
        QTest::addColumn<int>("code");
        QTest::newRow("48000") << 48000 << 44100 << 3;
        QTest::newRow("8000") << 8000 << 11025 << 1;
    }
    void tracksWithoutRateCodeAreResampled()
    {
        QFETCH(int, rate);
        QFETCH(int, coded);
        QFETCH(int, code);
        RecordingRecipe recipe{.frames = 21, .width = 32, .height = 24};
        recipe.soundFormat = pcm(static_cast<std::uint32_t>(rate), 16, 1);
        recipe.soundBytes = 2LL * rate * 2; // 2 s
        recipe.toneHz = 1000;
        const QString rec = MakeRecording(dir.path(), QStringLiteral("rate%1.avi").arg(rate), recipe);
        const QString output = out(QStringLiteral("rate%1.swf").arg(rate));
        const ExportRun run = RunExport(rec, output);
        QVERIFY(!run.refusal);
        const SwfFile swf = ParseSwf(ReadFile(output));
        const QByteArray head = swf.tagsOf(45)[0].body;
        QCOMPARE(static_cast<int>(static_cast<quint8>(head[0])), code << 2 | 1 << 1);
        const qint64 L = 2LL * coded;
        QCOMPARE(run.pacing.soundFrames, L);
        QCOMPARE(swftest::readU16(head, 2), quint32(L / 21));
        QCOMPARE(swf.rateInteger, quint8(10));
        QCOMPARE(swf.rateFraction, quint8(128));
        const QByteArray sound = swf.sound();
        QCOMPARE(sound.size(), qsizetype(20 * L / 21 * 2));
        const auto samples = soundtest::samples16(sound);
        const std::vector<double> middle(samples.begin() + coded / 4, samples.begin() + coded);
        QVERIFY(std::abs(soundtest::dominantFrequency(middle, coded, 200, 4000) - 1000) < 2);
        QVERIFY(soundtest::largestSineBreak(middle, 1000, coded) < 0.02);
    }

    // A 1920 × 1080 frame: the 38380-twip edges are drawn as two of 19190, the 21580-twip ones whole;
    // the shape's box and the header cover the whole frame.
    void wideFramesSplitTheirEdges()
    {
        const QString rec = MakeRecording(dir.path(), QStringLiteral("wide.avi"), {.frames = 2, .width = 1920, .height = 1080});
        QVERIFY(!RunExport(rec, out(QStringLiteral("wide.swf"))).refusal);
        const SwfFile swf = ParseSwf(ReadFile(out(QStringLiteral("wide.swf"))));
        QCOMPARE(swf.rect[1], 1921 * 20);
        QCOMPARE(swf.rect[3], 1081 * 20);
        const QByteArray shape = swf.tagsOf(32)[0].body;
        QCOMPARE(readRect(shape, 2), (std::array<std::int32_t, 4>{-100, 38480, -100, 21680}));
        QCOMPARE(shapeEdges(shape), (QList<QPair<int, int>>{{19190, 0}, {19190, 0}, {0, 21580}, {-19190, 0}, {-19190, 0},
                                                            {0, -21580}}));
        const QByteArray bitmap = swf.tagsOf(36)[0].body;
        QCOMPARE(swftest::readU16(bitmap, 3), quint32(1920));
        QCOMPARE(swftest::readU16(bitmap, 5), quint32(1080));

        QCOMPARE(SwfExport::SplitEdge(32767), (std::vector<std::int16_t>{32767}));
        QCOMPARE(SwfExport::SplitEdge(32768), (std::vector<std::int16_t>{16384, 16384}));
        QCOMPARE(SwfExport::SplitEdge(65540), (std::vector<std::int16_t>{21847, 21847, 21846}));
        QCOMPARE(SwfExport::SplitEdge(0), (std::vector<std::int16_t>{0}));
    }

    // More frames than a movie can count, or a movie past 4 GiB: refused with the limit named, and
    // nothing is written, not even a part of the file.
    void limitsAreRefusedWithNothingWritten()
    {
        QTemporaryDir folder;
        const QString output = folder.filePath(QStringLiteral("out.swf"));
        const QString many = MakeRecording(folder.path(), QStringLiteral("many.avi"), {.frames = 2, .headerCount = 65537});
        QStringList before = FilesIn(folder.path());
        ExportRun run = RunExport(many, output);
        QVERIFY(run.refusal);
        QVERIFY2(run.refusal->contains(QStringLiteral("65535 帧")), qPrintable(*run.refusal));
        QCOMPARE(FilesIn(folder.path()), before);
        QCOMPARE(run.cursorAfter, store::kFrameStoreHeaderSize);

        // The sound alone is past the limit: refused before the output exists.
        RecordingRecipe loud{.frames = 3};
        loud.soundBytes = 40000;
        const QString big = MakeRecording(folder.path(), QStringLiteral("big.avi"), loud);
        before = FilesIn(folder.path());
        run = RunExport(big, output, 0, 20000); // 2 of 3 frames' sound: 26666 bytes
        QVERIFY(run.refusal && run.refusal->contains(QStringLiteral("4 GiB")));
        QCOMPARE(run.framesWritten, 0);
        QCOMPARE(FilesIn(folder.path()), before);

        // The body grows past the limit while frames are written: the run stops, the unfinished file goes.
        const QString frames = MakeRecording(folder.path(), QStringLiteral("frames.avi"),
                                             {.frames = 8, .width = 160, .height = 120, .withSoundStream = false});
        before = FilesIn(folder.path());
        const ExportRun whole = RunExport(frames, output, 2);
        QVERIFY(!whole.refusal);
        const auto wholeLength = static_cast<std::uint64_t>(ReadFile(output).size());
        QVERIFY(QFile::remove(output));
        run = RunExport(frames, output, 2, wholeLength / 2);
        QVERIFY(run.refusal && run.refusal->contains(QStringLiteral("4 GiB")));
        QVERIFY(run.framesWritten > 0);
        QCOMPARE(FilesIn(folder.path()), before);
        QCOMPARE(run.cursorAfter, store::kFrameStoreHeaderSize);
    }

    // An output that cannot be recipe, or that is the recording being published: said so, nothing written,
    // and the next export goes through. An existing output is replaced only once the new movie is
    // complete, and keeps its permissions.
    void outputThatCannotBeCreated()
    {
        QTemporaryDir folder;
        const QString rec = MakeRecording(folder.path(), QStringLiteral("rec.avi"), {.frames = 3});
        // A missing folder, a folder, the recording's own files (also by another name).
        QVERIFY(QFile::link(rec, folder.filePath(QStringLiteral("alias.avi"))));
        const QStringList before = FilesIn(folder.path());
        const QByteArray recordingBytes = ReadFile(rec);
        for (const QString& output : {folder.filePath(QStringLiteral("missing/out.swf")), folder.path(), rec,
                                      rec + QStringLiteral(".xxx"), folder.filePath(QStringLiteral("alias.avi"))}) {
            const ExportRun run = RunExport(rec, output);
            QVERIFY2(run.refusal && run.refusal->contains(output), qPrintable(run.refusal.value_or(QString())));
            QCOMPARE(FilesIn(folder.path()), before);
            QVERIFY(ReadFile(rec) == recordingBytes);
        }
        const QString good = folder.filePath(QStringLiteral("out.swf"));
        QVERIFY(QFile(good).open(QIODevice::WriteOnly));
        QVERIFY(QFile::setPermissions(good, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        const QFile::Permissions permissions = QFile::permissions(good);
        QVERIFY(!RunExport(rec, good).refusal);
        QCOMPARE(ParseSwf(ReadFile(good)).frameCount, quint16(2));
        QCOMPARE(QFile::permissions(good), permissions);
        QStringList after = QStringList(before) << QStringLiteral("out.swf");
        after.sort();
        QCOMPARE(FilesIn(folder.path()), after);
    }

    // The movie file replaces its output: a regular file, new or existing, is written by renaming a part
    // file beside it; a symbolic link is followed, the movie written where it leads (the link stays);
    // what exists but is not a regular file (a folder, a pipe, a device) is refused with nothing written.
    // The part file's name fits the file system's 255 bytes whatever the output's name.
    void outputKinds_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("writtenAt"); // relative to the folder; empty: refused
        QTest::newRow("new file") << "new file" << "out.swf";
        QTest::newRow("existing file") << "existing file" << "out.swf";
        QTest::newRow("link to a file") << "link to a file" << "elsewhere/real-out.swf";
        QTest::newRow("dangling link into an existing folder") << "dangling link" << "elsewhere/new-out.swf";
        QTest::newRow("link to a link to a file") << "link to a link" << "elsewhere/real-out.swf";
        QTest::newRow("name of 250 bytes") << "long name" << QString(82, QChar(0x5F71)) + ".swf";
        QTest::newRow("folder") << "folder" << "";
        QTest::newRow("named pipe") << "pipe" << "";
        QTest::newRow("link to a named pipe") << "link to a pipe" << "";
        QTest::newRow("device") << "device" << "";
    }
    void outputKinds()
    {
        QFETCH(QString, kind);
        QFETCH(QString, writtenAt);
        QTemporaryDir folder;
        const QString elsewhere = folder.filePath(QStringLiteral("elsewhere"));
        const QString output = kind == "long name" ? folder.filePath(writtenAt) : MakeOutput(folder.path(), kind, "out.swf");
        if (output.isEmpty())
            QSKIP("this kind of output cannot be made here (a device needs root)");
        QCOMPARE(QFile::encodeName(QFileInfo(output).fileName()).size(), kind == "long name" ? 250 : 7);
        const QStringList before = EntriesIn(folder.path());
        const QStringList beforeElsewhere = EntriesIn(elsewhere);
        const QString kindBefore = KindOf(output);
        const QFile::Permissions permissions = QFileInfo(output).permissions();

        std::optional<QString> refusal;
        try {
            publish::SwfMovieFile movie(output);
            movie.ReserveHeader(4);
            movie.Append("body");
            movie.Commit("head");
        } catch (const publish::PublishError& failure) {
            refusal = QString::fromUtf8(failure.what());
        }
        QCOMPARE(KindOf(output), kindBefore == "none" ? QStringLiteral("file") : kindBefore);
        if (writtenAt.isEmpty()) {
            QVERIFY2(refusal && refusal->contains(output), qPrintable(refusal.value_or(QStringLiteral("no refusal"))));
            QCOMPARE(EntriesIn(folder.path()), before);
            QCOMPARE(EntriesIn(elsewhere), beforeElsewhere);
            return;
        }
        QVERIFY2(!refusal, qPrintable(refusal.value_or(QString())));
        const QString written = folder.filePath(writtenAt);
        QCOMPARE(KindOf(written), QStringLiteral("file"));
        QCOMPARE(ReadFile(written), QByteArray("headbody"));
        if (kind != "new file" && kind != "long name" && kind != "dangling link")
            QCOMPARE(QFileInfo(written).permissions(), permissions); // a replaced file keeps them
        // Nothing else was left behind: no part file.
        QStringList expected = before;
        if (!expected.contains(QFileInfo(output).fileName()))
            expected << QFileInfo(output).fileName();
        expected.sort();
        QCOMPARE(EntriesIn(folder.path()), expected);
        QStringList expectedElsewhere = beforeElsewhere;
        if (written.startsWith(elsewhere) && !expectedElsewhere.contains(QFileInfo(written).fileName()))
            expectedElsewhere << QFileInfo(written).fileName();
        expectedElsewhere.sort();
        QCOMPARE(EntriesIn(elsewhere), expectedElsewhere);
    }

    // A store whose header counts more records than it holds: the movie has every record that was
    // read, and is a whole movie.
    void shortStoreGivesAMovieOfWhatWasRead()
    {
        RecordingRecipe recipe{.frames = 3, .headerCount = 6};
        recipe.soundBytes = 6 * 1102 * 2;
        const QString rec = MakeRecording(dir.path(), QStringLiteral("short.avi"), recipe);
        const ExportRun run = RunExport(rec, out(QStringLiteral("short.swf")));
        QVERIFY(!run.refusal);
        QCOMPARE(run.framesWritten, 3);
        const SwfFile swf = ParseSwf(ReadFile(out(QStringLiteral("short.swf"))));
        QCOMPARE(swf.frameCount, quint16(3));
        QCOMPARE(swf.tagsOf(1).size(), 3);
        QCOMPARE(swf.tags.last().code, 0);
        QVERIFY(!swf.codes().contains(-1));
        QCOMPARE(swf.fileLength, quint32(swf.bytes.size()));
        QCOMPARE(swf.sound().size(), qsizetype(3 * 1102 * 2));
    }

    // Runs last: it uses up the character ids of this process.
    void tooFewIdsLeftIsRefused()
    {
        const QString rec = MakeRecording(dir.path(), QStringLiteral("ids_left.avi"), {.frames = 4});
        while (FlashIDEnabled::RemainingIDs() > 5)
            FlashIDEnabled burn;
        // 3 frames need 6 ids; 5 are left.
        const ExportRun run = RunExport(rec, out(QStringLiteral("ids_left.swf")));
        QVERIFY(run.refusal);
        QVERIFY2(run.refusal->contains(QStringLiteral("5 个")), qPrintable(*run.refusal));
        QVERIFY(!QFileInfo::exists(out(QStringLiteral("ids_left.swf"))));
        QCOMPARE(FlashIDEnabled::RemainingIDs(), 5u);
        // 2 frames fit.
        const QString fits = MakeRecording(dir.path(), QStringLiteral("ids_fit.avi"), {.frames = 3});
        QVERIFY(!RunExport(fits, out(QStringLiteral("ids_fit.swf"))).refusal);
        QCOMPARE(FlashIDEnabled::RemainingIDs(), 1u);
    }
};

QTEST_GUILESS_MAIN(SwfExportTest)
#include "test_swf_export.moc"

// The AVI check: files of our writer and of ffmpeg check clean; damaged copies are reported with the
// right kind of fault at the right offset, without trusting sizes read from the file.
#include "test_avi_support.h"

#include "store/AviCheck.h"
#include "store/AviLayout.h"

#include <QTemporaryDir>

#include <functional>

#include <sys/wait.h>
#include <unistd.h>

using namespace avitest;

namespace {

quint32 u32At(const QByteArray& bytes, qint64 pos)
{
    quint32 value;
    std::memcpy(&value, bytes.constData() + pos, 4);
    return value;
}

void setU32(QByteArray& bytes, qint64 pos, quint32 value)
{
    std::memcpy(bytes.data() + pos, &value, 4);
}

// Where things lie in a small AVI file, found by a plain walk of its first RIFF part.
struct Layout {
    qint64 fileSize = 0;
    qint64 moviPos = -1;                // LIST movi header of the first part
    std::vector<qint64> dataChunks;     // data chunks of the first movi list
    std::vector<qint64> standardIndexes; // ix## chunks of the first movi list
    qint64 idx1Pos = -1;
    std::vector<qint64> superIndexes;   // indx chunk of each stream
};

Layout locate(const QByteArray& bytes)
{
    Layout layout;
    layout.fileSize = bytes.size();
    const qint64 riffEnd = std::min<qint64>(bytes.size(), 8 + qint64{u32At(bytes, 4)});
    auto walk = [&](qint64 from, qint64 to, auto&& visit) {
        for (qint64 at = from; at + 8 <= to;) {
            const quint32 size = u32At(bytes, at + 4);
            visit(at, bytes.mid(at, 4), size);
            at += 8 + size + (size & 1);
        }
    };
    walk(12, riffEnd, [&](qint64 at, const QByteArray& id, quint32 size) {
        const QByteArray type = bytes.mid(at + 8, 4);
        if (id == "LIST" && type == "hdrl") {
            walk(at + 12, at + 8 + size, [&](qint64 s, const QByteArray& sid, quint32 ssize) {
                if (sid == "LIST" && bytes.mid(s + 8, 4) == "strl")
                    walk(s + 12, s + 8 + ssize, [&](qint64 c, const QByteArray& cid, quint32) {
                        if (cid == "indx")
                            layout.superIndexes.push_back(c);
                    });
            });
        } else if (id == "LIST" && type == "movi") {
            layout.moviPos = at;
            walk(at + 12, at + 8 + size, [&](qint64 c, const QByteArray& cid, quint32) {
                (cid.startsWith("ix") ? layout.standardIndexes : layout.dataChunks).push_back(c);
            });
        } else if (id == "idx1") {
            layout.idx1Pos = at;
        }
    });
    return layout;
}

void writeFile(const QString& file, const QByteArray& bytes)
{
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

// Writes a recording's sound as the recorder does (sample count = byte count), and optionally a video
// stream as the publisher adds it, with frames of odd sizes (pad bytes) and some that are not key frames.
void writeOurs(const QString& file, bool withVideo, int blocks)
{
    PAVIFILE avi;
    PAVISTREAM audio, video;
    QCOMPARE(AVIFileOpen(&avi, file.toStdString(), 0x1041), AVIERR_OK);
    QCOMPARE(AVIFileCreateStream(avi, &audio, audioInfo()), AVIERR_OK);
    const SoundFormatArea format = soundFormat();
    QCOMPARE(AVIStreamSetFormat(audio, 0, &format, 20), AVIERR_OK);
    for (int i = 0; i < blocks; ++i) {
        const QByteArray block = pcm(1000 + 2 * (i % 5), i);
        QCOMPARE(AVIStreamWrite(audio, AVIStreamLength(audio), static_cast<LONG>(block.size()), block.constData(),
                                static_cast<LONG>(block.size()), 0, nullptr, nullptr),
                 AVIERR_OK);
    }
    if (withVideo) {
        QCOMPARE(AVIFileCreateStream(avi, &video, videoInfo(16, 8, 1, 10)), AVIERR_OK);
        const BITMAPINFOHEADER bih = bitmapHeader(16, 8, mmioFOURCC('M', 'J', 'P', 'G'));
        QCOMPARE(AVIStreamSetFormat(video, 0, &bih, 40), AVIERR_OK);
        for (int i = 0; i < blocks; ++i) {
            const QByteArray frame = pcm(301 + 2 * i, 50 + i);
            QCOMPARE(AVIStreamWrite(video, i, 1, frame.constData(), static_cast<LONG>(frame.size()),
                                    i % 3 == 0 ? AVIIF_KEYFRAME : 0, nullptr, nullptr),
                     AVIERR_OK);
        }
        AVIStreamRelease(video);
    }
    AVIStreamRelease(audio);
    QCOMPARE(AVIFileRelease(avi), 0u);
}

void writeFfmpeg(const QString& file, bool withVideo)
{
    QStringList args{"-v", "error", "-y"};
    if (withVideo)
        args << "-f" << "lavfi" << "-i" << "testsrc=size=64x48:rate=10";
    args << "-f" << "lavfi" << "-i" << "sine=frequency=440:sample_rate=11025" << "-t" << "2";
    if (withVideo)
        args << "-c:v" << "mjpeg";
    args << "-c:a" << "pcm_s16le" << file;
    const ToolRun run = runTool("ffmpeg", args);
    QVERIFY2(run.exitCode == 0, run.err.constData());
}

} // namespace

class TestAviCheck : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.filePath(name); }

    static AviCheckReport check(const QString& file) { return CheckAviFile(file.toStdString()); }

    // Checks a damaged copy of `source`: the fault's kind, its offset, and a message naming both.
    void expectFault(const QString& source, const char* name, const std::function<void(QByteArray&, const Layout&)>& damage,
                     AviFault kind, const std::function<qint64(const Layout&)>& offset)
    {
        QByteArray bytes = fileBytes(source);
        const Layout layout = locate(bytes);
        damage(bytes, layout);
        const QString copy = path(QStringLiteral("damaged.avi"));
        writeFile(copy, bytes);
        const AviCheckReport report = check(copy);
        const QByteArray context = QByteArray(name) + ": " + QByteArray::fromStdString(report.message);
        QVERIFY2(report.fault == kind, (context + " (fault kind: " + QByteArray(AviFaultName(report.fault).data()) + ")").constData());
        QVERIFY2(report.faultOffset == static_cast<std::uint64_t>(offset(layout)), context.constData());
        QVERIFY2(report.message.find(copy.toStdString()) != std::string::npos, context.constData());
        QVERIFY2(report.message.find("offset " + std::to_string(report.faultOffset) + ":") != std::string::npos,
                 context.constData());
    }

private slots:
    void initTestCase() { QVERIFY(dir_.isValid()); }
    void cleanup() { AviFile::setPartSize(std::uint64_t(1) << 30); }

    void filesOfOurWriterAndOfFfmpegCheckClean_data()
    {
        QTest::addColumn<QString>("writer");
        QTest::addColumn<bool>("video");
        QTest::addColumn<int>("partSize");
        QTest::addColumn<int>("streams");
        QTest::newRow("ours, sound only") << "ours" << false << (1 << 30) << 1;
        QTest::newRow("ours, sound and frames") << "ours" << true << (1 << 30) << 2;
        QTest::newRow("ours, OpenDML parts") << "ours" << true << 8192 << 2;
        QTest::newRow("ours, continued") << "continued" << true << 8192 << 2;
        QTest::newRow("ffmpeg, sound") << "ffmpeg" << false << 0 << 1;
        QTest::newRow("ffmpeg, sound and Motion JPEG") << "ffmpeg" << true << 0 << 2;
    }
    void filesOfOurWriterAndOfFfmpegCheckClean()
    {
        QFETCH(QString, writer);
        QFETCH(bool, video);
        QFETCH(int, partSize);
        QFETCH(int, streams);
        const QString file = path(QStringLiteral("clean.avi"));
        if (writer == "ffmpeg") {
            writeFfmpeg(file, video);
        } else {
            AviFile::setPartSize(static_cast<std::uint64_t>(partSize));
            writeOurs(file, video, 30);
            if (writer == "continued") { // more sound, as a continued recording appends it
                PAVIFILE avi;
                PAVISTREAM audio;
                QCOMPARE(AVIFileOpen(&avi, file.toStdString(), 0x42), AVIERR_OK);
                QCOMPARE(AVIFileGetStream(avi, &audio, streamtypeAUDIO, 0), AVIERR_OK);
                const QByteArray more = pcm(5000, 9);
                QCOMPARE(AVIStreamWrite(audio, AVIStreamLength(audio), 5000, more.constData(), 5000, 0, nullptr, nullptr),
                         AVIERR_OK);
                AVIStreamRelease(audio);
                AVIFileRelease(avi);
            }
        }
        const AviCheckReport report = check(file);
        QVERIFY2(report.Clean(), report.message.c_str());
        QCOMPARE(report.streams, streams);
        QVERIFY(report.hasIdx1);
        const std::size_t expectedChunks = writer == "ffmpeg" ? (video ? 42 : 22) : (video ? 60 : 30) + (writer == "continued");
        QCOMPARE(report.dataChunks, expectedChunks);
        if (partSize == 8192) { // several parts, each stream named by a standard index in each
            QVERIFY2(report.parts >= 4, qPrintable(QString::number(report.parts)));
            QVERIFY(report.standardIndexes >= report.parts);
        } else if (writer == "ours") {
            QCOMPARE(report.parts, std::size_t{1});
            QCOMPARE(report.standardIndexes, std::size_t(streams));
        }
    }

    // idx1 offsets count from the 'movi' fourcc in most files, from the start of the file in some.
    void idx1WithFileOffsetsChecksClean()
    {
        const QString file = path(QStringLiteral("ffmpeg-absolute.avi"));
        writeFfmpeg(file, true);
        QByteArray bytes = fileBytes(file);
        const Layout layout = locate(bytes);
        const quint32 entries = u32At(bytes, layout.idx1Pos + 4) / 16;
        for (quint32 k = 0; k < entries; ++k) {
            const qint64 field = layout.idx1Pos + 8 + 16 * k + 8;
            setU32(bytes, field, u32At(bytes, field) + static_cast<quint32>(layout.moviPos + 8));
        }
        writeFile(file, bytes);
        const AviCheckReport report = check(file);
        QVERIFY2(report.Clean(), report.message.c_str());
        // An offset off by the wrong base is still caught.
        setU32(bytes, layout.idx1Pos + 8 + 16 * 3 + 8, u32At(bytes, layout.idx1Pos + 8 + 16 * 3 + 8) - 2);
        writeFile(file, bytes);
        QCOMPARE(check(file).fault, AviFault::Idx1);
    }

    void damagedIndexesAreReported()
    {
        const QString ours = path(QStringLiteral("ours.avi"));
        writeOurs(ours, true, 12);
        const QString ffmpeg = path(QStringLiteral("ffmpeg.avi"));
        writeFfmpeg(ffmpeg, true);
        auto idx1Entry = [](const Layout& l, int k) { return l.idx1Pos + 8 + 16 * k; };

        expectFault(ours, "idx1 entry offset moved",
                    [&](QByteArray& b, const Layout& l) { setU32(b, idx1Entry(l, 4) + 8, u32At(b, idx1Entry(l, 4) + 8) + 2); },
                    AviFault::Idx1, [&](const Layout& l) { return idx1Entry(l, 4); });
        expectFault(ffmpeg, "idx1 entry size changed",
                    [&](QByteArray& b, const Layout& l) { setU32(b, idx1Entry(l, 7) + 12, u32At(b, idx1Entry(l, 7) + 12) - 1); },
                    AviFault::Idx1, [&](const Layout& l) { return idx1Entry(l, 7); });
        expectFault(ffmpeg, "idx1 entry dropped (last chunk unnamed)",
                    [&](QByteArray& b, const Layout& l) {
                        setU32(b, l.idx1Pos + 4, u32At(b, l.idx1Pos + 4) - 16);
                        setU32(b, 4, u32At(b, 4) - 16);
                        b.chop(16);
                    },
                    AviFault::Idx1, [&](const Layout& l) { return l.dataChunks.back(); });
        expectFault(ours, "ix## entry size changed",
                    [&](QByteArray& b, const Layout& l) {
                        const qint64 entry = l.standardIndexes.front() + 8 + 24 + 8 * 2;
                        setU32(b, entry + 4, u32At(b, entry + 4) + 4);
                    },
                    AviFault::StandardIndex, [&](const Layout& l) { return l.standardIndexes.front() + 8 + 24 + 8 * 2; });
        expectFault(ours, "ix## entry offset changed",
                    [&](QByteArray& b, const Layout& l) { setU32(b, l.standardIndexes.back() + 8 + 24, 0); },
                    AviFault::StandardIndex, [&](const Layout& l) { return l.standardIndexes.back() + 8 + 24; });
        expectFault(ours, "super index names a place without an ix## chunk",
                    [&](QByteArray& b, const Layout& l) { setU32(b, l.superIndexes.front() + 8 + 24, 12); },
                    AviFault::SuperIndex, [&](const Layout& l) { return l.superIndexes.front() + 8 + 24; });
        expectFault(ours, "super index duration wrong",
                    [&](QByteArray& b, const Layout& l) {
                        const qint64 duration = l.superIndexes.back() + 8 + 24 + 12;
                        setU32(b, duration, u32At(b, duration) + 1);
                    },
                    AviFault::SuperIndex, [&](const Layout& l) { return l.superIndexes.back() + 8 + 24; });
        // '00wb' (a sound chunk) turned into '01dc' (a frame): both are data ids, so idx1 catches it.
        expectFault(ours, "chunk id changed to another stream's",
                    [&](QByteArray& b, const Layout& l) { b.replace(l.dataChunks[1], 4, "01dc"); },
                    AviFault::Idx1, [&](const Layout& l) { return idx1Entry(l, 1); });
        expectFault(ffmpeg, "chunk id changed to no data id",
                    [&](QByteArray& b, const Layout& l) { b.replace(l.dataChunks[5], 4, "\x07zz!"); },
                    AviFault::Structure, [&](const Layout& l) { return l.dataChunks[5]; });
        expectFault(ffmpeg, "no index at all",
                    [&](QByteArray& b, const Layout& l) { b.replace(l.idx1Pos, 4, "JUNK"); },
                    AviFault::MissingIndex, [&](const Layout& l) { return l.dataChunks.front(); });
        expectFault(ffmpeg, "first frame not a key frame",
                    [&](QByteArray& b, const Layout& l) { setU32(b, idx1Entry(l, 0) + 4, 0); },
                    AviFault::KeyFrames, [&](const Layout& l) { return l.dataChunks.front(); });
        expectFault(ours, "idx1 and ix## disagree on a key frame",
                    [&](QByteArray& b, const Layout& l) {
                        // The second sound chunk: the sound's ix00 comes first in the movi list.
                        const qint64 entry = l.standardIndexes.front() + 8 + 24 + 8 * 1;
                        setU32(b, entry + 4, u32At(b, entry + 4) | detail::AVISTDINDEX_DELTAFRAME);
                    },
                    AviFault::KeyFrames, [&](const Layout& l) { return l.dataChunks[1]; });
    }

    void damagedStructureIsReported()
    {
        const QString ours = path(QStringLiteral("ours-structure.avi"));
        writeOurs(ours, true, 12);
        const QString ffmpeg = path(QStringLiteral("ffmpeg-structure.avi"));
        writeFfmpeg(ffmpeg, false);

        expectFault(ffmpeg, "file cut mid-movi",
                    [&](QByteArray& b, const Layout& l) { b.truncate(l.dataChunks[10] + 100); },
                    AviFault::CutShort, [](const Layout&) { return 0; });
        expectFault(ours, "sizes left at 0 by the writer",
                    [&](QByteArray& b, const Layout& l) {
                        setU32(b, 4, 0);
                        setU32(b, l.moviPos + 4, 0);
                        b.truncate(l.idx1Pos);
                    },
                    AviFault::Unfinished, [](const Layout&) { return 0; });
        expectFault(ours, "movi list size left at 0",
                    [&](QByteArray& b, const Layout& l) { setU32(b, l.moviPos + 4, 0); },
                    AviFault::Unfinished, [&](const Layout& l) { return l.moviPos; });
        expectFault(ours, "movi list size too large for its RIFF",
                    [&](QByteArray& b, const Layout& l) { setU32(b, l.moviPos + 4, u32At(b, 4)); },
                    AviFault::Structure, [&](const Layout& l) { return l.moviPos; });
        expectFault(ffmpeg, "hostile idx1 size",
                    [&](QByteArray& b, const Layout& l) { setU32(b, l.idx1Pos + 4, 0x7FFFFFF0); },
                    AviFault::Structure, [&](const Layout& l) { return l.idx1Pos; });
        expectFault(ours, "hostile super index entry count",
                    [&](QByteArray& b, const Layout& l) { setU32(b, l.superIndexes.front() + 8 + 4, 0xFFFFFFFF); },
                    AviFault::SuperIndex, [&](const Layout& l) { return l.superIndexes.front(); });
        expectFault(ours, "hostile standard index entry count",
                    [&](QByteArray& b, const Layout& l) { setU32(b, l.standardIndexes.front() + 8 + 4, 0x7FFFFFFF); },
                    AviFault::StandardIndex, [&](const Layout& l) { return l.standardIndexes.front(); });
        expectFault(ffmpeg, "stray bytes after the last RIFF part",
                    [&](QByteArray& b, const Layout&) { b.append("garbage!", 8); },
                    AviFault::Structure, [](const Layout& l) { return l.fileSize; });
        expectFault(ffmpeg, "not an AVI", [&](QByteArray& b, const Layout&) { b.replace(8, 4, "WAVE"); },
                    AviFault::NotAvi, [](const Layout&) { return 0; });
        expectFault(ffmpeg, "empty file", [&](QByteArray& b, const Layout&) { b.clear(); }, AviFault::NotAvi,
                    [](const Layout&) { return 0; });
    }

    // A writer that dies leaves sizes at 0 and no index: "not finished"; once repaired the file checks clean.
    void fileOfADeadWriterIsUnfinishedUntilRepaired()
    {
        const QString file = path(QStringLiteral("died.avi"));
        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            PAVIFILE avi;
            PAVISTREAM audio;
            AVIFileOpen(&avi, file.toStdString(), 0x1041);
            AVIFileCreateStream(avi, &audio, audioInfo());
            const SoundFormatArea format = soundFormat();
            AVIStreamSetFormat(audio, 0, &format, 20);
            for (int i = 0; i < 10; ++i) {
                const QByteArray block = pcm(2000, i);
                AVIStreamWrite(audio, AVIStreamLength(audio), 2000, block.constData(), 2000, 0, nullptr, nullptr);
            }
            _exit(0); // no release: the writer dies here
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));

        const AviCheckReport died = check(file);
        QCOMPARE(died.fault, AviFault::Unfinished);
        QVERIFY2(died.message.find("not finished; run quolvactl repair") != std::string::npos, died.message.c_str());

        const PAVIFILE avi = AviFile::open(file.toStdString(), OF_READWRITE);
        QVERIFY(!avi->wasComplete());
        avi->completeOnClose();
        avi->close();
        const AviCheckReport repaired = check(file);
        QVERIFY2(repaired.Clean(), repaired.message.c_str());
        QCOMPARE(repaired.dataChunks, std::size_t{10});
    }

    void aFileThatCannotBeOpenedThrows()
    {
        QVERIFY_THROWS_EXCEPTION(AviError, check(path(QStringLiteral("missing.avi"))));
        QVERIFY_THROWS_EXCEPTION(AviError, check(dir_.path()));
    }
};

QTEST_GUILESS_MAIN(TestAviCheck)
#include "test_avi_check.moc"

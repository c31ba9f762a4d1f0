// The continuous update without a window: which records a run replaces (from a forward or a backward
// step, cut at the last frame, after another reader moved the cursor), that everything else stays byte
// for byte, the refusals before any tick, commits that fail at every stage or on a full disk and leave
// the old store whole, and a run beyond 2 GiB.
#include "RecordingFixture.h"
#include "editor/FrameRewriter.h"
#include "editor/OpenRecording.h"
#include "store/FrameStoreWalk.h"
#include "store/Jpeg.h"

#include <QCryptographicHash>
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quolva;
using editor::CommitError;
using editor::CommitStage;
using editor::FrameRewriter;
using editor::OpenRecording;
using editor::RewriteRefusal;
using editor::RunPlan;

namespace {

std::filesystem::path Fs(const QString& path) { return QFile::encodeName(path).toStdString(); }

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The header and every record of a store, as bytes.
struct StoreBytes {
    QByteArray header;
    QList<QByteArray> records;
};

StoreBytes Split(const QString& framesPath)
{
    const QByteArray all = ReadAll(framesPath);
    store::FrameStore frames = store::FrameStore::OpenFrameStoreReadOnly(Fs(framesPath));
    const store::FrameStoreWalk walk = store::WalkFramesForwards(frames);
    if (!walk.Clean())
        throw std::runtime_error("walk: " + walk.fault);
    StoreBytes split{all.left(16), {}};
    for (std::size_t i = 0; i < walk.recordStarts.size(); ++i) {
        const std::int64_t start = walk.recordStarts[i];
        const std::int64_t end = i + 1 < walk.recordStarts.size() ? walk.recordStarts[i + 1] : all.size();
        split.records << all.mid(start, end - start);
    }
    return split;
}

// A record's picture, decoded as the editor decodes it.
QImage Decode(const QByteArray& record)
{
    const int d = record[0] - '0';
    const int n = record.mid(1, d).toInt();
    const QByteArray jpeg = record.mid(1 + d, n);
    QImage picture;
    store::DecodeJpegInto(std::span(reinterpret_cast<const std::uint8_t*>(jpeg.data()), jpeg.size()), "test",
                          store::PixelLayout::Xrgb32, [&](int w, int h) {
                              picture = QImage(w, h, QImage::Format_RGB32);
                              return store::PixelTarget{picture.bits(), picture.bytesPerLine()};
                          });
    return picture;
}

// What the test "burns" into each frame of a run: a magenta block.
QImage Marked(QImage picture)
{
    for (int y = 2; y < 12 && y < picture.height(); ++y)
        for (int x = 2; x < 12 && x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb(255, 0, 255));
    return picture;
}

QByteArray Encoded(const QImage& picture)
{
    const std::vector<std::uint8_t> record = store::FrameStore::EncodeFrameRecord(
        {picture.constBits(), picture.width(), picture.height(), picture.bytesPerLine(), store::PixelLayout::Xrgb32});
    return QByteArray(reinterpret_cast<const char*>(record.data()), static_cast<qsizetype>(record.size()));
}

// Runs the ticks of an update as the window does, burning the mark into the picture on view, and
// commits. Returns the number of frames encoded.
int RunTicks(FrameRewriter& rewriter, OpenRecording& recording, QImage onView, QList<int>* numbersShown = nullptr)
{
    int encoded = 0;
    while (!rewriter.RunComplete()) {
        rewriter.EncodeFrame(Marked(onView));
        ++encoded;
        const QImage next = rewriter.Advance();
        if (!next.isNull())
            onView = next;
        if (numbersShown)
            *numbersShown << recording.NumberOnView();
    }
    return encoded;
}

QStringList Leftovers(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral("*.new-*")}, QDir::Files | QDir::Hidden);
}

} // namespace

class FrameRewriterTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    // Opens a fresh copy of a recording and shows the frame the steps lead to.
    QImage OpenAndStep(OpenRecording& recording, const QString& path, const QString& steps)
    {
        recording.Open(path);
        QImage onView;
        for (const QChar step : steps) {
            if (step == u'n')
                onView = recording.NextFrame();
            else if (step == u'p')
                onView = recording.PreviousFrame();
            else if (step == u'r')
                recording.SetCursor(store::kFrameStoreHeaderSize); // another reader (the publish dialog) moved it
            else if (step == u'P')
                onView = *recording.ReadNextPicture(); // the publish dialog's frame step shows the next record
        }
        return onView;
    }

private slots:
    // Which records a run replaces; the header and every other record stay byte for byte.
    void runReplacesExactlyItsRecords()
    {
        const struct {
            const char* name;
            int frames;
            const char* steps;
            const char* asked;
            int first; // the first replaced frame, from 0
            int count;
        } cases[] = {
            {"frame 5 of 10, 3 frames", 10, "nnnnn", "3", 4, 3},
            {"one frame at the start", 10, "n", "1", 0, 1},
            {"after a backward step", 10, "nnnnnnpp", "2", 4, 2},
            {"previous on frame 1", 5, "np", "2", 0, 2},
            {"more than remain: cut", 10, "nnnnnnnnn", "5", 8, 2},
            {"the last frame", 10, "nnnnnnnnnn", "1", 9, 1},
            {"the whole store", 6, "n", " 6 ", 0, 6},
            {"after wrapping to frame 1", 4, "nnnnnn", "2", 1, 2},
            {"cursor moved by another reader", 10, "nnnnnr", "2", 4, 2},
            {"after the publisher's frame step", 10, "nP", "2", 1, 2},
        };
        for (const auto& c : cases) {
            const QString path = test::MakeRecording(dir.path(), QString::fromLatin1(c.name).replace(u' ', u'_') + ".avi",
                                                     {.frames = c.frames});
            const QString framesPath = OpenRecording::FrameStorePathOf(path);
            const StoreBytes before = Split(framesPath);

            OpenRecording recording;
            const QImage onView = OpenAndStep(recording, path, QString::fromLatin1(c.steps));
            FrameRewriter rewriter(recording);
            const RunPlan plan = rewriter.Start(QString::fromLatin1(c.asked));
            QCOMPARE(plan.frames, c.count);
            QCOMPARE(plan.Cut(), plan.asked > c.count);
            QVERIFY(recording.IsHeld());
            QList<int> shown;
            QCOMPARE(RunTicks(rewriter, recording, onView, &shown), c.count);
            QCOMPARE(rewriter.RunEnd(), plan.end);
            // Each tick shows the next frame, unless the run ended on the last one. (The publisher's
            // frame step does not count.)
            for (int i = 0; i < c.count && !QByteArray(c.steps).contains('P'); ++i)
                QCOMPARE(shown[i], std::min(c.first + 2 + i, c.frames));
            const QImage first = rewriter.Commit();

            const StoreBytes after = Split(framesPath);
            QVERIFY2(after.header == before.header, c.name);
            QCOMPARE(after.records.size(), before.records.size());
            for (int k = 0; k < c.frames; ++k) {
                const bool inRun = k >= c.first && k < c.first + c.count;
                const QByteArray expected = inRun ? Encoded(Marked(Decode(before.records[k]))) : before.records[k];
                QVERIFY2(after.records[k] == expected,
                         qPrintable(QStringLiteral("%1: record %2 (%3)").arg(c.name).arg(k + 1).arg(inRun ? "new" : "kept")));
            }
            // After the commit: frame 1 of the new store on view, counter 2, nothing held.
            QCOMPARE(recording.NumberOnView(), 1);
            QCOMPARE(recording.frameCounter, 2);
            QCOMPARE(recording.Cursor(), 16 + after.records[0].size());
            QCOMPARE(first, Decode(after.records[0]));
            QVERIFY(!recording.IsHeld());
            QVERIFY(recording.rewriteBuffer.empty());
            QCOMPARE(rewriter.FramesDone(), 1);
            QVERIFY(!rewriter.IsRunning());
            QCOMPARE(Leftovers(dir.path()), QStringList());
            // The recording reads the new store: stepping on shows the replaced frames.
            if (c.count > 0 && c.first == 0)
                QCOMPARE(first, Decode(Encoded(Marked(Decode(before.records[0])))));
            recording.Close();
        }
    }

    // Refused before any tick, with nothing changed.
    void refusalsComeBeforeAnyTick()
    {
        OpenRecording closed;
        FrameRewriter idle(closed);
        try {
            idle.Start(QStringLiteral("1"));
            QFAIL("an update started without a recording");
        } catch (const RewriteRefusal& refusal) {
            QCOMPARE(refusal.Message(), QStringLiteral("尚未打开文件"));
        }

        const QString path = test::MakeRecording(dir.path(), QStringLiteral("refuse.avi"), {.frames = 4});
        OpenRecording recording;
        recording.Open(path);
        recording.NextFrame();
        recording.NextFrame();
        const std::int64_t cursor = recording.Cursor();
        FrameRewriter rewriter(recording);
        for (const char* text : {"0", "-3", "", "  ", "abc", "1.5", "2x", "99999999999"}) {
            try {
                rewriter.Start(QString::fromLatin1(text));
                QFAIL(qPrintable(QStringLiteral("\"%1\" was accepted").arg(text)));
            } catch (const RewriteRefusal& refusal) {
                QCOMPARE(refusal.Message(), FrameRewriter::kBadCountMessage);
            }
            QVERIFY(!rewriter.IsRunning());
            QVERIFY(!recording.IsHeld());
            QCOMPARE(recording.Cursor(), cursor);
            QCOMPARE(recording.NumberOnView(), 2);
        }
        rewriter.Start(QStringLiteral("1"));
        QVERIFY_THROWS_EXCEPTION(RewriteRefusal, rewriter.Start(QStringLiteral("1")));
        rewriter.Abandon();
        QVERIFY(!recording.IsHeld());

        // A store without frames has nothing to start from.
        const QString empty = test::MakeRecording(dir.path(), QStringLiteral("empty.avi"), {.frames = 0});
        OpenRecording nothing;
        nothing.Open(empty);
        QVERIFY(nothing.NextFrame().isNull());
        FrameRewriter none(nothing);
        try {
            none.Start(QStringLiteral("1"));
            QFAIL("an update started on an empty store");
        } catch (const RewriteRefusal& refusal) {
            QCOMPARE(refusal.Message(), FrameRewriter::kNoFrameMessage);
        }
    }

    // A commit that fails at any stage before the rename, or on a full disk, leaves the old store whole
    // and in use, no file beside it, and the editor able to go on.
    void failedCommitsLeaveTheOldStore()
    {
        const struct {
            const char* name;
            std::optional<CommitStage> stage; // a failure thrown there; none: the disk is full
        } cases[] = {
            {"created", CommitStage::Created},     {"head copied", CommitStage::HeadCopied},
            {"run written", CommitStage::RunWritten}, {"tail copied", CommitStage::TailCopied},
            {"flushed", CommitStage::Flushed},     {"disk full", std::nullopt},
        };
        for (const auto& c : cases) {
            const QString path = test::MakeRecording(dir.path(), QStringLiteral("fail_%1.avi").arg(c.name).replace(u' ', u'_'),
                                                     {.frames = 8, .width = 160, .height = 120});
            const QString framesPath = OpenRecording::FrameStorePathOf(path);
            const QByteArray before = ReadAll(framesPath);
            OpenRecording recording;
            const QImage onView = OpenAndStep(recording, path, QStringLiteral("nnn"));
            FrameRewriter rewriter(recording);
            rewriter.Start(QStringLiteral("3"));
            RunTicks(rewriter, recording, onView);
            const std::int64_t cursor = recording.Cursor();

            rlimit saved{};
            if (c.stage) {
                rewriter.commitHook = [stage = *c.stage](CommitStage at) {
                    if (at == stage)
                        throw CommitError("injected failure");
                };
            } else {
                // Writes beyond half the store's size fail, as on a full disk (EFBIG instead of ENOSPC).
                ::signal(SIGXFSZ, SIG_IGN);
                QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
                rlimit limited = saved;
                limited.rlim_cur = static_cast<rlim_t>(before.size() / 2);
                QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limited), 0);
            }
            QString message;
            try {
                rewriter.Commit();
            } catch (const CommitError& failure) {
                message = QString::fromStdString(failure.what());
            }
            if (!c.stage)
                QCOMPARE(::setrlimit(RLIMIT_FSIZE, &saved), 0);
            QVERIFY2(!message.isEmpty(), c.name);
            if (!c.stage) {
                QVERIFY2(message.contains(framesPath), qPrintable(message));
                QVERIFY2(message.contains(QStringLiteral("帧文件保持原样")), qPrintable(message));
            }
            QVERIFY2(ReadAll(framesPath) == before, c.name);
            QCOMPARE(Leftovers(dir.path()), QStringList());
            QVERIFY(recording.IsOpen());
            QVERIFY(!recording.IsHeld());
            QVERIFY(!rewriter.IsRunning());
            QCOMPARE(rewriter.FramesDone(), 1);
            QVERIFY(recording.rewriteBuffer.empty());
            QCOMPARE(recording.Cursor(), cursor);

            // The editor goes on with the old store, and a new run commits.
            rewriter.commitHook = nullptr;
            const QImage again = recording.NextFrame();
            rewriter.Start(QStringLiteral("1"));
            RunTicks(rewriter, recording, again);
            rewriter.Commit();
            QVERIFY(ReadAll(framesPath) != before);
            QCOMPARE(Split(framesPath).records.size(), 8);
        }
    }

    // Never a commit of a wrong run: records the plan does not account for are refused.
    void aRunThatDoesNotMatchItsPlanIsNotCommitted()
    {
        const QString path = test::MakeRecording(dir.path(), QStringLiteral("wrong.avi"), {.frames = 5});
        const QString framesPath = OpenRecording::FrameStorePathOf(path);
        const QByteArray before = ReadAll(framesPath);
        OpenRecording recording;
        const QImage onView = OpenAndStep(recording, path, QStringLiteral("nn"));
        FrameRewriter rewriter(recording);
        rewriter.Start(QStringLiteral("2"));
        RunTicks(rewriter, recording, onView);
        const QByteArray extra = Encoded(onView);
        recording.rewriteBuffer.insert(recording.rewriteBuffer.end(), extra.begin(), extra.end());
        QVERIFY_THROWS_EXCEPTION(CommitError, rewriter.Commit());
        QCOMPARE(ReadAll(framesPath), before);
        QVERIFY(!recording.IsHeld());
    }

    // Offsets are 64-bit: a run lying beyond 2 GiB is replaced, and the store's holes stay holes.
    void runBeyondTwoGibibytes()
    {
        // One real frame first (frame 1 is shown after the commit), then the holes, then four real frames.
        const QString path = test::MakeRecording(dir.path(), QStringLiteral("big.avi"), {.frames = 1});
        const QString framesPath = OpenRecording::FrameStorePathOf(path);
        constexpr std::int64_t kPast = (std::int64_t{1} << 31) + 4096;
        int holes = 0;
        {
            const int fd = ::open(QFile::encodeName(framesPath).constData(), O_RDWR);
            QVERIFY(fd >= 0);
            // Records of 9-digit sizes whose pictures are holes, up to just past 2 GiB.
            std::int64_t at = QFileInfo(framesPath).size();
            while (at < kPast) {
                const std::int64_t length = std::min<std::int64_t>(999'999'999 + 20, kPast - at);
                const std::string size = std::to_string(length - 20);
                QCOMPARE(size.size(), std::size_t{9});
                const std::string head = "9" + size, tail = size + "9";
                QCOMPARE(::pwrite(fd, head.data(), head.size(), at), static_cast<ssize_t>(head.size()));
                QCOMPARE(::pwrite(fd, tail.data(), tail.size(), at + length - 10), static_cast<ssize_t>(tail.size()));
                at += length;
                ++holes;
            }
            ::close(fd);
        }
        {
            store::FrameStore frames = store::FrameStore::OpenFrameStoreForAppend(Fs(framesPath));
            for (int k = 0; k < 4; ++k) {
                const QImage picture = test::FramePicture(k, 64, 48);
                frames.AppendFrame({picture.constBits(), 64, 48, picture.bytesPerLine(), store::PixelLayout::Xrgb32});
            }
            frames.AddToFrameCount(holes + 4);
        }
        const std::int64_t size = QFileInfo(framesPath).size();
        const QByteArray realBefore = [&] {
            QFile file(framesPath);
            file.open(QIODevice::ReadOnly);
            file.seek(kPast);
            return file.readAll();
        }();

        OpenRecording recording;
        recording.Open(path);
        recording.SetCursor(kPast);
        recording.NextFrame(); // real frame 0
        const QImage onView = recording.NextFrame(); // real frame 1
        QVERIFY(recording.displayedFrameStart > (std::int64_t{1} << 31));
        FrameRewriter rewriter(recording);
        const RunPlan plan = rewriter.Start(QStringLiteral("2"));
        QCOMPARE(plan.frames, 2);
        QVERIFY(plan.start > (std::int64_t{1} << 31));
        RunTicks(rewriter, recording, onView);
        rewriter.Commit();
        QCOMPARE(recording.NumberOnView(), 1);

        // The head (holes and all) is unchanged, real frames 0 and 3 too; 1 and 2 are the new ones.
        store::FrameStore frames = store::FrameStore::OpenFrameStoreReadOnly(Fs(framesPath));
        QCOMPARE(frames.ReadFrameCount(), 1 + holes + 4);
        frames.Seek(16);
        for (int i = 0; i < 1 + holes; ++i)
            frames.SkipNextFrame();
        QCOMPARE(frames.Position(), kPast);
        QFile file(framesPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.seek(kPast));
        const QByteArray realAfter = file.readAll();
        QCOMPARE(kPast + realAfter.size(), QFileInfo(framesPath).size());
        QVERIFY(size > (std::int64_t{1} << 31));
        // Split the real tail by its framing.
        const auto records = [](const QByteArray& bytes) {
            QList<QByteArray> list;
            for (qsizetype at = 0; at < bytes.size();) {
                const int d = bytes[at] - '0';
                const qsizetype length = bytes.mid(at + 1, d).toLongLong() + 2 * d + 2;
                list << bytes.mid(at, length);
                at += length;
            }
            return list;
        };
        const QList<QByteArray> old = records(realBefore);
        const QList<QByteArray> now = records(realAfter);
        QCOMPARE(now.size(), 4);
        QVERIFY(now[0] == old[0]);
        QVERIFY(now[1] == Encoded(Marked(Decode(old[1]))));
        QVERIFY(now[2] == Encoded(Marked(Decode(old[2]))));
        QVERIFY(now[3] == old[3]);
        struct stat status {};
        QCOMPARE(::stat(QFile::encodeName(framesPath).constData(), &status), 0);
        QVERIFY2(status.st_blocks * 512 < 64 * 1024 * 1024, "the holes were written out");
        recording.Close();
        QFile::remove(framesPath);
    }
};

QTEST_MAIN(FrameRewriterTest)
#include "test_frame_rewriter.moc"

// The power fails while a recording runs: whatever the disk holds then must repair to a recording that
// keeps every frame and every sound byte written more than two seconds before.
//
// No power is cut. `quolvactl record` runs under the write log (an LD_PRELOAD library that logs every
// write and sync of the recording's files), and each state the disk can be left in is rebuilt from the
// log: a file holds what was written to it before its last sync that had returned, and exists once its
// folder was synced after it was made. Between two returned syncs the disk does not change, so the
// worst moment for a state is just before the next sync returns: everything written two seconds before
// that must be in it. Each state is repaired as it is, and again with one later write torn at a random
// byte, as a write that the power cut stopped half way. A new recording is tried, and one continued
// (which writes over the end of a finished AVI file).
#include "Quolvactl.h"
#include "Rig.h"
#include "preload/WriteLogFormat.h"
#include "store/AviCheck.h"
#include "store/AviFile.h"
#include "store/FrameStoreWalk.h"
#include "store/RecordingRepair.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <climits>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <random>

#include <fcntl.h>

using namespace quolva;
using test::WriteLogEntry;
using test::WriteLogKind;

namespace {

constexpr std::uint64_t kMostLost = 2'000'000'000; // nanoseconds
constexpr std::uint64_t kForever = std::numeric_limits<std::uint64_t>::max();

struct LoggedCall {
    WriteLogEntry entry;
    std::string bytes; // the path of an open, the bytes of a write
    WriteLogKind kind() const { return static_cast<WriteLogKind>(entry.kind); }
};

std::vector<LoggedCall> ReadWriteLog(const QString& path)
{
    QFile file(path);
    std::vector<LoggedCall> calls;
    if (!file.open(QIODevice::ReadOnly))
        return calls;
    const QByteArray all = file.readAll();
    qsizetype at = 0;
    while (at + qsizetype(sizeof(WriteLogEntry)) <= all.size()) {
        LoggedCall call;
        std::memcpy(&call.entry, all.constData() + at, sizeof(WriteLogEntry));
        at += sizeof(WriteLogEntry);
        call.bytes.assign(all.constData() + at, static_cast<std::size_t>(call.entry.length));
        at += qsizetype(call.entry.length);
        calls.push_back(std::move(call));
    }
    return calls;
}

std::string ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

void PutFile(const QString& path, const std::string& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes.data(), qint64(bytes.size())), qint64(bytes.size()));
}

// One file's bytes after the logged calls before `end` (a log position), from what it held `before`.
std::string Replay(const std::vector<LoggedCall>& calls, std::uint32_t file, std::size_t end,
                   const std::string& before)
{
    std::string bytes = before;
    for (std::size_t i = 0; i < end && i < calls.size(); ++i) {
        const LoggedCall& call = calls[i];
        if (call.entry.file != file)
            continue;
        if (call.kind() == WriteLogKind::Open && (call.entry.offset & O_TRUNC))
            bytes.clear();
        else if (call.kind() == WriteLogKind::Truncate)
            bytes.resize(call.entry.offset);
        else if (call.kind() == WriteLogKind::Write) {
            if (bytes.size() < call.entry.offset + call.bytes.size())
                bytes.resize(call.entry.offset + call.bytes.size());
            bytes.replace(call.entry.offset, call.bytes.size(), call.bytes);
        }
    }
    return bytes;
}

// A sync as the log shows it: from its call to its return.
struct Sync {
    std::uint32_t file;
    std::size_t began;      // log position of the call
    std::uint64_t returned; // time of the return
};

std::vector<Sync> SyncsIn(const std::vector<LoggedCall>& calls)
{
    std::vector<Sync> syncs;
    for (std::size_t i = 0; i < calls.size(); ++i) {
        if (calls[i].kind() != WriteLogKind::SyncBegin)
            continue;
        for (std::size_t j = i + 1; j < calls.size(); ++j)
            if (calls[j].kind() == WriteLogKind::SyncEnd && calls[j].entry.file == calls[i].entry.file &&
                calls[j].entry.thread == calls[i].entry.thread) {
                if (calls[j].entry.offset == 0) // a failed sync secures nothing
                    syncs.push_back({calls[i].entry.file, i, calls[j].entry.nanoseconds});
                break;
            }
    }
    return syncs;
}

// What the disk holds of a file at a moment: nothing (not there), or its bytes up to a log position.
struct FileOnDisk {
    bool exists = false;
    std::size_t end = 0; // log position of the last returned sync's call
};

struct Recording {
    std::uint32_t folder = UINT32_MAX, target = UINT32_MAX, frames = UINT32_MAX;
};

FileOnDisk OnDiskAt(const std::vector<LoggedCall>& calls, const std::vector<Sync>& syncs, const Recording& names,
                    std::uint32_t file, std::uint64_t moment)
{
    // A file that was there before (opened without O_CREAT) is on the disk from the start.
    std::optional<std::size_t> made;
    for (std::size_t i = 0; i < calls.size() && !made; ++i)
        if (calls[i].entry.file == file && calls[i].kind() == WriteLogKind::Open && (calls[i].entry.offset & O_CREAT))
            made = i;
    FileOnDisk state;
    state.exists = !made;
    for (const Sync& sync : syncs) {
        if (sync.returned > moment)
            continue;
        if (sync.file == names.folder && made && sync.began > *made)
            state.exists = true;
        if (sync.file == file)
            state.end = std::max(state.end, sync.began);
    }
    return state;
}

// What must survive a power cut at a moment: the frame store's bytes and the sound bytes written two
// seconds or more before it.
struct Written {
    std::uint64_t frameStoreEnd = 0; // end of the last record
    std::uint64_t soundBytes = 0;
};

Written WrittenBy(const std::vector<LoggedCall>& calls, const Recording& names, std::uint64_t deadline,
                  const Written& before)
{
    Written written = before;
    for (const LoggedCall& call : calls) {
        if (call.kind() != WriteLogKind::Write || call.entry.nanoseconds > deadline)
            continue;
        if (call.entry.file == names.frames && call.entry.offset >= store::kFrameStoreHeaderSize)
            written.frameStoreEnd = std::max(written.frameStoreEnd, call.entry.offset + call.bytes.size());
        // A sound chunk: '00wb', its size, its bytes (the sound track is the file's first stream).
        if (call.entry.file == names.target && call.bytes.size() >= 8 && call.bytes.compare(0, 4, "00wb") == 0) {
            std::uint32_t size = 0;
            std::memcpy(&size, call.bytes.data() + 4, 4);
            written.soundBytes += size;
        }
    }
    return written;
}

std::string SoundOf(const QString& target)
{
    const store::PAVIFILE file = store::AviFile::open(target.toStdString(), store::OF_READ);
    const store::PAVISTREAM audio = file->getStream(store::streamtypeAUDIO, 0);
    std::string sound(static_cast<std::size_t>(audio->dataBytes()), '\0');
    if (!sound.empty())
        audio->read(0, INT_MAX, sound.data(), static_cast<store::LONG>(sound.size()));
    return sound;
}

// One later write of one of the files (its next after what the disk holds, after any change of its size
// that came first) cut short at a random byte, as a power cut leaves a write it stopped half way. Says
// what it did; empty when no file has a later write.
QString TearNextWrite(const std::vector<LoggedCall>& calls, const Recording& names,
                      const std::map<std::uint32_t, FileOnDisk>& disk, std::map<std::uint32_t, std::string>& bytes,
                      const std::function<const std::string&(std::uint32_t)>& contentsBefore, std::mt19937_64& random)
{
    std::vector<std::size_t> next;
    for (const auto& [file, state] : disk)
        for (std::size_t i = state.end; state.exists && i < calls.size(); ++i)
            if (calls[i].entry.file == file && calls[i].kind() == WriteLogKind::Write) {
                next.push_back(i);
                break;
            }
    if (next.empty())
        return {};
    const std::size_t at = next[random() % next.size()];
    const LoggedCall& write = calls[at];
    const std::size_t kept = random() % write.bytes.size();
    std::string& into = bytes[write.entry.file];
    into = Replay(calls, write.entry.file, at, contentsBefore(write.entry.file));
    if (into.size() < write.entry.offset + kept)
        into.resize(write.entry.offset + kept);
    into.replace(write.entry.offset, kept, write.bytes, 0, kept);
    return QStringLiteral(", torn: %1 of %2 bytes at offset %3 of %4")
        .arg(kept)
        .arg(write.bytes.size())
        .arg(write.entry.offset)
        .arg(write.entry.file == names.target ? QStringLiteral("the AVI file") : QStringLiteral("the frame store"));
}

// Repairs the recording at `copy` and checks that it is whole and holds what had to be kept: the frames
// and the sound it holds are the first ones of the finished recording.
void CheckRepaired(const QString& copy, const Written& needed, const std::string& finalFrames,
                   const std::string& finalSound, const QString& what)
{
    const auto fault = [&](const QString& more) { return (what + QStringLiteral(": ") + more).toUtf8(); };
    store::RecordingRepair repair;
    try {
        repair = store::RepairRecording(copy.toStdString());
    } catch (const std::exception& failure) {
        QFAIL(fault(QStringLiteral("the repair failed: ") + QString::fromUtf8(failure.what())).constData());
    }
    QVERIFY2(!repair.FrameStoreDamagedInMiddle(), qPrintable(what));

    // The frame store: every record whole, the header counting them, the frames written in time kept.
    const QString framesPath = copy + QStringLiteral(".xxx");
    QVERIFY2(QFile::exists(framesPath) || needed.frameStoreEnd == 0,
             fault(QStringLiteral("no frame store")).constData());
    if (QFile::exists(framesPath)) {
        store::FrameStore frames = store::FrameStore::OpenFrameStoreReadOnly(framesPath.toStdString());
        const store::FrameStoreWalk walk = store::WalkFramesForwards(frames);
        QVERIFY2(walk.Clean(), fault(QString::fromStdString(walk.fault)).constData());
        QVERIFY2(frames.ReadFrameCount() == std::int32_t(walk.recordStarts.size()), qPrintable(what));
        const std::string kept = ReadAll(framesPath);
        QVERIFY2(kept.size() >= needed.frameStoreEnd,
                 fault(QStringLiteral("%1 of %2 bytes of frames").arg(kept.size()).arg(needed.frameStoreEnd))
                     .constData());
        QVERIFY2(kept.compare(16, std::string::npos, finalFrames, 16, kept.size() - 16) == 0, qPrintable(what));
    }
    // The AVI file: complete, its indexes right, the sound written in time kept and counted.
    const store::AviCheckReport check = store::CheckAviFile(copy.toStdString());
    QVERIFY2(check.Clean(), fault(QString::fromStdString(check.message)).constData());
    const store::PAVIFILE file = store::AviFile::open(copy.toStdString(), store::OF_READ);
    QVERIFY2(file->wasComplete(), qPrintable(what));
    const store::PAVISTREAM audio = file->getStream(store::streamtypeAUDIO, 0);
    QVERIFY2(std::uint64_t(audio->length()) >= needed.soundBytes,
             fault(QStringLiteral("the sound track is %1 long, %2 bytes were written")
                      .arg(audio->length())
                      .arg(needed.soundBytes))
                 .constData());
    const std::string sound = SoundOf(copy);
    QVERIFY2(sound.size() >= needed.soundBytes && finalSound.compare(0, sound.size(), sound) == 0,
             fault(QStringLiteral("%1 sound bytes kept, %2 written").arg(sound.size()).arg(needed.soundBytes))
                 .constData());
}

} // namespace

class RecordingSurvivesAPowerCut : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QUOLVA_REQUIRE_DISPLAY();
        QUOLVA_REQUIRE_SOUND_SERVER();
    }

    void everyStateTheDiskCanBeLeftInRepairs_data()
    {
        QTest::addColumn<bool>("continued");
        QTest::newRow("a new recording") << false;
        QTest::newRow("a continued recording") << true;
    }

    void everyStateTheDiskCanBeLeftInRepairs()
    {
        QFETCH(bool, continued);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("rec")));
        const QString folder = dir.filePath(QStringLiteral("rec"));
        const QString target = folder + QStringLiteral("/cut.avi");
        const QString logPath = dir.filePath(QStringLiteral("writes.log"));
        const QStringList arguments{QStringLiteral("record"), target, QStringLiteral("--region"),
                                    QStringLiteral("320x240+10+10"), QStringLiteral("--seconds")};

        // A continued recording goes on from a finished one, made without the log.
        std::string framesBefore, aviBefore;
        Written before;
        if (continued) {
            const test::QuolvactlRun first = test::RunQuolvactl(arguments + QStringList{QStringLiteral("2")});
            QVERIFY2(first.status == 0, qPrintable(first.err));
            framesBefore = ReadAll(target + QStringLiteral(".xxx"));
            aviBefore = ReadAll(target);
            before = {framesBefore.size(), SoundOf(target).size()};
        }

        QProcess recorder;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QUOLVA_SOUND_SOURCE"), QStringLiteral("tone:440"));
        environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(QUOLVA_WRITE_LOG_LIBRARY));
        environment.insert(QStringLiteral("QUOLVA_WRITE_LOG"), logPath);
        environment.insert(QStringLiteral("QUOLVA_WRITE_LOG_FOLDER"), folder);
        recorder.setProcessEnvironment(environment);
        recorder.setProcessChannelMode(QProcess::MergedChannels);
        recorder.start(QDir(qEnvironmentVariable("QUOLVA_BIN_DIR")).filePath(QStringLiteral("quolvactl")),
                       arguments + QStringList{QStringLiteral("6")} +
                           (continued ? QStringList{QStringLiteral("--continue")} : QStringList()));
        QVERIFY(recorder.waitForFinished(60000));
        const QString output = QString::fromUtf8(recorder.readAll());
        QVERIFY2(recorder.exitStatus() == QProcess::NormalExit && recorder.exitCode() == 0, qPrintable(output));

        const std::vector<LoggedCall> calls = ReadWriteLog(logPath);
        Recording names;
        for (const LoggedCall& call : calls) {
            if (call.kind() != WriteLogKind::Open)
                continue;
            const QString path = QString::fromStdString(call.bytes);
            if (path == folder)
                names.folder = call.entry.file;
            else if (path == target)
                names.target = call.entry.file;
            else if (path == target + QStringLiteral(".xxx"))
                names.frames = call.entry.file;
        }
        QVERIFY2(names.target != UINT32_MAX && names.frames != UINT32_MAX, "the write log saw the recording's files");
        const auto contentsBefore = [&](std::uint32_t file) -> const std::string& {
            return file == names.target ? aviBefore : framesBefore;
        };

        // The log holds every write: replayed in full it gives the files the recording left.
        const std::string finalFrames = ReadAll(target + QStringLiteral(".xxx"));
        QCOMPARE(Replay(calls, names.frames, calls.size(), framesBefore), finalFrames);
        QCOMPARE(Replay(calls, names.target, calls.size(), aviBefore), ReadAll(target));
        const std::string finalSound = SoundOf(target);
        const Written everything = WrittenBy(calls, names, kForever, before);
        QCOMPARE(everything.frameStoreEnd, std::uint64_t(finalFrames.size()));
        QCOMPARE(everything.soundBytes, std::uint64_t(finalSound.size()));
        QVERIFY2(everything.soundBytes >= before.soundBytes + 4 * 22050, qPrintable(output));

        // While frames are recorded, the syncs run beside the capture ticks, never on their thread.
        const std::vector<Sync> syncs = SyncsIn(calls);
        std::uint32_t tickThread = 0;
        std::size_t lastFrame = 0;
        for (std::size_t i = 0; i < calls.size(); ++i)
            if (calls[i].kind() == WriteLogKind::Write && calls[i].entry.file == names.frames &&
                calls[i].entry.offset >= store::kFrameStoreHeaderSize) {
                tickThread = calls[i].entry.thread;
                lastFrame = i;
            }
        int frameStoreSyncs = 0;
        for (const Sync& sync : syncs) {
            QVERIFY(sync.began > lastFrame || calls[sync.began].entry.thread != tickThread);
            frameStoreSyncs += sync.file == names.frames;
        }

        // Every moment at which the disk changes, and the worst moment of each state: just before the next.
        std::vector<std::uint64_t> changes{0};
        for (const Sync& sync : syncs)
            changes.push_back(sync.returned);
        std::sort(changes.begin(), changes.end());
        changes.push_back(kForever);

        const std::uint64_t seed = qEnvironmentVariableIsSet("QUOLVA_TEST_SEED")
                                       ? qEnvironmentVariable("QUOLVA_TEST_SEED").toULongLong()
                                       : std::random_device()();
        std::mt19937_64 random(seed);
        int repaired = 0;
        for (std::size_t c = 0; c + 1 < changes.size(); ++c) {
            const std::uint64_t worst = changes[c + 1] == kForever ? kForever : changes[c + 1] - 1;
            const Written needed =
                WrittenBy(calls, names, worst == kForever ? kForever : worst - std::min(worst, kMostLost), before);
            std::map<std::uint32_t, FileOnDisk> disk;
            for (const std::uint32_t file : {names.target, names.frames})
                disk[file] = OnDiskAt(calls, syncs, names, file, changes[c]);

            for (const bool torn : {false, true}) {
                std::map<std::uint32_t, std::string> bytes;
                for (const auto& [file, state] : disk)
                    if (state.exists)
                        bytes[file] = Replay(calls, file, state.end, contentsBefore(file));
                QString what = QStringLiteral("the disk from %1 ms after the first write, state %2 of %3, seed %4")
                                   .arg(c == 0 ? 0.0 : double(changes[c] - calls.front().entry.nanoseconds) / 1e6)
                                   .arg(c)
                                   .arg(changes.size() - 1)
                                   .arg(seed);
                if (torn) {
                    const QString tear = TearNextWrite(calls, names, disk, bytes, contentsBefore, random);
                    if (tear.isEmpty())
                        continue;
                    what += tear;
                }
                if (!bytes.count(names.target)) {
                    // Not on the disk yet: allowed only while nothing has to be kept.
                    QVERIFY2(needed.frameStoreEnd == 0 && needed.soundBytes == 0, qPrintable(what));
                    continue;
                }
                const QString stateFolder = dir.filePath(QStringLiteral("state%1%2").arg(c).arg(torn ? "t" : ""));
                QVERIFY(QDir().mkpath(stateFolder));
                const QString copy = stateFolder + QStringLiteral("/cut.avi");
                PutFile(copy, bytes[names.target]);
                if (bytes.count(names.frames))
                    PutFile(copy + QStringLiteral(".xxx"), bytes[names.frames]);
                CheckRepaired(copy, needed, finalFrames, finalSound, what);
                if (QTest::currentTestFailed())
                    return;
                ++repaired;
            }
        }
        qInfo("%d states of the disk repaired, %d syncs of the frame store", repaired, frameStoreSyncs);
        QVERIFY2(frameStoreSyncs >= 6, qPrintable(QString::number(frameStoreSyncs)));
    }
};

QTEST_MAIN(RecordingSurvivesAPowerCut)
#include "e2e_recording_survives_a_power_cut.moc"

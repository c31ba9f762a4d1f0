// quolvactl check: is a recording in order? The frame store is walked forwards and backwards with both
// copies of every size compared, its header count is compared with the records, and the AVI file's
// indexes are compared with the chunks it holds. The first fault ends the check with status 1 and says
// where it lies; a recording in order gets a short summary.
#include "cli/Commands.h"
#include "record/RecordingSession.h"
#include "store/AviCheck.h"
#include "store/FrameStoreWalk.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace quolva::cli {
namespace {

QString Counted(std::uint64_t count, const QString& one, const QString& many)
{
    return QStringLiteral("%1 %2").arg(count).arg(count == 1 ? one : many);
}

// The first fault of the frame store, or an empty text; `summary` tells what was found.
QString CheckFrameStore(const QString& framesPath, QString& summary)
{
    const auto at = [&](std::int64_t offset, const QString& what) {
        return QStringLiteral("frame store \"%1\", offset %2: %3").arg(framesPath).arg(offset).arg(what);
    };
    store::FrameStore frames = store::FrameStore::OpenFrameStoreReadOnly(QFile::encodeName(framesPath).toStdString());
    const store::FrameStoreWalk forwards = store::WalkFramesForwards(frames);
    // A damaged trailing size lies before any fault the walk stopped at.
    if (!forwards.damagedTrailers.empty()) {
        const store::DamagedTrailer& trailer = forwards.damagedTrailers.front();
        return at(trailer.recordOffset, QStringLiteral("walking forwards: %1; the record is whole by its leading size: "
                                                       "quolvactl repair writes the trailing size again")
                                            .arg(QString::fromStdString(trailer.fault)));
    }
    if (!forwards.ReachedTheEnd())
        return at(forwards.faultOffset, QStringLiteral("walking forwards: ") + QString::fromStdString(forwards.fault));
    const store::FrameStoreWalk backwards = store::WalkFramesBackwards(frames);
    if (!backwards.Clean())
        return at(backwards.faultOffset, QStringLiteral("walking backwards: ") + QString::fromStdString(backwards.fault));
    if (backwards.recordStarts != forwards.recordStarts) {
        const auto [f, b] = std::mismatch(forwards.recordStarts.begin(), forwards.recordStarts.end(),
                                          backwards.recordStarts.begin(), backwards.recordStarts.end());
        const std::int64_t offset = f != forwards.recordStarts.end() ? *f : *b;
        return at(offset, QStringLiteral("the forward walk finds %1 records, the backward walk %2; they part here")
                              .arg(forwards.recordStarts.size())
                              .arg(backwards.recordStarts.size()));
    }
    std::int32_t count = 0;
    try {
        count = frames.ReadFrameCount();
    } catch (const store::StoreError& failure) {
        return QString::fromUtf8(failure.what());
    }
    const auto records = static_cast<qsizetype>(forwards.recordStarts.size());
    if (count != records)
        return at(0, QStringLiteral("the header counts %1 frames, but the store holds %2 records").arg(count).arg(records));
    summary = QStringLiteral("frame store: %1 frames, both walks agree, the header count matches").arg(records);
    return {};
}

} // namespace

int CheckCommand(const QStringList& arguments)
{
    if (arguments.size() != 1) {
        err(QStringLiteral("usage: quolvactl check REC.avi"));
        return 2;
    }
    const QString target = arguments.front();
    const QString framesPath = record::RecordingSession::FrameStorePath(target);
    QStringList summary;
    if (QFileInfo::exists(framesPath)) {
        QString found;
        const QString fault = CheckFrameStore(framesPath, found);
        if (!fault.isEmpty()) {
            err(QStringLiteral("quolvactl check: ") + fault);
            return 1;
        }
        summary << found;
    } else {
        // A new target that was never recorded has none, nor has a recording whose store was removed.
        summary << QStringLiteral("frame store: none (no frame was recorded)");
    }

    const store::AviCheckReport avi = store::CheckAviFile(QFile::encodeName(target).toStdString());
    if (!avi.Clean()) {
        const std::string_view kind = store::AviFaultName(avi.fault);
        err(QStringLiteral("quolvactl check: %1 [%2]")
                .arg(QString::fromStdString(avi.message),
                     QString::fromUtf8(kind.data(), static_cast<qsizetype>(kind.size()))));
        return 1;
    }
    QStringList indexes;
    if (avi.hasIdx1)
        indexes << QStringLiteral("idx1");
    if (avi.standardIndexes > 0)
        indexes << Counted(avi.standardIndexes, QStringLiteral("standard index"), QStringLiteral("standard indexes"));
    QString aviLine = QStringLiteral("AVI file: %1, %2, %3")
                          .arg(Counted(avi.streams, QStringLiteral("stream"), QStringLiteral("streams")),
                               Counted(avi.parts, QStringLiteral("RIFF part"), QStringLiteral("RIFF parts")),
                               Counted(avi.dataChunks, QStringLiteral("data chunk"), QStringLiteral("data chunks")));
    if (!indexes.isEmpty())
        aviLine += QStringLiteral(", each named by ") + indexes.join(QStringLiteral(" and "));
    summary << aviLine;
    for (const QString& line : summary)
        out(line);
    out(QStringLiteral("ok"));
    return 0;
}

} // namespace quolva::cli

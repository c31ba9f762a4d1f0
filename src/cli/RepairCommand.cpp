// quolvactl repair: puts a recording back in order after the program died while recording. The frame
// store's header is set to the complete records present (a torn tail is cut off, a damaged trailing size
// whose record is whole by its leading size is written again), and the AVI file's headers and indexes are
// completed from the chunks it holds. Other damage followed by records that are still read is only
// reported, with its offset: cutting there would delete those frames. The editor offers the same repair.
#include "cli/Commands.h"
#include "store/RecordingRepair.h"

#include <QFile>

namespace quolva::cli {
int RepairCommand(const QStringList& arguments)
{
    if (arguments.size() != 1) {
        err(QStringLiteral("usage: quolvactl repair REC.avi"));
        return 2;
    }
    const QString target = arguments.front();
    const store::RecordingRepair repair = store::RepairRecording(QFile::encodeName(target).toStdString());
    const store::FrameStoreRepair& frames = repair.frames;

    if (repair.frameStoreFound) {
        if (frames.damagedInMiddle) {
            out(QStringLiteral("frame store: damaged record at offset %1 (%2); readable records follow it, so the "
                               "store is left as it is")
                    .arg(frames.faultOffset)
                    .arg(QString::fromStdString(frames.fault)));
        } else {
            for (const store::DamagedTrailer& trailer : frames.mendedTrailers)
                out(QStringLiteral("frame store: record at offset %1: trailing size and digit count written again at offset %2 "
                                   "(\"%3\" -> \"%4\"): %5")
                        .arg(trailer.recordOffset)
                        .arg(trailer.fieldOffset)
                        .arg(QString::fromStdString(store::PrintableBytes(trailer.found)),
                             QString::fromStdString(store::PrintableBytes(trailer.expected)),
                             QString::fromStdString(trailer.fault)));
            if (frames.cutBytes > 0)
                out(QStringLiteral("frame store: cut %1 bytes of a torn last record at offset %2 (%3)")
                        .arg(frames.cutBytes)
                        .arg(frames.faultOffset)
                        .arg(QString::fromStdString(frames.fault)));
            if (frames.oldCount != frames.newCount)
                out(QStringLiteral("frame store: header count %1 -> %2")
                        .arg(frames.oldCount < 0 ? QStringLiteral("(not a number)") : QString::number(frames.oldCount))
                        .arg(frames.newCount));
            else
                out(QStringLiteral("frame store: %1 frames, header in order").arg(frames.newCount));
        }
    } else {
        out(QStringLiteral("frame store: %1 does not exist (no frame was recorded)")
                .arg(QFile::decodeName(store::FrameStorePathOf(QFile::encodeName(target).toStdString()).c_str())));
    }

    if (!repair.aviWasComplete)
        out(QStringLiteral("AVI file: headers and index completed from the chunks present"));
    else
        out(QStringLiteral("AVI file: complete"));
    if (repair.FrameStoreDamagedInMiddle()) {
        err(QStringLiteral("quolvactl repair: %1 not repaired: its frame store is damaged in the middle")
                .arg(QFile::decodeName(store::FrameStorePathOf(QFile::encodeName(target).toStdString()).c_str())));
        return 1;
    }
    out(repair.Changed() ? QStringLiteral("repaired") : QStringLiteral("nothing to repair"));
    return 0;
}

} // namespace quolva::cli

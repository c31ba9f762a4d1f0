// quolvactl repair: puts a recording back in order after the program died while recording. The frame
// store's header is set to the complete records present (a torn last record is cut off), and the AVI
// file's headers and indexes are completed from the chunks it holds. The editor offers the same repair.
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

    if (repair.frameStoreFound) {
        const store::FrameStoreRepair& frames = repair.frames;
        if (frames.cutBytes > 0)
            out(QStringLiteral("frame store: cut %1 bytes of a torn last record (%2)")
                    .arg(frames.cutBytes)
                    .arg(QString::fromStdString(frames.fault)));
        if (frames.oldCount != frames.newCount)
            out(QStringLiteral("frame store: header count %1 -> %2")
                    .arg(frames.oldCount < 0 ? QStringLiteral("(not a number)") : QString::number(frames.oldCount))
                    .arg(frames.newCount));
        else
            out(QStringLiteral("frame store: %1 frames, header in order").arg(frames.newCount));
    } else {
        out(QStringLiteral("frame store: %1 does not exist (no frame was recorded)")
                .arg(QFile::decodeName(store::FrameStorePathOf(QFile::encodeName(target).toStdString()).c_str())));
    }

    if (!repair.aviWasComplete)
        out(QStringLiteral("AVI file: headers and index completed from the chunks present"));
    else
        out(QStringLiteral("AVI file: complete"));
    out(repair.Changed() ? QStringLiteral("repaired") : QStringLiteral("nothing to repair"));
    return 0;
}

} // namespace quolva::cli

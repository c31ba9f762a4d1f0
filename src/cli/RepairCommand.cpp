// quolvactl repair: puts a recording back in order after the program died while recording. The frame
// store's header is set to the complete records present (a torn tail is cut off), and the AVI file's
// headers and indexes are completed from the chunks it holds. Damage followed by records that are still
// read is only reported, with its offset: cutting there would delete those frames.
#include "cli/Commands.h"
#include "record/RecordingSession.h"
#include "store/AviFile.h"
#include "store/FrameStoreWalk.h"

#include <QFileInfo>

namespace quolva::cli {

int RepairCommand(const QStringList& arguments)
{
    if (arguments.size() != 1) {
        err(QStringLiteral("usage: quolvactl repair REC.avi"));
        return 2;
    }
    const QString target = arguments.front();
    const QString framesPath = record::RecordingSession::FrameStorePath(target);
    bool changed = false;
    bool damaged = false;

    if (QFileInfo::exists(framesPath)) {
        store::FrameStore frames = store::FrameStore::OpenFrameStore(framesPath.toStdString());
        const store::FrameStoreRepair repair = store::RepairFrameStore(frames);
        frames.Close();
        if (repair.damagedInMiddle) {
            out(QStringLiteral("frame store: damaged record at offset %1 (%2); readable records follow it, so the "
                               "store is left as it is")
                    .arg(repair.faultOffset)
                    .arg(QString::fromStdString(repair.fault)));
            damaged = true;
        } else {
            if (repair.cutBytes > 0) {
                out(QStringLiteral("frame store: cut %1 bytes of a torn last record at offset %2 (%3)")
                        .arg(repair.cutBytes)
                        .arg(repair.faultOffset)
                        .arg(QString::fromStdString(repair.fault)));
                changed = true;
            }
            if (repair.oldCount != repair.newCount) {
                out(QStringLiteral("frame store: header count %1 -> %2")
                        .arg(repair.oldCount < 0 ? QStringLiteral("(not a number)") : QString::number(repair.oldCount))
                        .arg(repair.newCount));
                changed = true;
            } else {
                out(QStringLiteral("frame store: %1 frames, header in order").arg(repair.newCount));
            }
        }
    } else {
        out(QStringLiteral("frame store: %1 does not exist (no frame was recorded)").arg(framesPath));
    }

    const store::PAVIFILE file = store::AviFile::open(target.toStdString(), store::OF_READWRITE | store::OF_SHARE_DENY_NONE);
    if (!file->wasComplete()) {
        file->completeOnClose();
        file->close();
        out(QStringLiteral("AVI file: headers and index completed from the chunks present"));
        changed = true;
    } else {
        file->close();
        out(QStringLiteral("AVI file: complete"));
    }
    if (damaged) {
        err(QStringLiteral("quolvactl repair: %1 not repaired: its frame store is damaged in the middle").arg(framesPath));
        return 1;
    }
    out(changed ? QStringLiteral("repaired") : QStringLiteral("nothing to repair"));
    return 0;
}

} // namespace quolva::cli

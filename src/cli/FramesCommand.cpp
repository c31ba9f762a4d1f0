// quolvactl frames: every frame of a recording as a JPEG file, DIR/000001.jpg, DIR/000002.jpg, ...,
// holding exactly the bytes of its record. A record whose trailing size alone is damaged is written, as
// the editor reads it, and the damage is told with its offset. The folder is made when missing. Frame pictures already in
// it are never overwritten: a longer earlier extraction would otherwise leave its last frames behind,
// mixed with the new ones, so a folder that holds any is refused.
#include "cli/Commands.h"
#include "record/RecordingSession.h"
#include "store/FrameStoreWalk.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace quolva::cli {
namespace {

// Names as the command writes them: at least six digits, then ".jpg".
bool IsFrameFileName(const QString& name)
{
    static const QRegularExpression pattern(QStringLiteral("^\\d{6,}\\.jpg$"));
    return pattern.match(name).hasMatch();
}

QString FrameFileName(qsizetype number)
{
    return QStringLiteral("%1.jpg").arg(number, 6, 10, QLatin1Char('0'));
}

} // namespace

int FramesCommand(const QStringList& arguments)
{
    if (arguments.size() != 2) {
        err(QStringLiteral("usage: quolvactl frames REC.avi DIR"));
        return 2;
    }
    const QString framesPath = record::RecordingSession::FrameStorePath(arguments[0]);
    const QString folder = arguments[1];
    store::FrameStore frames = store::FrameStore::OpenFrameStoreReadOnly(QFile::encodeName(framesPath).toStdString());
    // The walk checks both copies of every size before anything is written.
    const store::FrameStoreWalk walk = store::WalkFramesForwards(frames);

    if (!QDir().mkpath(folder)) {
        err(QStringLiteral("quolvactl frames: cannot make the folder \"%1\"").arg(folder));
        return 1;
    }
    const QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (IsFrameFileName(name)) {
            err(QStringLiteral("quolvactl frames: the folder \"%1\" already holds frame pictures (%2); "
                               "choose an empty folder or remove them")
                    .arg(folder, name));
            return 1;
        }
    }

    qsizetype written = 0;
    for (const std::int64_t start : walk.recordStarts) {
        frames.Seek(start);
        const store::FrameRecord record = frames.ReadNextFrame();
        const QString path = dir.filePath(FrameFileName(written + 1));
        QFile picture(path);
        // NewOnly: a file that appeared meanwhile is not overwritten either.
        if (!picture.open(QIODevice::WriteOnly | QIODevice::NewOnly) ||
            picture.write(reinterpret_cast<const char*>(record.jpeg.data()), static_cast<qint64>(record.jpeg.size())) !=
                static_cast<qint64>(record.jpeg.size()) ||
            !picture.flush()) {
            err(QStringLiteral("quolvactl frames: cannot write \"%1\": %2 (%3 frames were written)")
                    .arg(path, picture.errorString())
                    .arg(written));
            return 1;
        }
        picture.close();
        ++written;
    }
    out(QStringLiteral("%1 frames written to %2").arg(written).arg(folder));
    for (const store::DamagedTrailer& trailer : walk.damagedTrailers)
        err(QStringLiteral("quolvactl frames: frame store \"%1\", offset %2: %3; its frame is whole by its leading "
                           "size and was written (quolvactl repair writes the trailing size again)")
                .arg(framesPath)
                .arg(trailer.recordOffset)
                .arg(QString::fromStdString(trailer.fault)));
    if (!walk.ReachedTheEnd()) {
        err(QStringLiteral("quolvactl frames: frame store \"%1\", offset %2: %3; the %4 frames before it were written")
                .arg(framesPath)
                .arg(walk.faultOffset)
                .arg(QString::fromStdString(walk.fault))
                .arg(written));
        return 1;
    }
    return 0;
}

} // namespace quolva::cli

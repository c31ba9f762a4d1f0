#pragma once
// What tests ask of files: a digest to tell them unchanged, the descriptors this process holds on them,
// bytes written over them in place, and what kind of thing a path is.
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace quolva::test {

// SHA-1 of the file's bytes; empty when it cannot be read.
inline QByteArray DigestOf(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1);
}

// How many of this process's descriptors point at `path`.
inline int DescriptorsOn(const QString& path)
{
    int count = 0;
    const QString target = QFileInfo(path).canonicalFilePath();
    for (const QFileInfo& fd : QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::System | QDir::Files))
        if (!target.isEmpty() && fd.symLinkTarget() == target)
            ++count;
    return count;
}

// Writes `bytes` over the file from offset `at`; false when it cannot.
inline bool WriteBytesAt(const QString& path, qint64 at, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::ReadWrite) && file.seek(at) && file.write(bytes) == bytes.size();
}

// Everything in a folder, hidden files, links and special files included.
inline QStringList EntriesIn(const QString& folder)
{
    QStringList entries = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    entries.sort();
    return entries;
}

// What kind of thing `path` itself is (a link is not followed).
inline QString KindOf(const QString& path)
{
    struct stat status {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return QStringLiteral("none");
    if (S_ISLNK(status.st_mode))
        return QStringLiteral("link");
    if (S_ISREG(status.st_mode))
        return QStringLiteral("file");
    if (S_ISDIR(status.st_mode))
        return QStringLiteral("folder");
    if (S_ISFIFO(status.st_mode))
        return QStringLiteral("pipe");
    if (S_ISCHR(status.st_mode))
        return QStringLiteral("device");
    return QStringLiteral("other");
}

// The kinds of output a file writer meets, made in `folder` as `name`: "new file" (nothing there),
// "existing file", "link to a file" (to elsewhere/real-NAME), "link to a link" (through middle-NAME),
// "dangling link" (to elsewhere/new-NAME, which does not exist), "folder", "pipe", "link to a pipe" and
// "device" (a null device of its own: the machine's /dev/null is never put at risk). An existing file
// holds "an older file" and may be read and written by its owner and read by its group. Returns the
// output's path; empty when the kind cannot be made (a device needs root).
inline QString MakeOutput(const QString& folder, const QString& kind, const QString& name)
{
    const QDir dir(folder);
    const QString output = dir.filePath(name);
    const auto link = [](const QString& target, const QString& at) {
        return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(at).constData()) == 0;
    };
    if (!dir.exists(QStringLiteral("elsewhere")) && !dir.mkdir(QStringLiteral("elsewhere")))
        return {};
    bool made = true;
    if (kind == QLatin1String("existing file") || kind == QLatin1String("link to a file") ||
        kind == QLatin1String("link to a link")) {
        const QString real = kind == QLatin1String("existing file") ? output : dir.filePath("elsewhere/real-" + name);
        QFile file(real);
        made = file.open(QIODevice::WriteOnly) && file.write("an older file") > 0;
        file.close();
        made = made && QFile::setPermissions(real, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
        if (kind == QLatin1String("link to a file"))
            made = made && link(real, output);
        else if (kind == QLatin1String("link to a link")) // relative links, read from their own folder
            made = made && link("elsewhere/real-" + name, dir.filePath("middle-" + name)) && link("middle-" + name, output);
    } else if (kind == QLatin1String("dangling link")) {
        made = link("elsewhere/new-" + name, output);
    } else if (kind == QLatin1String("folder")) {
        made = dir.mkdir(name);
    } else if (kind == QLatin1String("pipe") || kind == QLatin1String("link to a pipe")) {
        const QString pipe = kind == QLatin1String("pipe") ? output : dir.filePath("elsewhere/pipe-" + name);
        made = ::mkfifo(QFile::encodeName(pipe).constData(), 0666) == 0 &&
               (kind == QLatin1String("pipe") || link(pipe, output));
    } else if (kind == QLatin1String("device")) {
        made = ::mknod(QFile::encodeName(output).constData(), S_IFCHR | 0666, makedev(1, 3)) == 0;
    }
    return made ? output : QString();
}

} // namespace quolva::test

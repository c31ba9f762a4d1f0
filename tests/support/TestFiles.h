#pragma once
// What tests ask of files: a digest to tell them unchanged, the descriptors this process holds on them,
// and bytes written over them in place.
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

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

} // namespace quolva::test

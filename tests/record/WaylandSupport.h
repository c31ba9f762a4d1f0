#pragma once
// Helpers of the tests that record a Wayland desktop in scripts/with-wayland-rig.sh: the rig's Python
// helpers (tests/support/wayland) run as child processes, and the approval of the screen cast stored as a
// user's "remember" leaves it.
#include "Rig.h"

#include <QColor>
#include <QElapsedTimer>
#include <QProcess>
#include <QSettings>
#include <QtTest>

#include <cstdlib>

namespace quolva::test {

// The colours of the rig's native Wayland window.
const QColor kRed(0xcc, 0x33, 0x33);
const QColor kGreen(0x33, 0xcc, 0x33);

inline QString waylandHelper(const QString& name)
{
    return sourcePath(QStringLiteral("tests/support/wayland/") + name);
}

inline bool near(const QColor& a, const QColor& b)
{
    return std::abs(a.red() - b.red()) <= 12 && std::abs(a.green() - b.green()) <= 12 && std::abs(a.blue() - b.blue()) <= 12;
}

// A Python helper of the rig, started and left running until the test ends; waits for its line `ready`.
class Helper {
public:
    Helper(const QString& script, const QStringList& arguments, const QString& ready)
    {
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(QStringLiteral("/usr/bin/python3"), QStringList{waylandHelper(script)} + arguments);
        QElapsedTimer waited;
        waited.start();
        while (!output_.contains(ready) && waited.elapsed() < 20000 && process_.state() != QProcess::NotRunning) {
            process_.waitForReadyRead(200);
            output_ += QString::fromUtf8(process_.readAll());
        }
    }
    ~Helper()
    {
        process_.terminate();
        if (!process_.waitForFinished(3000))
            process_.kill();
        process_.waitForFinished(3000);
    }
    bool up(const QString& ready) const { return output_.contains(ready); }
    const QString& output() const { return output_; }
    qint64 pid() const { return process_.processId(); }

private:
    QProcess process_;
    QString output_;
};

// Stores the screen cast approval where the program keeps it (an empty token removes it).
inline void writeScreenCastToken(const QString& token)
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quolvaer"), QStringLiteral("cg"));
    if (token.isEmpty())
        settings.remove(QStringLiteral("screencast_token"));
    else
        settings.setValue(QStringLiteral("screencast_token"), token);
    settings.sync();
}

// The approval a user gives with "remember", seeded in the rig's permission store and kept by the program.
inline void approveScreenCast()
{
    QProcess seed;
    seed.start(QStringLiteral("/usr/bin/python3"), {waylandHelper(QStringLiteral("seed_screencast_token.py"))});
    QVERIFY(seed.waitForFinished(20000));
    const QString token = QString::fromUtf8(seed.readAllStandardOutput()).trimmed();
    QVERIFY2(seed.exitCode() == 0 && !token.isEmpty(), seed.readAllStandardError().constData());
    writeScreenCastToken(token);
}

} // namespace quolva::test

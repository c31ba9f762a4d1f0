#include "Rig.h"

#include <QDir>
#include <QGuiApplication>
#include <QProcess>

namespace quolva::test {

QString missingDisplay()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return QStringLiteral("no X display: run this test through scripts/with-rig.sh");
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return QStringLiteral("the test runs on the '%1' platform, not on the X display").arg(QGuiApplication::platformName());
    // Users have a window manager: decorations, close requests and moves as it handles them.
    QProcess wmctrl;
    wmctrl.start(QStringLiteral("wmctrl"), {QStringLiteral("-m")});
    if (!wmctrl.waitForFinished(5000) || wmctrl.exitStatus() != QProcess::NormalExit || wmctrl.exitCode() != 0)
        return QStringLiteral("no window manager on the display: run this test through scripts/with-rig.sh");
    return {};
}

QString missingSoundServer()
{
    QProcess pactl;
    pactl.start(QStringLiteral("pactl"), {QStringLiteral("info")});
    if (!pactl.waitForFinished(5000) || pactl.exitStatus() != QProcess::NormalExit || pactl.exitCode() != 0)
        return QStringLiteral("no PulseAudio server: run this test through scripts/with-rig.sh");
    return {};
}

QString sourcePath(const QString& relative)
{
    return QDir(qEnvironmentVariable("QUOLVA_SOURCE_DIR", QStringLiteral(QUOLVA_SOURCE_DIR_FALLBACK))).filePath(relative);
}

} // namespace quolva::test

#pragma once
// Runs the quolvactl program built beside the tests (ctest tells where: QUOLVA_BIN_DIR) and collects what
// it said.
#include <QProcess>
#include <QString>
#include <QStringList>

namespace quolva::test {

struct QuolvactlRun {
    int status = -1; // -1: it did not run or did not end normally
    QString out;
    QString err;
};

inline QuolvactlRun RunQuolvactl(const QStringList& arguments, int seconds = 120)
{
    QuolvactlRun run;
    const QString folder = qEnvironmentVariable("QUOLVA_BIN_DIR");
    if (folder.isEmpty()) {
        run.err = QStringLiteral("QUOLVA_BIN_DIR is not set: run the test through ctest");
        return run;
    }
    QProcess process;
    process.start(folder + QStringLiteral("/quolvactl"), arguments);
    if (!process.waitForStarted(10000) || !process.waitForFinished(seconds * 1000)) {
        run.err = QStringLiteral("quolvactl did not run: ") + process.errorString();
        return run;
    }
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return run;
}

} // namespace quolva::test

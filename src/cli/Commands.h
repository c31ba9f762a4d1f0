#pragma once
#include <QStringList>

namespace quolva::cli {

// Each command takes its arguments (after the command's name) and returns the exit status: 0 on
// success, 1 on failure (with a message on standard error), 2 on a usage error; record returns 3 for a
// recording that was kept without sound.
int InfoCommand(const QStringList& arguments);
int FramesCommand(const QStringList& arguments);
int CheckCommand(const QStringList& arguments);
int RecordCommand(int argc, char** argv, const QStringList& arguments);
int RepairCommand(const QStringList& arguments);
int PublishCommand(int argc, char** argv, const QStringList& arguments);
int DemoCommand(int argc, char** argv, const QStringList& arguments);

// SWF movies for `info`.
bool LooksLikeSwf(const QString& path);
int SwfInfo(const QString& path);

// Plain text output.
void out(const QString& line);
void err(const QString& line);

} // namespace quolva::cli

#include "cli/ProgressLine.h"

#include <cstdio>

#include <unistd.h>

namespace quolva::cli {

ProgressLine::ProgressLine(QString what) : what_(std::move(what)), terminal_(isatty(STDERR_FILENO) == 1) {}

ProgressLine::~ProgressLine()
{
    Finish();
}

void ProgressLine::Update(qint64 done, qint64 total)
{
    const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 100;
    const auto now = std::chrono::steady_clock::now();
    // A terminal is redrawn up to five times a second; a log gets a line per whole ten percent.
    const bool due = terminal_ ? now - lastPrint_ >= std::chrono::milliseconds(200) || done == total
                               : percent / 10 != lastPercent_ / 10 || done == total;
    if (!due || percent == lastPercent_)
        return;
    lastPercent_ = percent;
    lastPrint_ = now;
    Print(done, total);
}

void ProgressLine::Print(qint64 done, qint64 total)
{
    const QString line = QStringLiteral("%1: frame %2 of %3, %4 %").arg(what_).arg(done).arg(total).arg(lastPercent_);
    if (terminal_)
        std::fprintf(stderr, "\r%s\033[K", qPrintable(line));
    else
        std::fprintf(stderr, "%s\n", qPrintable(line));
    std::fflush(stderr);
    open_ = terminal_;
}

void ProgressLine::Finish()
{
    if (open_)
        std::fputc('\n', stderr);
    open_ = false;
}

} // namespace quolva::cli

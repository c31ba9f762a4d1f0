#pragma once
#include <QString>

#include <chrono>

namespace quolva::cli {

// One line of progress on standard error that updates in place ("frame 120 of 600, 20 %"), rewritten at
// most a few times a second; on a terminal it is redrawn with a carriage return, elsewhere each update is
// a line of its own. Finish() ends the line.
class ProgressLine {
public:
    explicit ProgressLine(QString what);
    ~ProgressLine();
    void Update(qint64 done, qint64 total);
    void Finish();

private:
    void Print(qint64 done, qint64 total);

    QString what_;
    bool terminal_;
    bool open_ = false;
    int lastPercent_ = -1;
    std::chrono::steady_clock::time_point lastPrint_{};
};

} // namespace quolva::cli

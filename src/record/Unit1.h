#pragma once
#include <QWidget>

#include <memory>

class QLabel;

namespace quolva::app { class WindowSet; }

namespace quolva::record {

class Recorder;

// The recording control panel: a small borderless window near the lower right corner of the screen. It
// owns the recording session and the timers of a recording.
class TForm1 : public QWidget {
    Q_OBJECT
public:
    explicit TForm1(app::WindowSet& windows);
    ~TForm1() override;

    // The recording engine; made on first use, once the viewfinder exists.
    Recorder& recorder();

    QLabel* Label1; // the status text

    // The program is closing: a running recording is stopped and finished first.
    void FinishBeforeExit();

    void luzhi();   // record
    void tingzhi(); // stop
    void N1Click(); // help: opens the help file
    void N2Click(); // about: shows the about box

private:
    void RecordingFinished(const QString& targetPath);

    app::WindowSet& windows_;
    std::unique_ptr<Recorder> recorder_;
};

} // namespace quolva::record

// The main window's handlers of dubbing: "1.录制背景声音" in the edit panel records a new sound track while
// the frames play at their recorded pace.
#include "editor/Etool.h"

#include <QToolButton>

namespace quolva::editor {

void TForm7::SpeedButton16Click()
{
    if (!RequireOpen() || !RequireNotHeld())
        return;
    dubbing_.Begin(); // takes the recording (playback stops) and adds the dubbing stream
    Timer6.start();
    BitBtn1Click();
    SpeedButton17->setEnabled(true);
    SpeedButton16->setEnabled(false);
}

void TForm7::SpeedButton17Click()
{
    if (!recording_.IsOpen()) {
        Notice(QStringLiteral("没有文件"));
        return;
    }
    Timer6.stop();
    BitBtn2Click();
    dubbing_.Finish(); // its last buffers are written and the recording is given back
    SpeedButton16->setEnabled(true);
    SpeedButton17->setEnabled(false);
}

void TForm7::BitBtn1Click()
{
    dubbing_.StartCapture();
}

void TForm7::BitBtn2Click()
{
    dubbing_.Stop();
}

void TForm7::ShowDubbingIdle()
{
    SpeedButton16->setText(QStringLiteral("录制"));
    SpeedButton16->setEnabled(true);
    SpeedButton17->setEnabled(false);
}

} // namespace quolva::editor

// The main window's handlers whose work belongs to the sound dubbing. They are wired to their menu
// items, buttons and timers already; each body is EMPTY until that work is built, and says what it is to
// do. Nothing here pretends to do it. (The rewriting and the overlays are in EtoolEditing.cpp.)
#include "editor/Etool.h"

namespace quolva::editor {

// ---- Sound dubbing: TO BE FILLED with the dubbing.

void TForm7::SpeedButton16Click()
{
    // To be filled: starts dubbing: a new audio stream, playback and capture ("请打开文件" when nothing is open).
}

void TForm7::SpeedButton17Click()
{
    // To be filled: pauses dubbing: playback and capture stop ("没有文件" when nothing is open).
}

void TForm7::BitBtn1Click()
{
    // To be filled: starts the sound capture of dubbing.
}

void TForm7::BitBtn2Click()
{
    // To be filled: stops the sound capture of dubbing.
}

} // namespace quolva::editor

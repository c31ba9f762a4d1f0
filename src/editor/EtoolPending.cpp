// The main window's handlers whose work belongs to the frame rewriting, the text overlays and the sound
// dubbing. They are wired to their menu items, buttons and timers already; each body is EMPTY until
// that work is built, and says what it is to do. Nothing here pretends to do it.
#include "editor/Etool.h"

namespace quolva::editor {

// ---- Frame rewriting and brightness: TO BE FILLED with the rewriting.

void TForm7::ToolButton5Click()
{
    // To be filled: the brightness snapshot (Button2Click).
}

void TForm7::N011Click()
{
    // To be filled: the brightness step with the factor 0.1.
}

void TForm7::N031Click()
{
    // To be filled: the brightness step with the factor 0.3.
}

void TForm7::N051Click()
{
    // To be filled: the brightness step with the factor 0.5.
}

void TForm7::N071Click()
{
    // To be filled: the brightness step with the factor 0.7.
}

void TForm7::N091Click()
{
    // To be filled: the brightness step with the factor 0.9.
}

void TForm7::N101Click()
{
    // To be filled: the brightness step with the factor 1.0.
}

void TForm7::N121Click()
{
    // To be filled: the brightness step with the factor 1.2.
}

void TForm7::N141Click()
{
    // To be filled: the brightness step with the factor 1.4.
}

void TForm7::N161Click()
{
    // To be filled: the brightness step with the factor 1.6.
}

void TForm7::N181Click()
{
    // To be filled: the brightness step with the factor 1.8.
}

void TForm7::N201Click()
{
    // To be filled: the brightness step with the factor 2.0.
}

void TForm7::ToolButton27Click()
{
    // To be filled: starts the continuous update ("尚未打开文件" when nothing is open).
}

void TForm7::Timer5Timer()
{
    // To be filled: one frame of the continuous update, or its commit.
}

void TForm7::Button12Click()
{
    // To be filled: burns the text boxes into the picture on view and appends its record to the rewrite buffer.
}

void TForm7::Button2Click()
{
    // To be filled: copies the picture on view into the brightness snapshot.
}

void TForm7::Button5Click()
{
    // To be filled: shows the brightness picture as Image4's picture.
}

// ---- Text overlays and captions: TO BE FILLED with the overlays.

void TForm7::SpeedButton12Click()
{
    // To be filled: renders Memo1 into the chosen text box.
}

void TForm7::SpeedButton13Click()
{
    // To be filled: wipes the chosen text box grey.
}

void TForm7::SpeedButton1Click()
{
    // To be filled: starts the rise of the caption.
}

void TForm7::SpeedButton10Click()
{
    // To be filled: stops the rise and puts the caption back.
}

void TForm7::SpeedButton2Click()
{
    // To be filled: draws the chosen box style around the chosen box.
}

void TForm7::Timer2Timer()
{
    // To be filled: one step of the rise.
}

void TForm7::RadioGroup1Click()
{
    // To be filled: renders; enables Panel7 in the rising mode.
}

void TForm7::ComboBox1Change()
{
    // To be filled: sets the face and the style, renders.
}

void TForm7::N102Click()
{
    // To be filled: sets the size 10 and the line spacing, renders.
}

void TForm7::N122Click()
{
    // To be filled: sets the size 12 and the line spacing, renders.
}

void TForm7::N142Click()
{
    // To be filled: sets the size 14 and the line spacing, renders.
}

void TForm7::N162Click()
{
    // To be filled: sets the size 16 and the line spacing, renders.
}

void TForm7::N182Click()
{
    // To be filled: sets the size 18 and the line spacing, renders.
}

void TForm7::N202Click()
{
    // To be filled: sets the size 20 and the line spacing, renders.
}

void TForm7::N241Click()
{
    // To be filled: sets the size 24 and the line spacing, renders.
}

void TForm7::N261Click()
{
    // To be filled: sets the size 26 and the line spacing, renders.
}

void TForm7::N321Click()
{
    // To be filled: sets the size 32 and the line spacing, renders.
}

void TForm7::N401Click()
{
    // To be filled: sets the size 40 and the line spacing, renders.
}

void TForm7::N761Click()
{
    // To be filled: sets the size 76 and the line spacing, renders.
}

void TForm7::ToolButton13Click()
{
    // To be filled: the colour dialog; an accepted colour becomes overlayColor, renders.
}

void TForm7::ToolButton101Click()
{
    // To be filled: bold: renders.
}

void TForm7::ToolButton111Click()
{
    // To be filled: italic: renders.
}

void TForm7::ToolButton91Click()
{
    // To be filled: underline: renders.
}

void TForm7::SpeedButton3Click()
{
    // To be filled: box style 0: renders.
}

void TForm7::SpeedButton4Click()
{
    // To be filled: box style 1: renders.
}

void TForm7::SpeedButton5Click()
{
    // To be filled: box style 2: renders.
}

void TForm7::SpeedButton6Click()
{
    // To be filled: box style 3: renders.
}

void TForm7::SpeedButton7Click()
{
    // To be filled: box style 4: renders.
}

void TForm7::SpeedButton8Click()
{
    // To be filled: box style 5: renders.
}

void TForm7::SpeedButton9Click()
{
    // To be filled: box style 6: renders.
}

void TForm7::SpeedButton11Click()
{
    // To be filled: box style 7: renders.
}

void TForm7::Memo1KeyUp()
{
    // To be filled: renders.
}

void TForm7::Splitter1Moved()
{
    // To be filled: renders.
}

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

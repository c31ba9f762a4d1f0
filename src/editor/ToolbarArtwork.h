#pragma once
#include <QIcon>
#include <QPixmap>

namespace quolva::editor {

// The main window's toolbar pictures, drawn in code at 16 × 16 pixels: plain shapes in strong colours so
// that each stays legible at that size.
class ToolbarArtwork {
public:
    enum class Picture {
        Open,             // a yellow folder opening
        Close,            // a folder with a red cross
        NextFrame,        // a triangle to a bar: ▶|
        PreviousFrame,    // a bar to a triangle: |◀
        Play,             // a green triangle
        Pause,            // two blue bars
        SaveFrame,        // a picture with a floppy disk
        Brightness,       // a sun
        ContinuousUpdate, // a stack of frames with a green arrow
        SingleUpdate,     // one frame with a green arrow
        EditPanel,        // a panel with a pencil
        Bold,             // B
        Italic,           // I
        Underline,        // U
        FontHeight,       // a large and a small A with an arrow
        TextColour,       // A over a colour bar
    };

    static QPixmap pixmap(Picture picture);
    static QIcon icon(Picture picture) { return QIcon(pixmap(picture)); }

    // The box styles 0 to 7: a text box with its tail or stub (style 0 is the plain box).
    static QPixmap boxStyle(int style);
    static QIcon boxStyleIcon(int style) { return QIcon(boxStyle(style)); }

    static constexpr int kSize = 16;
};

} // namespace quolva::editor

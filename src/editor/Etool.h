#pragma once
#include "editor/OpenRecording.h"

#include <QImage>
#include <QMainWindow>

class QMenu;
class QToolBar;

namespace quolva::app { class WindowSet; }

namespace quolva::editor {

// The main window: the frame browser and editor of a finished recording, and the application's main
// window: closing it ends the program.
class TForm7 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm7(app::WindowSet& windows);

    QToolBar* ToolBar4; // the main menu, shown as a row of caption buttons
    QMenu* helpMenu;
    QAction* N18;       // "关于(&a)..."
    QAction* N19;       // "帮助文件(&h)"

    void N18Click();
    void N19Click();

    // The recording open in the editor, whose handles and cursor the exports share.
    OpenRecording& recording() { return recording_; }
    // Close (ToolButton12Click): releases the open recording; the publish dialog runs it when it closes.
    void ToolButton12Click();
    // Shows a picture as the frame on view (Image4); the publish dialog's frame step shows each frame.
    void ShowPicture(const QImage& picture);
    const QImage& PictureOnView() const { return pictureOnView_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FormClose();

    app::WindowSet& windows_;
    OpenRecording recording_;
    QImage pictureOnView_;
};

} // namespace quolva::editor

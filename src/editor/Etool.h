#pragma once
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

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FormClose();

    app::WindowSet& windows_;
};

} // namespace quolva::editor

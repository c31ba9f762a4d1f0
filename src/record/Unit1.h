#pragma once
#include "record/PanelFace.h"

#include <QList>
#include <QPixmap>
#include <QPointer>
#include <QWidget>

#include <memory>

class QAction;
class QLabel;
class QMenu;

namespace quolva::app { class WindowSet; }
namespace quolva::platform { class GlobalHotkeys; }

namespace quolva::record {

class Recorder;

// The recording control panel: a small borderless window near the lower right corner of the screen,
// its face one of four skins with five buttons painted on it and a status text. It owns the recording
// session and the timers of a recording, and receives the global hotkeys Shift+Up (minimise the
// application, then record) and Shift+Down (restore it, then stop), and while a recording runs
// Shift+Pause (pause or resume it).
class TForm1 : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRecordHotKey = 0x10DF; // Shift + Up
    static constexpr int kStopHotKey = 0x10CF;   // Shift + Down
    static constexpr int kPauseHotKey = 0x10EF;  // Shift + Pause, grabbed only while a recording runs

    explicit TForm1(app::WindowSet& windows);
    ~TForm1() override;

    // The recording engine; made on first use, once the viewfinder exists.
    Recorder& recorder();

    PanelFace* face;   // Image1, Image5 and the shapes
    QLabel* Label1;    // the status text

    // The skin pictures: Image3 skin 1, Image4 skin 2, Image2 skin 3, Image10 skin 4.
    QPixmap Image2;
    QPixmap Image3;
    QPixmap Image4;
    QPixmap Image10;
    // The picture of skin 1 to 4.
    const QPixmap& skinPicture(int skin) const;

    QMenu* PopupMenu1; // the panel menu
    QAction* N1;       // "帮助(&h)"
    QAction* N2;       // "关于(&a)"
    QAction* N4;       // "返回主窗口(&w)"
    QMenu* PopupMenu2; // the skin menu
    QAction* jm1;
    QAction* jm2;
    QAction* jm3;
    QAction* jm4;

    // The program is closing: a running recording is stopped and finished first.
    void FinishBeforeExit();

    void luzhi();   // record
    void tingzhi(); // stop
    void PauseOrResume(); // pauses a running recording, or resumes it
    void ShowWizard();
    void N1Click(); // help: opens the help file
    void N2Click(); // about: shows the about box
    void N4Click(); // return to the main window: shows it, then closes the panel
    void CloseBoxClick(); // closes the panel, then the main window, which ends the program

    // Skin loading, each time the panel is shown: the stored skin's picture, or nothing changed.
    void LoadSkin();
    // A skin chosen from the skin menu: its picture, and the setting stored.
    void ChooseSkin(int skin);

    // WM_HOTKEY.
    void WMHotKey(int id);
    // Minimises every window of the program that is shown; RestoreApplication shows them again.
    void MinimiseApplication();
    void RestoreApplication();

    platform::GlobalHotkeys& hotkeys() const { return *hotkeys_; }
    // The hotkeys another program holds, as told to the user at start-up (empty when all registered).
    const QStringList& hotkeyProblems() const { return hotkeyProblems_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void RegisterHotKeys();
    // Shift+Pause is taken from other programs only while a recording runs.
    void GrabPauseHotKey(bool recording);
    void RecordingFinished(const QString& targetPath);
    void FaceButtonReleased(PanelShapeId id);
    void placeStatusText();

    app::WindowSet& windows_;
    std::unique_ptr<Recorder> recorder_;
    platform::GlobalHotkeys* hotkeys_ = nullptr;
    QStringList hotkeyProblems_;
    // What MinimiseApplication minimised, with the state each had.
    QList<QPair<QPointer<QWidget>, Qt::WindowStates>> minimised_;
};

} // namespace quolva::record

#pragma once
#include "editor/Brightness.h"
#include "editor/Dubbing.h"
#include "editor/FrameRewriter.h"
#include "editor/OpenRecording.h"
#include "editor/OverlayBoxes.h"
#include "platform/Prompts.h"

#include <QColor>
#include <QImage>
#include <QMainWindow>
#include <QTimer>

#include <array>

class QAbstractButton;
class QAction;
class QButtonGroup;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QScrollArea;
class QSplitter;
class QStatusBar;
class QToolBar;
class QToolButton;

namespace quolva::app { class WindowSet; }

namespace quolva::editor {

class PictureControl;
class RadioGroup;
class UpDown;

// The main window: the frame browser and editor of a finished recording, and the application's main
// window: closing it ends the program. It holds the layout, the menus and the wiring; the work is done by
// OpenRecording and the other plain classes of the editor.
//
// Controls and handlers keep their names. The routines the editor runs by "clicking a hidden button"
// (Button1Click the open routine, Button3Click the reset, …) are plain methods.
class TForm7 : public QMainWindow {
    Q_OBJECT
public:
    static constexpr const char* kCaption = "Quolva 4.1";
    static constexpr int kEditPanelWidth = 233;

    explicit TForm7(app::WindowSet& windows);
    ~TForm7() override;

    // ---- The control bar, first row.
    QToolBar* ToolBar4;   // the main menu, shown as a row of caption buttons
    QMenuBar* MainMenu1;  // inside ToolBar4
    QMenu* fileMenu;      // "文件"
    QMenu* viewMenu;      // "察看"
    QMenu* processMenu;   // "加工"
    QMenu* windowMenu;    // "窗口"
    QMenu* helpMenu;      // "帮助"
    QAction* N7;          // "设置(&s)..."
    QAction* N9;          // "录制(&r)"
    QAction* N10;         // "停止(&e)"
    QAction* RecordOptionsItem;  // "录制选项(&p)...": frame rate, clicks and shortcuts
    QAction* PauseRecordingItem; // "暂停录制(&z)": pauses or resumes a running recording
    QAction* N12;         // "发布(&I)..."
    QAction* FileExit;    // "退出[&X]"
    QAction* N2;          // "打开(&o)..."
    QAction* N3;          // "关闭(&c)"
    QAction* N21;         // "另存帧[&s]"
    QAction* FrameE;      // "下一帧[&N]"
    QAction* N25;         // "上一帧[&B]"
    QAction* pplay;       // "连续浏览[&P]"
    QAction* PauseP;      // "暂停[&U]"
    QAction* N23;         // "亮度(&l)...."
    QAction* N5;          // "添加背景音乐(&u)..."
    QAction* N15;         // "添加文字(&t)..."
    QAction* N6;          // "连续更新(&f)"
    QAction* N24;         // "浮动板(&p)..."
    QAction* N18;         // "关于(&a)..."
    QAction* N19;         // "帮助文件(&h)"

    QToolBar* Panel6;     // "帧数：" and Edit5
    QLineEdit* Edit5;     // the header's frame count (read-only)
    QToolBar* Panel3;     // "当前位置：" and Edit1
    QLineEdit* Edit1;     // the number of the frame on view (read-only)
    QToolBar* Panel5;     // "欲覆盖帧数：" and Edit3
    QLineEdit* Edit3;     // frames to overwrite, typed by the user
    QToolBar* ToolBar3;   // save frame and brightness (can be undocked)
    QToolButton* ToolButton19; // save frame
    QToolButton* ToolButton5;  // brightness; its arrow opens PopupMenu2
    QMenu* PopupMenu2;         // the brightness factors "0.1" … "2.0"
    QAction* N011;
    QAction* N031;
    QAction* N051;
    QAction* N071;
    QAction* N091;
    QAction* N101;
    QAction* N121;
    QAction* N141;
    QAction* N161;
    QAction* N181;
    QAction* N201;
    QToolBar* ToolBar7;        // continuous update
    QToolButton* ToolButton27; // continuous update
    QToolButton* ToolButton25; // single-frame update: never shown

    // ---- The control bar, second row.
    QToolBar* ToolBar2;        // the browser
    QToolButton* ToolButton1;  // open
    QToolButton* ToolButton12; // close
    QToolButton* ToolButton2;  // next frame
    QToolButton* ToolButton3;  // previous frame
    QToolButton* ToolButton6;  // play
    QToolButton* ToolButton7;  // pause
    QToolBar* ToolBar5;        // "字型工具板" (can be undocked)
    QComboBox* ComboBox1;      // the font face: the installed screen fonts; "宋体" at start
    QToolButton* ToolButton14; // shows the edit panel
    QToolButton* ToolButton10; // bold
    QToolButton* ToolButton11; // italic
    QToolButton* ToolButton9;  // underline
    QToolButton* ToolButton34; // the size list PopupMenu4
    QMenu* PopupMenu4;         // sizes "10" … "76"
    QAction* N102;
    QAction* N122;
    QAction* N142;
    QAction* N162;
    QAction* N182;
    QAction* N202;
    QAction* N241;
    QAction* N261;
    QAction* N321;
    QAction* N401;
    QAction* N761;
    QToolButton* ToolButton13; // text colour
    QToolBar* Panel15;         // "字框：" and the eight box styles
    // Box styles 0 to 7, one group, exactly one down (SpeedButton3 at start).
    QToolButton* SpeedButton3;
    QToolButton* SpeedButton4;
    QToolButton* SpeedButton5;
    QToolButton* SpeedButton6;
    QToolButton* SpeedButton7;
    QToolButton* SpeedButton8;
    QToolButton* SpeedButton9;
    QToolButton* SpeedButton11;
    QButtonGroup* boxStyleButtons; // ids 0 to 7 are the styles
    // The box style of the button that is down (0 to 7).
    int BoxStyle() const;

    // ---- The edit panel, hidden at start, 233 pixels wide at the left.
    QFrame* tedit;
    QLabel* EditPanelTitle;    // "Edit Panel"
    QToolButton* SpeedButton14; // "X": hides the panel
    QLabel* Label6;            // "1.录制背景声音" (disabled)
    QToolButton* SpeedButton16; // "录制"
    QToolButton* SpeedButton17; // "暂停"
    QLabel* TextSectionLabel;  // "2.添加文字"
    QToolButton* SpeedButton12; // "写入画面"
    QToolButton* SpeedButton13; // "清除文字"
    RadioGroup* RadioGroup1;   // "静止文字" / "向上移动 "
    RadioGroup* RadioGroup2;   // the text box: "1f" … "5f"
    QSplitter* Splitter1;      // at the memo's right edge: sets its width
    QPlainTextEdit* Memo1;     // the text to render; "在此输入文字" at start
    QFrame* Panel7;            // the speed row, enabled in the rising mode only
    QLabel* SpeedLabel;        // "上升倍速"
    QLineEdit* Edit4;          // rise per tick, "1"
    UpDown* UpDown1;           // 1 to 10
    QToolButton* SpeedButton1;  // "试试"
    QToolButton* SpeedButton10; // "停止"

    // ---- The picture area.
    QScrollArea* ScrollBox1;   // grey (128, 128, 128)
    QWidget* ScrollBox1Content;
    PictureControl* Image4;    // the picture on view
    // The five text boxes, in the order the update burns them in.
    PictureControl* Image3;    // "1f", design position 40, 88
    PictureControl* Image5;    // "2f", 216, 88
    PictureControl* Image14;   // "3f", 216, 144
    PictureControl* Image15;   // "4f", 40, 144
    PictureControl* Image16;   // "5f", 40, 192

    // ---- The status bar: three panels of 400, 130 and 136 pixels; the first shows the long hint of the
    // control under the mouse.
    QStatusBar* StatusBar1;
    std::array<QLabel*, 3> StatusPanels{};

    // ---- Timers.
    QTimer Timer6; // playback: the recording's frame period
    QTimer Timer5; // continuous update, 29 ms
    QTimer Timer2; // rising caption, 21 ms

    // ---- Dialogs, through platform::prompts().
    platform::FileDialogRequest OpenDialog2;
    platform::FileDialogRequest SavePictureDialog1;

    // The overlay text colour (ColorDialog1's choice): black at start, blue after every open.
    QColor overlayColor = Qt::black;

    // The target path the open routine opens: set by the open command, the end of a recording and the
    // command line.
    QString targetPath;

    // ---- The open recording, whose handles and cursor the rewriting, the dubbing and the exports share.
    OpenRecording& recording() { return recording_; }
    Dubbing& dubbing() { return dubbing_; }

    // Shows a picture as the frame on view (Image4's picture); the publish dialog's frame step shows
    // each frame through it.
    void ShowPicture(const QImage& picture);
    const QImage& PictureOnView() const;
    // Shows the browser's frame on view again (after an export showed its own frames there).
    void ShowFrameOnView();

    // ---- The frame browser.
    void ToolButton1Click();  // open: OpenDialog2, then the open routine
    // The open routine for targetPath: reset, offer to repair an unfinished recording, open, hand the
    // values to the publish dialog, show frame 1, caption. A recording that cannot be opened is told in a
    // message naming the file; the editor is then closed and usable. True when the recording is open.
    bool Button1Click();
    void Button3Click();      // reset
    void ToolButton12Click(); // close (also run by the publish dialog when it closes; release a Hold first)
    void ToolButton2Click();  // next frame
    void ToolButton3Click();  // previous frame
    void ToolButton6Click();  // play
    void ToolButton7Click();  // pause
    void Timer6Timer();       // one step of playback
    void FormCreate();
    void FormClose();

    // The steps of the browser without the refusals of the commands, for work that holds the recording
    // (the update run, dubbing): next frame and the forward step of playback.
    void ShowNextFrame();
    void ShowPreviousFrame();
    void ShowForwardStep();

    // `quolva REC.avi`: opens the recording as the open command does.
    void OpenFromCommandLine(const QString& path);

    // ---- Main window commands.
    void N7Click();   // the setup wizard
    void N9Click();   // record, then minimise the application
    void N10Click();  // stop, then restore the application
    void RecordOptionsClick(); // the recording options dialog
    void PauseRecordingClick();
    void N12Click();  // the publish dialog
    void FileExitClick();
    void N2Click();   // open
    void N3Click();   // close
    void ToolButton19Click(); // save the frame on view: JPEG data whatever the name or filter
    void N5Click();   // shows the edit panel
    void N15Click();  // shows the edit panel
    void N24Click();  // hides the main window and shows the floating panel
    void N18Click();  // about
    void N19Click();  // help file
    void ToolButton14Click(); // shows the edit panel
    void SpeedButton14Click(); // hides the edit panel
    void ToolButton25Click();  // single-frame update: does nothing

    // ---- Frame rewriting and brightness (their bodies come with the rewriting).
    void ToolButton5Click();  // brightness snapshot
    void N23Click();          // snapshot, then the factor list at the window's centre
    void N011Click();
    void N031Click();
    void N051Click();
    void N071Click();
    void N091Click();
    void N101Click();
    void N121Click();
    void N141Click();
    void N161Click();
    void N181Click();
    void N201Click();
    void ToolButton27Click(); // continuous update
    void N6Click();           // runs ToolButton27Click
    void Timer5Timer();
    void Button12Click();     // burn and encode
    void Button2Click();      // snapshot
    void Button5Click();      // show the brightness result

    // ---- Text overlays (their bodies come with the overlays).
    void SpeedButton12Click(); // render
    void SpeedButton13Click(); // clear
    void SpeedButton1Click();  // try the rise
    void SpeedButton10Click(); // stop the rise
    void SpeedButton2Click();  // add the box style
    void Timer2Timer();
    void RadioGroup1Click();
    void ComboBox1Change();
    void N102Click();
    void N122Click();
    void N142Click();
    void N162Click();
    void N182Click();
    void N202Click();
    void N241Click();
    void N261Click();
    void N321Click();
    void N401Click();
    void N761Click();
    void ToolButton13Click();  // colour
    void ToolButton101Click(); // bold
    void ToolButton111Click(); // italic
    void ToolButton91Click();  // underline
    void SpeedButton3Click();
    void SpeedButton4Click();
    void SpeedButton5Click();
    void SpeedButton6Click();
    void SpeedButton7Click();
    void SpeedButton8Click();
    void SpeedButton9Click();
    void SpeedButton11Click();
    void Memo1KeyUp();
    void Splitter1Moved();
    void UpDown1Changing(int position); // Edit4 shows the position
    // Dragging a text box (Image3MouseDown … Image16MouseUp): `box` 0 to 4 in the order Image3, Image5,
    // Image14, Image15, Image16; points within the box.
    void TextBoxMouseDown(int box, QPoint at);
    void TextBoxMouseMove(int box, QPoint at);
    void TextBoxMouseUp(int box);

    // The work of the rewriting and the overlays, without widgets.
    FrameRewriter& rewriter() { return rewriter_; }
    OverlayBoxes& overlays() { return overlays_; }
    Brightness& brightness() { return brightness_; }
    // The text box control of box 0 to 4.
    PictureControl* TextBoxControl(int box) const;

    // ---- Sound dubbing (its bodies come with the dubbing).
    void SpeedButton16Click(); // record
    void SpeedButton17Click(); // pause
    void BitBtn1Click();       // start capture
    void BitBtn2Click();       // stop capture
    // "录制" enabled, "暂停" disabled: the dubbing buttons as every open leaves them.
    void ShowDubbingIdle();
    // Closing was asked for while long work held the recording: the window closes once it has ended.
    bool closePending() const { return closePending_; }

    // The handler the last menu item, button or timer ran, by its name (for diagnostics and tests).
    const QString& lastHandler() const { return lastHandler_; }

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // Layout (EtoolLayout.cpp).
    void BuildMainMenu();
    void BuildControlBar();
    void BuildEditPanel(QWidget* parent);
    void BuildPictureArea(QWidget* parent);
    void BuildStatusBar();
    void WireCommands();

    // Connects a menu item, a button or a timer to a handler, guarded, recording the handler's name.
    void wire(QAction* item, const char* handler, void (TForm7::*method)());
    void wire(QAbstractButton* button, const char* handler, void (TForm7::*method)());
    void wire(QTimer& timer, const char* handler, void (TForm7::*method)());
    void run(const char* handler, void (TForm7::*method)());

    // Refusals of the commands that step, play or move the cursor. True when the command may go on.
    bool RequireOpen();
    bool RequireNotHeld();
    void Notice(const QString& text);
    // Shows a browser step's picture and the number on view; a frame that cannot be read stops playback
    // and is told in a message naming the file.
    void ShowStep(QImage (OpenRecording::*step)());
    void PaintPictureGrey();
    void ShowEditPanel(bool shown);
    // Offers to repair a recording that was never finished; true when the open may go on.
    void OfferRepair();

    // The rewriting and the overlays (EtoolEditing.cpp).
    void SetUpEditing();
    void SyncOverlayChoices();   // the chosen box, mode, box style, font style and colour from the controls
    void ShowTextBox(int box);   // the box's picture (see-through where transparent) and place
    // The picture area's content covers the picture and every box that shows, wherever it stands.
    void LayOutPictureArea();
    void SetOverlaySize(int size);
    void BrightnessStep(double factor);
    void StopUpdate();           // stops the timers of a run that failed, and drops it

    app::WindowSet& windows_;
    OpenRecording recording_;
    Dubbing dubbing_{recording_, this}; // after the recording it writes into
    QString lastHandler_;
    FrameRewriter rewriter_{recording_};
    OverlayBoxes overlays_;
    Brightness brightness_;
    QImage brightnessPicture_;   // built by a brightness step, shown by Button5Click
    bool closePending_ = false;
};

} // namespace quolva::editor

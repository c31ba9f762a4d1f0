// The main window's handlers of the frame rewriting (the continuous update and brightness) and of the
// text overlays (the five text boxes, the box styles, the rising caption). They only read the controls
// and show results; the work is done by FrameRewriter, Brightness and OverlayBoxes.
#include "editor/EditorControls.h"
#include "editor/Etool.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextDocumentLayout>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QTextBlock>
#include <QToolButton>

#include <algorithm>
#include <array>
#include <functional>
#include <utility>

namespace quolva::editor {
namespace {

// Forwards the mouse on the five text boxes to the window's drag handlers.
class TextBoxMouse final : public QObject {
public:
    TextBoxMouse(TForm7& window, std::array<PictureControl*, OverlayBoxes::kBoxCount> boxes)
        : QObject(&window), window_(window), boxes_(boxes)
    {
        for (PictureControl* box : boxes_)
            box->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const auto found = std::find(boxes_.begin(), boxes_.end(), watched);
        if (found == boxes_.end())
            return false;
        const int box = static_cast<int>(found - boxes_.begin());
        switch (event->type()) {
        case QEvent::MouseButtonPress:
            window_.TextBoxMouseDown(box, static_cast<QMouseEvent*>(event)->position().toPoint());
            return true;
        case QEvent::MouseMove:
            window_.TextBoxMouseMove(box, static_cast<QMouseEvent*>(event)->position().toPoint());
            return true;
        case QEvent::MouseButtonRelease:
            window_.TextBoxMouseUp(box);
            return true;
        default:
            return false;
        }
    }

private:
    TForm7& window_;
    std::array<PictureControl*, OverlayBoxes::kBoxCount> boxes_;
};

// Runs `react` when the watched object gets an event of the type.
class EventWatch final : public QObject {
public:
    EventWatch(QObject& watched, QEvent::Type type, std::function<void()> react)
        : QObject(&watched), type_(type), react_(std::move(react))
    {
        watched.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == type_)
            react_();
        return false;
    }

private:
    QEvent::Type type_;
    std::function<void()> react_;
};

} // namespace

void TForm7::SetUpEditing()
{
    for (int box = 0; box < OverlayBoxes::kBoxCount; ++box) {
        // A transparent box lets the picture under it show through.
        TextBoxControl(box)->setAttribute(Qt::WA_OpaquePaintEvent, false);
        overlays_.Box(box).position = TextBoxControl(box)->pos();
    }
    new TextBoxMouse(*this, {Image3, Image5, Image14, Image15, Image16});
    // The picture area covers the picture and every box that shows: laid out again when the picture
    // changes size or the viewport does (the content may depend on it); the boxes lay it out as they
    // are shown, cleared and moved.
    connect(Image4, &PictureControl::pictureResized, this, [this] { LayOutPictureArea(); });
    new EventWatch(*ScrollBox1->viewport(), QEvent::Resize, [this] { LayOutPictureArea(); });
    LayOutPictureArea();
}

void TForm7::LayOutPictureArea()
{
    const QPoint was = Image4->pos();
    const AreaLayout area = LayOutArea(overlays_.Extent(Image4->size()), ScrollBox1->viewport()->size());
    Image4->move(area.origin);
    for (int box = 0; box < OverlayBoxes::kBoxCount; ++box)
        TextBoxControl(box)->move(overlays_.Box(box).position + area.origin);
    // What is on view stays where it is on the screen when the content grows or shrinks left of or above
    // the picture: the scroll position follows the picture's place in the content.
    QScrollBar* across = ScrollBox1->horizontalScrollBar();
    QScrollBar* down = ScrollBox1->verticalScrollBar();
    const QPoint scrolled(across->value(), down->value());
    ScrollBox1Content->resize(area.size);
    const QPoint moved = area.origin - was;
    if (moved.x() != 0)
        across->setValue(scrolled.x() + moved.x());
    if (moved.y() != 0)
        down->setValue(scrolled.y() + moved.y());
}

PictureControl* TForm7::TextBoxControl(int box) const
{
    const std::array<PictureControl*, OverlayBoxes::kBoxCount> boxes = {Image3, Image5, Image14, Image15, Image16};
    return boxes.at(static_cast<std::size_t>(box));
}

void TForm7::SyncOverlayChoices()
{
    overlays_.chosen = std::max(0, RadioGroup2->itemIndex());
    overlays_.mode = RadioGroup1->itemIndex() == 1 ? 1 : 0;
    overlays_.boxStyle = std::max(0, BoxStyle());
    overlays_.font.bold = ToolButton10->isChecked();
    overlays_.font.italic = ToolButton11->isChecked();
    overlays_.font.underline = ToolButton9->isChecked();
    overlays_.font.colour = overlayColor;
}

void TForm7::ShowTextBox(int box)
{
    PictureControl* control = TextBoxControl(box);
    control->setPicture(overlays_.Box(box).Shown());
    LayOutPictureArea();
}

// ---- Frame rewriting ---------------------------------------------------------------------------------

void TForm7::ToolButton27Click()
{
    if (!recording_.IsOpen()) {
        Notice(FrameRewriter::kNotOpenMessage);
        return;
    }
    SyncOverlayChoices();
    // A rising caption needs a speed it can use at every tick: refused once, here.
    if (overlays_.mode == 1 && !OverlayBoxes::ParseSpeed(Edit4->text())) {
        Notice(OverlayBoxes::kBadSpeedMessage);
        return;
    }
    RunPlan plan;
    try {
        plan = rewriter_.Start(Edit3->text());
    } catch (const RewriteRefusal& refusal) {
        Notice(refusal.Message());
        return;
    }
    Timer6.stop(); // the run goes on from the frame on view
    if (plan.Cut())
        StatusPanels[0]->setText(FrameRewriter::CutNote(plan));
    if (overlays_.mode == 1)
        Timer2.start();
    Timer5.start();
}

void TForm7::StopUpdate()
{
    Timer5.stop();
    if (RadioGroup1->itemIndex() == 1)
        Timer2.stop();
    rewriter_.Abandon();
}

void TForm7::Timer5Timer()
{
    if (!rewriter_.IsRunning() || !recording_.IsOpen()) {
        Timer5.stop();
        rewriter_.Abandon();
        return;
    }
    try {
        if (rewriter_.RunComplete()) {
            if (RadioGroup1->itemIndex() == 1)
                Timer2.stop();
            Timer5.stop();
            SpeedButton13Click();
            const QImage first = rewriter_.Commit(); // frames done 1; the recording released
            ShowPicture(first);
            Edit1->setText(QString::number(recording_.NumberOnView()));
            return;
        }
        Button12Click();
        const QImage next = rewriter_.Advance();
        if (!next.isNull())
            ShowPicture(next);
        Edit1->setText(QString::number(recording_.NumberOnView()));
    } catch (...) {
        // A frame that cannot be read or encoded, or a commit that failed: the run is dropped, the store
        // is as it was, and the failure is shown.
        StopUpdate();
        Edit1->setText(QString::number(recording_.NumberOnView()));
        throw;
    }
}

void TForm7::Button12Click()
{
    // The text boxes are drawn onto the picture on view, which is then encoded. Box places are counted
    // from the picture's top-left, wherever the area lays the picture out.
    overlays_.Burn(Image4->picture(), QPoint(0, 0));
    Image4->update();
    rewriter_.EncodeFrame(Image4->picture());
}

// ---- Brightness --------------------------------------------------------------------------------------

void TForm7::ToolButton5Click()
{
    Button2Click();
}

void TForm7::Button2Click()
{
    brightness_.Snapshot(PictureOnView());
}

void TForm7::BrightnessStep(double factor)
{
    const QSize size = PictureOnView().size();
    if (size.isEmpty())
        return; // nothing on view to brighten
    brightnessPicture_ = brightness_.Step(factor, size);
    Button5Click();
}

void TForm7::Button5Click()
{
    if (brightnessPicture_.isNull())
        return;
    QImage shown = brightness_.ShowResult(brightnessPicture_);
    brightnessPicture_ = QImage();
    ShowPicture(std::move(shown));
}

void TForm7::N011Click() { BrightnessStep(0.1); }
void TForm7::N031Click() { BrightnessStep(0.3); }
void TForm7::N051Click() { BrightnessStep(0.5); }
void TForm7::N071Click() { BrightnessStep(0.7); }
void TForm7::N091Click() { BrightnessStep(0.9); }
void TForm7::N101Click() { BrightnessStep(1.0); }
void TForm7::N121Click() { BrightnessStep(1.2); }
void TForm7::N141Click() { BrightnessStep(1.4); }
void TForm7::N161Click() { BrightnessStep(1.6); }
void TForm7::N181Click() { BrightnessStep(1.8); }
void TForm7::N201Click() { BrightnessStep(2.0); }

// ---- Text overlays -----------------------------------------------------------------------------------

void TForm7::SpeedButton12Click()
{
    if (Memo1->document()->isEmpty()) {
        Notice(OverlayBoxes::kNoTextMessage);
        return;
    }
    SyncOverlayChoices();
    // The box is as wide as the memo as the edit panel shows it, and the memo's lines wrap as they do there,
    // whether the panel is shown now or not (before it was first shown, nothing in it was laid out).
    if (!tedit->isVisible())
        LayOutUnshown(*tedit, QSize(kEditPanelWidth, centralWidget()->height()));
    // The memo takes the overlay font first, so that its lines wrap as the box's will; the lines are
    // then taken as the memo lays them out.
    Memo1->setFont(overlays_.font.ToFont());
    QTextDocument* memo = Memo1->document();
    if (auto* layout = qobject_cast<QPlainTextDocumentLayout*>(memo->documentLayout())) {
        for (QTextBlock block = memo->begin(); block.isValid(); block = block.next())
            layout->ensureBlockLayout(block);
    }
    if (!overlays_.Render(OverlayBoxes::MemoLines(*memo), Memo1->width()))
        return;
    TextBoxControl(overlays_.chosen)->raise();
    ShowTextBox(overlays_.chosen);
}

void TForm7::SpeedButton13Click()
{
    SyncOverlayChoices();
    overlays_.Clear();
    ShowTextBox(overlays_.chosen);
}

void TForm7::SpeedButton2Click()
{
    SyncOverlayChoices();
    overlays_.AddBoxStyle();
    ShowTextBox(overlays_.chosen);
}

void TForm7::SpeedButton1Click()
{
    if (!overlays_.CanRise()) {
        Notice(OverlayBoxes::kNoTextMessage);
        return;
    }
    if (!OverlayBoxes::ParseSpeed(Edit4->text())) {
        Notice(OverlayBoxes::kBadSpeedMessage);
        return;
    }
    Timer2.start();
}

void TForm7::SpeedButton10Click()
{
    if (!Timer2.isActive()) {
        Notice(OverlayBoxes::kNotRisingMessage);
        return;
    }
    Timer2.stop();
    SyncOverlayChoices();
    TextBoxControl(overlays_.chosen)->raise();
    overlays_.StopRise(Image4->height());
    LayOutPictureArea();
}

void TForm7::Timer2Timer()
{
    const std::optional<std::int32_t> speed = OverlayBoxes::ParseSpeed(Edit4->text());
    if (!speed) {
        // Told once: the rise stops until the speed is a whole number again.
        Timer2.stop();
        Notice(OverlayBoxes::kBadSpeedMessage);
        return;
    }
    overlays_.chosen = std::max(0, RadioGroup2->itemIndex());
    overlays_.RiseStep(*speed, Image4->height());
    TextBoxControl(overlays_.chosen)->raise();
    LayOutPictureArea();
}

void TForm7::RadioGroup1Click()
{
    SpeedButton12Click();
    Panel7->setEnabled(RadioGroup1->itemIndex() == 1);
}

void TForm7::ComboBox1Change()
{
    // A face typed that is not in the list is taken as typed; missing faces fall back to a CJK face.
    const int index = ComboBox1->findText(ComboBox1->currentText());
    overlays_.font.face = index >= 0 ? ComboBox1->itemText(index) : ComboBox1->currentText();
    SpeedButton12Click();
}

void TForm7::SetOverlaySize(int size)
{
    overlays_.font.size = size;
    SpeedButton12Click();
}

void TForm7::N102Click() { SetOverlaySize(10); }
void TForm7::N122Click() { SetOverlaySize(12); }
void TForm7::N142Click() { SetOverlaySize(14); }
void TForm7::N162Click() { SetOverlaySize(16); }
void TForm7::N182Click() { SetOverlaySize(18); }
void TForm7::N202Click() { SetOverlaySize(20); }
void TForm7::N241Click() { SetOverlaySize(24); }
void TForm7::N261Click() { SetOverlaySize(26); }
void TForm7::N321Click() { SetOverlaySize(32); }
void TForm7::N401Click() { SetOverlaySize(40); }
void TForm7::N761Click() { SetOverlaySize(76); }

void TForm7::ToolButton13Click()
{
    const std::optional<QColor> chosen = platform::prompts().chooseColor(this, overlayColor);
    if (!chosen)
        return;
    overlayColor = *chosen;
    SpeedButton12Click();
}

void TForm7::ToolButton101Click() { SpeedButton12Click(); }
void TForm7::ToolButton111Click() { SpeedButton12Click(); }
void TForm7::ToolButton91Click() { SpeedButton12Click(); }

void TForm7::SpeedButton3Click() { SpeedButton12Click(); }
void TForm7::SpeedButton4Click() { SpeedButton12Click(); }
void TForm7::SpeedButton5Click() { SpeedButton12Click(); }
void TForm7::SpeedButton6Click() { SpeedButton12Click(); }
void TForm7::SpeedButton7Click() { SpeedButton12Click(); }
void TForm7::SpeedButton8Click() { SpeedButton12Click(); }
void TForm7::SpeedButton9Click() { SpeedButton12Click(); }
void TForm7::SpeedButton11Click() { SpeedButton12Click(); }

void TForm7::Memo1KeyUp() { SpeedButton12Click(); }
void TForm7::Splitter1Moved() { SpeedButton12Click(); }

void TForm7::TextBoxMouseDown(int box, QPoint at)
{
    (void)box;
    overlays_.BeginDrag(at);
}

void TForm7::TextBoxMouseMove(int box, QPoint at)
{
    if (!overlays_.Dragging())
        return;
    overlays_.DragTo(box, at);
    LayOutPictureArea();
}

void TForm7::TextBoxMouseUp(int box)
{
    (void)box;
    overlays_.EndDrag();
}

} // namespace quolva::editor

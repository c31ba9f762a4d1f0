#pragma once
#include <QList>
#include <QWidget>
#include <memory>

namespace quolva::editor { class TForm7; }
namespace quolva::record { class TForm1; class TForm2; class TForm5; }
namespace quolva::publish { class TForm6; }
namespace quolva::app { class TForm8; }

namespace quolva::app {

// The program's window set, created once at start-up in a fixed order and destroyed at exit: the main
// window first, then the recording panel (whose creation registers the hotkeys), the viewfinder, the
// setup wizard (whose creation sizes the viewfinder), the publish dialog and the about box. Windows reach
// each other through it.
class WindowSet {
public:
    WindowSet();
    ~WindowSet();
    WindowSet(const WindowSet&) = delete;
    WindowSet& operator=(const WindowSet&) = delete;

    editor::TForm7& Form7() const { return *form7_; }
    record::TForm1& Form1() const { return *form1_; }
    record::TForm2& Form2() const { return *form2_; }
    record::TForm5& Form5() const { return *form5_; }
    publish::TForm6& Form6() const { return *form6_; }
    TForm8& Form8() const { return *form8_; }

    // The application's main window: the first one created.
    QWidget& mainWindow() const;

    // The windows in the order they were created.
    const QList<QWidget*>& creationOrder() const { return creationOrder_; }

private:
    template <typename Window>
    Window* create(std::unique_ptr<Window>& slot);

    QList<QWidget*> creationOrder_;
    std::unique_ptr<editor::TForm7> form7_;
    std::unique_ptr<record::TForm1> form1_;
    std::unique_ptr<record::TForm2> form2_;
    std::unique_ptr<record::TForm5> form5_;
    std::unique_ptr<publish::TForm6> form6_;
    std::unique_ptr<TForm8> form8_;
};

} // namespace quolva::app

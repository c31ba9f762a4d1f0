#pragma once
#include <QWidget>

namespace quolva::app { class WindowSet; }

namespace quolva::record {

// The recording control panel: a small borderless window near the lower right corner of the screen.
class TForm1 : public QWidget {
    Q_OBJECT
public:
    explicit TForm1(app::WindowSet& windows);

    void N1Click(); // help: opens the help file
    void N2Click(); // about: shows the about box

private:
    app::WindowSet& windows_;
};

} // namespace quolva::record

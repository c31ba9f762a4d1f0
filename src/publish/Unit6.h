#pragma once
#include <QDialog>

namespace quolva::app { class WindowSet; }

namespace quolva::publish {

// The publish dialog: writes the open recording as an AVI or SWF movie.
class TForm6 : public QDialog {
    Q_OBJECT
public:
    explicit TForm6(app::WindowSet& windows);

protected:
    void showEvent(QShowEvent* event) override;
};

} // namespace quolva::publish

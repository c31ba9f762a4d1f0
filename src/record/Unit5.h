#pragma once
#include <QDialog>

namespace quolva::app { class WindowSet; }

namespace quolva::record {

// The capture setup wizard.
class TForm5 : public QDialog {
    Q_OBJECT
public:
    explicit TForm5(app::WindowSet& windows);

protected:
    void showEvent(QShowEvent* event) override;
};

} // namespace quolva::record

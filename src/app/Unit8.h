#pragma once
#include <QDialog>

class QLabel;
class QToolButton;

namespace quolva::app {

class WindowSet;

// The about box: the product name and version.
class TForm8 : public QDialog {
    Q_OBJECT
public:
    explicit TForm8(WindowSet& windows);

    QLabel* Image1;            // the picture, right-aligned
    QLabel* Image2;            // the program's icon
    QLabel* Label2;            // "Quolva V4.1"
    QToolButton* SpeedButton1; // "关闭"

    void SpeedButton1Click();

protected:
    void showEvent(QShowEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
};

} // namespace quolva::app

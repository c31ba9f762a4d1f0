#pragma once
#include <QLabel>
#include <QPixmap>

namespace quolva::record {

// A picture that acts as a button: it shows its raised picture, the pressed one while the left mouse
// button is down on it, and reports the release of the left button.
class PictureButton : public QLabel {
    Q_OBJECT
public:
    PictureButton(const QPixmap& raised, const QPixmap& pressed, QWidget* parent);

    bool isPressed() const { return pressed_; }

signals:
    void leftButtonReleased();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QPixmap raisedPicture_;
    QPixmap pressedPicture_;
    bool pressed_ = false;
};

} // namespace quolva::record

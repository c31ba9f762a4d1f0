#include "record/PictureButton.h"

#include <QMouseEvent>

namespace quolva::record {

PictureButton::PictureButton(const QPixmap& raised, const QPixmap& pressed, QWidget* parent)
    : QLabel(parent), raisedPicture_(raised), pressedPicture_(pressed)
{
    setPixmap(raisedPicture_);
    setFixedSize(raisedPicture_.size());
}

void PictureButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    pressed_ = true;
    setPixmap(pressedPicture_);
}

void PictureButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    pressed_ = false;
    setPixmap(raisedPicture_);
    emit leftButtonReleased();
}

} // namespace quolva::record

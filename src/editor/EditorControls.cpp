#include "editor/EditorControls.h"

#include <QButtonGroup>
#include <QCoreApplication>
#include <QLayout>
#include <QPainter>
#include <QPaintEvent>
#include <QRadioButton>
#include <QResizeEvent>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace quolva::editor {
namespace {

// Parents first: each one's resize places its children before they get theirs. The old size is unknown,
// as in the resize events a widget gets when it is first shown.
void SendResizeEvents(QWidget& widget)
{
    QResizeEvent resized(widget.size(), QSize());
    QCoreApplication::sendEvent(&widget, &resized);
    for (QWidget* child : widget.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (!child->isWindow() && !child->isHidden())
            SendResizeEvents(*child);
}

} // namespace

void LayOutUnshown(QWidget& widget, QSize size)
{
    widget.resize(size);
    if (QLayout* layout = widget.layout())
        layout->activate();
    SendResizeEvents(widget);
}

PictureControl::PictureControl(QWidget* parent) : QWidget(parent)
{
    // The picture covers the control completely: no background to paint first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(0, 0);
}

void PictureControl::setPicture(const QImage& picture)
{
    picture_ = picture;
    takeSize();
}

void PictureControl::setPicture(QImage&& picture)
{
    picture_ = std::move(picture);
    takeSize();
}

void PictureControl::takeSize()
{
    if (!picture_.isNull() && picture_.size() != size()) {
        resize(picture_.size());
        emit pictureResized(picture_.size());
    }
    update();
}

void PictureControl::fill(const QColor& colour)
{
    if (picture_.isNull())
        return;
    picture_.fill(colour);
    update();
}

QSize PictureControl::sizeHint() const
{
    return picture_.isNull() ? QSize(0, 0) : picture_.size();
}

void PictureControl::paintEvent(QPaintEvent* event)
{
    if (picture_.isNull())
        return;
    QPainter painter(this);
    const QRect area = event->rect() & QRect(QPoint(0, 0), picture_.size());
    painter.drawImage(area.topLeft(), picture_, area);
}

RadioGroup::RadioGroup(const QString& title, const QStringList& items, QWidget* parent)
    : QGroupBox(title, parent), buttons_(new QButtonGroup(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 2, 4, 2);
    layout->setSpacing(0);
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items.at(i), this);
        buttons_->addButton(button, i);
        layout->addWidget(button);
    }
    connect(buttons_, &QButtonGroup::idClicked, this, &RadioGroup::clicked);
}

int RadioGroup::itemIndex() const
{
    return buttons_->checkedId();
}

void RadioGroup::setItemIndex(int index)
{
    if (QAbstractButton* button = buttons_->button(index))
        button->setChecked(true);
}

int RadioGroup::count() const
{
    return int(buttons_->buttons().size());
}

UpDown::UpDown(QWidget* parent) : QWidget(parent), up_(new QToolButton(this)), down_(new QToolButton(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (QToolButton* button : {up_, down_}) {
        button->setArrowType(button == up_ ? Qt::UpArrow : Qt::DownArrow);
        button->setAutoRepeat(true);
        button->setFixedSize(15, 10);
        layout->addWidget(button);
    }
    connect(up_, &QToolButton::clicked, this, [this] { step(1); });
    connect(down_, &QToolButton::clicked, this, [this] { step(-1); });
}

void UpDown::setRange(int minimum, int maximum)
{
    minimum_ = minimum;
    maximum_ = std::max(minimum, maximum);
    position_ = std::clamp(position_, minimum_, maximum_);
}

void UpDown::setPosition(int position)
{
    position_ = std::clamp(position, minimum_, maximum_);
}

void UpDown::step(int delta)
{
    const int moved = std::clamp(position_ + delta, minimum_, maximum_);
    if (moved == position_)
        return;
    position_ = moved;
    emit changing(position_);
}

} // namespace quolva::editor

#pragma once
// Small controls of the main window that Qt has no exact match for: an image control that sizes itself
// to its picture, a radio group with an item index, and an up-down pair of arrows.
#include <QGroupBox>
#include <QImage>
#include <QStringList>
#include <QWidget>

class QButtonGroup;
class QToolButton;

namespace quolva::editor {

// Lays out a widget that is not shown at `size` as it will be laid out when it is shown: its layout places
// its children and every widget in it that is not hidden gets its resize event, so that what is read from
// them (a memo's width, where its lines wrap) is what the user will see.
void LayOutUnshown(QWidget& widget, QSize size);

// An image control: holds a picture, sizes itself to it and paints it at its top-left corner. The
// windows draw on the picture (picture()) and call update() to show the change. With no picture it
// draws nothing and keeps its size.
class PictureControl : public QWidget {
    Q_OBJECT
public:
    explicit PictureControl(QWidget* parent = nullptr);

    // The picture becomes this control's, and the control takes its size.
    void setPicture(const QImage& picture);
    void setPicture(QImage&& picture);
    QImage& picture() { return picture_; }
    const QImage& picture() const { return picture_; }
    bool hasPicture() const { return !picture_.isNull(); }

    // Paints the whole picture in one colour, keeping its size (nothing without a picture).
    void fill(const QColor& colour);

    QSize sizeHint() const override;

signals:
    void pictureResized(QSize size);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void takeSize();

    QImage picture_;
};

// A group box of exclusive radio buttons, one per item, with the index of the checked one.
class RadioGroup : public QGroupBox {
    Q_OBJECT
public:
    RadioGroup(const QString& title, const QStringList& items, QWidget* parent = nullptr);

    int itemIndex() const;            // -1 when none is checked
    void setItemIndex(int index);
    int count() const;

signals:
    // The user checked an item.
    void clicked(int index);

private:
    QButtonGroup* buttons_;
};

// Two small arrow buttons that step a position within a range; the position is shown by the edit box
// the window pairs it with.
class UpDown : public QWidget {
    Q_OBJECT
public:
    explicit UpDown(QWidget* parent = nullptr);

    void setRange(int minimum, int maximum);
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    int position() const { return position_; }
    void setPosition(int position);

    QToolButton* upButton() const { return up_; }
    QToolButton* downButton() const { return down_; }

    // Steps by `delta` within the range; emits changing when the position moved.
    void step(int delta);

signals:
    void changing(int position);

private:
    QToolButton* up_;
    QToolButton* down_;
    int minimum_ = 0;
    int maximum_ = 100;
    int position_ = 0;
};

} // namespace quolva::editor

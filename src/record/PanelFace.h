#pragma once
#include <QColor>
#include <QImage>
#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QWidget>

#include <QCursor>

#include <array>
#include <map>

namespace quolva::record {

// The shapes of the recording panel, named as the panel's controls are.
enum class PanelShapeId {
    Shape1, // record button
    Shape2, // drag surface, under the buttons
    Shape3, // wizard button
    Shape4, // return-to-main-window button
    Shape5, // skin button
    Shape6, // stop button
    Shape7, // close box, over the close-box picture
};

// How a shape's brush or outline is combined with the picture beneath it.
enum class RasterMix { And, Or };

// One shape: a figure mixed into the skin picture, and the area in which it catches the mouse.
struct PanelShape {
    enum class Figure { Rectangle, Ellipse, RoundRect };

    PanelShapeId id;
    const char* name;
    QRect bounds; // in panel coordinates
    Figure figure;
    QColor brush;
    RasterMix brushMix;
    QColor outline; // invalid: no outline
    RasterMix outlineMix;
    QString hint;

    // Elliptic buttons catch the mouse inside their ellipse, the other shapes inside their rectangle.
    bool contains(QPoint point) const;
};

// The panel's face: the skin picture (Image1, stretched over 154 × 59), the close-box picture (Image5)
// and the shapes mixed over them, with the mouse behaviour of the shapes: the button cursors and hover
// tints, the drag of the panel by its surface, and the clicks that run the panel's commands.
class PanelFace : public QWidget {
    Q_OBJECT
public:
    explicit PanelFace(QWidget* panel);

    // Image1: the skin picture in use.
    void setPicture(const QPixmap& picture);
    const QPixmap& picture() const { return picture_; }

    const PanelShape& shape(PanelShapeId id) const;
    // The topmost shape under the point, or nullptr outside every shape.
    const PanelShape* shapeAt(QPoint point) const;

    // The face as it is drawn: the pictures with every shape mixed in.
    QImage composedFace() const;

    bool isDragging() const { return dragging_; }

    // The hover tints, for the brushes the pointer left behind.
    static const QColor kAqua;    // skin button under the pointer
    static const QColor kFuchsia; // close box under the pointer
    static const QColor kSilver;  // skin button once the pointer is back on the drag surface

signals:
    // The left button was released over a button shape (wizard, record, stop, return, close box).
    void buttonReleased(quolva::record::PanelShapeId id);
    // The left button was released over the skin button, at `globalPos`.
    void skinMenuRequested(QPoint globalPos);
    // The right button was released over the drag surface, at `globalPos`.
    void panelMenuRequested(QPoint globalPos);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    PanelShape& shapeRef(PanelShapeId id);
    void hover(const PanelShape& shape);
    void setBrush(PanelShapeId id, const QColor& colour);

    QPixmap picture_;
    QPixmap closeBox_;
    std::map<int, QCursor> cursors_; // the button cursors by id (55, 66, 77, 88), loaded once
    std::array<PanelShape, 7> shapes_; // in drawing order, bottom first
    const PanelShape* pressed_ = nullptr; // the shape that took the press gets the release
    bool dragging_ = false;
    QPoint pressPoint_; // in drag-surface coordinates
};

} // namespace quolva::record

#pragma once
// Where a monitor shared by a screen cast lies on the desktop, and how its stream's pixels relate to the
// desktop's: the stream holds the monitor alone, from its own (0, 0), at the monitor's scale.

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <functional>

namespace quolva::platform {

struct MonitorStream {
    QPoint position;  // the monitor's corner on the desktop, in screen pixels
    QSize size;       // its size, the same way
    QSize streamSize; // the size of its stream's pictures

    // Stream pixels per screen pixel (2 on a monitor scaled to 200 %).
    double scale() const;
    // A point of the stream (the pointer's, from its metadata) on the desktop.
    QPoint onDesktop(QPoint onStream) const;

    // Copies the desktop rectangle `rect` into `into` (Format_RGB32 of the rectangle's size): the monitor's
    // part through `copyFromStream` (which copies a rectangle of stream pixels into a picture of that
    // rectangle's size, where it lies on the stream), scaled to screen pixels; the rest black.
    using StreamCopy = std::function<void(const QRect& source, QImage& into)>;
    void grab(const QRect& rect, QImage& into, const StreamCopy& copyFromStream) const;
};

} // namespace quolva::platform

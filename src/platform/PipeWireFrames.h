#pragma once
// The latest picture of a PipeWire video stream (the desktop's screen cast), kept as it arrives on the
// stream's own thread. Frames come only when the screen changes: the last one stands until the next.

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

namespace quolva::platform {

class PipeWireFrames {
public:
    // Connects through `remoteFd` (a PipeWire remote the portal opened; taken over and closed here) to
    // the video stream of `node`. Throws std::runtime_error when PipeWire cannot be reached.
    PipeWireFrames(int remoteFd, std::uint32_t node);
    ~PipeWireFrames();
    PipeWireFrames(const PipeWireFrames&) = delete;
    PipeWireFrames& operator=(const PipeWireFrames&) = delete;

    // Waits for the first frame; false when none came in time or the stream failed (see failure()).
    bool waitForFirstFrame(std::chrono::milliseconds timeout);

    // The size of the latest frame, in stream pixels (empty before the first).
    QSize frameSize() const;
    // Copies the part of `source` (stream pixels) that lies on the latest frame into `into` (Format_RGB32),
    // at the same place relative to `source`'s corner; the rest of `into` is left as it is.
    void copy(const QRect& source, QImage& into) const;
    // Where the pointer's hot spot is, in stream pixels, as the stream's cursor metadata last said; none
    // before the compositor has told it, or while the pointer is off this stream.
    std::optional<QPoint> pointer() const;
    // Why the stream stopped, or an empty text while it runs.
    QString failure() const;

    struct Impl;

private:
    std::unique_ptr<Impl> d;
};

} // namespace quolva::platform

#pragma once
#include "editor/FrameReader.h"

#include <memory>

struct AVFrame;

namespace quolva::publish {

struct AvFrameFree {
    void operator()(AVFrame* frame) const;
};
using AvFramePtr = std::unique_ptr<AVFrame, AvFrameFree>;

// A movie frame's size: the recording's picture (`width` × `height`) in its top left corner, inside a frame
// of `codedWidth` × `codedHeight` (larger for an encoder that wants even sides; the rest is black).
struct Yuv420Size {
    int width = 0, height = 0;
    int codedWidth = 0, codedHeight = 0;
};

// A frame record decoded straight into the layout the H.264 and VP9 encoders take: yuv420p in the video
// range with the BT.601 matrix. The JPEG's own Y, Cb and Cr samples are moved into the video range, with no
// RGB picture in between; a frame of another size is cut or filled out with black, as the AVI export does.
// `reuse` is filled again when nobody else holds its pixels. A record that cannot be decoded is thrown as
// editor::RecordingError. Safe to call on several threads at once.
AvFramePtr DecodeToYuv420(const store::FrameRecord& record, const QString& frameStorePath, const Yuv420Size& size,
                          AvFramePtr reuse = {});

} // namespace quolva::publish

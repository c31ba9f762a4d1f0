#pragma once

namespace quolva::record {

// What the setup wizard decided, read by the frame grabber on every tick.
struct CaptureSettings {
    int width = 0;
    int height = 0;
    bool followCursor = false;
};

} // namespace quolva::record

#pragma once
// A System V shared memory segment attached to the X server (MIT-SHM), so that screen grabs land in our
// memory without passing through the X connection. Detached from both sides by the destructor.

#include <cstddef>
#include <cstdint>

struct xcb_connection_t;

namespace quolva::platform {

class ScreenShmSegment {
public:
    // Creates and attaches a segment of `bytes` bytes; throws std::runtime_error saying what failed.
    ScreenShmSegment(xcb_connection_t* connection, std::size_t bytes);
    ~ScreenShmSegment();
    ScreenShmSegment(const ScreenShmSegment&) = delete;
    ScreenShmSegment& operator=(const ScreenShmSegment&) = delete;

    std::uint32_t id() const { return m_segment; }  // the server's name of it (xcb_shm_seg_t)
    const std::uint8_t* data() const { return m_data; }
    std::size_t size() const { return m_size; }

private:
    xcb_connection_t* m_connection;
    std::uint32_t m_segment = 0;
    std::uint8_t* m_data = nullptr;
    std::size_t m_size = 0;
};

}  // namespace quolva::platform

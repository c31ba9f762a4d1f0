#include "platform/ScreenShmSegment.h"

#include <QCoreApplication>

#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <sys/ipc.h>
#include <sys/shm.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

namespace quolva::platform {

ScreenShmSegment::ScreenShmSegment(xcb_connection_t* connection, std::size_t bytes)
    : m_connection(connection), m_size(bytes)
{
    const int shmId = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (shmId < 0)
        throw std::runtime_error("Cannot create a shared memory segment of " + std::to_string(bytes) +
                                 " bytes for screen grabs: " + std::strerror(errno));
    void* address = shmat(shmId, nullptr, 0);
    if (address == reinterpret_cast<void*>(-1)) {
        const int error = errno;
        shmctl(shmId, IPC_RMID, nullptr);
        throw std::runtime_error(std::string("Cannot map the shared memory segment for screen grabs: ") +
                                 std::strerror(error));
    }
    m_data = static_cast<std::uint8_t*>(address);
    m_segment = xcb_generate_id(connection);
    xcb_generic_error_t* error = xcb_request_check(connection, xcb_shm_attach_checked(connection, m_segment, shmId, 0));
    // Marked for removal now that both sides hold it: the system frees it when both have let go, even if
    // this process dies.
    shmctl(shmId, IPC_RMID, nullptr);
    if (error) {
        const int code = error->error_code;
        std::free(error);
        shmdt(m_data);
        throw std::runtime_error("The X server refused to attach a shared memory segment (X error " +
                                 std::to_string(code) + "); it may be on another machine");
    }
}

ScreenShmSegment::~ScreenShmSegment()
{
    // Once the application is gone its X connection is closed, and the server has detached by itself.
    if (QCoreApplication::instance()) {
        xcb_shm_detach(m_connection, m_segment);
        xcb_flush(m_connection);
    }
    shmdt(m_data);
}

}  // namespace quolva::platform

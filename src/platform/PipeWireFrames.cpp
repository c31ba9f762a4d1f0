#include "platform/PipeWireFrames.h"

#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>
#include <spa/param/video/type-info.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <stdexcept>

#include <unistd.h>

namespace quolva::platform {

namespace {

// The largest pointer picture the compositor may attach to the cursor metadata.
constexpr int kLargestCursor = 384;

std::size_t cursorMetaSize(int side)
{
    return sizeof(spa_meta_cursor) + sizeof(spa_meta_bitmap) + std::size_t(side) * side * 4;
}

// One frame row in the stream's pixel format into Format_RGB32 (0xffRRGGBB in memory order B, G, R, A).
void convertRow(const std::uint8_t* in, std::uint32_t* out, int width, spa_video_format format)
{
    if (format == SPA_VIDEO_FORMAT_BGRx || format == SPA_VIDEO_FORMAT_BGRA) {
        const auto* words = reinterpret_cast<const std::uint32_t*>(in);
        for (int x = 0; x < width; ++x)
            out[x] = words[x] | 0xff000000u;
        return;
    }
    for (int x = 0; x < width; ++x, in += 4) // RGBx, RGBA
        out[x] = 0xff000000u | (std::uint32_t(in[0]) << 16) | (std::uint32_t(in[1]) << 8) | in[2];
}

} // namespace

struct PipeWireFrames::Impl {
    pw_thread_loop* loop = nullptr;
    pw_context* context = nullptr;
    pw_core* core = nullptr;
    pw_stream* stream = nullptr;
    spa_hook streamListener{};
    spa_video_info_raw format{};
    bool formatKnown = false;

    mutable std::mutex mutex; // guards what follows, written on the stream's thread
    std::condition_variable arrived;
    QImage latest;
    std::optional<QPoint> pointer;
    QString failure;

    static void onStateChanged(void* data, pw_stream_state, pw_stream_state state, const char* error)
    {
        auto* self = static_cast<Impl*>(data);
        if (state != PW_STREAM_STATE_ERROR && state != PW_STREAM_STATE_UNCONNECTED)
            return;
        const std::lock_guard lock(self->mutex);
        self->failure = state == PW_STREAM_STATE_ERROR
                            ? QStringLiteral("the screen cast stream failed: %1").arg(QString::fromUtf8(error ? error : "?"))
                            : QStringLiteral("the screen cast stream was closed by the desktop");
        self->arrived.notify_all();
    }

    static void onParamChanged(void* data, std::uint32_t id, const spa_pod* param)
    {
        auto* self = static_cast<Impl*>(data);
        if (!param || id != SPA_PARAM_Format || spa_format_video_raw_parse(param, &self->format) < 0)
            return;
        self->formatKnown = true;
        // Buffers in memory we can read, and the pointer as metadata beside each frame.
        std::uint8_t storage[1024];
        spa_pod_builder builder = SPA_POD_BUILDER_INIT(storage, sizeof(storage));
        const spa_pod* params[2];
        params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &builder, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_dataType,
            SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemPtr) | (1 << SPA_DATA_MemFd))));
        params[1] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &builder, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Cursor),
            SPA_PARAM_META_size,
            SPA_POD_CHOICE_RANGE_Int(int(cursorMetaSize(64)), int(cursorMetaSize(1)), int(cursorMetaSize(kLargestCursor)))));
        pw_stream_update_params(self->stream, params, 2);
    }

    static void onProcess(void* data)
    {
        auto* self = static_cast<Impl*>(data);
        pw_buffer* buffer = pw_stream_dequeue_buffer(self->stream);
        if (!buffer)
            return;
        spa_buffer* spa = buffer->buffer;
        const spa_data& plane = spa->datas[0];
        const auto* cursor = static_cast<const spa_meta_cursor*>(
            spa_buffer_find_meta_data(spa, SPA_META_Cursor, sizeof(spa_meta_cursor)));
        {
            const std::lock_guard lock(self->mutex);
            if (cursor && spa_meta_cursor_is_valid(cursor))
                self->pointer = QPoint(cursor->position.x, cursor->position.y);
            else if (cursor && cursor->id == SPA_ID_INVALID)
                self->pointer.reset();
        }
        const int width = int(self->format.size.width);
        const int height = int(self->format.size.height);
        if (self->formatKnown && plane.data && plane.chunk->size > 0 && width > 0 && height > 0) {
            // Converted outside the lock into a picture of our own, then swapped in.
            QImage frame(width, height, QImage::Format_RGB32);
            const auto* base = static_cast<const std::uint8_t*>(plane.data) + plane.chunk->offset;
            const int stride = plane.chunk->stride > 0 ? plane.chunk->stride : width * 4;
            for (int y = 0; y < height; ++y)
                convertRow(base + std::size_t(stride) * y, reinterpret_cast<std::uint32_t*>(frame.scanLine(y)), width,
                           self->format.format);
            const std::lock_guard lock(self->mutex);
            self->latest.swap(frame);
            self->arrived.notify_all();
        }
        pw_stream_queue_buffer(self->stream, buffer);
    }

    static constexpr pw_stream_events kEvents = [] {
        pw_stream_events events{};
        events.version = PW_VERSION_STREAM_EVENTS;
        events.state_changed = &Impl::onStateChanged;
        events.param_changed = &Impl::onParamChanged;
        events.process = &Impl::onProcess;
        return events;
    }();
};

PipeWireFrames::PipeWireFrames(int remoteFd, std::uint32_t node) : d(std::make_unique<Impl>())
{
    pw_init(nullptr, nullptr);
    d->loop = pw_thread_loop_new("quolva-screencast", nullptr);
    if (!d->loop) {
        ::close(remoteFd);
        throw std::runtime_error("PipeWire: cannot make the capture thread");
    }
    d->context = pw_context_new(pw_thread_loop_get_loop(d->loop), nullptr, 0);
    if (!d->context) {
        ::close(remoteFd);
        throw std::runtime_error("PipeWire: cannot make a context");
    }
    if (pw_thread_loop_start(d->loop) < 0) {
        ::close(remoteFd);
        throw std::runtime_error("PipeWire: cannot start the capture thread");
    }
    pw_thread_loop_lock(d->loop);
    d->core = pw_context_connect_fd(d->context, remoteFd, nullptr, 0); // owns the descriptor from here
    if (!d->core) {
        pw_thread_loop_unlock(d->loop);
        throw std::runtime_error("PipeWire: cannot connect to the screen cast's remote");
    }
    d->stream = pw_stream_new(d->core, "quolva-screen",
                              pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture",
                                                PW_KEY_MEDIA_ROLE, "Screen", nullptr));
    pw_stream_add_listener(d->stream, &d->streamListener, &Impl::kEvents, d.get());

    // Whatever size the compositor offers, in the 32-bit layouts it uses for screens.
    std::uint8_t storage[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(storage, sizeof(storage));
    const spa_rectangle defaultSize = SPA_RECTANGLE(1280, 720), smallest = SPA_RECTANGLE(1, 1),
                        largest = SPA_RECTANGLE(16384, 16384);
    const spa_fraction anyRate = SPA_FRACTION(0, 1), fastest = SPA_FRACTION(1000, 1);
    const spa_pod* params[1];
    params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &builder, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
        SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
        SPA_POD_CHOICE_ENUM_Id(5, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA,
                               SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA),
        SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&defaultSize, &smallest, &largest),
        SPA_FORMAT_VIDEO_framerate, SPA_POD_CHOICE_RANGE_Fraction(&anyRate, &anyRate, &fastest)));
    const int connected = pw_stream_connect(d->stream, PW_DIRECTION_INPUT, node,
                                            pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS),
                                            params, 1);
    pw_thread_loop_unlock(d->loop);
    if (connected < 0)
        throw std::runtime_error("PipeWire: cannot connect to the screen cast's stream");
}

PipeWireFrames::~PipeWireFrames()
{
    if (!d->loop)
        return;
    pw_thread_loop_stop(d->loop);
    if (d->stream)
        pw_stream_destroy(d->stream);
    if (d->core)
        pw_core_disconnect(d->core);
    if (d->context)
        pw_context_destroy(d->context);
    pw_thread_loop_destroy(d->loop);
}

bool PipeWireFrames::waitForFirstFrame(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(d->mutex);
    d->arrived.wait_for(lock, timeout, [this] { return !d->latest.isNull() || !d->failure.isEmpty(); });
    return !d->latest.isNull();
}

QSize PipeWireFrames::frameSize() const
{
    const std::lock_guard lock(d->mutex);
    return d->latest.size();
}

void PipeWireFrames::copy(const QRect& source, QImage& into) const
{
    const std::lock_guard lock(d->mutex);
    const QRect part = source.intersected(d->latest.rect());
    if (part.isEmpty())
        return;
    const QPoint at = part.topLeft() - source.topLeft();
    const std::size_t rowBytes = std::size_t(part.width()) * 4;
    for (int y = 0; y < part.height(); ++y)
        std::memcpy(reinterpret_cast<std::uint32_t*>(into.scanLine(at.y() + y)) + at.x(),
                    reinterpret_cast<const std::uint32_t*>(d->latest.constScanLine(part.top() + y)) + part.left(),
                    rowBytes);
}

std::optional<QPoint> PipeWireFrames::pointer() const
{
    const std::lock_guard lock(d->mutex);
    return d->pointer;
}

QString PipeWireFrames::failure() const
{
    const std::lock_guard lock(d->mutex);
    return d->failure;
}

} // namespace quolva::platform

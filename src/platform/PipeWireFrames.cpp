#include "platform/PipeWireFrames.h"

#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>
#include <spa/param/video/type-info.h>

#include <algorithm>
#include <condition_variable>
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
    // The latest picture stays in the stream's own buffer, held back from the compositor until the next
    // one arrives: a picture is converted only where and when it is grabbed, not each time it comes.
    pw_buffer* held = nullptr;
    QSize heldSize;
    spa_video_format heldFormat = SPA_VIDEO_FORMAT_BGRx;
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

    static bool holdsPicture(const pw_buffer* buffer)
    {
        const spa_data& plane = buffer->buffer->datas[0];
        return plane.data && plane.chunk->size > 0;
    }

    static void onProcess(void* data)
    {
        auto* self = static_cast<Impl*>(data);
        // Of what queued up since the last call, the newest picture is held; the rest goes straight back.
        // Every buffer may carry the pointer's news, a picture or not.
        pw_buffer* newestPicture = nullptr;
        std::optional<std::optional<QPoint>> pointerNews;
        const bool sized = self->formatKnown && self->format.size.width > 0 && self->format.size.height > 0;
        while (pw_buffer* buffer = pw_stream_dequeue_buffer(self->stream)) {
            const auto* cursor = static_cast<const spa_meta_cursor*>(
                spa_buffer_find_meta_data(buffer->buffer, SPA_META_Cursor, sizeof(spa_meta_cursor)));
            if (cursor && spa_meta_cursor_is_valid(cursor))
                pointerNews = QPoint(cursor->position.x, cursor->position.y);
            else if (cursor && cursor->id == SPA_ID_INVALID)
                pointerNews = std::optional<QPoint>();
            if (!sized || !holdsPicture(buffer)) {
                self->giveBack(buffer);
                continue;
            }
            if (newestPicture)
                self->giveBack(newestPicture);
            newestPicture = buffer;
        }
        pw_buffer* released = nullptr;
        {
            const std::lock_guard lock(self->mutex);
            if (pointerNews)
                self->pointer = *pointerNews;
            if (newestPicture) {
                released = self->held;
                self->held = newestPicture;
                self->heldSize = QSize(int(self->format.size.width), int(self->format.size.height));
                self->heldFormat = self->format.format;
                self->arrived.notify_all();
            }
        }
        if (released)
            self->giveBack(released);
    }

    void giveBack(pw_buffer* buffer) { pw_stream_queue_buffer(stream, buffer); }

    // The stream takes its buffers away when the picture's size or format changes.
    static void onRemoveBuffer(void* data, pw_buffer* buffer)
    {
        auto* self = static_cast<Impl*>(data);
        const std::lock_guard lock(self->mutex);
        if (self->held == buffer)
            self->held = nullptr;
    }

    // One row of the held picture into Format_RGB32; under the mutex.
    void copyRow(int y, int x, int width, std::uint32_t* out) const
    {
        const spa_data& plane = held->buffer->datas[0];
        const int stride = plane.chunk->stride > 0 ? plane.chunk->stride : heldSize.width() * 4;
        const auto* row = static_cast<const std::uint8_t*>(plane.data) + plane.chunk->offset + std::size_t(stride) * y;
        convertRow(row + std::size_t(x) * 4, out, width, heldFormat);
    }

    static constexpr pw_stream_events kEvents = [] {
        pw_stream_events events{};
        events.version = PW_VERSION_STREAM_EVENTS;
        events.state_changed = &Impl::onStateChanged;
        events.param_changed = &Impl::onParamChanged;
        events.process = &Impl::onProcess;
        events.remove_buffer = &Impl::onRemoveBuffer;
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
    if (d->held && d->stream)
        d->giveBack(d->held);
    d->held = nullptr;
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
    d->arrived.wait_for(lock, timeout, [this] { return d->held || !d->failure.isEmpty(); });
    return d->held != nullptr;
}

QSize PipeWireFrames::frameSize() const
{
    const std::lock_guard lock(d->mutex);
    return d->held ? d->heldSize : QSize();
}

void PipeWireFrames::copy(const QRect& source, QImage& into) const
{
    const std::lock_guard lock(d->mutex);
    if (!d->held)
        return;
    const QRect part = source.intersected(QRect(QPoint(0, 0), d->heldSize));
    if (part.isEmpty())
        return;
    const QPoint at = part.topLeft() - source.topLeft();
    for (int y = 0; y < part.height(); ++y)
        d->copyRow(part.top() + y, part.left(), part.width(),
                   reinterpret_cast<std::uint32_t*>(into.scanLine(at.y() + y)) + at.x());
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

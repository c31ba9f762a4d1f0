#include "platform/Screen.h"

#include "platform/MonitorStream.h"
#include "platform/PipeWireFrames.h"
#include "platform/ScreenCastPortal.h"
#include "platform/ScreenShmSegment.h"
#include "platform/ScreenX11.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QSettings>

#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

namespace quolva::platform {

namespace {

template <typename T>
struct FreeReply {
    void operator()(T* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeReply<T>>;

// True when the root window's pixels are 32-bit little-endian XRGB, which is QImage::Format_RGB32 on this
// machine; other layouts (16-bit, big-endian servers) go through Qt's grab, which converts.
bool rootIsXrgb32(xcb_connection_t* c, const xcb_screen_t* screen)
{
    if (Q_BYTE_ORDER != Q_LITTLE_ENDIAN)
        return false;
    const xcb_setup_t* setup = xcb_get_setup(c);
    if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST)
        return false;
    bool format32 = false;
    for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f)) {
        if (f.data->depth == screen->root_depth)
            format32 = f.data->bits_per_pixel == 32 && f.data->scanline_pad == 32;
    }
    if (!format32)
        return false;
    for (auto d = xcb_screen_allowed_depths_iterator(screen); d.rem; xcb_depth_next(&d)) {
        for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v)) {
            if (v.data->visual_id == screen->root_visual)
                return v.data->red_mask == 0xff0000 && v.data->green_mask == 0xff00 && v.data->blue_mask == 0xff;
        }
    }
    return false;
}

bool serverHasShm(xcb_connection_t* c)
{
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_shm_id);
    if (!ext || !ext->present)
        return false;
    Reply<xcb_shm_query_version_reply_t> version(xcb_shm_query_version_reply(c, xcb_shm_query_version(c), nullptr));
    return version != nullptr;
}

// Copies XRGB rows into the image, setting the unused byte to 0xff as Format_RGB32 wants it.
void copyXrgbRows(const std::uint8_t* src, int width, int height, QImage& into, QPoint at)
{
    const std::size_t srcStride = static_cast<std::size_t>(width) * 4;
    for (int y = 0; y < height; ++y) {
        const auto* in = reinterpret_cast<const std::uint32_t*>(src + srcStride * static_cast<std::size_t>(y));
        auto* out = reinterpret_cast<std::uint32_t*>(into.scanLine(at.y() + y)) + at.x();
        for (int x = 0; x < width; ++x)
            out[x] = in[x] | 0xff000000u;
    }
}

[[noreturn]] void xFailure(const char* what, xcb_generic_error_t* error)
{
    const int code = error ? error->error_code : 0;
    std::free(error);
    throw std::runtime_error(std::string("Screen grab failed: ") + what + " (X error " + std::to_string(code) + ")");
}

// The approval of the screen cast the user asked the desktop to remember, kept with the program's
// settings so that later recordings start without asking.
QSettings programSettings()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quolvaer"), QStringLiteral("cg"));
}
const QString kScreenCastToken = QStringLiteral("screencast_token");

// How long the desktop's chooser may wait for the user before the recording's start gives up.
constexpr std::chrono::seconds kChooserWait(60);
constexpr std::chrono::seconds kFirstFrameWait(5);

bool waylandSession()
{
    return qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland")
           || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

}  // namespace

// A screen cast of one monitor: the portal's session and the stream's latest frame.
struct ScreenCast {
    std::unique_ptr<ScreenCastPortal> portal;
    ScreenCastPortal::Cast cast;
    std::unique_ptr<PipeWireFrames> frames;

    ScreenCast()
    {
        QSettings settings = programSettings();
        const QString token = settings.value(kScreenCastToken).toString();
        // QUOLVA_SCREENCAST_WAIT_SECONDS shortens the wait for tests that leave the chooser unanswered.
        const int waitSeconds = qEnvironmentVariableIntValue("QUOLVA_SCREENCAST_WAIT_SECONDS");
        const std::chrono::milliseconds wait = waitSeconds > 0 ? std::chrono::seconds(waitSeconds) : kChooserWait;
        portal = std::make_unique<ScreenCastPortal>(token, wait);
        cast = portal->takeCast();
        if (!cast.restoreToken.isEmpty()) {
            settings.setValue(kScreenCastToken, cast.restoreToken);
            settings.sync();
        }
        frames = std::make_unique<PipeWireFrames>(cast.pipeWireFd, cast.node);
        if (!frames->waitForFirstFrame(kFirstFrameWait)) {
            const QString why = frames->failure();
            throw std::runtime_error(qPrintable(why.isEmpty() ? QStringLiteral("the screen cast sent no picture") : why));
        }
    }

    // The monitor on the desktop (as XWayland places windows) and its stream's pixels.
    MonitorStream monitor() const { return {cast.position, cast.size, frames->frameSize()}; }
};

struct Screen::Impl {
    GrabMethod method = GrabMethod::QtScreen;
    std::unique_ptr<ScreenCast> screenCast;
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = 0;
    std::unique_ptr<ScreenShmSegment> shm;

    QRect rootRect() const
    {
        Reply<xcb_get_geometry_reply_t> g(xcb_get_geometry_reply(connection, xcb_get_geometry(connection, root), nullptr));
        return g ? QRect(0, 0, g->width, g->height) : QRect();
    }

    std::size_t rootBytes() const
    {
        const QRect r = rootRect();
        return std::max<std::size_t>(static_cast<std::size_t>(r.width()) * static_cast<std::size_t>(r.height()) * 4, 4096);
    }

    void ensureShm(std::size_t bytes)
    {
        if (shm && shm->size() >= bytes)
            return;
        shm.reset();
        shm = std::make_unique<ScreenShmSegment>(connection, bytes);
    }

    void grabShm(const QRect& src, QImage& into, QPoint at)
    {
        ensureShm(static_cast<std::size_t>(src.width()) * static_cast<std::size_t>(src.height()) * 4);
        xcb_generic_error_t* error = nullptr;
        Reply<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(
            connection,
            xcb_shm_get_image(connection, root, static_cast<std::int16_t>(src.x()), static_cast<std::int16_t>(src.y()),
                              static_cast<std::uint16_t>(src.width()), static_cast<std::uint16_t>(src.height()),
                              ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, shm->id(), 0),
            &error));
        if (!reply)
            xFailure("MIT-SHM GetImage", error);
        copyXrgbRows(shm->data(), src.width(), src.height(), into, at);
    }

    void grabGetImage(const QRect& src, QImage& into, QPoint at)
    {
        xcb_generic_error_t* error = nullptr;
        Reply<xcb_get_image_reply_t> reply(xcb_get_image_reply(
            connection,
            xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, root, static_cast<std::int16_t>(src.x()),
                          static_cast<std::int16_t>(src.y()), static_cast<std::uint16_t>(src.width()),
                          static_cast<std::uint16_t>(src.height()), ~0u),
            &error));
        if (!reply)
            xFailure("GetImage", error);
        const auto needed = static_cast<std::size_t>(src.width()) * static_cast<std::size_t>(src.height()) * 4;
        if (static_cast<std::size_t>(xcb_get_image_data_length(reply.get())) < needed)
            throw std::runtime_error("Screen grab failed: GetImage returned fewer pixels than asked for");
        copyXrgbRows(xcb_get_image_data(reply.get()), src.width(), src.height(), into, at);
    }

    // Qt's grab takes the window system's units; the rectangle is in screen pixels.
    void grabQt(const QRect& rect, QImage& into)
    {
        QScreen* screen = QGuiApplication::primaryScreen();
        if (!screen)
            throw std::runtime_error("Screen grab failed: there is no screen");
        const qreal scale = screen->devicePixelRatio();
        const QRect geometry(QPoint(0, 0), (QSizeF(screen->geometry().size()) * scale).toSize());
        const QRect src = rect & geometry;
        if (src != rect)
            into.fill(Qt::black);
        if (src.isEmpty())
            return;
        const QRectF logical(QPointF(src.topLeft()) / scale, QSizeF(src.size()) / scale);
        QPixmap pixels = screen->grabWindow(0, qRound(logical.x()), qRound(logical.y()), qRound(logical.width()),
                                            qRound(logical.height()));
        pixels.setDevicePixelRatio(1.0);
        QPainter painter(&into);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawPixmap(QRect(src.topLeft() - rect.topLeft(), src.size()), pixels);
    }
};

Screen::Screen(GrabMethod method) : d(std::make_unique<Impl>())
{
    if (!qGuiApp)
        throw std::runtime_error("The screen services need a running QGuiApplication");
    d->connection = qtX11Connection();
    const xcb_screen_t* xscreen = d->connection ? defaultXScreen(d->connection) : nullptr;
    const bool xUsable = xscreen && rootIsXrgb32(d->connection, xscreen);
    if (xscreen)
        d->root = xscreen->root;

    switch (method) {
    case GrabMethod::Automatic:
        d->method = !xUsable ? GrabMethod::QtScreen : GrabMethod::XcbGetImage;
        if (xUsable && serverHasShm(d->connection)) {
            // The segment is made now, for the whole screen, so that a server that cannot share memory
            // with us (one on another machine) is found out before the first grab.
            try {
                d->ensureShm(d->rootBytes());
                d->method = GrabMethod::XcbShm;
            } catch (const std::runtime_error&) {
            }
        }
        break;
    case GrabMethod::XcbShm:
        if (!xUsable || !serverHasShm(d->connection))
            throw std::runtime_error("MIT-SHM screen grabs are not available on this display");
        d->ensureShm(d->rootBytes());
        d->method = method;
        break;
    case GrabMethod::XcbGetImage:
        if (!xUsable)
            throw std::runtime_error("X11 screen grabs are not available on this display");
        d->method = method;
        break;
    case GrabMethod::QtScreen:
        d->method = method;
        break;
    case GrabMethod::Portal:
        d->screenCast = std::make_unique<ScreenCast>();
        d->method = method;
        break;
    }
}

Screen::GrabMethod Screen::recordingMethod()
{
    const QString forced = qEnvironmentVariable("QUOLVA_CAPTURE");
    if (forced == QLatin1String("portal"))
        return GrabMethod::Portal;
    if (forced == QLatin1String("x11"))
        return GrabMethod::Automatic;
    return waylandSession() && ScreenCastPortal::available() ? GrabMethod::Portal : GrabMethod::Automatic;
}

Screen::~Screen() = default;

Screen::GrabMethod Screen::method() const
{
    return d->method;
}

const char* Screen::methodName(GrabMethod method)
{
    switch (method) {
    case GrabMethod::Automatic: return "automatic";
    case GrabMethod::XcbShm: return "X11 MIT-SHM";
    case GrabMethod::XcbGetImage: return "X11 GetImage";
    case GrabMethod::QtScreen: return "QScreen::grabWindow";
    case GrabMethod::Portal: return "screen cast portal";
    }
    return "?";
}

QPoint Screen::getCursorPos() const
{
    // On a Wayland desktop only the screen cast sees the pointer over every window.
    if (d->screenCast) {
        if (const std::optional<QPoint> onStream = d->screenCast->frames->pointer())
            return d->screenCast->monitor().onDesktop(*onStream);
    }
    if (d->connection && d->root) {
        Reply<xcb_query_pointer_reply_t> p(
            xcb_query_pointer_reply(d->connection, xcb_query_pointer(d->connection, d->root), nullptr));
        if (p)
            return {p->root_x, p->root_y};
    }
    const QScreen* screen = QGuiApplication::primaryScreen();
    return (QPointF(QCursor::pos()) * (screen ? screen->devicePixelRatio() : 1.0)).toPoint();
}

QSize Screen::size() const
{
    if (d->screenCast)
        return d->screenCast->cast.size;
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? (QSizeF(screen->geometry().size()) * screen->devicePixelRatio()).toSize() : QSize();
}

void Screen::grab(const QRect& rect, QImage& into)
{
    if (rect.width() <= 0 || rect.height() <= 0)
        throw std::runtime_error("Screen grab failed: empty rectangle");
    if (into.size() != rect.size() || into.format() != QImage::Format_RGB32)
        into = QImage(rect.size(), QImage::Format_RGB32);
    if (into.isNull())
        throw std::runtime_error("Screen grab failed: no memory for a " + std::to_string(rect.width()) + "x" +
                                 std::to_string(rect.height()) + " image");

    if (d->method == GrabMethod::QtScreen) {
        d->grabQt(rect, into);
        return;
    }
    if (d->screenCast) {
        const PipeWireFrames& frames = *d->screenCast->frames;
        d->screenCast->monitor().grab(rect, into, [&frames](const QRect& source, QImage& part) { frames.copy(source, part); });
        return;
    }
    const QRect src = rect & d->rootRect();
    if (src != rect)
        into.fill(Qt::black);
    if (src.isEmpty())
        return;
    const QPoint at = src.topLeft() - rect.topLeft();
    if (d->method == GrabMethod::XcbShm)
        d->grabShm(src, into, at);
    else
        d->grabGetImage(src, into, at);
}

}  // namespace quolva::platform

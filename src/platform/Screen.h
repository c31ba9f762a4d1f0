#pragma once
// The screen as the recorder sees it: where the pointer is, how large the screen is, and a copy of any
// rectangle of it as it shows at this moment (other programs' windows included, the pointer never).

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <memory>

namespace quolva::platform {

class Screen {
public:
    enum class GrabMethod {
        Automatic,    // the fastest one available
        XcbShm,       // X11 MIT-SHM: the server writes into memory shared with us
        XcbGetImage,  // X11 GetImage: the pixels travel through the X connection
        QtScreen,     // QScreen::grabWindow: the only way without an X connection (offscreen)
        Portal,       // the desktop's screen cast portal (Wayland): the latest frame of one monitor's stream
    };

    // How a recording reads the screen: QUOLVA_CAPTURE=x11 or =portal when set; otherwise the portal in a
    // Wayland session whose desktop offers it (X11 grabs there see only X11 windows), X11 elsewhere.
    static GrabMethod recordingMethod();

    // Needs a QGuiApplication, and must be destroyed before it. Automatic takes MIT-SHM where the X
    // server grants it, GetImage on other X servers, Qt's grab without X. Asking for an X method that is
    // not available throws std::runtime_error. Portal starts a screen cast of the monitor (the desktop
    // may ask the user first; the approval is remembered in the program's settings) and throws
    // ScreenCastRefused when the user refuses, std::runtime_error when it cannot start.
    explicit Screen(GrabMethod method = GrabMethod::Automatic);
    ~Screen();
    Screen(const Screen&) = delete;
    Screen& operator=(const Screen&) = delete;

    GrabMethod method() const;
    static const char* methodName(GrabMethod method);

    // Everything here is in screen pixels, also where a scale factor makes Qt's own units larger.
    // GetCursorPos: the pointer's position in screen coordinates.
    QPoint getCursorPos() const;
    // The primary screen's size, the one maximised windows fill.
    QSize size() const;

    // Copies the screen rectangle into `into`, which becomes Format_RGB32 of the rectangle's size. An image
    // that already has that size and format (and is not shared) is reused without allocating. Parts of the
    // rectangle beyond the screen come out black. Throws std::runtime_error when the X server refuses.
    void grab(const QRect& rect, QImage& into);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

}  // namespace quolva::platform

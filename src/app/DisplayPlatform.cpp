#include "app/DisplayPlatform.h"

#include <QtGlobal>

#include <xcb/xcb.h>

namespace quolva::app {

DisplayChoice chooseDisplayPlatform()
{
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        return DisplayChoice::AsIs;
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return DisplayChoice::NoDisplay; // Wayland without XWayland has no X11 screen to record either
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return DisplayChoice::AsIs;
    qputenv("QT_QPA_PLATFORM", "xcb");
    return DisplayChoice::XWayland;
}

QString unreachableXDisplay()
{
    const QString qpa = qEnvironmentVariable("QT_QPA_PLATFORM");
    if (!qpa.isEmpty() && !qpa.startsWith(QLatin1String("xcb")))
        return {};
    xcb_connection_t* probe = xcb_connect(nullptr, nullptr);
    const bool reached = xcb_connection_has_error(probe) == 0;
    xcb_disconnect(probe);
    if (reached)
        return {};
    return QStringLiteral("cannot connect to the X display \"%1\"").arg(qEnvironmentVariable("DISPLAY"));
}

QString xwaylandNote()
{
    return QStringLiteral("当前为 Wayland 桌面，本程序经 XWayland 运行：只能录制 X11 程序的窗口，"
                          "Wayland 程序的窗口在录像中显示为空白。");
}

QString screenCastNote()
{
    return QStringLiteral("当前为 Wayland 桌面，录制经桌面的屏幕共享进行：第一次录制时桌面会询问要共享的屏幕。"
                          "快捷键 Shift+↑ / Shift+↓ 只在本程序的窗口处于活动状态时有效。");
}

} // namespace quolva::app

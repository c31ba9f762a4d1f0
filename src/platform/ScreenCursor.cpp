#include "platform/ScreenCursor.h"

#include <QGuiApplication>

namespace quolva::platform {

void setScreenCursor(const QCursor& cursor)
{
    if (QGuiApplication::overrideCursor())
        QGuiApplication::changeOverrideCursor(cursor);
    else
        QGuiApplication::setOverrideCursor(cursor);
}

void resetScreenCursor()
{
    while (QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
}

} // namespace quolva::platform

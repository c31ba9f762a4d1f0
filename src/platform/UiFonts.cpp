#include "platform/UiFonts.h"

#include <QStringList>

namespace quolva::platform {

QFont interfaceFont(const QString& family, int pixelSize, bool bold)
{
    QFont font;
    font.setFamilies({family, QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC")});
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

} // namespace quolva::platform

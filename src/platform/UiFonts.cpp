#include "platform/UiFonts.h"

#include <QFontDatabase>
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

QStringList screenFontFamilies()
{
    QStringList families;
    for (const QString& family : QFontDatabase::families()) {
        if (!QFontDatabase::isPrivateFamily(family))
            families << family;
    }
    families.sort(Qt::CaseInsensitive);
    return families;
}

} // namespace quolva::platform

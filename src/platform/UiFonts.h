#pragma once
#include <QFont>
#include <QString>
#include <QStringList>

namespace quolva::platform {

// A font of the interface by its Windows family name ("宋体", "华文新魏"), falling back to an installed CJK
// font when the family is missing, so that the Chinese texts always render.
QFont interfaceFont(const QString& family, int pixelSize, bool bold = false);

// The font families installed for the screen, as a font chooser lists them (sorted, without the
// private families of the system).
QStringList screenFontFamilies();

} // namespace quolva::platform

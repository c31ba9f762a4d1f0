#pragma once
#include <QFont>
#include <QString>

namespace quolva::platform {

// A font of the interface by its Windows family name ("宋体", "华文新魏"), falling back to an installed CJK
// font when the family is missing, so that the Chinese texts always render.
QFont interfaceFont(const QString& family, int pixelSize, bool bold = false);

} // namespace quolva::platform

#include "record/SkinSetting.h"

#include "store/DecimalText.h"

#include <QSettings>

namespace quolva::record {
namespace {

const QString kValueName = QStringLiteral("via");

} // namespace

std::optional<int> SkinSetting::Load()
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quolvaer"), QStringLiteral("cg"));
    if (!settings.contains(kValueName)) {
        settings.setValue(kValueName, QStringLiteral("4"));
        settings.sync();
        return std::nullopt;
    }
    // The value is read into a buffer of two characters: a longer text is cut to its first two.
    const QByteArray text = settings.value(kValueName).toString().toUtf8().left(2);
    return store::ParseDecimalInt32(text.toStdString(), "the panel's skin setting \"via\"");
}

void SkinSetting::Save(int skin)
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quolvaer"), QStringLiteral("cg"));
    settings.setValue(kValueName, QString::number(skin));
    settings.sync();
}

} // namespace quolva::record

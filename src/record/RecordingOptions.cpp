#include "record/RecordingOptions.h"

#include <QSettings>

#include <algorithm>
#include <cmath>

namespace quolva::record {
namespace {

const QString kFrameRateName = QStringLiteral("fps");
const QString kClicksName = QStringLiteral("clicks");
const QString kKeysName = QStringLiteral("keys");

QSettings programSettings()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quolvaer"), QStringLiteral("cg"));
}

} // namespace

int RecordingOptions::tickInterval() const
{
    return static_cast<int>(std::lround(1000.0 / framesPerSecond));
}

bool RecordingOptions::isFrameRate(int framesPerSecond)
{
    return std::find(kFrameRates.begin(), kFrameRates.end(), framesPerSecond) != kFrameRates.end();
}

RecordingOptions RecordingOptions::Load()
{
    RecordingOptions options;
    const QSettings settings = programSettings();
    bool ok = false;
    const int rate = settings.value(kFrameRateName).toInt(&ok);
    if (ok && isFrameRate(rate))
        options.framesPerSecond = rate;
    options.showClicks = settings.value(kClicksName, false).toBool();
    options.showKeys = settings.value(kKeysName, false).toBool();
    return options;
}

void RecordingOptions::Save() const
{
    QSettings settings = programSettings();
    settings.setValue(kFrameRateName, framesPerSecond);
    settings.setValue(kClicksName, showClicks);
    settings.setValue(kKeysName, showKeys);
    settings.sync();
}

} // namespace quolva::record

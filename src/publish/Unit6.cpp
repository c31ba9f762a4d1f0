#include "publish/Unit6.h"

#include "app/WindowSet.h"
#include "editor/Etool.h"
#include "platform/UiFonts.h"
#include "platform/WindowPlacement.h"

namespace quolva::publish {

TForm6::TForm6(app::WindowSet& windows) : windows_(windows)
{
    setObjectName(QStringLiteral("Form6"));
    setWindowTitle(QStringLiteral("发布所录AVI文件"));
    platform::applyDialogBorder(*this, QSize(271, 330), /*alwaysOnTop=*/true);
    setFont(platform::interfaceFont(QStringLiteral("宋体"), 13));
}

void TForm6::Button5Click()
{
    const editor::PublishHandOver handOver = windows_.Form7().recording().HandOver();
    frameStorePath = handOver.frameStorePath;
    frameCount = handOver.frameCount;
    soundLength = handOver.soundLength;
    soundRate = handOver.soundRate;
}

void TForm6::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    platform::centreOnDesktop(*this);
}

} // namespace quolva::publish

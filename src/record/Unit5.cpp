#include "record/Unit5.h"

#include "platform/UiFonts.h"
#include "platform/WindowPlacement.h"

namespace quolva::record {

TForm5::TForm5(app::WindowSet& /*windows*/)
{
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(QStringLiteral("捕捉设置向导"));
    platform::applyDialogBorder(*this, QSize(307, 205), /*alwaysOnTop=*/true);
    setFont(platform::interfaceFont(QStringLiteral("宋体"), 13));
}

void TForm5::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    platform::centreOnDesktop(*this);
}

} // namespace quolva::record

#include "record/Unit2.h"

namespace quolva::record {

TForm2::TForm2(app::WindowSet& /*windows*/)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("取景窗口"));
    setWindowFlags(Qt::Window | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint | Qt::WindowTitleHint
                   | Qt::CustomizeWindowHint);
    move(304, 413);
    resize(325, 261);
}

} // namespace quolva::record

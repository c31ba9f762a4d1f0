#include "record/Unit1.h"

#include "app/HelpFile.h"
#include "app/Unit8.h"
#include "app/WindowSet.h"

#include <QGuiApplication>
#include <QScreen>

namespace quolva::record {

TForm1::TForm1(app::WindowSet& windows) : windows_(windows)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setFixedSize(154, 60);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize size = screen->size();
        move(size.width() - 230, size.height() - 140);
    }
}

void TForm1::N1Click()
{
    app::openHelpFile(this);
}

void TForm1::N2Click()
{
    windows_.Form8().show();
}

} // namespace quolva::record

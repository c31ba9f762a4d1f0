#include "app/Unit8.h"

#include "app/Artwork.h"
#include "platform/Failures.h"
#include "platform/ScreenCursor.h"
#include "platform/UiFonts.h"
#include "platform/WindowPlacement.h"

#include <QLabel>
#include <QToolButton>

namespace quolva::app {

TForm8::TForm8(WindowSet& /*windows*/)
{
    setObjectName(QStringLiteral("Form8"));
    setWindowTitle(QStringLiteral("关于"));
    platform::applyDialogBorder(*this, QSize(317, 216), /*alwaysOnTop=*/true);
    setModal(false);
    setAutoFillBackground(true);
    QPalette blue = palette();
    blue.setColor(QPalette::Window, QColor(0, 0, 255));
    setPalette(blue);
    setMouseTracking(true);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(317 - 113, 0, 113, 216);
    Image1->setScaledContents(true);
    Image1->setPixmap(aboutPicture());

    Image2 = new QLabel(this);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setGeometry(24, 16, 32, 32);
    Image2->setAttribute(Qt::WA_TranslucentBackground);
    Image2->setPixmap(programIcon());

    Label2 = new QLabel(QStringLiteral("Quolva V4.1"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setFont(platform::interfaceFont(QStringLiteral("华文新魏"), 32, /*bold=*/true));
    QPalette silver = Label2->palette();
    silver.setColor(QPalette::WindowText, QColor(192, 192, 192));
    Label2->setPalette(silver);
    Label2->move(40, 56);
    Label2->adjustSize();

    SpeedButton1 = new QToolButton(this);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setText(QStringLiteral("关闭"));
    SpeedButton1->setToolTip(QStringLiteral("关闭"));
    SpeedButton1->setGeometry(120, 160, 57, 25);
    connect(SpeedButton1, &QToolButton::clicked, this, platform::guarded([this] { SpeedButton1Click(); }));

    for (QWidget* child : findChildren<QWidget*>())
        child->setMouseTracking(true);
}

void TForm8::SpeedButton1Click()
{
    close();
}

void TForm8::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    platform::centreOnDesktop(*this);
}

void TForm8::mouseMoveEvent(QMouseEvent* event)
{
    platform::resetScreenCursor();
    QDialog::mouseMoveEvent(event);
}

} // namespace quolva::app

#include "editor/Etool.h"

#include "app/Artwork.h"
#include "app/WindowSet.h"
#include "platform/Failures.h"
#include "platform/WindowPlacement.h"
#include "record/Unit1.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>

namespace quolva::editor {

TForm7::TForm7(app::WindowSet& windows) : windows_(windows)
{
    setObjectName(QStringLiteral("Form7"));
    setWindowTitle(QStringLiteral("Quolva 4.1"));
    setWindowIcon(QIcon(app::programIcon()));
    resize(854, 624);
    platform::centreOnDesktop(*this);

    ToolBar4 = addToolBar(QStringLiteral("ToolBar4"));
    ToolBar4->setObjectName(QStringLiteral("ToolBar4"));
    ToolBar4->setMovable(false);

    helpMenu = new QMenu(QStringLiteral("帮助"), this);
    helpMenu->setObjectName(QStringLiteral("helpMenu"));
    N18 = helpMenu->addAction(QStringLiteral("关于(&a)..."));
    N18->setObjectName(QStringLiteral("N18"));
    N19 = helpMenu->addAction(QStringLiteral("帮助文件(&h)"));
    N19->setObjectName(QStringLiteral("N19"));
    connect(N18, &QAction::triggered, this, platform::guarded([this] { N18Click(); }));
    connect(N19, &QAction::triggered, this, platform::guarded([this] { N19Click(); }));

    auto* helpButton = new QToolButton(ToolBar4);
    helpButton->setText(helpMenu->title());
    helpButton->setMenu(helpMenu);
    helpButton->setPopupMode(QToolButton::InstantPopup);
    helpButton->setAutoRaise(true);
    ToolBar4->addWidget(helpButton);
}

// Help menu items run the recording panel's own commands.
void TForm7::N18Click()
{
    windows_.Form1().N2Click();
}

void TForm7::N19Click()
{
    windows_.Form1().N1Click();
}

void TForm7::ToolButton12Click()
{
    if (!recording_.Close())
        return;
    setWindowTitle(QStringLiteral("Quolva 4.1"));
}

void TForm7::ShowPicture(const QImage& picture)
{
    pictureOnView_ = picture;
}

void TForm7::FormClose()
{
    windows_.Form1().FinishBeforeExit();
}

void TForm7::closeEvent(QCloseEvent* event)
{
    platform::runGuarded([this] { FormClose(); });
    event->accept();
    QCoreApplication::quit();
}

} // namespace quolva::editor

#include "record/Unit1.h"

#include "app/HelpFile.h"
#include "app/Unit8.h"
#include "app/WindowSet.h"
#include "editor/Etool.h"
#include "platform/UiFonts.h"
#include "record/Recorder.h"
#include "record/Unit2.h"

#include <QGuiApplication>
#include <QLabel>
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

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(platform::interfaceFont(QStringLiteral("宋体"), 12));
    QPalette lime = Label1->palette();
    lime.setColor(QPalette::WindowText, QColor(0, 255, 0));
    Label1->setPalette(lime);
    Label1->setAlignment(Qt::AlignRight | Qt::AlignTop);
    Label1->setGeometry(145 - 80, 36, 80, 16);
}

TForm1::~TForm1() = default;

Recorder& TForm1::recorder()
{
    if (!recorder_) {
        recorder_ = std::make_unique<Recorder>(windows_.Form2(), this);
        connect(recorder_.get(), &Recorder::statusTextChanged, Label1, &QLabel::setText);
        connect(recorder_.get(), &Recorder::recordingFinished, this,
                [this](const QString& target) { RecordingFinished(target); });
    }
    return *recorder_;
}

void TForm1::FinishBeforeExit()
{
    if (recorder_)
        recorder_->FinishBeforeExit();
}

void TForm1::luzhi()
{
    recorder().luzhi();
}

void TForm1::tingzhi()
{
    recorder().tingzhi();
}

// The finished recording goes back to the main window, and the panel closes.
void TForm1::RecordingFinished(const QString& /*targetPath*/)
{
    windows_.Form7().show();
    close();
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

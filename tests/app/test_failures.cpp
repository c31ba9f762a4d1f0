// A failure that escapes a handler is shown in the standard error box and the program goes on.
#include "ScriptedPrompts.h"
#include "app/Application.h"
#include "platform/Failures.h"

#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <stdexcept>

using quolva::test::ScriptedPrompts;

namespace {

// A window whose mouse handler fails, as a handler does when it reads a text that is not a number.
class FailingWidget : public QWidget {
protected:
    void mousePressEvent(QMouseEvent*) override { throw std::runtime_error("'12x' is not a valid integer value"); }
};

} // namespace

class FailuresTest : public QObject {
    Q_OBJECT
private slots:
    void failureInTimerHandlerReachesErrorBoxAndProgramGoesOn()
    {
        ScriptedPrompts::Installed prompts;
        int ticksAfterFailure = 0;
        QTimer failing;
        failing.setSingleShot(true);
        connect(&failing, &QTimer::timeout, [] { throw std::runtime_error("Cannot open file \"a.avi.xxx\""); });
        QTimer later;
        connect(&later, &QTimer::timeout, [&] { ++ticksAfterFailure; });
        failing.start(0);
        later.start(5);
        QTRY_COMPARE(prompts->errors.size(), 1);
        QCOMPARE(prompts->errors.front(), QStringLiteral("Cannot open file \"a.avi.xxx\""));
        QTRY_VERIFY(ticksAfterFailure >= 2);
        QCOMPARE(prompts->errors.size(), 1);
    }

    void failureInWidgetEventHandlerReachesErrorBox()
    {
        ScriptedPrompts::Installed prompts;
        FailingWidget widget;
        widget.resize(50, 50);
        QTest::mousePress(&widget, Qt::LeftButton);
        QCOMPARE(prompts->errors, QStringList{QStringLiteral("'12x' is not a valid integer value")});
        // The next event is handled normally.
        QTest::mousePress(&widget, Qt::LeftButton);
        QCOMPARE(prompts->errors.size(), 2);
    }

    void failureWithoutTextShowsEmptyMessage()
    {
        ScriptedPrompts::Installed prompts;
        QTimer::singleShot(0, [] { throw 42; });
        QTRY_COMPARE(prompts->errors.size(), 1);
        QCOMPARE(prompts->errors.front(), QString());
    }

    void guardedSlotAbandonsOnlyTheFailingHandler()
    {
        ScriptedPrompts::Installed prompts;
        QPushButton button;
        QStringList steps;
        QObject::connect(&button, &QPushButton::clicked, &button, quolva::platform::guarded([&] {
                             steps << QStringLiteral("before");
                             throw std::runtime_error("disk full");
                         }));
        QObject::connect(&button, &QPushButton::clicked, &button, [&] { steps << QStringLiteral("next handler"); });
        button.click();
        QCOMPARE(prompts->errors, QStringList{QStringLiteral("disk full")});
        QCOMPARE(steps, (QStringList{QStringLiteral("before"), QStringLiteral("next handler")}));
    }
};

int main(int argc, char** argv)
{
    quolva::app::QuolvaApplication application(argc, argv);
    FailuresTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_failures.moc"

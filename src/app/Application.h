#pragma once
#include <QApplication>

namespace quolva::app {

// The application object. Its event dispatch is the last line of defence: a failure that escapes any
// handler is shown in the standard error box, and the program goes on with the next event.
class QuolvaApplication : public QApplication {
public:
    static constexpr const char* Title = "Quolva4.1";

    QuolvaApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace quolva::app

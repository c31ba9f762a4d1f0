#pragma once
// What the user does with the mouse buttons and the keyboard while a recording runs, seen through the
// X server's XInput2 raw events on the root window: they reach us whichever program has the focus and
// take nothing away from it. A connection of its own, read on the GUI thread, so that Qt's event
// handling never sees these events.

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>

class QSocketNotifier;
struct xcb_connection_t;

namespace quolva::platform {

class InputWatch : public QObject {
    Q_OBJECT
public:
    explicit InputWatch(QObject* parent = nullptr);
    ~InputWatch() override;

    // False without an X display or without XInput 2.2 on it; problem() says why.
    bool isAvailable() const { return connection_ != nullptr; }
    const QString& problem() const { return problem_; }

    // Handles every event the server has sent so far; the socket notifier calls it too, and a capture tick
    // calls it first so that a click just before the tick is not left for the next one.
    void drain();

    // True when one of the three mouse buttons is down now, or went down since the last call (a click
    // shorter than a tick).
    bool takeButtonDown();

signals:
    // A key went down (pressed) or up; the keysym of the key's first level (a letter key is its small
    // letter whatever the modifiers).
    void keyChanged(std::uint32_t keysym, bool pressed);

private:
    void close();

    xcb_connection_t* connection_ = nullptr;
    std::uint32_t root_ = 0;
    std::uint8_t xinputOpcode_ = 0;
    struct KeySymbols;
    std::unique_ptr<KeySymbols> symbols_;
    std::unique_ptr<QSocketNotifier> notifier_;
    bool pressedSinceAsked_ = false;
    QString problem_;
};

}  // namespace quolva::platform

#pragma once
// The one error path of the windows: a handler runs inside Guarded; a
// conversion, index, file or any other error it throws is shown in a message
// box and the handler stops there, keeping whatever it had already applied.
#include "ui/common/MessageBox.h"

#include <QApplication>
#include <exception>
#include <utility>

namespace sorvelin {

// Shows the error of the exception currently being handled.
void ShowCurrentException() noexcept;

// Runs `handler`; returns false when it failed (the message has been shown).
template <class Handler> bool Guarded(Handler&& handler) noexcept {
    try {
        std::forward<Handler>(handler)();
        return true;
    } catch (...) {
        ShowCurrentException();
        return false;
    }
}

// Last line of defence: an exception that escapes an event handler is shown
// instead of unwinding through Qt's event dispatch.
class GuardedApplication : public QApplication {
public:
    GuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {}
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace sorvelin

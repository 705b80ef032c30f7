// TQerimoApplication: the program's application object. Its notify() is the
// application's default exception handler: an exception leaving any event handler
// (a click, a timer tick) is shown in a message box and the event loop goes on.
// GUI thread only.
#pragma once

#include <QApplication>

#include <cstddef>
#include <utility>

// Shows the exception now being handled (call it inside a catch block) the way the
// application's handler does: one box at a time, the program goes on.
void ShowCurrentException();

// Wraps a command handler (called without arguments, whatever the signal passes) so that an exception it raises is shown at once and never
// unwinds through Qt's own code (signal emission, button internals), which is not
// written to survive that.
template <class F>
auto Guarded(F Handler)
{
    return [Handler = std::move(Handler)](auto&&...) {
        try {
            Handler();
        } catch (...) {
            ShowCurrentException();
        }
    };
}

class TQerimoApplication : public QApplication {
public:
    TQerimoApplication(int& argc, char** argv);

    bool notify(QObject* Receiver, QEvent* Event) override;

    // Shows Message in the error box unless one is already open; returns whether shown.
    static bool ShowException(const QString& Message);
    // Exceptions that arrived while a box was already open and were not shown.
    static std::size_t SuppressedCount();
};

// The test program's application object: like the editor's, it catches what
// an event handler throws in notify() and lets the event loop go on.
#pragma once

#include <QCoreApplication>

#include <string>
#include <vector>


class TTestApplication final : public QCoreApplication {
public:
    TTestApplication(int& argc, char** argv) : QCoreApplication(argc, argv) {}

    bool notify(QObject* receiver, QEvent* event) override
    {
        if (!FCatching)
            return QCoreApplication::notify(receiver, event);
        try {
            return QCoreApplication::notify(receiver, event);
        } catch (const std::exception& error) {
            FCaught.emplace_back(error.what());
        } catch (...) {
            FCaught.emplace_back("(unknown)");
        }
        return false;
    }

    static TTestApplication& Instance() { return *static_cast<TTestApplication*>(instance()); }

    // Messages of the exceptions caught so far, oldest first.
    std::vector<std::string>& Caught() { return FCaught; }
    // Off: exceptions pass notify() untouched, as in a program without a handler.
    void SetCatching(bool Value) { FCatching = Value; }

private:
    std::vector<std::string> FCaught;
    bool FCatching = true;
};

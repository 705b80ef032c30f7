#include "Application.h"

#include "MessageBoxes.h"
#include "LyricText.h"

#include <QScopedValueRollback>
#include <QWidget>

#include <exception>

namespace {

// While a box is open its own event loop keeps delivering events; a handler that
// fails on every tick would otherwise stack boxes without end.
bool ShowingException = false;
std::size_t Suppressed = 0;

}  // namespace

TQerimoApplication::TQerimoApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("qerimolrc"));
    setApplicationDisplayName(QStringLiteral("QerimoLRC"));
}

bool TQerimoApplication::notify(QObject* Receiver, QEvent* Event)
{
    try {
        return QApplication::notify(Receiver, Event);
    } catch (...) {
        ShowCurrentException();
    }
    return false;
}

bool TQerimoApplication::ShowException(const QString& Message)
{
    if (ShowingException) {
        ++Suppressed;
        return false;
    }
    const QScopedValueRollback guard(ShowingException, true);
    ShowMessageBox(QApplication::activeWindow(), QMessageBox::Critical, QApplication::applicationDisplayName(),
                   Message);
    return true;
}

std::size_t TQerimoApplication::SuppressedCount()
{
    return Suppressed;
}

void ShowCurrentException()
{
    try {
        throw;
    } catch (const std::exception& error) {
        TQerimoApplication::ShowException(DecodeLyricBytes(QByteArray(error.what())).text);
    } catch (...) {
        TQerimoApplication::ShowException(QStringLiteral("Unknown error"));
    }
}

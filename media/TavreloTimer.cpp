#include "TavreloTimer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>

#include <climits>
#include <exception>


namespace {

// The tick travels as an event of its own type so that QCoreApplication::notify,
// where the application catches and shows exceptions, sits between the QTimer and
// the handler. Thrown straight out of a slot, an exception would cross Qt's signal
// machinery, which does not allow it.
QEvent::Type TickEventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

}  // namespace


class TTavreloTimer::TTickReceiver final : public QObject {
public:
    explicit TTickReceiver(TTavreloTimer& owner) : FOwner(owner)
    {
        QObject::connect(&FTimer, &QTimer::timeout, this, [this] { DeliverTick(); });
    }

    QTimer& Timer() { return FTimer; }
    const QTimer& Timer() const { return FTimer; }

protected:
    bool event(QEvent* e) override
    {
        if (e->type() != TickEventType())
            return QObject::event(e);
        FOwner.Timer();
        return true;
    }

private:
    // Nothing of this object is touched after sendEvent: the handler may have
    // destroyed the timer that owns it.
    void DeliverTick()
    {
        QEvent tick(TickEventType());
        try {
            QCoreApplication::sendEvent(this, &tick);
        } catch (const std::exception& error) {
            // Only reached when the application's notify does not catch; the
            // exception must not unwind through the QTimer's signal.
            qCritical("Exception from a timer handler: %s", error.what());
        } catch (...) {
            qCritical("Unknown exception from a timer handler");
        }
    }

    TTavreloTimer& FOwner;
    QTimer FTimer;
};


TTavreloTimer::TTavreloTimer() : FReceiver(std::make_unique<TTickReceiver>(*this))
{
    FReceiver->Timer().setTimerType(Qt::PreciseTimer);
}

TTavreloTimer::~TTavreloTimer()
{
    FEnabled = false;
    UpdateTimer();
}

void TTavreloTimer::SetEnabled(bool Value)
{
    if (Value == FEnabled)
        return;
    FEnabled = Value;
    UpdateTimer();
}

void TTavreloTimer::SetInterval(std::uint32_t Value)
{
    if (Value == FInterval)
        return;
    FInterval = Value;
    UpdateTimer();
}

void TTavreloTimer::SetOnTimer(TNotifyEvent Event)
{
    FOnTimer = std::move(Event);
    UpdateTimer();
}

bool TTavreloTimer::Running() const
{
    return FReceiver->Timer().isActive();
}

int TTavreloTimer::RemainingTime() const
{
    return FReceiver->Timer().remainingTime();
}

void TTavreloTimer::Timer()
{
    if (FOnTimer)
        FOnTimer(this);
}

// Stops the count and, when all three conditions hold, starts a fresh one, so a
// new interval counts from the moment of the change.
void TTavreloTimer::UpdateTimer()
{
    QTimer& timer = FReceiver->Timer();
    timer.stop();
    if (FInterval == 0 || !FEnabled || !FOnTimer)
        return;
    // QTimer takes an int; longer intervals are held at the longest it can count.
    const int ms = FInterval > static_cast<std::uint32_t>(INT_MAX) ? INT_MAX
                                                                    : static_cast<int>(FInterval);
    timer.start(ms);
}

// TTavreloTimer: an interval timer whose ticks arrive through the GUI thread's
// event loop. The media controller runs one at 200 ms to drive its repeat rules
// and to notify the window.
//
// Threads: create, use and destroy a timer on one thread that runs a Qt event
// loop (the GUI thread); ticks are delivered on that thread, one at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>


class TTavreloTimer {
public:
    // Called on every tick with the timer itself as sender.
    using TNotifyEvent = std::function<void(TTavreloTimer* Sender)>;

    // Enabled, Interval 1000, no handler (so not yet ticking).
    TTavreloTimer();
    // Stops the ticks before anything is freed.
    virtual ~TTavreloTimer();

    TTavreloTimer(const TTavreloTimer&) = delete;
    TTavreloTimer& operator=(const TTavreloTimer&) = delete;

    // A change restarts the count; the same value again leaves a running timer alone.
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool Value);

    // Milliseconds; 0 stops the ticks while Enabled stays as it is.
    std::uint32_t Interval() const { return FInterval; }
    void SetInterval(std::uint32_t Value);

    // Always restarts the count, even when the same handler is set again.
    const TNotifyEvent& OnTimer() const { return FOnTimer; }
    void SetOnTimer(TNotifyEvent Event);

    // Whether ticks are being delivered: Enabled, a non-zero Interval and a handler.
    bool Running() const;
    // Milliseconds until the next tick, -1 when not running.
    int RemainingTime() const;

protected:
    // One tick: calls OnTimer(this) when assigned. An exception leaving it goes
    // through QCoreApplication::notify, so the application's handler sees it;
    // the timer keeps running either way.
    virtual void Timer();

private:
    class TTickReceiver;

    void UpdateTimer();

    std::uint32_t FInterval = 1000;
    // Stands in for the hidden window: owns the QTimer and receives the tick events.
    std::unique_ptr<TTickReceiver> FReceiver;
    TNotifyEvent FOnTimer;
    bool FEnabled = true;
};

// TTavreloTimer in a real Qt event loop on the test's main thread.
#include "TavreloTimer.h"
#include "TestApplication.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <QtGlobal>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>


namespace {

// Runs the event loop for about ms milliseconds.
void RunEventsFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until done() holds; false when timeoutMs passed first.
bool RunEventsUntil(const std::function<bool()>& done, int timeoutMs = 5000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        RunEventsFor(5);
    }
    return true;
}

struct TickLog {
    std::vector<TTavreloTimer*> senders;
    std::vector<QThread*> threads;
    int Count() const { return static_cast<int>(senders.size()); }
    TTavreloTimer::TNotifyEvent Handler()
    {
        return [this](TTavreloTimer* sender) {
            senders.push_back(sender);
            threads.push_back(QThread::currentThread());
        };
    }
};

class TavreloTimerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TTestApplication::Instance().Caught().clear();
        TTestApplication::Instance().SetCatching(true);
    }
    void TearDown() override { TTestApplication::Instance().SetCatching(true); }
};

}  // namespace


TEST_F(TavreloTimerTest, StartsEnabledAtOneSecondAndTicksOnceAHandlerIsSet)
{
    TTavreloTimer timer;
    EXPECT_TRUE(timer.Enabled());
    EXPECT_EQ(timer.Interval(), 1000u);
    EXPECT_FALSE(timer.OnTimer());
    EXPECT_FALSE(timer.Running());  // no handler yet
    EXPECT_EQ(timer.RemainingTime(), -1);

    TickLog log;
    timer.SetOnTimer(log.Handler());
    EXPECT_TRUE(timer.Running());
    EXPECT_GT(timer.RemainingTime(), 900);
    EXPECT_LE(timer.RemainingTime(), 1000);
}

TEST_F(TavreloTimerTest, TicksRepeatOnThisThreadWithTheTimerAsSender)
{
    TTavreloTimer timer;
    TickLog log;
    timer.SetInterval(40);
    QElapsedTimer clock;
    clock.start();
    timer.SetOnTimer(log.Handler());
    ASSERT_TRUE(RunEventsUntil([&] { return log.Count() >= 4; }));
    // Ticks never come early: four of them need at least four intervals.
    EXPECT_GE(clock.elapsed(), 4 * 40 - 5);
    for (int i = 0; i < log.Count(); ++i) {
        EXPECT_EQ(log.senders[i], &timer);
        EXPECT_EQ(log.threads[i], QThread::currentThread());
    }
    EXPECT_TRUE(timer.Running());
}

TEST_F(TavreloTimerTest, RunsOnlyWhenEnabledWithIntervalAndHandler)
{
    TTavreloTimer timer;
    TickLog log;
    timer.SetInterval(20);
    timer.SetOnTimer(log.Handler());
    ASSERT_TRUE(timer.Running());

    // Interval 0 stops the ticks while Enabled stays true.
    timer.SetInterval(0);
    EXPECT_TRUE(timer.Enabled());
    EXPECT_FALSE(timer.Running());
    int before = log.Count();
    RunEventsFor(120);
    EXPECT_EQ(log.Count(), before);

    timer.SetInterval(20);
    EXPECT_TRUE(timer.Running());
    timer.SetEnabled(false);
    EXPECT_FALSE(timer.Running());
    before = log.Count();
    RunEventsFor(120);
    EXPECT_EQ(log.Count(), before);

    timer.SetEnabled(true);
    EXPECT_TRUE(timer.Running());
    timer.SetOnTimer(nullptr);
    EXPECT_FALSE(timer.Running());
    before = log.Count();
    RunEventsFor(120);
    EXPECT_EQ(log.Count(), before);

    // All three together again: ticking resumes.
    timer.SetOnTimer(log.Handler());
    EXPECT_TRUE(RunEventsUntil([&] { return log.Count() >= before + 2; }));
}

TEST_F(TavreloTimerTest, ChangesRestartTheCountButEqualValuesDoNot)
{
    TTavreloTimer timer;
    TickLog log;
    timer.SetInterval(10000);
    timer.SetOnTimer(log.Handler());
    RunEventsFor(300);
    const int partlyRun = timer.RemainingTime();
    ASSERT_LE(partlyRun, 9750);

    // The same values again leave the running count alone.
    timer.SetEnabled(true);
    timer.SetInterval(10000);
    EXPECT_LE(timer.RemainingTime(), partlyRun);

    // Setting the handler always restarts, even the same one.
    timer.SetOnTimer(timer.OnTimer());
    EXPECT_GT(timer.RemainingTime(), 9900);

    // A new interval counts from the change.
    RunEventsFor(300);
    ASSERT_LE(timer.RemainingTime(), 9750);
    timer.SetInterval(20000);
    EXPECT_GT(timer.RemainingTime(), 19900);

    // Off and on again starts afresh.
    RunEventsFor(300);
    ASSERT_LE(timer.RemainingTime(), 19750);
    timer.SetEnabled(false);
    timer.SetEnabled(true);
    EXPECT_GT(timer.RemainingTime(), 19900);
    EXPECT_EQ(log.Count(), 0);
}

TEST_F(TavreloTimerTest, HandlerMayChangeOrStopItsOwnTimer)
{
    TTavreloTimer timer;
    int ticks = 0;
    timer.SetInterval(20);
    timer.SetOnTimer([&](TTavreloTimer* sender) {
        ++ticks;
        if (ticks == 1)
            sender->SetInterval(30);
        else if (ticks == 3)
            sender->SetEnabled(false);
    });
    ASSERT_TRUE(RunEventsUntil([&] { return ticks >= 3; }));
    EXPECT_EQ(timer.Interval(), 30u);
    EXPECT_FALSE(timer.Running());
    RunEventsFor(120);
    EXPECT_EQ(ticks, 3);
}

TEST_F(TavreloTimerTest, HandlerMayDestroyItsOwnTimer)
{
    auto timer = std::make_unique<TTavreloTimer>();
    int ticks = 0;
    timer->SetInterval(10);
    timer->SetOnTimer([&](TTavreloTimer*) {
        ++ticks;
        timer.reset();
    });
    ASSERT_TRUE(RunEventsUntil([&] { return ticks >= 1; }));
    RunEventsFor(80);
    EXPECT_EQ(ticks, 1);
    EXPECT_EQ(timer, nullptr);
}

TEST_F(TavreloTimerTest, DestroyingARunningTimerStopsItsTicks)
{
    int ticks = 0;
    {
        TTavreloTimer timer;
        timer.SetInterval(5);
        timer.SetOnTimer([&](TTavreloTimer*) { ++ticks; });
        ASSERT_TRUE(RunEventsUntil([&] { return ticks >= 1; }));
    }
    const int atDestruction = ticks;
    RunEventsFor(60);
    EXPECT_EQ(ticks, atDestruction);
}

TEST_F(TavreloTimerTest, ExceptionFromHandlerReachesTheApplicationAndTicksGoOn)
{
    TTavreloTimer timer;
    int ticks = 0;
    timer.SetInterval(15);
    timer.SetOnTimer([&](TTavreloTimer*) {
        ++ticks;
        if (ticks <= 2)
            throw std::runtime_error("tick " + std::to_string(ticks) + " failed");
    });
    ASSERT_TRUE(RunEventsUntil([&] { return ticks >= 5; }));
    EXPECT_TRUE(timer.Running());
    const std::vector<std::string> expected = {"tick 1 failed", "tick 2 failed"};
    EXPECT_EQ(TTestApplication::Instance().Caught(), expected);
}

TEST_F(TavreloTimerTest, ExceptionNobodyCatchesIsReportedAndTicksGoOn)
{
    // A program whose notify() lets exceptions through: the timer itself must keep
    // them out of Qt's signal machinery and say what happened.
    static std::vector<std::string> messages;
    messages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext&, const QString& text) {
            if (type == QtCriticalMsg)
                messages.push_back(text.toStdString());
        });
    TTestApplication::Instance().SetCatching(false);

    TTavreloTimer timer;
    int ticks = 0;
    timer.SetInterval(15);
    timer.SetOnTimer([&](TTavreloTimer*) {
        ++ticks;
        if (ticks == 1)
            throw std::runtime_error("unhandled");
    });
    const bool ran = RunEventsUntil([&] { return ticks >= 3; });
    TTestApplication::Instance().SetCatching(true);
    qInstallMessageHandler(previous);

    ASSERT_TRUE(ran);
    EXPECT_TRUE(TTestApplication::Instance().Caught().empty());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("unhandled"), std::string::npos);
}

TEST_F(TavreloTimerTest, LongestIntervalIsAcceptedWithoutWrapping)
{
    TTavreloTimer timer;
    timer.SetInterval(0xFFFFFFFFu);
    timer.SetOnTimer([](TTavreloTimer*) {});
    EXPECT_EQ(timer.Interval(), 0xFFFFFFFFu);
    EXPECT_TRUE(timer.Running());
    EXPECT_GT(timer.RemainingTime(), 1000 * 1000);
}

#include "TraceScanner.h"

#include "Streams.h"

#include <QMetaObject>
#include <QObject>

#include <utility>

TTraceScanner::~TTraceScanner()
{
    // Results posted from now on are dropped with the receiver's pending events.
    ++FGeneration;
    StopRunning();
    FJobs.clear();  // joins, promptly: each worker checks its stop every 20 ms reading
}

void TTraceScanner::ReapFinished()
{
    // A finished worker has at most its return left to do, so joining it is immediate.
    FJobs.remove_if([](const TJob& Job) { return Job.Finished->load(std::memory_order_acquire); });
}

void TTraceScanner::StopRunning()
{
    // Their results would be dropped anyway: let them stop decoding.
    for (TJob& job : FJobs)
        job.Thread.request_stop();
}

void TTraceScanner::Cancel()
{
    StopRunning();
    ++FGeneration;
    FPending = false;
    ReapFinished();
}

void TTraceScanner::Start(std::unique_ptr<TMemoryStream> Audio, TDone Done)
{
    StopRunning();
    ReapFinished();
    const std::uint64_t generation = ++FGeneration;
    FPending = true;
    auto finished = std::make_shared<std::atomic<bool>>(false);
    // Worker thread: decodes its own copy, then posts the trace to the GUI thread.
    auto work = [this, generation, finished, audio = std::shared_ptr<TMemoryStream>(std::move(Audio)),
                 done = std::move(Done)](std::stop_token Stop) mutable {
        auto trace = std::make_shared<const TLevelTrace>(ReadLevelTrace(*audio, Stop));
        audio.reset();
        if (!Stop.stop_requested()) {
            // Runs on the GUI thread; `this` outlives every posted call because the
            // destructor joins this worker before the receiver (its owner) goes.
            QMetaObject::invokeMethod(
                FReceiver,
                [this, generation, trace, done = std::move(done)] {
                    if (generation != FGeneration) return;  // a newer open took over
                    FPending = false;
                    done(trace);
                },
                Qt::QueuedConnection);
        }
        finished->store(true, std::memory_order_release);
    };
    FJobs.push_back(TJob{finished, std::jthread(std::move(work))});
}

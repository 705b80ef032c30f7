// TTraceScanner: decodes an audio copy into a level trace on a worker thread, so that
// the GUI thread keeps ticking while a long song is scanned, and hands the finished
// trace back to the GUI thread through a queued call on the receiver.
//
// Threads: Start, Cancel, Pending and the destructor belong to the GUI thread (the
// receiver's thread); the done callback runs there too. Each worker touches only its
// own copy of the bytes. A newer Start, a Cancel or the destructor stops the scans
// under way (each checks its stop every 20 ms reading) and drops their results.
#pragma once

#include "PeakScan.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <thread>

class QObject;
class TMemoryStream;

class TTraceScanner {
public:
    using TDone = std::function<void(std::shared_ptr<const TLevelTrace> Trace)>;

    explicit TTraceScanner(QObject* Receiver) : FReceiver(Receiver) {}
    ~TTraceScanner();

    TTraceScanner(const TTraceScanner&) = delete;
    TTraceScanner& operator=(const TTraceScanner&) = delete;

    // Scans Audio (taken over) and later calls Done with its trace, unless another
    // Start or a Cancel comes first.
    void Start(std::unique_ptr<TMemoryStream> Audio, TDone Done);
    // Drops the result of the scan under way, if any.
    void Cancel();
    // Whether a result is still to come.
    bool Pending() const { return FPending; }

private:
    struct TJob {
        std::shared_ptr<std::atomic<bool>> Finished;
        std::jthread Thread;  // last: joined before the flag it sets goes
    };
    void ReapFinished();
    void StopRunning();

    QObject* const FReceiver;  // fixed at construction
    std::uint64_t FGeneration = 0;
    bool FPending = false;
    std::list<TJob> FJobs;
};

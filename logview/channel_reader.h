// The viewer's end of the duzar channel: it owns the shared buffer, and a reader thread takes its
// complete lines into the window's arrivals whenever a client signals, at start and every few
// hundred milliseconds. Faults of the channel join the same queue, so the window reports them in
// order.
#pragma once

#include "arrivals.h"
#include "duzar.h"
#include "owned.h"
#include "worker_thread.h"

#include <string>

// How much of the buffer a drain takes: all of it, or up to a last line that has no line feed yet
// (a client may still be writing it), unless that line has stood unchanged for kStaleMs, when its
// writer may have died. The time comes from the caller, a tick count.
class TailRule {
  public:
    static constexpr DWORD kStaleMs = 3000;

    size_t LinesToTake(const char* text, size_t length, DWORD now);
    void Forget() { m_tail.clear(); }

  private:
    std::string m_tail;
    DWORD m_since = 0;
};

class ChannelReader : public EarlierLines {
  public:
    static constexpr DWORD kDrainPeriodMs = 250;
    // As long as a client waits for the lock before it drops its line: clients flushing to the
    // window in turn hold it for seconds without fault. Only the last drain, at exit, waits less.
    static constexpr DWORD kLockTimeoutMs = duzar::kLockTimeoutMs;
    static constexpr DWORD kLastLockTimeoutMs = 1000;
    // How long another thread waits for the lock to take the waiting lines first; past that,
    // order gives way to the debug output's pace (the reader reports a lock kept too long).
    static constexpr DWORD kEarlierLockTimeoutMs = 100;
    // The pause after the second wake-up in a row that found nothing new, doubled after each
    // further one up to kEmptyWakeDoublings times (64 ms).
    static constexpr DWORD kEmptyWakePauseMs = 2;
    static constexpr int kEmptyWakeDoublings = 5;

    ChannelReader() = default;
    ~ChannelReader() { Stop(); }
    ChannelReader(const ChannelReader&) = delete;
    ChannelReader& operator=(const ChannelReader&) = delete;

    // Creates (or, while clients still hold them, opens) the mapping, the lock and the event.
    // False with a message when one cannot be had.
    bool Create(std::string* error);

    // Starts the reader thread; it queues what it takes in arrivals and wakes their window. The
    // window takes them before it adds a line that a client flushes to it: such a client holds the
    // lock, so every line queued before is older than the flushed one.
    bool Start(Arrivals* arrivals);
    void Stop();
    // From the debug-output reader's thread; nothing until Start.
    void TakeWaiting() override;

    // How long the reader pauses after that many wake-ups in a row that found nothing.
    static DWORD EmptyWakePause(int emptyWakesInARow);

  private:
    void Run();
    // kReader: the reader's own, cut short by a stop request; kLast: the last, at exit;
    // kEarlier: another thread's, which says nothing of a lock it could not have.
    enum class DrainFor { kReader, kLast, kEarlier };
    bool Drain(DrainFor why = DrainFor::kReader);
    void Queue(bool fault, std::string text) {
        m_arrivals->Push(
            {fault ? Arrival::Kind::kFault : Arrival::Kind::kLine, std::move(text), std::string()});
    }

    OwnedHandle m_map;
    OwnedView m_mapped;
    char* m_view = NULL; // m_mapped's bytes
    OwnedHandle m_lock;
    OwnedHandle m_event;
    Arrivals* m_arrivals = NULL;
    volatile LONG m_started = 0;         // m_arrivals is set: other threads may drain
    volatile LONG m_earlierTimedOut = 0; // the last such drain did not have the lock in time
    TailRule m_tail;
    WorkerThread m_worker; // last: its thread ends before the rest goes
};

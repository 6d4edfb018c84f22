// What the viewer's reader threads (the channel's, the debug output's) hand to its window, in the
// order it came: lines, with the process that wrote them where the system says it, and faults. A
// bounded queue and the message that wakes the window for it.
#pragma once

#include "bounded_queue.h"

#include <string>

// The channel's lines that wait to be taken: the debug-output reader takes them before it queues a
// line of its own, so that a program's channel lines come before the debug output it wrote after
// them (a debug-output line is delivered at once, a channel line when the reader drains).
class EarlierLines {
  public:
    virtual void TakeWaiting() = 0;

  protected:
    ~EarlierLines() = default;
};

// Where a writer thread says that it failed.
class FaultSink {
  public:
    virtual void WriteFailed(const std::string& text) = 0;

  protected:
    ~FaultSink() = default;
};

struct Arrival {
    // kFileLine: a followed file's line, read as File › Open reads one.
    enum class Kind { kLine, kFault, kWriteFailed, kClear, kFileLine };
    Kind kind;
    std::string text;
    std::string process; // "1234 name.exe" for a debug-output line, empty for the channel's
};

class Arrivals : public FaultSink {
  public:
    void SetCapacity(size_t items, ByteBudget& budget) { m_queue.SetCapacity(items, budget); }
    // The window to wake with message once something is queued.
    void SetWindow(HWND window, UINT message) {
        m_window = window;
        m_message = message;
    }
    void Push(Arrival arrival) { m_queue.Push(std::move(arrival)); }
    void Fault(Arrival::Kind kind, const std::string& text) {
        Push({kind, text, std::string()});
        Wake();
    }
    // One wake-up waits at a time: a flood of debug output must not fill the window's queue with
    // them, where the user's commands would wait behind.
    void Wake() {
        if (m_window && InterlockedExchange(&m_wakePending, 1) == 0) {
            PostMessageA(m_window, m_message, 0, 0);
        }
    }
    void WriteFailed(const std::string& text) override { Fault(Arrival::Kind::kWriteFailed, text); }
    std::deque<Arrival> TakeAll() {
        InterlockedExchange(&m_wakePending, 0);
        return m_queue.TakeAll();
    }
    // Lines dropped because the window fell behind by more than the queue holds.
    unsigned long Dropped() { return m_queue.Dropped(); }

  private:
    BoundedQueue<Arrival> m_queue;
    HWND m_window = NULL;
    UINT m_message = 0;
    volatile LONG m_wakePending = 0;
};

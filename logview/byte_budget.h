// One bound on the bytes of the lines that the viewer holds, wherever they wait: kept in the store
// or queued between its threads (--max-bytes). The store keeps its newest lines within what the
// queues leave free, dropping its oldest as it always has; a queue holds its reserve whatever the
// rest holds, and more only while the budget is not spent: past that it drops its own oldest,
// counted as lost. So the lines held never pass the budget by more than a reserve a queue, and a
// stalled output takes its room from the history, not from the process's memory.
#pragma once

#include <atomic>
#include <cstddef>

class ByteBudget {
  public:
    // What a queue may hold however full the rest is: a second of the fastest channel traffic in
    // lines of 4 KB, so that a window or output that keeps up loses no burst to a full store.
    static constexpr size_t kQueueReserve = 8UL << 20;

    explicit ByteBudget(size_t limit) : m_limit(limit) {}
    ByteBudget(const ByteBudget&) = delete;
    ByteBudget& operator=(const ByteBudget&) = delete;

    void Take(size_t bytes) { m_held += bytes; }
    void Give(size_t bytes) { m_held -= bytes; }
    bool Spent() const { return m_held > m_limit; }
    size_t Held() const { return m_held; }
    size_t Limit() const { return m_limit; }

  private:
    const size_t m_limit;
    std::atomic<size_t> m_held{0}; // taken and given by every thread that holds lines
};

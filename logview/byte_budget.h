// One bound on the bytes of the lines that the viewer holds, wherever they wait: kept in the store
// or queued between its threads (--max-bytes). The queues together may take up to half of it from
// the history, and each may always hold its reserve: a queue past its reserve while they hold more
// than half drops its own oldest, counted as lost. The store keeps its newest lines within what the
// queues leave, dropping its oldest as it always has. So the lines held never pass the budget by
// more than a reserve a queue, and a stalled output takes room from the history, never all of it.
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

    // The store's lines.
    void TakeKept(size_t bytes) { m_kept += bytes; }
    void GiveKept(size_t bytes) { m_kept -= bytes; }
    // Whether the store must drop its oldest.
    bool Spent() const { return m_kept + m_queued > m_limit; }

    // A queue's lines.
    void TakeQueued(size_t bytes) { m_queued += bytes; }
    void GiveQueued(size_t bytes) { m_queued -= bytes; }
    // Whether a queue that holds bytes must drop its oldest.
    bool QueueOver(size_t bytes) const { return bytes > kQueueReserve && m_queued > m_limit / 2; }

    size_t Held() const { return m_kept + m_queued; }
    // A new bound, from the window; the store drops its oldest to meet it.
    void SetLimit(size_t limit) { m_limit = limit; }
    size_t Limit() const { return m_limit; }

  private:
    std::atomic<size_t> m_limit;
    // Taken and given by every thread that holds lines.
    std::atomic<size_t> m_kept{0};
    std::atomic<size_t> m_queued{0};
};

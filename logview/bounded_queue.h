// A queue between two of the viewer's threads that holds at most a set number of items, and bytes
// within the viewer's one budget (byte_budget.h). When it is full the oldest item is dropped and
// counted: a consumer that falls behind (a stalled window, an output pipe whose reader paused)
// costs lines, never memory or a blocked producer. An item is anything with a text.
#pragma once

#include "byte_budget.h"

#include <windows.h>

#include <deque>
#include <utility>

template <typename T> class BoundedQueue {
  public:
    // What a queued item costs besides its text: its record and the allocator's header.
    static constexpr size_t kItemOverhead = sizeof(T) + 16;
    // What its text holds, not its length alone: a string grown by appending holds up to twice.
    static size_t Cost(const T& item) { return item.text.capacity() + kItemOverhead; }

    BoundedQueue() { InitializeCriticalSection(&m_lock); }
    ~BoundedQueue() { DeleteCriticalSection(&m_lock); }
    BoundedQueue(const BoundedQueue&) = delete;
    BoundedQueue& operator=(const BoundedQueue&) = delete;

    // Before the first Push: at most items, and bytes as budget allows a queue.
    void SetCapacity(size_t items, ByteBudget& budget) {
        EnterCriticalSection(&m_lock);
        m_capacity = items > 0 ? items : 1;
        m_budget = &budget;
        LeaveCriticalSection(&m_lock);
    }

    // The newest item always stays.
    void Push(T item) {
        EnterCriticalSection(&m_lock);
        size_t cost = Cost(item);
        m_bytes += cost;
        m_budget->TakeQueued(cost);
        m_items.push_back(std::move(item));
        while (m_items.size() > 1 &&
               (m_items.size() > m_capacity || m_budget->QueueOver(m_bytes))) {
            cost = Cost(m_items.front());
            m_bytes -= cost;
            m_budget->GiveQueued(cost);
            m_items.pop_front();
            ++m_dropped;
        }
        LeaveCriticalSection(&m_lock);
    }

    // Everything queued, oldest first. Its bytes leave the budget now, or, given held, stay in it
    // until the taker gives *held back: a writer blocked on its batch still holds that batch.
    std::deque<T> TakeAll(size_t* held = NULL) {
        std::deque<T> items;
        EnterCriticalSection(&m_lock);
        items.swap(m_items);
        if (held) {
            *held = m_bytes;
        } else {
            m_budget->GiveQueued(m_bytes);
        }
        m_bytes = 0;
        LeaveCriticalSection(&m_lock);
        return items;
    }

    // Gives back what TakeAll left held.
    void GiveBack(size_t held) { m_budget->GiveQueued(held); }

    size_t Size() {
        EnterCriticalSection(&m_lock);
        size_t size = m_items.size();
        LeaveCriticalSection(&m_lock);
        return size;
    }

    unsigned long Dropped() {
        EnterCriticalSection(&m_lock);
        unsigned long dropped = m_dropped;
        LeaveCriticalSection(&m_lock);
        return dropped;
    }

  private:
    // Plain Win32 locks: the 32-bit toolchain has no std::mutex.
    CRITICAL_SECTION m_lock;
    std::deque<T> m_items;
    size_t m_capacity = 1;
    ByteBudget* m_budget = NULL;
    size_t m_bytes = 0;
    unsigned long m_dropped = 0;
};

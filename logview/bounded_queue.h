// A queue between two of the viewer's threads that holds at most a set number of items. When it is
// full the oldest item is dropped and counted: a consumer that falls behind (a stalled window, an
// output pipe whose reader paused) costs lines, never memory or a blocked producer.
#pragma once

#include <windows.h>

#include <deque>
#include <utility>

template <typename T> class BoundedQueue {
  public:
    BoundedQueue() { InitializeCriticalSection(&m_lock); }
    ~BoundedQueue() { DeleteCriticalSection(&m_lock); }
    BoundedQueue(const BoundedQueue&) = delete;
    BoundedQueue& operator=(const BoundedQueue&) = delete;

    void SetCapacity(size_t capacity) {
        EnterCriticalSection(&m_lock);
        m_capacity = capacity > 0 ? capacity : 1;
        LeaveCriticalSection(&m_lock);
    }

    void Push(T item) {
        EnterCriticalSection(&m_lock);
        if (m_items.size() >= m_capacity) {
            m_items.pop_front();
            ++m_dropped;
        }
        m_items.push_back(std::move(item));
        LeaveCriticalSection(&m_lock);
    }

    // Everything queued, oldest first.
    std::deque<T> TakeAll() {
        std::deque<T> items;
        EnterCriticalSection(&m_lock);
        items.swap(m_items);
        LeaveCriticalSection(&m_lock);
        return items;
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
    unsigned long m_dropped = 0;
};

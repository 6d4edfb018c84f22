// The viewer's end of the duzar channel: it owns the shared buffer, and a reader thread takes its
// complete lines into an ordered, bounded queue whenever a client signals, at start and every few
// hundred milliseconds. Faults of the channel join the same queue, so the window reports them in
// order.
#pragma once

#include "bounded_queue.h"
#include "duzar.h"

#include <string>

struct ChannelItem {
    bool fault; // a fault of the channel, not a logged line
    std::string text;
};

class ChannelReader {
  public:
    static constexpr DWORD kDrainPeriodMs = 250;
    static constexpr DWORD kLockTimeoutMs = 1000;
    // A line still without its line feed after this long is taken as it is: its writer may have
    // died.
    static constexpr DWORD kStaleTailMs = 3000;
    // The pause after a wake-up that found nothing new.
    static constexpr DWORD kEmptyWakePauseMs = 2;

    ChannelReader() = default;
    ~ChannelReader();
    ChannelReader(const ChannelReader&) = delete;
    ChannelReader& operator=(const ChannelReader&) = delete;

    // Creates (or, while clients still hold them, opens) the mapping, the lock and the event.
    // False with a message when one cannot be had.
    bool Create(std::string* error);

    // Starts the reader thread; it posts wakeMessage to window after each drain that found
    // something. At most capacity items wait for the window; older ones are dropped.
    void Start(HWND window, UINT wakeMessage, size_t capacity);
    void Stop();

    // Takes what the reader queued, oldest first. The window calls it on wakeMessage and before it
    // adds a line that a client flushes to it: such a client holds the lock, so every line queued
    // before is older than the flushed one.
    std::deque<ChannelItem> TakeQueued() { return m_queue.TakeAll(); }

    // Items dropped because the window fell behind by more than the queue holds.
    unsigned long Dropped() { return m_queue.Dropped(); }

  private:
    static DWORD WINAPI ThreadMain(LPVOID self);
    void Run();
    bool Drain();
    size_t LinesToTake(const char* text, size_t length);
    void Queue(bool fault, std::string text) { m_queue.Push({fault, std::move(text)}); }

    HANDLE m_map = NULL;
    char* m_view = NULL;
    HANDLE m_lock = NULL;
    HANDLE m_event = NULL;
    HANDLE m_stop = NULL;
    HWND m_window = NULL;
    UINT m_wakeMessage = 0;
    // Plain Win32 threads: the 32-bit toolchain has no std::thread.
    HANDLE m_thread = NULL;
    BoundedQueue<ChannelItem> m_queue;
    // The unterminated tail that the last drain left in the buffer, and since when it stands.
    std::string m_tail;
    DWORD m_tailSince = 0;
};

// The viewer's end of the duzar channel: it owns the shared buffer, and a reader thread empties it
// into an ordered queue of lines whenever a client signals, at start and every few hundred
// milliseconds. Faults of the channel join the same queue, so the window reports them in order.
#pragma once

#include "duzar.h"

#include <string>
#include <vector>

struct ChannelItem {
    bool fault; // a fault of the channel, not a logged line
    std::string text;
};

class ChannelReader {
  public:
    static constexpr DWORD kDrainPeriodMs = 250;
    static constexpr DWORD kLockTimeoutMs = 1000;

    ChannelReader() { InitializeCriticalSection(&m_queueLock); }
    ~ChannelReader();
    ChannelReader(const ChannelReader&) = delete;
    ChannelReader& operator=(const ChannelReader&) = delete;

    // Creates (or, while clients still hold them, opens) the mapping, the lock and the event.
    // False with a message when one cannot be had.
    bool Create(std::string* error);

    // Starts the reader thread; it posts wakeMessage to window after each drain that found
    // something.
    void Start(HWND window, UINT wakeMessage);
    void Stop();

    // Takes what the reader queued, oldest first. The window calls it on wakeMessage and before it
    // adds a line that a client flushes to it: such a client holds the lock, so every line queued
    // before is older than the flushed one.
    std::vector<ChannelItem> TakeQueued();

  private:
    static DWORD WINAPI ThreadMain(LPVOID self);
    void Run();
    void Drain();
    void Queue(bool fault, std::string text);

    HANDLE m_map = NULL;
    char* m_view = NULL;
    HANDLE m_lock = NULL;
    HANDLE m_event = NULL;
    HANDLE m_stop = NULL;
    HWND m_window = NULL;
    UINT m_wakeMessage = 0;
    HANDLE m_thread = NULL;
    // Plain Win32 threads and locks: the 32-bit toolchain has no std::thread.
    CRITICAL_SECTION m_queueLock;
    std::vector<ChannelItem> m_queue;
};

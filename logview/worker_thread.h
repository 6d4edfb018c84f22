// A thread of the viewer's own and the event that asks it to stop: the channel's reader, the debug
// output's reader and each output's writer are one. Its body waits on StopEvent beside what it
// serves and returns once that is set. Plain Win32 threads: the 32-bit toolchain has no
// std::thread.
#pragma once

#include "owned.h"

class WorkerThread {
  public:
    WorkerThread() = default;
    // A thread still running is waited for: its body uses its owner. An owner that gives up on a
    // blocked thread (Stop's bound passed) is left, with this, to the process's exit.
    ~WorkerThread() { Stop(INFINITE); }
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Runs (owner->*Body)() on a thread of its own; false, with the system's code for
    // GetLastError, when it cannot start.
    template <typename Owner, void (Owner::*Body)()> bool Start(Owner* owner) {
        m_owner = owner;
        m_body = [](void* self) { (static_cast<Owner*>(self)->*Body)(); };
        return Launch();
    }

    // Sets the stop event, without waiting: several threads then end side by side.
    void RequestStop() {
        if (m_stop) {
            SetEvent(m_stop.Get());
        }
    }
    // Sets the stop event and waits at most timeout for the body to return; true when no thread
    // runs any more. A thread still running then is kept, and waited for again by the next Stop.
    bool Stop(DWORD timeout);

    HANDLE StopEvent() const { return m_stop.Get(); }
    bool Running() const { return static_cast<bool>(m_thread); }

  private:
    static DWORD WINAPI Main(LPVOID self);
    bool Launch();

    OwnedHandle m_stop;
    OwnedHandle m_thread;
    void* m_owner = nullptr;
    void (*m_body)(void*) = nullptr;
};

// The headless viewer's output on a thread of its own: standard output, the --out file and standard
// error may be pipes whose reader has paused, and the window's thread must never wait for them.
// What cannot be written yet waits in a bounded queue.
#pragma once

#include "bounded_queue.h"

#include <string>

// Writes text to handle, which may be missing; the viewer's one way of writing a file or stream.
void WriteText(HANDLE handle, const std::string& text);

class OutputWriter {
  public:
    OutputWriter() = default;
    ~OutputWriter() { Finish(0); }
    OutputWriter(const OutputWriter&) = delete;
    OutputWriter& operator=(const OutputWriter&) = delete;

    // Starts the thread; lines go to out and file, faults to error. Any handle may be missing.
    bool Start(HANDLE out, HANDLE file, HANDLE error, size_t capacity);

    // Every so often the thread writes what came meanwhile, in one write per target: a wake-up per
    // line would cost the viewer a context switch and a system call for each.
    static constexpr DWORD kWritePeriodMs = 50;

    // Queue text and a line feed for out and file, or for error.
    void Line(const std::string& text) { m_queue.Push({false, text + "\n"}); }
    void Fault(const std::string& text) { m_queue.Push({true, text + "\n"}); }

    // Writes what is queued and ends the thread, waiting at most timeout; false when the output is
    // still blocked then (the thread is left to the process's exit).
    bool Finish(DWORD timeout);

    // Lines dropped because the output fell behind by more than the queue holds.
    unsigned long Dropped() { return m_queue.Dropped(); }

  private:
    struct Item {
        bool fault;
        std::string text;
    };

    static DWORD WINAPI ThreadMain(LPVOID self);
    void Run();

    HANDLE m_out = NULL;
    HANDLE m_file = NULL;
    HANDLE m_error = NULL;
    HANDLE m_stop = NULL;
    HANDLE m_thread = NULL;
    BoundedQueue<Item> m_queue;
};

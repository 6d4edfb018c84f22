// A saved log followed as it grows (--follow): a thread of its own looks at the file four times a
// second and hands each new whole line to the window, which reads it as File › Open does. A line
// still being written waits for its line feed. A file that became shorter (truncated) or is another
// file under the same name (replaced, as a rotation does) is read again from its start, and that is
// said in the status bar.
#pragma once

#include "arrivals.h"
#include "worker_thread.h"

#include <windows.h>

#include <string>

class FileFollower {
  public:
    static constexpr DWORD kPollMs = 250;
    // A line longer than this is cut there, as File › Open cuts it.
    static constexpr size_t kLongestLine = 64 * 1024;

    FileFollower() = default;
    FileFollower(const FileFollower&) = delete;
    FileFollower& operator=(const FileFollower&) = delete;

    bool Start(const std::wstring& path, Arrivals* arrivals);
    void Stop() { m_worker.Stop(INFINITE); }

  private:
    void Run();
    void Poll();
    void Restart(const char* why);

    std::wstring m_path;
    Arrivals* m_arrivals = NULL;
    ULONGLONG m_position = 0;
    DWORD m_volume = 0;
    ULONGLONG m_index = 0; // with m_volume, which file the name held
    bool m_known = false;
    std::string m_pending; // the last line, its line feed still to come
    WorkerThread m_worker; // last: its thread ends before the rest goes
};

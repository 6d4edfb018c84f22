// Save As's writing, on a thread of its own, so that the window answers while a large log (up to
// the store's bytes) goes to a slow disc or share. One at a time; the window is told with
// kDoneMessage once the file is written or has failed.
#pragma once

#include "worker_thread.h"

#include <string>

class SaveJob {
  public:
    static constexpr UINT kDoneMessage = WM_APP + 4;

    // True from Start until the outcome is taken.
    bool Busy() const { return m_worker.Running(); }
    // Writes text to path (created anew) and then posts kDoneMessage to window; false when a save
    // is still under way or the thread cannot start.
    bool Start(HWND window, const std::wstring& path, std::string text);
    // After kDoneMessage: empty when the file was written, else what to say.
    std::string TakeOutcome();

  private:
    void Run();

    HWND m_window = NULL;
    std::wstring m_path;
    std::string m_text;
    std::string m_outcome;
    WorkerThread m_worker; // last: its thread ends before the rest goes
};

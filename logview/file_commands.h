// The viewer's file commands: Open a saved log (in a window of its own: this program started again
// with the file), Save As (all kept lines or the rows shown, as a log file's lines, written on a
// thread of its own) and Log to File (every line from now on, appended by the log file's writer).
// The file dialogs start in the user's documents: the disc the viewer may run from is read-only.
#pragma once

#include "save_job.h"
#include "viewer_window.h"

class FileCommands {
  public:
    FileCommands(ViewerWindow& window, const LineStore& store, LogFile& logFile)
        : m_window(window), m_store(store), m_logFile(logFile) {}
    FileCommands(const FileCommands&) = delete;
    FileCommands& operator=(const FileCommands&) = delete;

    // follow: the window follows the file as it grows (--follow).
    void AskSavedLog(bool follow);
    void OpenSavedLog(const std::wstring& path, bool follow = false);
    void SaveAs();
    void OnSaveDone();
    // On: asks for the file, offering *path (the last one used), and appends to it, to switch as
    // rotation says; off: closes it. True when *path is a new choice, to be kept.
    bool ToggleLogToFile(std::wstring* path, const Rotation& rotation);
    // The file being logged to, again with another rotation.
    void RotateLogFileAs(const std::wstring& path, const Rotation& rotation);
    void CloseLogFile();
    bool LoggingToFile() const { return m_logFile.IsOpen(); }

  private:
    bool AskFile(const wchar_t* title, const wchar_t* types, std::wstring* path, DWORD* choice);

    ViewerWindow& m_window;
    const LineStore& m_store;
    LogFile& m_logFile;
    SaveJob m_saving;
};

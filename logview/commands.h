// The viewer's commands, each a menu item with its key: save, copy, select, clear and follow the
// rows; find a line; the filter and the highlight rules, each in its own dialog; always on top and
// the time column's form. They act through the window's row operations and the settings; what the
// user chooses is kept in the settings.
#pragma once

#include "debug_output.h"
#include "save_job.h"
#include "viewer_window.h"

class Commands : public CommandTarget {
  public:
    Commands(ViewerWindow& window, LineStore& store, UserSettings& settings,
             Highlighter& highlighter, Arrivals& arrivals, DebugOutputReader& capture,
             LogFile& logFile)
        : m_window(window), m_store(store), m_settings(settings), m_highlighter(highlighter),
          m_arrivals(arrivals), m_capture(capture), m_logFile(logFile) {}
    Commands(const Commands&) = delete;
    Commands& operator=(const Commands&) = delete;

    void OnCommand(WORD command) override;
    void OnWriteFailed() override;
    void OnSaveDone() override;
    // In a window of its own: this program started again with the file.
    void OpenSavedLog(const std::wstring& path) override;
    // The highlighter takes the settings' rules, the window's rows the filter; debug output is
    // read if so chosen.
    void ApplySettings();
    void UpdateMenuChecks();
    // The find box takes its own keys (Tab, Enter, Esc) first.
    bool FindBoxMessage(MSG* msg);

  private:
    static INT_PTR CALLBACK FindBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam);
    std::string Rows(bool selectedOnly) const;
    void CopySelection();
    bool AskFile(const wchar_t* title, const wchar_t* types, std::wstring* path, DWORD* choice);
    void SaveAs();
    void ToggleLogToFile();
    void AskSavedLog();
    void StartCapture();
    void ToggleCapture();
    void Find(bool forward);
    void TakeFindBox(HWND box);
    void OpenFindBox();
    void KeepSettings();
    void SetTimeMode(TimeMode mode);

    ViewerWindow& m_window;
    LineStore& m_store;
    UserSettings& m_settings;
    Highlighter& m_highlighter;
    Arrivals& m_arrivals;
    DebugOutputReader& m_capture;
    LogFile& m_logFile;
    SaveJob m_saving;
    HWND m_findBox = NULL;
    std::string m_findText;
    bool m_findMatchCase = false;
};

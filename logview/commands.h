// The viewer's commands, each a menu item with its key, dispatched here to whom does it: the file
// commands (file_commands.h), the find box (find_box.h), the filter and highlight dialogs
// (dialogs.h) and the window's row operations; here too copy, capturing the debug output, always
// on top and the time column's form. What the user chooses is kept in the settings.
#pragma once

#include "debug_output.h"
#include "file_commands.h"
#include "find_box.h"
#include "syslog_sender.h"
#include "viewer_window.h"

class Commands : public CommandTarget {
  public:
    Commands(ViewerWindow& window, LineStore& store, UserSettings& settings,
             Highlighter& highlighter, Arrivals& arrivals, DebugCaptures& captures,
             LogFile& logFile, SyslogForwarding& forwarding)
        : m_window(window), m_store(store), m_settings(settings), m_highlighter(highlighter),
          m_arrivals(arrivals), m_captures(captures), m_forwarding(forwarding),
          m_files(window, store, logFile), m_findBox(window) {}
    Commands(const Commands&) = delete;
    Commands& operator=(const Commands&) = delete;

    void OnCommand(WORD command) override;
    void OnWriteFailed() override;
    void OnSaveDone() override { m_files.OnSaveDone(); }
    // In a window of its own: this program started again with the file.
    void OpenSavedLog(const std::wstring& path) override { m_files.OpenSavedLog(path); }
    // The highlighter takes the settings' rules, the window's rows the filter; debug output is
    // read if so chosen.
    void ApplySettings();
    void UpdateMenuChecks();
    // The find box takes its own keys (Tab, Enter, Esc) first.
    bool FindBoxMessage(MSG* msg) { return m_findBox.TakesMessage(msg); }

  private:
    std::string Rows(bool selectedOnly) const;
    void CopySelection();
    void ToggleBookmark();
    // Selects the next (or previous) bookmarked row; a beep and a notice when there is none.
    void GoToBookmark(bool forward);
    void FilterProcess(bool only);
    void ToggleLogToFile();
    // Asks for the collector; forwarding then goes there, or stops.
    void ForwardToSyslog();
    // Forwards as the settings say, if they say so (the channel's window alone).
    void StartForwarding();
    // Global: the machine's debug output, else the session's.
    DebugOutputReader& Capture(bool global) {
        return global ? m_captures.global : m_captures.session;
    }
    bool& CaptureSetting(bool global) {
        return global ? m_settings.captureGlobalDebugOutput : m_settings.captureDebugOutput;
    }
    void StartCapture(bool global);
    void ToggleCapture(bool global);
    void KeepSettings();
    void SetTimeMode(TimeMode mode);

    ViewerWindow& m_window;
    LineStore& m_store;
    UserSettings& m_settings;
    Highlighter& m_highlighter;
    Arrivals& m_arrivals;
    DebugCaptures& m_captures;
    SyslogForwarding& m_forwarding;
    FileCommands m_files;
    FindBox m_findBox;
};

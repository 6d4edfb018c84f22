#include "commands.h"

#include "dialogs.h"
#include "log_format.h"
#include "logview_resource.h"

// The rows of the selected lines, or of all rows, each ending in CR LF.
std::string Commands::Rows(bool selectedOnly) const {
    std::string text;
    for (size_t row = 0; row < m_window.RowCount(); ++row) {
        const KeptLine* line = m_window.LineOfRow(row);
        if (line && (!selectedOnly || m_window.IsSelected(row))) {
            text += LogFileLine(*line) + "\r\n";
        }
    }
    return text;
}

void Commands::CopySelection() {
    std::string text = Rows(true);
    if (text.empty() || !OpenClipboard(m_window.Handle())) {
        return;
    }
    EmptyClipboard();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    if (memory) {
        memcpy(GlobalLock(memory), text.c_str(), text.size() + 1);
        GlobalUnlock(memory);
        if (!SetClipboardData(CF_TEXT, memory)) {
            GlobalFree(memory);
        }
    }
    CloseClipboard();
}

void Commands::ToggleLogToFile() {
    if (m_files.ToggleLogToFile(&m_settings.logFile, m_settings.logRotation)) {
        KeepSettings();
    }
    UpdateMenuChecks();
}

void Commands::ForwardToSyslog() {
    if (EditSyslog(m_window.Handle(), &m_settings.syslogUrl, &m_settings.syslogPriority)) {
        KeepSettings();
        StartForwarding();
        UpdateMenuChecks();
    }
}

void Commands::StartForwarding() {
    m_forwarding.Stop();
    SyslogTarget target;
    int priority = kDefaultSyslogPriority;
    std::string error;
    if (m_window.Mode() != ViewerMode::kChannel || m_settings.syslogUrl.empty() ||
        !ParseSyslogUrl(m_settings.syslogUrl, &target, &error) ||
        !ParseSyslogPriority(m_settings.syslogPriority, &priority, &error)) {
        return;
    }
    if (!m_forwarding.Start(target, priority, &error)) {
        m_window.ReportFault(error);
    }
}

void Commands::OnWriteFailed() {
    m_files.CloseLogFile();
    UpdateMenuChecks();
}

// Debug output is read while the setting is on and no other program listens there; where the
// machine's cannot be read (the right to create global objects), that is said and the rest goes on.
void Commands::StartCapture(bool global) {
    std::string error;
    if (!Capture(global).Start(&m_arrivals, &error)) {
        m_window.ReportFault(std::string(global ? "Global debug output: " : "Debug output: ") +
                             error);
    }
}

void Commands::ToggleCapture(bool global) {
    bool& setting = CaptureSetting(global);
    setting = !Capture(global).Running();
    if (setting) {
        StartCapture(global);
        setting = Capture(global).Running();
    } else {
        Capture(global).Stop();
    }
    KeepSettings();
    UpdateMenuChecks();
}

void Commands::SetTimeMode(TimeMode mode) {
    m_settings.timeMode = mode;
    KeepSettings();
    UpdateMenuChecks();
    m_window.Redraw();
}

// Kept where the mode keeps them (never by a headless viewer, whatever commands another program
// sends its hidden window, nor by a saved log's window); a failure is said in the status bar.
void Commands::KeepSettings() {
    LONG status = m_settings.Save();
    if (status != ERROR_SUCCESS) {
        m_window.ReportFault("Cannot keep the settings: " +
                             SystemReason(static_cast<DWORD>(status)));
    }
}

void Commands::ApplySettings() {
    // Capture first: once the status bar shows, a program that finds the window may write debug
    // output at once, and what it writes before the capture's objects exist is lost to the system.
    for (bool global : {false, true}) {
        if (CaptureSetting(global) && m_window.Mode() != ViewerMode::kSavedLog) {
            StartCapture(global);
        }
    }
    StartForwarding();
    // Only a stored rule that someone edited by hand can be refused (the dialog checks its own):
    // that rule is left out, the others stay.
    std::string error;
    std::vector<HighlightRule>& rules = m_settings.highlights;
    for (size_t i = 0; i < rules.size();) {
        if (Highlighter().Set({rules[i]}, &error)) {
            ++i;
        } else {
            m_window.ReportFault(error + "; that rule is left out.");
            rules.erase(rules.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    m_highlighter.Set(rules, &error);
    m_window.Refilter();
}

void Commands::UpdateMenuChecks() {
    HMENU menu = GetMenu(m_window.Handle());
    CheckMenuItem(menu, IDM_ALWAYS_ON_TOP, m_settings.alwaysOnTop ? MF_CHECKED : MF_UNCHECKED);
    CheckMenuItem(menu, IDM_LOG_TO_FILE, m_files.LoggingToFile() ? MF_CHECKED : MF_UNCHECKED);
    CheckMenuItem(menu, IDM_FORWARD_SYSLOG, m_forwarding.Running() ? MF_CHECKED : MF_UNCHECKED);
    CheckMenuItem(menu, IDM_CAPTURE_DEBUG,
                  m_captures.session.Running() ? MF_CHECKED : MF_UNCHECKED);
    CheckMenuItem(menu, IDM_CAPTURE_GLOBAL,
                  m_captures.global.Running() ? MF_CHECKED : MF_UNCHECKED);
    CheckMenuRadioItem(menu, IDM_TIME_CLOCK, IDM_TIME_SINCE_FIRST,
                       m_settings.timeMode == TimeMode::kClock ? IDM_TIME_CLOCK
                                                               : IDM_TIME_SINCE_FIRST,
                       MF_BYCOMMAND);
}

void Commands::OnCommand(WORD command) {
    // A saved log's window reads no new lines, whoever sends it the command.
    if (m_window.Mode() == ViewerMode::kSavedLog &&
        (command == IDM_LOG_TO_FILE || command == IDM_FORWARD_SYSLOG ||
         command == IDM_CAPTURE_DEBUG || command == IDM_CAPTURE_GLOBAL)) {
        return;
    }
    // The last command's outcome stands until the next.
    m_window.SetNotice("");
    switch (command) {
    case IDM_OPEN:
    case IDM_OPEN_FOLLOW: m_files.AskSavedLog(command == IDM_OPEN_FOLLOW); break;
    case IDM_SAVE: m_files.SaveAs(); break;
    case IDM_LOG_TO_FILE: ToggleLogToFile(); break;
    case IDM_FORWARD_SYSLOG: ForwardToSyslog(); break;
    case IDM_LOG_ROTATION:
        if (EditRotation(m_window.Handle(), &m_settings.logRotation)) {
            KeepSettings();
            m_files.RotateLogFileAs(m_settings.logFile, m_settings.logRotation);
        }
        break;
    case IDM_CAPTURE_DEBUG:
    case IDM_CAPTURE_GLOBAL: ToggleCapture(command == IDM_CAPTURE_GLOBAL); break;
    case IDM_EXIT: PostMessageA(m_window.Handle(), WM_CLOSE, 0, 0); break;
    case IDM_COPY: CopySelection(); break;
    case IDM_SELECT_ALL: m_window.SelectAll(); break;
    case IDM_CLEAR: m_window.Clear(); break;
    case IDM_FOLLOW: m_window.ScrollToEnd(); break;
    case IDM_FIND: m_findBox.Open(); break;
    case IDM_FIND_NEXT:
    case IDM_FIND_PREVIOUS: m_findBox.Again(command == IDM_FIND_NEXT); break;
    case IDM_TOGGLE_BOOKMARK: ToggleBookmark(); break;
    case IDM_NEXT_BOOKMARK:
    case IDM_PREVIOUS_BOOKMARK: GoToBookmark(command == IDM_NEXT_BOOKMARK); break;
    case IDM_FILTER:
        if (EditFilter(m_window.Handle(), &m_settings.filter)) {
            KeepSettings();
            m_window.Refilter();
        }
        break;
    case IDM_SHOW_ONLY_PROCESS:
    case IDM_HIDE_PROCESS: FilterProcess(command == IDM_SHOW_ONLY_PROCESS); break;
    case IDM_HISTORY: {
        unsigned long lines = static_cast<unsigned long>(m_store.MaxLines());
        unsigned long bytes = static_cast<unsigned long>(m_store.MaxBytes());
        if (EditHistory(m_window.Handle(), &lines, &bytes)) {
            m_settings.maxLines = lines;
            m_settings.maxBytes = bytes;
            KeepSettings();
            m_store.SetBounds(lines, bytes);
            m_window.Refilter();
        }
        break;
    }
    case IDM_FONT:
        if (ChooseRowFont(m_window.Handle(), m_window.Dpi(), &m_settings)) {
            KeepSettings();
            m_window.ApplyFont();
        }
        break;
    case IDM_HIGHLIGHT:
        if (EditHighlights(m_window.Handle(), &m_settings.highlights)) {
            std::string checked; // each rule was checked as it was entered
            m_highlighter.Set(m_settings.highlights, &checked);
            KeepSettings();
            m_window.Redraw();
        }
        break;
    case IDM_ALWAYS_ON_TOP:
        m_settings.alwaysOnTop = !m_settings.alwaysOnTop;
        KeepSettings();
        m_window.ApplyAlwaysOnTop();
        UpdateMenuChecks();
        break;
    case IDM_TIME_CLOCK: SetTimeMode(TimeMode::kClock); break;
    case IDM_TIME_SINCE_FIRST: SetTimeMode(TimeMode::kSinceFirstLine); break;
    }
    m_window.UpdateStatus();
}

void Commands::ToggleBookmark() {
    LRESULT caret = m_window.Caret();
    if (caret >= 0) {
        m_store.ToggleBookmark(static_cast<size_t>(caret));
        m_window.Redraw();
    }
}

void Commands::GoToBookmark(bool forward) {
    long from = m_window.AnySelected() ? static_cast<long>(m_window.Caret()) : -1;
    long row = m_store.NextBookmark(from, forward);
    if (row < 0) {
        MessageBeep(MB_ICONWARNING);
        m_window.SetNotice("No bookmark among the rows shown (Ctrl+F2 sets one)");
        return;
    }
    m_window.SelectOnly(static_cast<size_t>(row));
}

// The context menu's process: the only one shown, or one more hidden.
void Commands::FilterProcess(bool only) {
    const std::string& process = m_window.MenuProcess();
    FilterLists& filter = m_settings.filter;
    if (only) {
        filter.process = process;
    } else {
        filter.excludeProcess += (filter.excludeProcess.empty() ? "" : ";") + process;
    }
    KeepSettings();
    m_window.Refilter();
}

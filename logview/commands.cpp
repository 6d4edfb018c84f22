#include "commands.h"

#include "dialogs.h"

#include "log_format.h"
#include "logview_resource.h"

#include <commdlg.h>
#include <shlobj.h>
#include <stdio.h>

namespace {} // namespace

// The rows of the selected lines, or of all rows, each ending in CR LF.
std::string Commands::Rows(bool selectedOnly) const {
    std::string text;
    for (size_t row = 0; row < m_window.RowCount(); ++row) {
        if (!selectedOnly || m_window.IsSelected(row)) {
            text += m_window.RowText(row) + "\r\n";
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

// A file name from the Save dialog, starting in the user's documents (the disc the viewer may run
// from is read-only); *choice is the file type chosen, from 1.
bool Commands::AskFile(const wchar_t* title, const wchar_t* types, std::wstring* path,
                       DWORD* choice) {
    wchar_t file[MAX_PATH] = {};
    wchar_t documents[MAX_PATH] = {};
    lstrcpynW(file, path->c_str(), MAX_PATH);
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = m_window.Handle();
    dialog.lpstrTitle = title;
    dialog.lpstrFilter = types;
    dialog.lpstrFile = file;
    dialog.nMaxFile = MAX_PATH;
    if (SUCCEEDED(SHGetFolderPathW(NULL, CSIDL_PERSONAL, NULL, 0, documents))) {
        dialog.lpstrInitialDir = documents;
    }
    dialog.Flags = OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | (choice ? OFN_OVERWRITEPROMPT : 0);
    dialog.lpstrDefExt = L"log";
    if (!GetSaveFileNameW(&dialog)) {
        return false;
    }
    *path = file;
    if (choice) {
        *choice = dialog.nFilterIndex;
    }
    return true;
}

// All kept lines or the rows shown, as a log file's lines: it opens again with the same rows.
void Commands::SaveAs() {
    std::wstring path = kDefaultLogName;
    DWORD choice = 1;
    if (!AskFile(L"Save As", L"All kept lines (*.log)\0*.log\0The rows shown (*.log)\0*.log\0",
                 &path, &choice)) {
        return;
    }
    if (m_saving.Busy()) {
        m_window.SetNotice("The last Save As is still being written");
        return;
    }
    std::string text;
    if (choice == 2) {
        for (size_t row = 0; row < m_window.RowCount(); ++row) {
            text += LogFileLine(*m_window.LineOfRow(row)) + "\r\n";
        }
    } else {
        for (size_t i = 0; const KeptLine* line = m_store.KeptAt(i); ++i) {
            text += LogFileLine(*line) + "\r\n";
        }
    }
    if (!m_saving.Start(m_window.Handle(), path, std::move(text))) {
        ShowError(m_window.Handle(),
                  "Cannot start writing " + Narrow(path) + ": " + SystemReason(GetLastError()));
    }
}

void Commands::OnSaveDone() {
    std::string outcome = m_saving.TakeOutcome();
    if (!outcome.empty()) {
        ShowError(m_window.Handle(), outcome);
    }
}

// On: every line from now on is appended to a file chosen by the user (the last one offered);
// off: closed.
void Commands::ToggleLogToFile() {
    if (m_logFile.IsOpen()) {
        m_logFile.Close();
    } else {
        std::wstring path = m_settings.logFile.empty() ? kDefaultLogName : m_settings.logFile;
        std::string error;
        if (!AskFile(L"Log to File", kLogFileTypes, &path, NULL)) {
            return;
        }
        if (!m_logFile.Open(path, &error)) {
            ShowError(m_window.Handle(), error);
            return;
        }
        m_settings.logFile = path;
        KeepSettings();
    }
    m_window.SetLogFile(m_logFile.IsOpen() ? m_settings.logFile : std::wstring());
    UpdateMenuChecks();
}

void Commands::AskSavedLog() {
    wchar_t file[MAX_PATH] = {};
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = m_window.Handle();
    dialog.lpstrFilter = kLogFileTypes;
    dialog.lpstrFile = file;
    dialog.nMaxFile = MAX_PATH;
    dialog.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    if (GetOpenFileNameW(&dialog)) {
        OpenSavedLog(file);
    }
}

void Commands::OpenSavedLog(const std::wstring& path) {
    wchar_t program[MAX_PATH];
    DWORD length = GetModuleFileNameW(NULL, program, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(program, length) + L"\" \"" + path + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (length == 0 || length == MAX_PATH ||
        !CreateProcessW(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        std::string message = "Cannot open " + Narrow(path) + ": " + SystemReason(GetLastError());
        ShowError(m_window.Handle(), message);
        return;
    }
    OwnedHandle thread(process.hThread), started(process.hProcess);
}

void Commands::OnWriteFailed() {
    m_logFile.Close();
    m_window.SetLogFile(std::wstring());
    UpdateMenuChecks();
}

// Debug output is read while the setting is on and no other program listens there.
void Commands::StartCapture() {
    std::string error;
    if (!m_capture.Start(&m_arrivals, &error)) {
        m_window.ReportFault("Debug output: " + error);
    }
}

void Commands::ToggleCapture() {
    m_settings.captureDebugOutput = !m_capture.Running();
    if (m_settings.captureDebugOutput) {
        StartCapture();
        m_settings.captureDebugOutput = m_capture.Running();
    } else {
        m_capture.Stop();
    }
    KeepSettings();
    UpdateMenuChecks();
}

// Finds the next row after the caret (or the previous one before it) whose line holds the find
// text, past the end on to the start (or back), selects it alone and brings it into view; the
// status bar says where it stands, and a miss is said there too, with a beep.
void Commands::Find(bool forward) {
    if (m_findText.empty()) {
        return;
    }
    const long count = static_cast<long>(m_window.RowCount());
    const bool anySelected = m_window.AnySelected();
    // With nothing selected yet, a search forward starts at the first row, backward at the last.
    const long caret = static_cast<long>(m_window.Caret());
    const long first = !anySelected ? (forward ? 0 : count - 1) : caret + (forward ? 1 : -1);
    for (long i = 0; i < count; ++i) {
        long position = forward ? first + i : first - i; // past the rows when wrapped
        size_t row = static_cast<size_t>((position % count + count) % count);
        const KeptLine* line = m_window.LineOfRow(row);
        if (line && Contains(line->text, m_findText, m_findMatchCase)) {
            m_window.SelectOnly(row);
            std::string where = "Row " + std::to_string(row + 1) + " of " + std::to_string(count);
            if (position >= count || position < 0) {
                where += forward ? " (from the top again)" : " (from the bottom again)";
            }
            m_window.SetNotice(where);
            return;
        }
    }
    MessageBeep(MB_ICONWARNING);
    m_window.SetNotice("Not found: \"" + m_findText + "\"");
}

void Commands::TakeFindBox(HWND box) {
    m_findText = DialogText(box, IDC_FIND_TEXT);
    m_findMatchCase = IsDlgButtonChecked(box, IDC_MATCH_CASE) == BST_CHECKED;
}

INT_PTR CALLBACK Commands::FindBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
    Commands* self = DialogData<Commands>(box, message, lParam);
    if (!self) {
        return FALSE;
    }
    switch (message) {
    case WM_INITDIALOG:
        SetDlgItemTextA(box, IDC_FIND_TEXT, self->m_findText.c_str());
        CheckDlgButton(box, IDC_MATCH_CASE, self->m_findMatchCase ? BST_CHECKED : BST_UNCHECKED);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
        case IDC_FIND_PREVIOUS:
            self->m_window.SetNotice("");
            self->TakeFindBox(box);
            self->Find(LOWORD(wParam) == IDOK);
            self->m_window.UpdateStatus();
            return TRUE;
        case IDCANCEL:
            DestroyWindow(box);
            self->m_findBox = NULL;
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

void Commands::OpenFindBox() {
    if (!m_findBox) {
        m_findBox =
            CreateDialogParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_FIND),
                               m_window.Handle(), FindBoxProc, reinterpret_cast<LPARAM>(this));
    }
    if (m_findBox) {
        ShowWindow(m_findBox, SW_SHOW);
        SetFocus(GetDlgItem(m_findBox, IDC_FIND_TEXT));
        SendDlgItemMessageA(m_findBox, IDC_FIND_TEXT, EM_SETSEL, 0, -1);
    }
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
    m_highlighter.Set(m_settings.highlights);
    m_window.Refilter();
    if (m_settings.captureDebugOutput && m_window.Mode() != ViewerMode::kSavedLog) {
        StartCapture();
    }
}

void Commands::UpdateMenuChecks() {
    HMENU menu = GetMenu(m_window.Handle());
    CheckMenuItem(menu, IDM_ALWAYS_ON_TOP, m_settings.alwaysOnTop ? MF_CHECKED : MF_UNCHECKED);
    CheckMenuItem(menu, IDM_LOG_TO_FILE, m_logFile.IsOpen() ? MF_CHECKED : MF_UNCHECKED);
    CheckMenuItem(menu, IDM_CAPTURE_DEBUG, m_capture.Running() ? MF_CHECKED : MF_UNCHECKED);
    CheckMenuRadioItem(menu, IDM_TIME_CLOCK, IDM_TIME_SINCE_FIRST,
                       m_settings.timeMode == TimeMode::kClock ? IDM_TIME_CLOCK
                                                               : IDM_TIME_SINCE_FIRST,
                       MF_BYCOMMAND);
}

bool Commands::FindBoxMessage(MSG* msg) {
    return m_findBox && IsDialogMessageA(m_findBox, msg);
}

void Commands::OnCommand(WORD command) {
    // A saved log's window reads no new lines, whoever sends it the command.
    if (m_window.Mode() == ViewerMode::kSavedLog &&
        (command == IDM_LOG_TO_FILE || command == IDM_CAPTURE_DEBUG)) {
        return;
    }
    // The last command's outcome stands until the next.
    m_window.SetNotice("");
    switch (command) {
    case IDM_OPEN: AskSavedLog(); break;
    case IDM_SAVE: SaveAs(); break;
    case IDM_LOG_TO_FILE: ToggleLogToFile(); break;
    case IDM_CAPTURE_DEBUG: ToggleCapture(); break;
    case IDM_EXIT: PostMessageA(m_window.Handle(), WM_CLOSE, 0, 0); break;
    case IDM_COPY: CopySelection(); break;
    case IDM_SELECT_ALL: m_window.SelectAll(); break;
    case IDM_CLEAR: m_window.Clear(); break;
    case IDM_FOLLOW: m_window.ScrollToEnd(); break;
    case IDM_FIND: OpenFindBox(); break;
    case IDM_FIND_NEXT:
    case IDM_FIND_PREVIOUS:
        if (m_findBox) {
            TakeFindBox(m_findBox);
        }
        if (m_findText.empty()) {
            OpenFindBox();
        } else {
            Find(command == IDM_FIND_NEXT);
        }
        break;
    case IDM_FILTER:
        if (EditFilter(m_window.Handle(), &m_settings.include, &m_settings.exclude)) {
            KeepSettings();
            m_window.Refilter();
        }
        break;
    case IDM_HIGHLIGHT:
        if (EditHighlights(m_window.Handle(), m_settings.highlights)) {
            m_highlighter.Set(m_settings.highlights);
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

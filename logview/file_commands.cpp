#include "file_commands.h"

#include "log_format.h"

#include <commdlg.h>
#include <shlobj.h>

namespace {

// The Open and Save dialogs' common part: file holds MAX_PATH characters.
OPENFILENAMEW FileDialog(HWND owner, const wchar_t* types, wchar_t* file) {
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = types;
    dialog.lpstrFile = file;
    dialog.nMaxFile = MAX_PATH;
    return dialog;
}

} // namespace

// A file name from the Save dialog; *choice is the file type chosen, from 1.
bool FileCommands::AskFile(const wchar_t* title, const wchar_t* types, std::wstring* path,
                           DWORD* choice) {
    wchar_t file[MAX_PATH] = {};
    wchar_t documents[MAX_PATH] = {};
    lstrcpynW(file, path->c_str(), MAX_PATH);
    OPENFILENAMEW dialog = FileDialog(m_window.Handle(), types, file);
    dialog.lpstrTitle = title;
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

// As log file's lines, so that it opens again with the same rows.
void FileCommands::SaveAs() {
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

void FileCommands::OnSaveDone() {
    std::string outcome = m_saving.TakeOutcome();
    if (!outcome.empty()) {
        ShowError(m_window.Handle(), outcome);
    }
}

bool FileCommands::ToggleLogToFile(std::wstring* path, const Rotation& rotation) {
    if (m_logFile.IsOpen()) {
        CloseLogFile();
        return false;
    }
    std::wstring chosen = path->empty() ? kDefaultLogName : *path;
    std::string error;
    if (!AskFile(L"Log to File", kLogFileTypes, &chosen, NULL)) {
        return false;
    }
    if (!m_logFile.Open(chosen, rotation, &error)) {
        ShowError(m_window.Handle(), error);
        return false;
    }
    *path = chosen;
    m_window.SetLogFile(chosen);
    return true;
}

void FileCommands::RotateLogFileAs(const std::wstring& path, const Rotation& rotation) {
    std::string error;
    if (m_logFile.IsOpen() && !m_logFile.Open(path, rotation, &error)) {
        CloseLogFile();
        ShowError(m_window.Handle(), error);
    }
}

void FileCommands::CloseLogFile() {
    m_logFile.Close();
    m_window.SetLogFile(std::wstring());
}

void FileCommands::AskSavedLog(bool follow) {
    wchar_t file[MAX_PATH] = {};
    OPENFILENAMEW dialog = FileDialog(m_window.Handle(), kLogFileTypes, file);
    dialog.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    if (GetOpenFileNameW(&dialog)) {
        OpenSavedLog(file, follow);
    }
}

void FileCommands::OpenSavedLog(const std::wstring& path, bool follow) {
    wchar_t program[MAX_PATH];
    DWORD length = GetModuleFileNameW(NULL, program, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(program, length) + L"\" " +
                           (follow ? L"--follow " : L"") + L"\"" + path + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (length == 0 || length == MAX_PATH ||
        !CreateProcessW(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        ShowError(m_window.Handle(),
                  "Cannot open " + Narrow(path) + ": " + SystemReason(GetLastError()));
        return;
    }
    OwnedHandle thread(process.hThread), started(process.hProcess);
}

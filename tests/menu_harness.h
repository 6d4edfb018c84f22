// Driving the real setup.exe from outside, as a user would: a staged media folder with stub
// installers, the running menu found by its process, buttons pressed with BM_CLICK or keys, and the
// stubs' records read back.
#pragma once

#include "child_process.h"
#include "find_dialog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

// An ANSI path as the wide API takes it.
inline std::wstring Wide(const std::string& text) {
    wchar_t wide[MAX_PATH * 2] = {};
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide, MAX_PATH * 2);
    return wide;
}

// One start of a stub: its own path, the command line it got and its current directory.
struct StubRecord {
    std::string program, commandLine, directory;
};

// A media folder: setup.exe beside FendraL, FendraP and Morrik folders holding stub installers, a
// readme folder with the notes, and stubs named notepad.exe and viewer.exe. Removed at the end.
class Media {
  public:
    explicit Media(const std::string& root) : m_root(root) {
        fs::remove_all(m_root);
        fs::create_directories(m_root);
        fs::copy_file(ProgramPath("SETUP_EXE", SETUP_EXE), m_root + "\\setup.exe");
        for (const char* folder : {"FendraL", "FendraP", "Morrik"}) {
            fs::create_directories(m_root + "\\" + folder);
            fs::copy_file(WinePath(STUB_EXE), m_root + "\\" + folder + "\\setup.exe");
        }
        fs::copy_file(WinePath(STUB_EXE), m_root + "\\notepad.exe");
        fs::copy_file(WinePath(STUB_EXE), m_root + "\\viewer.exe");
        fs::create_directories(m_root + "\\readme");
        std::ofstream(m_root + "\\readme\\Velmora.pdf") << "%PDF-1.4\n";
    }
    ~Media() {
        std::error_code ignored;
        fs::remove_all(m_root, ignored);
    }
    Media(const Media&) = delete;
    Media& operator=(const Media&) = delete;

    const std::string& Root() const { return m_root; }
    std::string RecordFile() const { return m_root + "\\records.txt"; }

  private:
    std::string m_root;
};

class RunningMenu {
  public:
    // Starts media's setup.exe, or the copy at program, in directory (the media root when empty)
    // and waits for its menu. Its stubs record into the media's record file.
    explicit RunningMenu(const Media& media, const std::string& directory = "",
                         const std::wstring& program = L"")
        : m_records(media.RecordFile()) {
        SetEnvironmentVariableA("STUB_RECORD", m_records.c_str());
        std::wstring command =
            L"\"" + (program.empty() ? Wide(media.Root() + "\\setup.exe") : program) + L"\"";
        std::wstring cwd = Wide(directory.empty() ? media.Root() : directory);
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        if (!CreateProcessW(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, cwd.c_str(), &startup,
                            &m_process)) {
            ADD_FAILURE() << "cannot start the menu: " << GetLastError();
            return;
        }
        WaitForInputIdle(m_process.hProcess, 30000);
        for (int i = 0; i < 600 && !(m_dialog = FindDialogOf(m_process.dwProcessId)); ++i) {
            Sleep(50);
        }
        EXPECT_NE(nullptr, m_dialog) << "the setup menu did not appear";
    }
    ~RunningMenu() {
        if (m_process.hProcess) {
            if (WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT) {
                TerminateProcess(m_process.hProcess, 99);
                WaitForSingleObject(m_process.hProcess, 10000);
            }
            CloseHandle(m_process.hProcess);
            CloseHandle(m_process.hThread);
        }
    }
    RunningMenu(const RunningMenu&) = delete;
    RunningMenu& operator=(const RunningMenu&) = delete;

    HWND Dialog() const { return m_dialog; }
    DWORD ProcessId() const { return m_process.dwProcessId; }
    HWND Button(int id) const { return GetDlgItem(m_dialog, id); }
    bool Running() const { return WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT; }

    // A click as the mouse gives it, through the menu's own message loop.
    void Click(int id) const { PostMessageA(Button(id), BM_CLICK, 0, 0); }

    // A key pressed while the focus is where the menu put it.
    void PressKey(UINT key) const {
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(m_process.dwThreadId, &info);
        HWND target = info.hwndFocus ? info.hwndFocus : m_dialog;
        PostMessageA(target, WM_KEYDOWN, key, 1);
        PostMessageA(target, WM_KEYUP, key, 0xC0000001);
    }

    // The caption's close button; returns the exit code.
    DWORD CloseAndWait() const {
        PostMessageA(m_dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        if (WaitForSingleObject(m_process.hProcess, 30000) != WAIT_OBJECT_0) {
            return STILL_ACTIVE;
        }
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(m_process.hProcess, &code);
        return code;
    }

    std::vector<StubRecord> Records() const {
        std::vector<StubRecord> records;
        std::ifstream in(m_records);
        std::string line;
        while (std::getline(in, line)) {
            StubRecord record;
            std::istringstream fields(line);
            std::getline(fields, record.program, '|');
            std::getline(fields, record.commandLine, '|');
            std::getline(fields, record.directory);
            records.push_back(record);
        }
        return records;
    }

    // Waits until count stubs have recorded their start, or a generous guard against a hang.
    std::vector<StubRecord> WaitForRecords(size_t count) const {
        for (int i = 0; i < 600 && Records().size() < count; ++i) {
            Sleep(50);
        }
        return Records();
    }

  private:
    std::string m_records;
    PROCESS_INFORMATION m_process = {};
    HWND m_dialog = NULL;
};

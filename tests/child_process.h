// Starting the programs under test as child processes, their output sent to files, and the paths of
// the binaries that the build passes in: its own, or for the .i686 entries the release's, named by
// the environment.
#pragma once

#include <windows.h>

#include "owned.h"
#include "wait_until.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

// The build passes Unix paths of the binaries; Wine sees the Unix root as Z:.
inline std::string WinePath(const std::string& unixPath) {
    std::string path = "Z:" + unixPath;
    for (char& c : path) {
        if (c == '/') {
            c = '\\';
        }
    }
    return path;
}

// The program under test: the one the environment variable name holds (the .i686 entries name the
// release's), else the build's own.
inline std::string ProgramPath(const char* name, const char* built) {
    const char* chosen = getenv(name);
    return WinePath(chosen && *chosen ? chosen : built);
}

inline std::string ReadFileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    return lines;
}

// UTF-8 text as the wide calls take it.
inline std::wstring FromUtf8(const std::string& text) {
    std::wstring wide(text.size() + 1, L'\0');
    int length =
        MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &wide[0], static_cast<int>(wide.size()));
    wide.resize(length > 0 ? static_cast<size_t>(length - 1) : 0);
    return wide;
}

class ChildProcess {
  public:
    // Starts commandLine (UTF-8, so that any file name can be passed) in directory; standard
    // output and error go to the files named, if any, or standard output to the inheritable handle
    // outHandle, which stays the caller's.
    ChildProcess(const std::string& commandLine, const char* directory = NULL,
                 const std::string& outPath = "", const std::string& errPath = "",
                 HANDLE outHandle = NULL) {
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        OwnedHandle out = OpenOutput(outPath);
        OwnedHandle err = OpenOutput(errPath);
        if (out || err || outHandle) {
            startup.dwFlags = STARTF_USESTDHANDLES;
            startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
            startup.hStdOutput = out         ? out.Get()
                                 : outHandle ? outHandle
                                             : GetStdHandle(STD_OUTPUT_HANDLE);
            startup.hStdError = err ? err.Get() : GetStdHandle(STD_ERROR_HANDLE);
        }
        std::wstring command = FromUtf8(commandLine);
        std::wstring folder = directory ? FromUtf8(directory) : std::wstring();
        if (!CreateProcessW(NULL, &command[0], NULL, NULL, TRUE, 0, NULL,
                            directory ? folder.c_str() : NULL, &startup, &m_process)) {
            ADD_FAILURE() << "cannot start " << commandLine << ": " << GetLastError();
        }
    }
    ~ChildProcess() {
        if (m_process.hProcess) {
            Kill();
            CloseHandle(m_process.hProcess);
            CloseHandle(m_process.hThread);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Whether it ended within a generous guard against a hang, with its exit code in *code. A
    // program whose exit code is a count may end with 259, STILL_ACTIVE's value: only this tells.
    bool Ended(DWORD* code, DWORD milliseconds = 120000) const {
        return m_process.hProcess &&
               WaitForSingleObject(m_process.hProcess, milliseconds) == WAIT_OBJECT_0 &&
               GetExitCodeProcess(m_process.hProcess, code);
    }
    // The exit code, or STILL_ACTIVE when it did not end within the guard.
    DWORD Wait(DWORD milliseconds = 120000) const {
        DWORD code = STILL_ACTIVE;
        return Ended(&code, milliseconds) ? code : STILL_ACTIVE;
    }
    HANDLE Handle() const { return m_process.hProcess; }
    DWORD Id() const { return m_process.dwProcessId; }

    void Kill() const {
        if (WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(m_process.hProcess, 99);
            WaitForSingleObject(m_process.hProcess, 10000);
        }
    }

  private:
    static OwnedHandle OpenOutput(const std::string& path) {
        if (path.empty()) {
            return OwnedHandle();
        }
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
        return OwnedHandle(CreateFileA(path.c_str(), GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                                       0, NULL));
    }

    PROCESS_INFORMATION m_process = {};
};

// Where RUN_PROBE_EXE names a probe (the .i686 entries), every test is skipped with the reason
// unless the probe's "ran" arrives: without 32-bit support Wine starts an i686 program that does
// nothing and exits with 0, and a test that believed it would pass or fail for the wrong reason.
class ProgramsRunHere : public ::testing::Environment {
  public:
    void SetUp() override {
        const char* probe = getenv("RUN_PROBE_EXE");
        if (!probe || !*probe) {
            return;
        }
        // Started here rather than as a ChildProcess: a start that fails (Wine says 1359 without
        // wine32) is a reason to skip, not a failure.
        const char out[] = "C:\\run_probe.txt";
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
        HANDLE file =
            CreateFileA(out, GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, NULL);
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = startup.hStdError = file;
        PROCESS_INFORMATION process = {};
        std::string command = "\"" + WinePath(probe) + "\"";
        DWORD code = 0;
        if (!CreateProcessA(NULL, &command[0], NULL, NULL, TRUE, 0, NULL, NULL, &startup,
                            &process)) {
            code = GetLastError();
        } else {
            WaitForSingleObject(process.hProcess, 60000);
            GetExitCodeProcess(process.hProcess, &code);
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
        }
        CloseHandle(file);
        const std::string said = ReadFileText(out);
        DeleteFileA(out);
        if (said.rfind("ran", 0) != 0) {
            GTEST_SKIP() << "32-bit programs do not run here: " << probe << " printed \"" << said
                         << "\" (start error or exit code " << code << ")"
                         << " (needs a kernel that executes 32-bit code and wine32:i386)";
        }
    }
};
inline ::testing::Environment* const g_programsRunHere =
    ::testing::AddGlobalTestEnvironment(new ProgramsRunHere);

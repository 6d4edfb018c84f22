// Starting the programs under test as child processes, their output sent to files, and the paths of
// the binaries that the build passes in.
#pragma once

#include <windows.h>

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

class ChildProcess {
  public:
    // Starts commandLine in directory; standard output and error go to the files named, if any,
    // or standard output to the inheritable handle outHandle, which stays the caller's.
    ChildProcess(std::string commandLine, const char* directory = NULL,
                 const std::string& outPath = "", const std::string& errPath = "",
                 HANDLE outHandle = NULL) {
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        HANDLE out = OpenOutput(outPath);
        HANDLE err = OpenOutput(errPath);
        if (out || err || outHandle) {
            startup.dwFlags = STARTF_USESTDHANDLES;
            startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
            startup.hStdOutput = out         ? out
                                 : outHandle ? outHandle
                                             : GetStdHandle(STD_OUTPUT_HANDLE);
            startup.hStdError = err ? err : GetStdHandle(STD_ERROR_HANDLE);
        }
        if (!CreateProcessA(NULL, &commandLine[0], NULL, NULL, TRUE, 0, NULL, directory, &startup,
                            &m_process)) {
            ADD_FAILURE() << "cannot start " << commandLine << ": " << GetLastError();
        }
        if (out) {
            CloseHandle(out);
        }
        if (err) {
            CloseHandle(err);
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

    // The exit code, or STILL_ACTIVE when it did not end within a generous guard against a hang.
    DWORD Wait(DWORD milliseconds = 120000) const {
        DWORD code = STILL_ACTIVE;
        if (m_process.hProcess &&
            WaitForSingleObject(m_process.hProcess, milliseconds) == WAIT_OBJECT_0) {
            GetExitCodeProcess(m_process.hProcess, &code);
        }
        return code;
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
    static HANDLE OpenOutput(const std::string& path) {
        if (path.empty()) {
            return NULL;
        }
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  &inherit, CREATE_ALWAYS, 0, NULL);
        return file == INVALID_HANDLE_VALUE ? NULL : file;
    }

    PROCESS_INFORMATION m_process = {};
};

// Stands in for an installer, Notepad or an HTML viewer. It says that it started on the system's
// debug output, as installers write their diagnostics. With STUB_RECORD set it appends one line,
// "<its own path>|<its command line>|<its current directory>", to that file and exits; without it,
// it shows a box saying that it was started, as the demo media's placeholders do.
#include <windows.h>

#include <stdio.h>
#include <string.h>

namespace {

// How long a stub waits for its turn at the record file, and for the file.
constexpr DWORD kRecordWaitMs = 30000;

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    char self[MAX_PATH] = {};
    char directory[MAX_PATH] = {};
    char record[MAX_PATH] = {};
    GetModuleFileNameA(NULL, self, MAX_PATH);
    GetCurrentDirectoryA(MAX_PATH, directory);
    char said[2 * MAX_PATH];
    snprintf(said, sizeof said, "Placeholder installer started: %s\n", self);
    OutputDebugStringA(said);
    if (GetEnvironmentVariableA("STUB_RECORD", record, MAX_PATH) == 0) {
        char text[3 * MAX_PATH];
        snprintf(text, sizeof text, "Started: %s\n\nCommand line: %s", self, GetCommandLineA());
        MessageBoxA(NULL, text, "Placeholder installer", MB_OK | MB_ICONINFORMATION);
        return 0;
    }
    // Dozens of stubs may start at once (a queue of clicks): they take turns by a named lock, each
    // appending its line while readers may look, rather than racing for an exclusive open that a
    // crowd can keep one of them from for seconds. Generous ceilings: a stub never hangs.
    HANDLE turn = CreateMutexA(NULL, FALSE, "stub_installer_record");
    DWORD waited = turn ? WaitForSingleObject(turn, kRecordWaitMs) : WAIT_FAILED;
    HANDLE file = INVALID_HANDLE_VALUE;
    // The file itself may refuse an open for a moment (a test that deletes it while a reader
    // still holds it leaves it pending deletion): no event says when that ends.
    const DWORD start = GetTickCount();
    while ((file = CreateFileA(record, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                               OPEN_ALWAYS, 0, NULL)) == INVALID_HANDLE_VALUE &&
           GetTickCount() - start < kRecordWaitMs) {
        Sleep(10);
    }
    bool recorded = file != INVALID_HANDLE_VALUE;
    if (recorded) {
        char line[4 * MAX_PATH];
        snprintf(line, sizeof line, "%s|%s|%s\n", self, GetCommandLineA(), directory);
        DWORD written = 0;
        WriteFile(file, line, static_cast<DWORD>(strlen(line)), &written, NULL);
        CloseHandle(file);
    }
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
        ReleaseMutex(turn);
    }
    if (turn) {
        CloseHandle(turn);
    }
    return recorded ? 0 : 1;
}

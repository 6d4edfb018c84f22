// Stands in for an installer, Notepad or an HTML viewer. It says that it started on the system's
// debug output, as installers write their diagnostics. With STUB_RECORD set it appends one line,
// "<its own path>|<its command line>|<its current directory>", to that file and exits; without it,
// it shows a box saying that it was started, as the demo media's placeholders do.
#include <windows.h>

#include <stdio.h>
#include <string.h>

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
    // Several stubs may finish at once: the record file is opened exclusively, retrying briefly.
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 200 && file == INVALID_HANDLE_VALUE; ++attempt) {
        file = CreateFileA(record, FILE_APPEND_DATA, 0, NULL, OPEN_ALWAYS, 0, NULL);
        if (file == INVALID_HANDLE_VALUE) {
            Sleep(10);
        }
    }
    if (file == INVALID_HANDLE_VALUE) {
        return 1;
    }
    char line[4 * MAX_PATH];
    snprintf(line, sizeof line, "%s|%s|%s\n", self, GetCommandLineA(), directory);
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(strlen(line)), &written, NULL);
    CloseHandle(file);
    return 0;
}

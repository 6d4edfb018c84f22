// The log viewer: the other end of the duzar channel. Its window, titled as clients look for it,
// takes the lines that clients flush to it with LB_ADDSTRING, and those that its reader thread
// drains from the shared buffer, in the order they were written. Each line gets a number and its
// time of arrival; a filter chooses the lines shown, highlight rules colour them.
//
//   logview                                   the window, with the user's settings
//   logview --print [--out FILE] [--seconds N] [--include LIST] [--exclude LIST] [--max-lines N]
//                                             headless: the same window hidden, each line that
//                                             passes the filter to standard output (and FILE)
//
// This file holds the entry: options, the single instance, the channel, the output and the message
// loop. The window is in viewer_window.cpp, its commands in commands.cpp.
#include "viewer.h"

#include <commctrl.h>

#include <string>

namespace {

// Held for the viewer's life: of two viewers started at the same moment only one creates it.
constexpr char kInstanceName[] = "duzar_viewer";
// How long the output may take to be written at exit before the viewer leaves it.
constexpr DWORD kOutputFinishMs = 5000;

BOOL WINAPI OnConsoleBreak(DWORD) {
    PostMessageA(g_viewer.window, WM_CLOSE, 0, 0);
    return TRUE;
}

// A GUI program started from a console has no standard handles of its own: it writes to that
// console, and takes its Ctrl+C, only once it attaches to it.
void AttachParentConsole() {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    bool hasOut = out && out != INVALID_HANDLE_VALUE;
    bool hasError = error && error != INVALID_HANDLE_VALUE;
    if (hasOut || hasError || !AttachConsole(ATTACH_PARENT_PROCESS)) {
        return;
    }
    HANDLE console = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (console != INVALID_HANDLE_VALUE) {
        SetStdHandle(STD_OUTPUT_HANDLE, console);
        SetStdHandle(STD_ERROR_HANDLE, console);
    }
}

// Said on standard error when headless, in a box otherwise. Only before the window exists: the
// window's thread never writes to a handle that may block.
void Complain(const std::string& text) {
    if (g_viewer.options.headless) {
        WriteText(GetStdHandle(STD_ERROR_HANDLE), "logview: " + text + "\n");
    } else {
        MessageBoxA(NULL, text.c_str(), kBoxCaption, MB_OK | MB_ICONERROR);
    }
}

// The window keeps the user's settings; headless, the filter comes from the options alone, so
// that a script's output never depends on what a user chose in the window.
void TakeSettings() {
    if (g_viewer.options.headless) {
        g_viewer.settings.include = g_viewer.options.include;
        g_viewer.settings.exclude = g_viewer.options.exclude;
    } else {
        g_viewer.settings = LoadSettings();
    }
    ApplySettings();
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    ParseResult parsed = ParseOptions(__argc, __argv, &g_viewer.options);
    if (parsed != ParseResult::kRun || g_viewer.options.headless) {
        AttachParentConsole();
    }
    if (parsed == ParseResult::kHelp) {
        WriteText(GetStdHandle(STD_OUTPUT_HANDLE), std::string(kUsage) + "\n");
        return 0;
    }
    if (parsed == ParseResult::kBad) {
        g_viewer.options.headless = true;
        Complain(kUsage);
        return 2;
    }
    // One viewer at a time: clients find the first by its title, and two would split the lines.
    // The title still catches a viewer that does not hold the instance's name.
    HANDLE instanceLock = CreateMutexA(NULL, FALSE, kInstanceName);
    if (!instanceLock) {
        Complain(std::string("CreateMutex(\"") + kInstanceName +
                 "\") failed: " + std::to_string(GetLastError()));
        return 1;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS || FindWindowA(NULL, duzar::kViewerTitle)) {
        Complain("Another log viewer is already running.");
        return 3;
    }
    std::string error;
    if (!g_viewer.channel.Create(&error)) {
        Complain(error);
        return 1;
    }
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    HANDLE out = NULL;
    if (g_viewer.options.headless) {
        out = GetStdHandle(STD_OUTPUT_HANDLE);
        if (g_viewer.options.outPath) {
            g_viewer.outFile = CreateFileA(g_viewer.options.outPath, GENERIC_WRITE, FILE_SHARE_READ,
                                           NULL, CREATE_ALWAYS, 0, NULL);
            if (g_viewer.outFile == INVALID_HANDLE_VALUE) {
                char reason[256];
                duzar::SystemText(GetLastError(), reason, sizeof reason);
                reason[strcspn(reason, "\r\n")] = '\0';
                Complain(std::string("Cannot write ") + g_viewer.options.outPath + ": " + reason);
                return 1;
            }
        }
    }
    TakeSettings();
    // The queues hold the lines kept plus one full buffer's worth, so that a window or output that
    // keeps up never loses a burst.
    size_t capacity = static_cast<size_t>(g_viewer.options.maxLines) + duzar::kBufferSize / 2;
    if (!g_viewer.output.Start(out, g_viewer.outFile, GetStdHandle(STD_ERROR_HANDLE), capacity) ||
        !CreateViewerWindow(instance)) {
        Complain("Cannot create the viewer window.");
        return 1;
    }
    UpdateMenuChecks();
    if (g_viewer.options.headless) {
        SetConsoleCtrlHandler(OnConsoleBreak, TRUE);
        if (g_viewer.options.seconds > 0) {
            CloseAfter(g_viewer.options.seconds);
        }
    } else {
        ShowViewerWindow(show);
    }
    StartReading(capacity);
    if (g_viewer.options.headless) {
        // Through the output's thread, as every fault: a script may start its writers after it.
        g_viewer.output.Fault("logview: listening");
    }

    HACCEL keys = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_LOGVIEW_KEYS));
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        if (!TranslateAcceleratorA(g_viewer.window, keys, &msg) && !FindBoxMessage(&msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    // Whatever the reader drained last still reaches the output.
    g_viewer.channel.Stop();
    for (const ChannelItem& item : g_viewer.channel.TakeQueued()) {
        if (!item.fault && g_viewer.options.headless && g_viewer.filter.Passes(item.text)) {
            g_viewer.output.Line(item.text);
        }
    }
    if (g_viewer.options.headless && Lost() > 0) {
        g_viewer.output.Fault("logview: " + std::to_string(Lost()) +
                              " lines lost while the window or the output fell behind");
    }
    g_viewer.output.Finish(kOutputFinishMs);
    if (g_viewer.outFile && g_viewer.outFile != INVALID_HANDLE_VALUE) {
        CloseHandle(g_viewer.outFile);
    }
    CloseHandle(instanceLock);
    return 0;
}

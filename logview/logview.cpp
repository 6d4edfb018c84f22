// The log viewer: the other end of the duzar channel. Its window, titled as clients look for it,
// takes the lines that clients flush to it with LB_ADDSTRING, and those that its reader thread
// drains from the shared buffer, in the order they were written. Each line gets a number and the
// local time of its arrival.
//
//   logview                                   the window
//   logview --print [--out FILE] [--seconds N] [--max-lines N]
//                                             headless: the same window hidden, each line to
//                                             standard output (and FILE) as it arrives
#include "channel_reader.h"
#include "logview_resource.h"
#include "output_writer.h"

#include <commctrl.h>
#include <commdlg.h>
#include <stdlib.h>

#include <string>

namespace {

constexpr char kWindowClass[] = "DuzarLogView";
// Held for the viewer's life: of two viewers started at the same moment only one creates it.
constexpr char kInstanceName[] = "duzar_viewer";
// Clients send to the first top-level window titled as the viewer: no other window of ours may be.
constexpr char kBoxCaption[] = "duzar log viewer";
constexpr char kUsage[] =
    "usage: logview [--print [--out FILE] [--seconds N]] [--max-lines N]\n"
    "  N: whole numbers; --seconds 0 to 2147483 (0: no limit), --max-lines 1 to 1000000";
constexpr UINT kWakeMessage = WM_APP + 1;
constexpr UINT_PTR kStopTimer = 1;
constexpr unsigned long kMaxSeconds = USER_TIMER_MAXIMUM / 1000;
constexpr unsigned long kMaxLines = 1000000;
constexpr int kDefaultMaxLines = 10000;
// How long the output may take to be written at exit before the viewer leaves it.
constexpr DWORD kOutputFinishMs = 5000;
constexpr size_t kRowSize = duzar::kBufferSize + 64; // a line with its number and time

struct Options {
    bool headless = false;
    const char* outPath = NULL;
    int seconds = 0;
    int maxLines = kDefaultMaxLines;
};

struct Viewer {
    Options options;
    ChannelReader channel;
    HWND window = NULL;
    HWND lines = NULL;
    HWND status = NULL;
    OutputWriter output;   // headless lines, and faults
    HANDLE outFile = NULL; // --out FILE
    unsigned long number = 0;
    unsigned long dropped = 0;
    unsigned long flushed = 0; // lines that clients flushed to the window with a full buffer
    std::string lastFault;
};

Viewer g_viewer;

// Lines that fell behind a queue: the window's (a stalled window) or the output's (a paused pipe).
unsigned long Lost() {
    return g_viewer.channel.Dropped() + g_viewer.output.Dropped();
}

// True while the last line is in view: only then do new lines scroll the view.
bool LastLineVisible() {
    LRESULT count = SendMessageA(g_viewer.lines, LB_GETCOUNT, 0, 0);
    if (count <= 0) {
        return true;
    }
    RECT client;
    GetClientRect(g_viewer.lines, &client);
    LRESULT itemHeight = SendMessageA(g_viewer.lines, LB_GETITEMHEIGHT, 0, 0);
    LRESULT top = SendMessageA(g_viewer.lines, LB_GETTOPINDEX, 0, 0);
    LRESULT rows = itemHeight > 0 ? (client.bottom - client.top) / itemHeight : 1;
    return top + rows >= count;
}

void UpdateStatus() {
    char text[512];
    snprintf(
        text, sizeof text,
        "%lu lines (%lu flushed by clients), %lu dropped (keeps %d), %lu lost behind  |  %s%s%s",
        g_viewer.number, g_viewer.flushed, g_viewer.dropped, g_viewer.options.maxLines, Lost(),
        LastLineVisible() ? "following" : "paused: scrolled back",
        g_viewer.lastFault.empty() ? "" : "  |  ", g_viewer.lastFault.c_str());
    SetWindowTextA(g_viewer.status, text);
}

// Adds one line to the view (and to the headless output); returns its index in the list.
LRESULT AddLine(const std::string& text) {
    ++g_viewer.number;
    SYSTEMTIME now;
    GetLocalTime(&now);
    char row[kRowSize];
    snprintf(row, sizeof row, "%lu\t%02u:%02u:%02u.%03u\t%s", g_viewer.number, now.wHour,
             now.wMinute, now.wSecond, now.wMilliseconds, text.c_str());
    bool follow = LastLineVisible();
    if (SendMessageA(g_viewer.lines, LB_GETCOUNT, 0, 0) >= g_viewer.options.maxLines) {
        SendMessageA(g_viewer.lines, LB_DELETESTRING, 0, 0);
        ++g_viewer.dropped;
    }
    LRESULT index = SendMessageA(g_viewer.lines, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row));
    if (follow) {
        SendMessageA(g_viewer.lines, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0);
    }
    if (g_viewer.options.headless) {
        g_viewer.output.Line(text);
    }
    return index;
}

void ReportFault(const std::string& text) {
    g_viewer.lastFault = text;
    g_viewer.output.Fault("logview: " + text);
}

void TakeQueued() {
    for (const ChannelItem& item : g_viewer.channel.TakeQueued()) {
        if (item.fault) {
            ReportFault(item.text);
        } else {
            AddLine(item.text);
        }
    }
    UpdateStatus();
}

// The rows of the selected lines, or of all lines, each ending in CR LF.
std::string Rows(bool selectedOnly) {
    std::string text;
    LRESULT count = SendMessageA(g_viewer.lines, LB_GETCOUNT, 0, 0);
    char row[kRowSize];
    for (LRESULT i = 0; i < count; ++i) {
        if (selectedOnly &&
            SendMessageA(g_viewer.lines, LB_GETSEL, static_cast<WPARAM>(i), 0) <= 0) {
            continue;
        }
        if (SendMessageA(g_viewer.lines, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0) <
            static_cast<LRESULT>(sizeof row)) {
            SendMessageA(g_viewer.lines, LB_GETTEXT, static_cast<WPARAM>(i),
                         reinterpret_cast<LPARAM>(row));
            text += row;
            text += "\r\n";
        }
    }
    return text;
}

void CopySelection() {
    std::string text = Rows(true);
    if (text.empty() || !OpenClipboard(g_viewer.window)) {
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

void SaveAs() {
    char path[MAX_PATH] = "duzar.log";
    OPENFILENAMEA dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = g_viewer.window;
    dialog.lpstrFilter = "Log files (*.log)\0*.log\0Text files (*.txt)\0*.txt\0All files\0*.*\0";
    dialog.lpstrFile = path;
    dialog.nMaxFile = MAX_PATH;
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
    dialog.lpstrDefExt = "log";
    if (!GetSaveFileNameA(&dialog)) {
        return;
    }
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        char message[MAX_PATH + 64];
        snprintf(message, sizeof message, "Cannot write %s: error %lu", path, GetLastError());
        MessageBoxA(g_viewer.window, message, kBoxCaption, MB_OK | MB_ICONERROR);
        return;
    }
    WriteText(file, Rows(false));
    CloseHandle(file);
}

void OnCommand(WORD command) {
    switch (command) {
    case IDM_SAVE: SaveAs(); break;
    case IDM_EXIT: PostMessageA(g_viewer.window, WM_CLOSE, 0, 0); break;
    case IDM_COPY: CopySelection(); break;
    case IDM_SELECT_ALL: SendMessageA(g_viewer.lines, LB_SETSEL, TRUE, -1); break;
    case IDM_CLEAR: SendMessageA(g_viewer.lines, LB_RESETCONTENT, 0, 0); break;
    case IDM_FOLLOW:
        SendMessageA(g_viewer.lines, LB_SETTOPINDEX,
                     static_cast<WPARAM>(SendMessageA(g_viewer.lines, LB_GETCOUNT, 0, 0) - 1), 0);
        break;
    }
    UpdateStatus();
}

void Layout() {
    SendMessageA(g_viewer.status, WM_SIZE, 0, 0);
    RECT client, bar;
    GetClientRect(g_viewer.window, &client);
    GetWindowRect(g_viewer.status, &bar);
    MoveWindow(g_viewer.lines, 0, 0, client.right, client.bottom - (bar.bottom - bar.top), TRUE);
}

LRESULT CALLBACK ViewerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    // A client flushing the full buffer: it holds the lock, so whatever the reader queued is older.
    case LB_ADDSTRING:
        TakeQueued();
        if (lParam) {
            ++g_viewer.flushed;
            LRESULT index = AddLine(reinterpret_cast<const char*>(lParam));
            UpdateStatus();
            return index;
        }
        return LB_ERR;
    // Honoured only while following: a user reading older lines keeps them in view.
    case LB_SETTOPINDEX:
        if (LastLineVisible()) {
            SendMessageA(g_viewer.lines, LB_SETTOPINDEX, wParam, 0);
        }
        return 0;
    case kWakeMessage: TakeQueued(); return 0;
    case WM_COMMAND:
        if (lParam == 0) {
            OnCommand(LOWORD(wParam));
        }
        return 0;
    case WM_SIZE: Layout(); return 0;
    case WM_SETFOCUS: SetFocus(g_viewer.lines); return 0;
    case WM_TIMER:
        if (wParam == kStopTimer) {
            DestroyWindow(window);
        }
        return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

BOOL WINAPI OnConsoleBreak(DWORD) {
    PostMessageA(g_viewer.window, WM_CLOSE, 0, 0);
    return TRUE;
}

// A whole decimal number from min to max: no sign, no blanks, nothing after it.
bool ParseNumber(const char* text, unsigned long min, unsigned long max, unsigned long* value) {
    unsigned long number = 0;
    if (!*text) {
        return false;
    }
    for (const char* c = text; *c; ++c) {
        if (*c < '0' || *c > '9' || number > (max - static_cast<unsigned long>(*c - '0')) / 10) {
            return false;
        }
        number = number * 10 + static_cast<unsigned long>(*c - '0');
    }
    *value = number;
    return number >= min;
}

bool ParseOptions(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        unsigned long number = 0;
        if (arg == "--print") {
            options->headless = true;
        } else if (arg == "--out" && hasValue) {
            options->outPath = argv[++i];
        } else if (arg == "--seconds" && hasValue &&
                   ParseNumber(argv[++i], 0, kMaxSeconds, &number)) {
            options->seconds = static_cast<int>(number);
        } else if (arg == "--max-lines" && hasValue &&
                   ParseNumber(argv[++i], 1, kMaxLines, &number)) {
            options->maxLines = static_cast<int>(number);
        } else {
            return false;
        }
    }
    return true;
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

bool CreateViewerWindow(HINSTANCE instance) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ViewerProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(NULL, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszMenuName = MAKEINTRESOURCEA(IDR_LOGVIEW_MENU);
    wc.lpszClassName = kWindowClass;
    if (!RegisterClassA(&wc)) {
        return false;
    }
    // The title stays exactly as clients look for it; counts and state go to the status bar.
    g_viewer.window =
        CreateWindowExA(0, kWindowClass, duzar::kViewerTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                        CW_USEDEFAULT, 720, 480, NULL, NULL, instance, NULL);
    if (!g_viewer.window) {
        return false;
    }
    g_viewer.lines = CreateWindowExA(
        WS_EX_CLIENTEDGE, "LISTBOX", "",
        WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP | LBS_NOTIFY |
            LBS_NOINTEGRALHEIGHT | LBS_EXTENDEDSEL | LBS_USETABSTOPS | LBS_HASSTRINGS,
        0, 0, 0, 0, g_viewer.window, reinterpret_cast<HMENU>(IDC_LINES), instance, NULL);
    g_viewer.status =
        CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, g_viewer.window,
                        reinterpret_cast<HMENU>(IDC_STATUS), instance, NULL);
    SendMessageA(g_viewer.lines, WM_SETFONT,
                 reinterpret_cast<WPARAM>(GetStockObject(ANSI_FIXED_FONT)), FALSE);
    // Columns: number, time, text (in dialog template units).
    int tabs[] = {24, 70};
    SendMessageA(g_viewer.lines, LB_SETTABSTOPS, 2, reinterpret_cast<LPARAM>(tabs));
    Layout();
    UpdateStatus();
    return true;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    bool parsed = ParseOptions(__argc, __argv, &g_viewer.options);
    if (!parsed || g_viewer.options.headless) {
        AttachParentConsole();
    }
    if (!parsed) {
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
                Complain(std::string("Cannot write ") + g_viewer.options.outPath);
                return 1;
            }
        }
    }
    // The queues hold the lines kept plus one full buffer's worth, so that a window or output that
    // keeps up never loses a burst.
    size_t capacity = static_cast<size_t>(g_viewer.options.maxLines) + duzar::kBufferSize / 2;
    if (!g_viewer.output.Start(out, g_viewer.outFile, GetStdHandle(STD_ERROR_HANDLE), capacity) ||
        !CreateViewerWindow(instance)) {
        Complain("Cannot create the viewer window.");
        return 1;
    }
    if (g_viewer.options.headless) {
        SetConsoleCtrlHandler(OnConsoleBreak, TRUE);
        if (g_viewer.options.seconds > 0) {
            SetTimer(g_viewer.window, kStopTimer,
                     static_cast<UINT>(g_viewer.options.seconds) * 1000, NULL);
        }
    } else {
        ShowWindow(g_viewer.window, show);
    }
    g_viewer.channel.Start(g_viewer.window, kWakeMessage, capacity);

    HACCEL keys = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_LOGVIEW_KEYS));
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        if (!TranslateAcceleratorA(g_viewer.window, keys, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    // Whatever the reader drained last still reaches the output.
    g_viewer.channel.Stop();
    for (const ChannelItem& item : g_viewer.channel.TakeQueued()) {
        if (!item.fault && g_viewer.options.headless) {
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

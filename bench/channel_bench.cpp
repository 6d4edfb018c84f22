// Figures for the log channel, printed, not judged:
//  1. lines per second from this process into the real log viewer, without and with a filter that
//     every line passes, beside the same lines sent with OutputDebugStringA to a listener on the
//     debug-output shared-memory protocol (DBWIN_BUFFER), and into the viewer capturing the debug
//     output, alone and with as many channel lines at once;
//  2. the cost of a Logf while no viewer runs, beside the formatting and one FindWindowA that it is
//     meant to cost;
//  3. how long one Logf takes against a viewer whose window does not answer (with a full buffer,
//     so that the line is flushed to it), and against a lock that another process keeps;
//  4. the viewer's memory and intake with lines of 4 KB: headless with the largest byte bound,
//     standard output and the --out pipe never read, and with its window, at each byte bound.
//   channel_bench LOGVIEW_EXE [LINES]
//   channel_bench LOGVIEW_EXE --memory   4. alone (it takes minutes)
//   channel_bench --hold-lock MS      the other process: holds the lock for MS milliseconds
#include "bench_clock.h"
#include "debug_listener.h"
#include "duzar.h"
#include "viewer_status.h"

#include <psapi.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

namespace {

constexpr size_t kLineLength = 60;
// How long the lines of one run may take to reach the viewer before the run is called failed.
// (Viewers under Wine took 100,000 lines of 4 KB at under 200 lines/s, outputs stalled.)
constexpr double kArrivalCeilingSeconds = 1800;

unsigned long ViewerLineCount(HWND viewer) {
    StatusCounts counts;
    ParseStatus(ViewerStatus(viewer), &counts);
    return counts.lines;
}

// What a run feeds the viewer: channel lines, debug-output lines, or both at once (count of each,
// the channel's from a thread of their own).
enum class Feed { kChannel, kDebugOutput, kBoth };

struct ChannelFeed {
    int count;
    const std::string* text;
    static DWORD WINAPI Run(LPVOID self) {
        auto* feed = static_cast<ChannelFeed*>(self);
        for (int i = 0; i < feed->count; ++i) {
            g_LogClient.Logf("%s", feed->text->c_str());
        }
        return 0;
    }
};

// Seconds for count lines (of each kind fed) to reach the viewer started with options, from the
// first line written to the last taken. Its standard output is output (an inheritable handle), or
// NUL; its memory at the end goes to memory when given.
double ThroughViewer(const char* logview, const char* options, int count, const std::string& text,
                     Feed feed = Feed::kChannel, HANDLE output = NULL,
                     PROCESS_MEMORY_COUNTERS* memory = NULL) {
    std::string command = std::string("\"") + logview + "\" " + options;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE sink =
        CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, NULL);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output ? output : sink;
    startup.hStdError = sink;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(NULL, &command[0], NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process)) {
        fprintf(stderr, "cannot start %s: %lu\n", logview, GetLastError());
        exit(1);
    }
    // Ready once its status bar shows: its capture of the debug output runs by then, and a debug
    // line written before would be lost to the system, not to the viewer.
    HWND viewer = NULL;
    for (int i = 0; i < 400 && !((viewer = FindWindowA(NULL, duzar::kViewerTitle)) &&
                                 !ViewerStatus(viewer).empty());
         ++i) {
        Sleep(50);
    }
    if (!viewer) {
        fprintf(stderr, "the viewer's window did not appear\n");
        exit(1);
    }
    double start = Now();
    ChannelFeed channel = {count, &text};
    HANDLE thread = NULL;
    if (feed == Feed::kBoth) {
        thread = CreateThread(NULL, 0, ChannelFeed::Run, &channel, 0, NULL);
    }
    const std::string debugText = text + "\n";
    for (int i = 0; i < count; ++i) {
        if (feed == Feed::kChannel) {
            g_LogClient.Logf("%s", text.c_str());
        } else {
            OutputDebugStringA(debugText.c_str());
        }
    }
    const unsigned long total = static_cast<unsigned long>(feed == Feed::kBoth ? 2 * count : count);
    while (ViewerLineCount(viewer) < total) {
        if (Now() - start > kArrivalCeilingSeconds) {
            fprintf(stderr, "the viewer showed %lu of %lu lines within %.0f s\n",
                    ViewerLineCount(viewer), total, kArrivalCeilingSeconds);
            exit(1);
        }
        Sleep(1);
    }
    double seconds = Now() - start;
    if (memory) {
        memory->cb = sizeof *memory;
        GetProcessMemoryInfo(process.hProcess, memory, sizeof *memory);
    }
    if (thread) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    g_LogClient.Close();
    PostMessageA(viewer, WM_CLOSE, 0, 0);
    WaitForSingleObject(process.hProcess, 30000);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(sink);
    return seconds;
}

double ThroughDebugOutput(int count, const std::string& text) {
    DebugListener listener;
    double start = Now();
    for (int i = 0; i < count; ++i) {
        OutputDebugStringA((text + "\n").c_str());
    }
    for (int i = 0; i < 30000 && listener.received < count; ++i) {
        Sleep(1);
    }
    double seconds = Now() - start;
    bool complete = listener.received >= count;
    return complete ? seconds : -1;
}

double PerCall(int count, void (*call)(int)) {
    double start = Now();
    for (int i = 0; i < count; ++i) {
        call(i);
    }
    return (Now() - start) / count;
}

void LogfWithoutViewer(int i) {
    g_LogClient.Logf("MyWinExec: %s %d", "FendraL\\setup.exe", i);
}

void FormatAndFind(int i) {
    char line[duzar::kBufferSize];
    snprintf(line, sizeof line, "MyWinExec: %s %d", "FendraL\\setup.exe", i);
    FindWindowA(NULL, duzar::kViewerTitle);
}

constexpr char kLockHeldEvent[] = "duzar_bench_lock_held";

// A window titled as the viewer whose thread never answers, and the viewer's buffer holding text.
class StuckViewer {
  public:
    explicit StuckViewer(const std::string& text) {
        m_map = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0,
                                   static_cast<DWORD>(duzar::kBufferSize), duzar::kMapName);
        m_view =
            static_cast<char*>(MapViewOfFile(m_map, FILE_MAP_ALL_ACCESS, 0, 0, duzar::kBufferSize));
        memcpy(m_view, text.c_str(), text.size() + 1);
        m_ready = CreateEventA(NULL, TRUE, FALSE, NULL);
        m_release = CreateEventA(NULL, TRUE, FALSE, NULL);
        m_thread = CreateThread(NULL, 0, Run, this, 0, NULL);
        WaitForSingleObject(m_ready, INFINITE);
    }
    ~StuckViewer() {
        SetEvent(m_release);
        WaitForSingleObject(m_thread, INFINITE);
        for (HANDLE handle : {m_thread, m_ready, m_release, m_map}) {
            CloseHandle(handle);
        }
        UnmapViewOfFile(m_view);
    }
    StuckViewer(const StuckViewer&) = delete;
    StuckViewer& operator=(const StuckViewer&) = delete;

  private:
    static DWORD WINAPI Run(LPVOID param) {
        auto* self = static_cast<StuckViewer*>(param);
        HWND window = CreateWindowExA(0, "STATIC", duzar::kViewerTitle, WS_POPUP, 0, 0, 10, 10,
                                      NULL, NULL, NULL, NULL);
        SetEvent(self->m_ready);
        WaitForSingleObject(self->m_release, INFINITE);
        DestroyWindow(window);
        return 0;
    }

    HANDLE m_map, m_ready, m_release, m_thread;
    char* m_view;
};

double OneLogf() {
    LogClient client;
    double start = Now();
    client.Logf("MyWinExec: %s", "FendraL\\setup.exe");
    return Now() - start;
}

// Another process takes the lock and keeps it for milliseconds.
int HoldLock(DWORD milliseconds) {
    HANDLE lock = CreateMutexA(NULL, FALSE, duzar::kLockName);
    WaitForSingleObject(lock, INFINITE);
    HANDLE held = OpenEventA(EVENT_MODIFY_STATE, FALSE, kLockHeldEvent);
    SetEvent(held);
    CloseHandle(held);
    Sleep(milliseconds);
    ReleaseMutex(lock);
    return 0;
}

double LogfAgainstHeldLock() {
    char self[MAX_PATH];
    GetModuleFileNameA(NULL, self, MAX_PATH);
    StuckViewer viewer("");
    HANDLE held = CreateEventA(NULL, TRUE, FALSE, kLockHeldEvent);
    std::string command =
        std::string("\"") + self + "\" --hold-lock " + std::to_string(2 * duzar::kLockTimeoutMs);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        fprintf(stderr, "cannot start %s: %lu\n", self, GetLastError());
        exit(1);
    }
    WaitForSingleObject(held, 30000);
    double seconds = OneLogf();
    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, 30000);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(held);
    return seconds;
}

constexpr double kMegabyte = 1024.0 * 1024.0;

void PrintMemory(const char* label, int lines, double seconds,
                 const PROCESS_MEMORY_COUNTERS& memory) {
    printf("  %-44s %6.0f lines/s, at most %5.0f MB resident, %5.0f MB private\n", label,
           lines / seconds, memory.PeakWorkingSetSize / kMegabyte,
           memory.PeakPagefileUsage / kMegabyte);
}

// Lines of 4 KB: headless with the largest byte bound, its standard output and --out pipes never
// read (as a stalled script would leave them), then with its window at each byte bound.
void Memory(const char* logview) {
    const int kLines = 100000, kWindowLines = 20000;
    const std::string text(4000, 'm');
    const char kOutPipe[] = "\\\\.\\pipe\\channel_bench_out";
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE unread = NULL, output = NULL;
    CreatePipe(&unread, &output, &inherit, 4096);
    HANDLE outPipe =
        CreateNamedPipeA(kOutPipe, PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE, 1, 0, 4096, 0, NULL);
    PROCESS_MEMORY_COUNTERS memory = {};
    std::string stalled =
        std::string("--print --max-lines 1000000 --max-bytes 268435456 --out ") + kOutPipe;
    printf("Lines of %zu characters into the viewer:\n", text.size());
    double seconds =
        ThroughViewer(logview, stalled.c_str(), kLines, text, Feed::kChannel, output, &memory);
    PrintMemory("100,000, --max-bytes 256 MiB, outputs stalled", kLines, seconds, memory);
    for (HANDLE handle : {unread, output, outPipe}) {
        CloseHandle(handle);
    }
    seconds = ThroughViewer(logview, "--max-lines 1000000", kWindowLines, text, Feed::kChannel,
                            NULL, &memory);
    PrintMemory("20,000, the window, --max-bytes 64 MiB", kWindowLines, seconds, memory);
    seconds = ThroughViewer(logview, "--max-lines 1000000 --max-bytes 268435456", kWindowLines,
                            text, Feed::kChannel, NULL, &memory);
    PrintMemory("20,000, the window, --max-bytes 256 MiB", kWindowLines, seconds, memory);
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && strcmp(argv[1], "--hold-lock") == 0) {
        return HoldLock(static_cast<DWORD>(atoi(argv[2])));
    }
    if (argc < 2) {
        fprintf(stderr, "usage: channel_bench LOGVIEW_EXE [LINES | --memory]\n");
        return 2;
    }
    setvbuf(stdout, NULL, _IONBF, 0); // each figure as it comes: the memory runs take minutes
    if (argc > 2 && strcmp(argv[2], "--memory") == 0) {
        Memory(argv[1]);
        return 0;
    }
    int lines = argc > 2 ? atoi(argv[2]) : 20000;
    std::string text(kLineLength, 'x');

    double viewer = ThroughViewer(argv[1], "--print", lines, text);
    double filtered = ThroughViewer(
        argv[1], "--print --include \"MyWinExec;x\" --exclude heartbeat", lines, text);
    double debug = ThroughDebugOutput(lines, text);
    double debugViewer =
        ThroughViewer(argv[1], "--print --debug-output", lines, text, Feed::kDebugOutput);
    double debugBoth = ThroughViewer(argv[1], "--print --debug-output", lines, text, Feed::kBoth);
    printf("Lines of %zu characters, %d of them:\n", kLineLength, lines);
    printf("  duzar channel into logview:      %10.0f lines/s\n", lines / viewer);
    printf("  the same, a filter active:       %10.0f lines/s\n", lines / filtered);
    if (debug > 0) {
        printf("  OutputDebugStringA to a listener: %10.0f lines/s\n", lines / debug);
        printf("  ratio channel / debug output:     %10.2f\n", debug / viewer);
    } else {
        printf("  OutputDebugStringA to a listener: the listener did not receive every line\n");
    }
    printf("  OutputDebugStringA into logview:  %10.0f lines/s\n", lines / debugViewer);
    printf("  the same with as many channel lines at once: %6.0f debug-output lines/s\n",
           lines / debugBoth);

    const int calls = 10000;
    double logf = PerCall(calls, LogfWithoutViewer);
    double bare = PerCall(calls, FormatAndFind);
    printf("No viewer running, %d calls each:\n", calls);
    printf("  Logf:                          %8.2f us/call\n", logf * 1e6);
    printf("  formatting + one FindWindowA:  %8.2f us/call\n", bare * 1e6);
    printf("  ratio:                         %8.2f\n", logf / bare);

    double stuck = 0;
    {
        StuckViewer viewer(std::string(duzar::kBufferSize - 2, 'h') + "\n");
        stuck = OneLogf();
    }
    printf("One Logf, the channel stuck:\n");
    printf("  viewer's window not answering:  %8.2f s\n", stuck);
    printf("  lock kept by another process:   %8.2f s\n", LogfAgainstHeldLock());
    return 0;
}

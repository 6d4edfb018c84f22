// Figures for the channel under writer processes, printed, not judged. Each round runs, in
// alternating order, 1 and 4 writer processes (started first, then let go together on an event)
// into: the headless viewer, the viewer's visible window, a minimal listener on the debug-output
// protocol (the writers call OutputDebugStringA instead), and the lookup bound: what every Logf
// into a viewer costs at least, its format and one FindWindowA that finds the viewer's window
// (here a stand-in's with nothing behind it).
// Printed per case, min / median / max over the rounds: lines/s until the viewer's status bar
// counts every line, the same divided by the listener's and by the lookup bound's figure of that
// round, the slowest single Logf of any writer, and the wineserver's CPU per line (from /proc, when
// WINESERVER_PID names it or only one runs). A second viewer, when given, runs in the same rounds
// and is printed divided by the first.
//   writers_bench LOGVIEW_EXE [OTHER_LOGVIEW_EXE] [--rounds N] [--lines N_PER_WRITER] [--writers
//   1|4] writers_bench --write channel|debug|lookup COUNT   one writer (what the bench starts)
#include "bench_clock.h"
#include "debug_listener.h"
#include "duzar.h"
#include "viewer_status.h"
#include "wait_until.h"

#include <algorithm>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace {

constexpr char kReadyName[] = "writers_bench_ready";
constexpr char kGoName[] = "writers_bench_go";
constexpr size_t kLineLength = 60;
constexpr DWORD kCeilingMs = 600000;
// The wineserver's CPU time in /proc is counted in ticks of 10 ms (USER_HZ, 100 on Linux).
constexpr double kTickSeconds = 0.01;

// The writer: says it is ready, waits to be let go, writes, and prints the slowest call and when it
// wrote its last line (seconds).
int Write(const char* kind, int count) {
    bool debug = strcmp(kind, "debug") == 0, lookup = strcmp(kind, "lookup") == 0;
    HANDLE ready = OpenSemaphoreA(SEMAPHORE_MODIFY_STATE, FALSE, kReadyName);
    HANDLE go = OpenEventA(SYNCHRONIZE, FALSE, kGoName);
    if (!ready || !go) {
        return 255;
    }
    const std::string text = std::string(kLineLength, 'w');
    const std::string debugText = text + "\n";
    // The first window lookup of a process connects it to the display: not a Logf's own cost.
    FindWindowA(NULL, duzar::kViewerTitle);
    ReleaseSemaphore(ready, 1, NULL);
    WaitForSingleObject(go, INFINITE);
    double slowest = 0;
    int refused = 0;
    for (int i = 0; i < count; ++i) {
        double start = Now();
        if (debug) {
            OutputDebugStringA(debugText.c_str());
        } else if (lookup) {
            char line[duzar::kBufferSize];
            duzar::FormatText(line, sizeof line, "%s", text.c_str());
            FindWindowA(NULL, duzar::kViewerTitle);
        } else if (g_LogClient.Logf("%s", text.c_str()) != 0) {
            ++refused;
        }
        slowest = std::max(slowest, Now() - start);
    }
    double end = Now();
    g_LogClient.Close();
    printf("%.6f %.6f\n", slowest, end);
    return refused;
}

// The wineserver's CPU seconds so far, or -1 when it cannot be read.
double WineserverSeconds(int pid) {
    if (pid <= 0) {
        return -1;
    }
    char path[64], stat[1024] = {};
    snprintf(path, sizeof path, "Z:\\proc\\%d\\stat", pid);
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    DWORD read = 0;
    if (file == INVALID_HANDLE_VALUE) {
        return -1;
    }
    ReadFile(file, stat, sizeof stat - 1, &read, NULL);
    CloseHandle(file);
    // After "pid (comm) ": state is field 3, utime 14 and stime 15.
    const char* fields = strrchr(stat, ')');
    unsigned long long user = 0, system = 0;
    if (!fields || sscanf(fields + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu",
                          &user, &system) != 2) {
        return -1;
    }
    return static_cast<double>(user + system) * kTickSeconds;
}

// WINESERVER_PID, or the one wineserver running; 0 when that is not clear.
int FindWineserver() {
    if (const char* given = getenv("WINESERVER_PID")) {
        return atoi(given);
    }
    int found = 0, count = 0;
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA("Z:\\proc\\*", &entry);
    if (search == INVALID_HANDLE_VALUE) {
        return 0;
    }
    do {
        int pid = atoi(entry.cFileName);
        char path[64], name[64] = {};
        snprintf(path, sizeof path, "Z:\\proc\\%d\\comm", pid);
        HANDLE file =
            pid > 0 ? CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL)
                    : INVALID_HANDLE_VALUE;
        if (file != INVALID_HANDLE_VALUE) {
            DWORD read = 0;
            ReadFile(file, name, sizeof name - 1, &read, NULL);
            CloseHandle(file);
            if (strncmp(name, "wineserver", 10) == 0) {
                found = pid;
                ++count;
            }
        }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    return count == 1 ? found : 0;
}

// A window titled as the viewer's, with no viewer behind it, that answers its messages: what the
// writers' lookups find while the lookup bound is measured.
class StandIn {
  public:
    StandIn() {
        m_shown = CreateEventA(NULL, TRUE, FALSE, NULL);
        m_thread = CreateThread(NULL, 0, Show, this, 0, &m_threadId);
        WaitForSingleObject(m_shown, 30000);
    }
    ~StandIn() {
        PostThreadMessageA(m_threadId, WM_QUIT, 0, 0);
        WaitForSingleObject(m_thread, 30000);
        CloseHandle(m_thread);
        CloseHandle(m_shown);
    }
    StandIn(const StandIn&) = delete;
    StandIn& operator=(const StandIn&) = delete;

  private:
    static DWORD WINAPI Show(LPVOID param) {
        auto* self = static_cast<StandIn*>(param);
        HWND window = CreateWindowExA(0, "STATIC", duzar::kViewerTitle, WS_OVERLAPPEDWINDOW, 0, 0,
                                      200, 100, NULL, NULL, NULL, NULL);
        SetEvent(self->m_shown);
        MSG msg;
        while (GetMessageA(&msg, NULL, 0, 0) > 0) {
            DispatchMessageA(&msg);
        }
        DestroyWindow(window);
        return 0;
    }

    HANDLE m_shown = NULL;
    HANDLE m_thread = NULL;
    DWORD m_threadId = 0;
};

enum class Target { kHeadless, kWindow, kListener, kLookup };
const char* const kTargetNames[] = {"headless viewer", "visible window", "debug-output listener",
                                    "lookup bound"};

struct Outcome {
    double linesPerSecond = 0;
    double slowestLogf = 0;
    double serverMicrosPerLine = -1;
    unsigned long lost = 0;
    bool lockTimedOut = false;
};

class Bench {
  public:
    Bench(int lines, int wineserver) : m_lines(lines), m_wineserver(wineserver) {
        GetModuleFileNameA(NULL, m_self, MAX_PATH);
        m_ready = CreateSemaphoreA(NULL, 0, 64, kReadyName);
        m_go = CreateEventA(NULL, TRUE, FALSE, kGoName);
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
        m_nul =
            CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, NULL);
    }
    ~Bench() {
        CloseHandle(m_ready);
        CloseHandle(m_go);
        CloseHandle(m_nul);
    }
    Bench(const Bench&) = delete;
    Bench& operator=(const Bench&) = delete;

    Outcome Run(Target target, int writers, const char* logview) {
        PROCESS_INFORMATION viewer = {};
        HWND window = NULL;
        if (target == Target::kHeadless || target == Target::kWindow) {
            std::string command = std::string("\"") + logview + "\" --max-lines 1000000" +
                                  (target == Target::kHeadless ? " --print" : "");
            window = StartViewer(command, m_nul, &viewer);
        }
        DebugListener* listener = target == Target::kListener ? new DebugListener : NULL;
        StandIn* standIn = target == Target::kLookup ? new StandIn : NULL;
        std::vector<PROCESS_INFORMATION> started;
        std::vector<HANDLE> outputs;
        const int each = m_lines;
        for (int w = 0; w < writers; ++w) {
            HANDLE output = NULL;
            started.push_back(StartWriter(target == Target::kListener ? "debug"
                                          : target == Target::kLookup ? "lookup"
                                                                      : "channel",
                                          each, &output));
            outputs.push_back(output);
            WaitForSingleObject(m_ready, 30000);
        }
        const unsigned long total = static_cast<unsigned long>(each * writers);
        double server = WineserverSeconds(m_wineserver);
        double start = Now();
        SetEvent(m_go);
        // The lookup bound is timed by the writers themselves.
        if (target != Target::kLookup) {
            WaitUntil(
                [&] {
                    return (listener ? static_cast<unsigned long>(listener->received)
                                     : Counts(window).lines) >= total;
                },
                kCeilingMs);
        }
        Outcome outcome;
        outcome.linesPerSecond = target == Target::kLookup ? 1e12 : total / (Now() - start);
        double serverAfter = WineserverSeconds(m_wineserver);
        if (server >= 0 && serverAfter >= 0) {
            outcome.serverMicrosPerLine = (serverAfter - server) * 1e6 / total;
        }
        ResetEvent(m_go);
        for (size_t w = 0; w < started.size(); ++w) {
            WaitForSingleObject(started[w].hProcess, INFINITE);
            char text[64] = {};
            DWORD read = 0;
            ReadFile(outputs[w], text, sizeof text - 1, &read, NULL);
            double slowest = 0, end = 0;
            sscanf(text, "%lf %lf", &slowest, &end);
            outcome.slowestLogf = std::max(outcome.slowestLogf, slowest);
            if (target == Target::kLookup) {
                outcome.linesPerSecond = std::min(outcome.linesPerSecond, total / (end - start));
            }
            for (HANDLE handle : {started[w].hProcess, started[w].hThread, outputs[w]}) {
                CloseHandle(handle);
            }
        }
        if (window) {
            std::string status = ViewerStatus(window);
            StatusCounts counts;
            ParseStatus(status, &counts);
            outcome.lost = counts.lost;
            outcome.lockTimedOut = status.find("Lock wait timed out") != std::string::npos;
            if (counts.lines < total) {
                outcome.linesPerSecond = 0;
            }
            PostMessageA(window, WM_CLOSE, 0, 0);
            WaitForSingleObject(viewer.hProcess, 30000);
            CloseHandle(viewer.hProcess);
            CloseHandle(viewer.hThread);
        } else if (listener && listener->received < static_cast<LONG>(total)) {
            outcome.linesPerSecond = 0;
        }
        delete listener;
        delete standIn;
        return outcome;
    }

  private:
    static StatusCounts Counts(HWND window) {
        StatusCounts counts;
        ParseStatus(ViewerStatus(window), &counts);
        return counts;
    }

    // The headless viewer prints every line: to nul, as a script that keeps only --out would.
    static HWND StartViewer(std::string command, HANDLE nul, PROCESS_INFORMATION* process) {
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = nul;
        startup.hStdError = nul;
        if (!CreateProcessA(NULL, &command[0], NULL, NULL, TRUE, 0, NULL, NULL, &startup,
                            process)) {
            fprintf(stderr, "cannot start %s: %lu\n", command.c_str(), GetLastError());
            exit(1);
        }
        HWND window = NULL;
        if (!WaitUntil([&] {
                window = FindWindowA(NULL, duzar::kViewerTitle);
                return window && !ViewerStatus(window).empty();
            })) {
            fprintf(stderr, "the viewer's window did not appear\n");
            exit(1);
        }
        return window;
    }

    PROCESS_INFORMATION StartWriter(const char* kind, int count, HANDLE* output) {
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
        HANDLE write = NULL;
        CreatePipe(output, &write, &inherit, 0);
        SetHandleInformation(*output, HANDLE_FLAG_INHERIT, 0);
        std::string command =
            std::string("\"") + m_self + "\" --write " + kind + " " + std::to_string(count);
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = write;
        startup.hStdError = m_nul;
        PROCESS_INFORMATION process = {};
        if (!CreateProcessA(NULL, &command[0], NULL, NULL, TRUE, 0, NULL, NULL, &startup,
                            &process)) {
            fprintf(stderr, "cannot start a writer: %lu\n", GetLastError());
            exit(1);
        }
        CloseHandle(write);
        return process;
    }

    int m_lines; // per writer
    int m_wineserver;
    char m_self[MAX_PATH] = {};
    HANDLE m_ready = NULL;
    HANDLE m_go = NULL;
    HANDLE m_nul = NULL; // the viewer's standard output, the writers' standard error
};

// "min / median / max" of values, each printed with format.
std::string Spread(std::vector<double> values, const char* format) {
    std::sort(values.begin(), values.end());
    std::string text;
    for (double value : {values.front(), values[values.size() / 2], values.back()}) {
        char one[32];
        snprintf(one, sizeof one, format, value);
        text += (text.empty() ? "" : " / ") + std::string(one);
    }
    return text;
}

struct Series {
    std::vector<double> rate, perListener, perLookup, slowest, server;
    unsigned long lost = 0;
    int lockTimeouts = 0;
};

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && strcmp(argv[1], "--write") == 0) {
        return Write(argv[2], atoi(argv[3]));
    }
    std::vector<const char*> viewers;
    int rounds = 3, lines = 20000, only = 0;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
            rounds = atoi(argv[++i]);
        } else if (strcmp(argv[i], "--writers") == 0 && i + 1 < argc) {
            only = atoi(argv[++i]);
        } else if (strcmp(argv[i], "--lines") == 0 && i + 1 < argc) {
            lines = atoi(argv[++i]);
        } else {
            viewers.push_back(argv[i]);
        }
    }
    if (viewers.empty() || viewers.size() > 2 || rounds < 1 || lines < 1) {
        fprintf(stderr, "usage: writers_bench LOGVIEW_EXE [OTHER_LOGVIEW_EXE] [--rounds N] "
                        "[--lines N_PER_WRITER] [--writers 1|4]\n");
        return 2;
    }
    setvbuf(stdout, NULL, _IONBF, 0);
    const int wineserver = FindWineserver();
    Bench bench(lines, wineserver);
    // (viewer, target, writers) -> figures; a viewer's index of -1 for the viewer-free cases.
    std::map<std::tuple<int, Target, int>, Series> series;
    printf("%d lines of %zu characters per writer, %d rounds, cases in alternating order%s\n",
           lines, kLineLength, rounds,
           wineserver ? "" : " (wineserver not found: set WINESERVER_PID for its CPU)");
    for (int round = 0; round < rounds; ++round) {
        printf("  round %d of %d\n", round + 1, rounds);
        for (int writers : {1, 4}) {
            if (only != 0 && writers != only) {
                continue;
            }
            std::map<Target, Outcome> base;
            for (Target target : {Target::kListener, Target::kLookup}) {
                base[target] = bench.Run(target, writers, NULL);
                series[{-1, target, writers}].rate.push_back(base[target].linesPerSecond);
                series[{-1, target, writers}].server.push_back(base[target].serverMicrosPerLine);
            }
            std::vector<int> order;
            for (int v = 0; v < static_cast<int>(viewers.size()); ++v) {
                order.push_back(v);
            }
            if (round % 2 == 1) {
                std::reverse(order.begin(), order.end());
            }
            for (int v : order) {
                for (Target target : {Target::kHeadless, Target::kWindow}) {
                    Outcome outcome = bench.Run(target, writers, viewers[static_cast<size_t>(v)]);
                    Series& one = series[{v, target, writers}];
                    one.rate.push_back(outcome.linesPerSecond);
                    one.perListener.push_back(outcome.linesPerSecond /
                                              base[Target::kListener].linesPerSecond);
                    one.perLookup.push_back(outcome.linesPerSecond /
                                            base[Target::kLookup].linesPerSecond);
                    one.slowest.push_back(outcome.slowestLogf * 1e3);
                    one.server.push_back(outcome.serverMicrosPerLine);
                    one.lost += outcome.lost;
                    one.lockTimeouts += outcome.lockTimedOut ? 1 : 0;
                }
            }
        }
    }
    printf("Per case: min / median / max of the rounds\n");
    for (int writers : {1, 4}) {
        if (only != 0 && writers != only) {
            continue;
        }
        printf("%d writer%s:\n", writers, writers == 1 ? "" : "s");
        for (Target target : {Target::kListener, Target::kLookup}) {
            const Series& one = series[{-1, target, writers}];
            printf("  %-22s %s lines/s, wineserver %s us/line\n",
                   kTargetNames[static_cast<int>(target)], Spread(one.rate, "%.0f").c_str(),
                   Spread(one.server, "%.0f").c_str());
        }
        for (int v = 0; v < static_cast<int>(viewers.size()); ++v) {
            for (Target target : {Target::kHeadless, Target::kWindow}) {
                const Series& one = series[{v, target, writers}];
                printf("  %-22s viewer %d: %s lines/s\n", kTargetNames[static_cast<int>(target)],
                       v + 1, Spread(one.rate, "%.0f").c_str());
                printf("    / listener %s, / lookup bound %s\n",
                       Spread(one.perListener, "%.2f").c_str(),
                       Spread(one.perLookup, "%.2f").c_str());
                printf("    slowest Logf %s ms, wineserver %s us/line, %lu lost, \"Lock wait "
                       "timed out\" in %d rounds\n",
                       Spread(one.slowest, "%.1f").c_str(), Spread(one.server, "%.0f").c_str(),
                       one.lost, one.lockTimeouts);
            }
            std::vector<double> ratio;
            const Series& headless = series[{v, Target::kHeadless, writers}];
            const Series& window = series[{v, Target::kWindow, writers}];
            for (size_t r = 0; r < headless.rate.size(); ++r) {
                ratio.push_back(window.rate[r] / headless.rate[r]);
            }
            printf("  window / headless, viewer %d: %s\n", v + 1, Spread(ratio, "%.2f").c_str());
            for (Target target : {Target::kHeadless, Target::kWindow}) {
                if (v == 0) {
                    continue;
                }
                std::vector<double> versus;
                const Series& first = series[{0, target, writers}];
                const Series& other = series[{v, target, writers}];
                for (size_t r = 0; r < first.rate.size(); ++r) {
                    versus.push_back(other.rate[r] / first.rate[r]);
                }
                printf("  %s, viewer %d / viewer 1: %s\n", kTargetNames[static_cast<int>(target)],
                       v + 1, Spread(versus, "%.2f").c_str());
            }
        }
    }
    return 0;
}

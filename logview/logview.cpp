// The log viewer: the other end of the duzar channel. Its window, titled as clients look for it,
// takes the lines that clients flush to it with LB_ADDSTRING, and those that its reader thread
// drains from the shared buffer, in the order they were written. Each line gets a number and its
// time of arrival; a filter chooses the lines shown, highlight rules colour them.
//
//   logview                                   the window, with the user's settings
//   logview --print [--out FILE] [--seconds N] [--include LIST] [--exclude LIST]
//                                             headless: the same window hidden, each line that
//                                             passes the filter to standard output (and FILE)
//   logview FILE | --follow FILE              a saved log in a window of its own (followed: its
//                                             new lines as they are appended)
//   either with [--max-lines N] [--max-bytes N], the bounds of what is kept
//
// Exit codes: 0, or 4 when a headless viewer lost lines (standard error says how many); 1 when it
// cannot start, 2 for a bad command line, 3 when another viewer runs.
//
// This file holds the entry: options, the single instance, then the parts, each owned here and
// handed to those that use it: the channel's reader, the store of lines (line_store.h), the
// headless output, the window (viewer_window.cpp) and its commands (commands.cpp).
#include "channel_reader.h"
#include "commands.h"
#include "file_follower.h"
#include "log_format.h"
#include "logview_resource.h"
#include "options.h"

#include <commctrl.h>
#include <shellapi.h>

#include <string>

namespace {

// Held for the viewer's life: of two viewers started at the same moment only one creates it.
constexpr char kInstanceName[] = "duzar_viewer";
// How long each output may take to be written at exit before the viewer leaves it.
constexpr DWORD kOutputFinishMs = 5000;
constexpr int kExitCannotStart = 1;
constexpr int kExitBadCommandLine = 2;
constexpr int kExitAlreadyRunning = 3;
constexpr int kExitLinesLost = 4;

// The system calls the console's handler without a context: the window it closes.
HWND g_breakTarget = NULL;

BOOL WINAPI OnConsoleBreak(DWORD) {
    PostMessageA(g_breakTarget, WM_CLOSE, 0, 0);
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

// Said on standard error when headless, in a box otherwise; only while nothing else writes there.
void Complain(bool headless, const std::string& text) {
    if (headless) {
        WriteText(GetStdHandle(STD_ERROR_HANDLE), "logview: " + text + "\n");
    } else {
        ShowError(NULL, text);
    }
}

// One viewer at a time: clients find the first by its title, and two would split the lines. The
// title still catches a viewer that does not hold the instance's name. 0 when this one may run,
// else the exit code.
int TakeInstance(bool headless, OwnedHandle* instanceLock) {
    instanceLock->Reset(CreateMutexA(NULL, FALSE, kInstanceName));
    if (!*instanceLock) {
        Complain(headless, std::string("CreateMutex(\"") + kInstanceName +
                               "\") failed: " + SystemReason(GetLastError()));
        return kExitCannotStart;
    }
    bool exists = GetLastError() == ERROR_ALREADY_EXISTS;
    HWND running = FindWindowA(NULL, duzar::kViewerTitle);
    if (!exists && !running) {
        return 0;
    }
    // A user who starts the viewer again wants the one that runs; a hidden (headless) one cannot
    // be shown, so that is said. Async: a hung viewer must not hang this one.
    if (!headless && running && IsWindowVisible(running)) {
        if (IsIconic(running)) {
            ShowWindowAsync(running, SW_RESTORE);
        }
        SetForegroundWindow(running);
    } else {
        Complain(headless, "Another log viewer is already running.");
    }
    return kExitAlreadyRunning;
}

// The windows work with the user's settings; headless, the filter comes from the options alone,
// so that a script's output never depends on what a user chose in the window.
ViewerSettings TakeSettings(const Options& options) {
    if (options.mode != ViewerMode::kHeadless) {
        return LoadSettings();
    }
    ViewerSettings settings;
    settings.filter = options.filter;
    settings.captureDebugOutput = options.debugOutput;
    return settings;
}

void RunMessageLoop(HINSTANCE instance, const ViewerWindow& window, Commands& commands) {
    HACCEL keys = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_LOGVIEW_KEYS));
    MSG msg;
    BOOL got;
    // -1 is not the end: Wine says so for a message it could not deliver (another program sent a
    // string of a megabyte or more), and the next call waits as ever.
    while ((got = GetMessageA(&msg, NULL, 0, 0)) != 0) {
        if (got == -1) {
            continue;
        }
        if (!TranslateAcceleratorA(window.Handle(), keys, &msg) && !commands.FindBoxMessage(&msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

// The window's title: the channel's, as clients look for it, or the saved log's file, so that no
// client takes that window for the viewer.
std::string Title(const Options& options) {
    return options.mode == ViewerMode::kSavedLog ? Narrow(options.openPath) + " - " + kBoxCaption
                                                 : std::string(duzar::kViewerTitle);
}

// Said, and the exit code of a viewer that cannot start.
int CannotStart(bool headless, const std::string& text) {
    Complain(headless, text);
    return kExitCannotStart;
}

// The lines each queue between the threads may hold: what the store keeps plus one full buffer's
// worth, so that a window or output that keeps up never loses a burst. A buffer holds at most
// kBufferSize / 2 lines (each at least a character and its line feed). In bytes the budget bounds
// them all.
size_t QueueLines(const Options& options) {
    return static_cast<size_t>(options.maxLines) + duzar::kBufferSize / 2;
}

// Headless, the window stays hidden: Ctrl+C or --seconds closes it.
void ShowOrStayHidden(const Options& options, ViewerWindow& window, int show) {
    if (options.mode != ViewerMode::kHeadless) {
        window.Show(show);
        return;
    }
    g_breakTarget = window.Handle();
    SetConsoleCtrlHandler(OnConsoleBreak, TRUE);
    if (options.seconds > 0) {
        window.CloseAfter(options.seconds);
    }
}

// Once the window has gone, whatever the readers took last still reaches the outputs. Headless,
// what any output lost makes the exit code; a writer still blocked on its target is left to the
// process's exit.
int Finish(ChannelReader& channel, DebugCaptures& captures, ViewerWindow& window, LogFile& logFile,
           SyslogForwarding& forwarding, HeadlessOutput* output, Arrivals& arrivals) {
    channel.Stop();
    captures.session.Stop();
    captures.global.Stop();
    window.TakeQueued();
    logFile.Close();
    forwarding.Stop();
    if (!output) {
        return 0;
    }
    bool ended = true;
    int code = output->Finish(arrivals.Dropped(), kOutputFinishMs, &ended) > 0 ? kExitLinesLost : 0;
    if (!ended) {
        ExitProcess(static_cast<UINT>(code));
    }
    return code;
}

// The channel's viewer, headless or with its window, or a saved log's window, which takes nothing
// of the channel. Every part is owned here and handed to those that use it.
int Run(HINSTANCE instance, const Options& options, int show) {
    const ViewerMode mode = options.mode;
    const bool headless = mode == ViewerMode::kHeadless;
    const bool channelTaken = mode != ViewerMode::kSavedLog;
    const size_t queueLines = QueueLines(options);
    ByteBudget budget(options.maxBytes); // first: every part that holds lines takes from it
    ChannelReader channel;
    HeadlessOutput output(options.timed);
    std::string error;
    if ((channelTaken && !channel.Create(&error)) ||
        (headless && !output.Open(options.outPath, options.out, &error))) {
        return CannotStart(headless, error);
    }
    if (headless && !output.Start(queueLines, budget)) {
        return CannotStart(headless,
                           "Cannot start the output's threads: " + SystemReason(GetLastError()));
    }
    if (headless &&
        !output.Forward(options.syslog, options.syslogPriority, queueLines, budget, &error)) {
        return CannotStart(headless, error);
    }
    UserSettings settings(mode, TakeSettings(options));
    LineStore store(static_cast<size_t>(options.maxLines), &budget);
    // The depth chosen in the window, unless the command line says another.
    if (mode == ViewerMode::kChannel && !options.boundsGiven && settings.maxLines != 0) {
        store.SetBounds(settings.maxLines, settings.maxBytes);
    }
    Highlighter highlighter;
    Arrivals arrivals;
    arrivals.SetCapacity(queueLines, budget);
    DebugCaptures captures;
    if (channelTaken) {
        captures.session.FollowChannel(&channel);
    }
    LogFile logFile(&arrivals, &budget);
    SyslogForwarding forwarding(&arrivals, &budget, queueLines);
    ViewerWindow window(mode, store, settings, highlighter, arrivals, headless ? &output : NULL);
    window.SetForwarding(&forwarding);
    Commands commands(window, store, settings, highlighter, arrivals, captures, logFile,
                      forwarding);
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    // A saved log is read before its window shows: one that cannot be read leaves no empty window.
    if (mode == ViewerMode::kSavedLog && !options.follow &&
        !LoadLogFile(options.openPath, &store, &error)) {
        return CannotStart(headless, error);
    }
    if (!window.Create(instance, &commands, Title(options).c_str())) {
        return CannotStart(headless,
                           "Cannot create the viewer window: " + SystemReason(GetLastError()));
    }
    arrivals.SetWindow(window.Handle(), ViewerWindow::kWakeMessage);
    if (headless) {
        output.Attach(&store);
    } else {
        store.AddSink(&logFile);
        store.AddSink(&forwarding);
    }
    // The channel's reader before the debug output's: a debug-output line takes the channel's
    // waiting lines first, from its first line on.
    if (channelTaken && !channel.Start(&arrivals)) {
        return CannotStart(headless,
                           "Cannot start the reader thread: " + SystemReason(GetLastError()));
    }
    FileFollower follower;
    if (options.follow) {
        if (!follower.Start(options.openPath, &arrivals)) {
            return CannotStart(headless,
                               "Cannot start the file's reader: " + SystemReason(GetLastError()));
        }
        window.SetFollowingFile();
    }
    commands.ApplySettings();
    commands.UpdateMenuChecks();
    ShowOrStayHidden(options, window, show);
    if (headless) {
        // Through the output's thread, as every fault: a script may start its writers after it.
        output.Fault("listening");
    }
    RunMessageLoop(instance, window, commands);
    follower.Stop();
    return Finish(channel, captures, window, logFile, forwarding, headless ? &output : NULL,
                  arrivals);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    Options options;
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    ParseResult parsed = argv ? ParseOptions(argc, argv, &options) : ParseResult::kBad;
    LocalFree(argv); // the options hold their own copies
    const bool headless = options.mode == ViewerMode::kHeadless;
    if (parsed != ParseResult::kRun || headless) {
        AttachParentConsole();
    }
    if (parsed == ParseResult::kHelp) {
        WriteText(GetStdHandle(STD_OUTPUT_HANDLE), std::string(kUsage) + "\n");
        return 0;
    }
    if (parsed == ParseResult::kBad) {
        Complain(true, (options.problem.empty() ? "" : options.problem + "\n") + kUsage);
        return kExitBadCommandLine;
    }
    OwnedHandle instanceLock;
    int refused = options.mode == ViewerMode::kSavedLog ? 0 : TakeInstance(headless, &instanceLock);
    return refused ? refused : Run(instance, options, show);
}

// Figures for the viewer's filter, printed, not judged: with 100,000 lines kept, the time from the
// Filter dialog's OK to the rows showing the new filter, and the longest the window took meanwhile
// to answer a message (it refills its rows a slice at a time), for a filter that hides most lines,
// the same as regular expressions (a simple one and one that backtracks), and for clearing it.
//   filter_bench LOGVIEW_EXE [LINES]
#include "bench_clock.h"
#include "duzar.h"
#include "find_dialog.h"
#include "logview_resource.h"
#include "settings.h"
#include "viewer_status.h"

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <string>

namespace {

HWND DialogOf(DWORD process) {
    HWND dialog = NULL;
    for (int i = 0; i < 600 && !(dialog = FindDialogOf(process)); ++i) {
        Sleep(10);
    }
    return dialog;
}

// The status bar's counts, and the time the window took to hand them over.
StatusCounts Counts(HWND viewer, double* answerSeconds, std::string* text = NULL) {
    double start = Now();
    std::string status = ViewerStatus(viewer);
    *answerSeconds = Now() - start;
    StatusCounts counts;
    ParseStatus(status, &counts);
    if (text) {
        *text = status;
    }
    return counts;
}

// Sets the filter through its dialog; returns the seconds until the status bar shows the rows
// wanted and no refill under way, and the worst answer time meanwhile.
double ChangeFilter(HWND viewer, DWORD process, const char* include, bool regex, long wanted,
                    double* worstAnswer) {
    PostMessageA(viewer, WM_COMMAND, IDM_FILTER, 0);
    HWND dialog = DialogOf(process);
    if (!dialog) {
        fprintf(stderr, "the Filter dialog did not open\n");
        exit(1);
    }
    SetDlgItemTextA(dialog, IDC_INCLUDE, include);
    SetDlgItemTextA(dialog, IDC_EXCLUDE, "");
    CheckDlgButton(dialog, IDC_FILTER_REGEX, regex ? BST_CHECKED : BST_UNCHECKED);
    *worstAnswer = 0;
    double start = Now();
    PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    for (;;) {
        double answer = 0;
        std::string status;
        StatusCounts counts = Counts(viewer, &answer, &status);
        *worstAnswer = std::max(*worstAnswer, answer);
        if (!IsWindow(dialog) && counts.shown == static_cast<unsigned long>(wanted) &&
            !counts.filtering) {
            return Now() - start;
        }
        if (Now() - start > 120) {
            fprintf(stderr, "the filter did not apply within 120 s: %s\n", status.c_str());
            exit(1);
        }
        Sleep(1);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: filter_bench LOGVIEW_EXE [LINES]\n");
        return 2;
    }
    long lines = argc > 2 ? atol(argv[2]) : 100000;
    // The window starts with no filter of an earlier run.
    RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKey);
    std::string command = std::string("\"") + argv[1] + "\" --max-lines " + std::to_string(lines);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        fprintf(stderr, "cannot start %s: %lu\n", argv[1], GetLastError());
        return 1;
    }
    HWND viewer = NULL;
    for (int i = 0; i < 400 && !(viewer = FindWindowA(NULL, duzar::kViewerTitle)); ++i) {
        Sleep(50);
    }
    if (!viewer) {
        fprintf(stderr, "the viewer's window did not appear\n");
        return 1;
    }
    // Fed through the channel, as the setup menu logs.
    long withSeven = 0;
    for (long i = 1; i <= lines; ++i) {
        std::string line = "MyWinExec: line " + std::to_string(i) + " of the filter benchmark";
        withSeven += line.find('7') != std::string::npos;
        g_LogClient.Logf("%s", line.c_str());
    }
    double worst = 0;
    const double fed = Now();
    while (Counts(viewer, &worst).lines != static_cast<unsigned long>(lines)) {
        if (Now() - fed > 120) {
            fprintf(stderr, "the viewer did not count %ld lines within 120 s\n", lines);
            return 1;
        }
        Sleep(100);
    }
    printf("Filter change in the window, %ld lines kept:\n", lines);
    struct Change {
        const char* include;
        bool regex;
        long shown;
    } const changes[] = {
        {"7", false, withSeven},
        {"7", true, withSeven},
        {"^mywinexec: line \\d*7", true, withSeven},
        {"(\\d|\\d)*7", true, withSeven},
        {"", false, lines},
    };
    for (const Change& change : changes) {
        double seconds = ChangeFilter(viewer, process.dwProcessId, change.include, change.regex,
                                      change.shown, &worst);
        char label[64];
        snprintf(label, sizeof label,
                 "%s \"%s\" (%ld shown):", change.regex ? "expression" : "include", change.include,
                 change.shown);
        printf("  %-44s %6.2f s, window answered within %6.1f ms\n", label, seconds, worst * 1000);
    }
    PostMessageA(viewer, WM_CLOSE, 0, 0);
    WaitForSingleObject(process.hProcess, 30000);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKey);
    return 0;
}

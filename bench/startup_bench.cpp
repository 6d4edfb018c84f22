// Start-up time: from process start to the menu being visible, median of several runs, for
// setup.exe beside the minimal program that only shows the same dialog.
//   startup_bench SETUP_EXE MINIMAL_EXE [RUNS]
#include "bench_clock.h"
#include "find_dialog.h"

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// Milliseconds from CreateProcess to the dialog being visible; the program is then closed.
double TimeToMenu(const char* program) {
    std::string command = std::string("\"") + program + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    double start = Now();
    if (!CreateProcessA(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        fprintf(stderr, "cannot start %s: %lu\n", program, GetLastError());
        exit(1);
    }
    HWND menu = NULL;
    while (!(menu = FindDialogOf(process.dwProcessId)) && Now() - start < 60) {
        Sleep(1);
    }
    double elapsed = (Now() - start) * 1000;
    if (!menu) {
        // A program that never showed its menu has no start-up time (an i686 program under a Wine
        // without 32-bit support does nothing at all).
        fprintf(stderr, "%s showed no menu within 60 s\n", program);
        TerminateProcess(process.hProcess, 1);
        exit(1);
    }
    PostMessageA(menu, WM_CLOSE, 0, 0);
    WaitForSingleObject(process.hProcess, 30000);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return elapsed;
}

double Median(const char* program, int runs) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        times.push_back(TimeToMenu(program));
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: startup_bench SETUP_EXE MINIMAL_EXE [RUNS]\n");
        return 2;
    }
    int runs = argc > 3 ? atoi(argv[3]) : 15;
    TimeToMenu(argv[1]); // the first start warms Wine's caches for both
    double setup = Median(argv[1], runs);
    double minimal = Median(argv[2], runs);
    printf("Start to visible menu, median of %d runs:\n", runs);
    printf("  setup.exe:        %8.1f ms\n", setup);
    printf("  minimal program:  %8.1f ms\n", minimal);
    printf("  ratio:            %8.2f\n", setup / minimal);
    return 0;
}

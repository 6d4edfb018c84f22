// Figures for forwarding, printed, not judged: lines per second from this process through the
// headless viewer to its --out file and, in the same run, to a real rsyslogd over TCP (the lab's
// configuration on a free loopback port); each clock stops once its target holds every line.
//   forward_bench LOGVIEW_EXE COLLECTOR_DIR [LINES]   COLLECTOR_DIR as Linux names it
#include "bench_clock.h"
#include "collector.h"
#include "duzar.h"
#include "viewer_status.h"

#include <stdio.h>
#include <stdlib.h>

#include <string>

namespace {

constexpr size_t kLineLength = 60;
constexpr double kCeilingSeconds = 600;

size_t FileLines(const std::string& path) {
    std::string text = ReadFileText(path);
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: forward_bench LOGVIEW_EXE COLLECTOR_DIR [LINES]\n");
        return 2;
    }
    const size_t lines = argc > 3 ? static_cast<size_t>(atoi(argv[3])) : 20000;
    const std::string out = "C:\\forward_bench.txt";
    Collector collector(argv[2]);
    if (!collector.Start()) {
        fprintf(stderr, "rsyslogd did not start\n");
        return 1;
    }
    DeleteFileA(out.c_str());
    ChildProcess viewer("\"" + std::string(argv[1]) + "\" --print --out " + out +
                            " --syslog tcp://127.0.0.1:" + std::to_string(collector.Port()),
                        NULL, "NUL", "NUL");
    HWND window = NULL;
    if (!WaitUntil([&] {
            return (window = FindWindowA(NULL, duzar::kViewerTitle)) &&
                   !ViewerStatus(window).empty();
        })) {
        fprintf(stderr, "the viewer's window did not appear\n");
        return 1;
    }
    const std::string text(kLineLength, 'x');
    double start = Now(), toFile = 0, toCollector = 0;
    for (size_t i = 0; i < lines; ++i) {
        g_LogClient.Logf("%s", text.c_str());
    }
    // Each clock stops at the first look that finds its target whole.
    WaitUntil(
        [&] {
            toFile = toFile ? toFile : FileLines(out) >= lines ? Now() - start : 0;
            toCollector = toCollector                                   ? toCollector
                          : FileLines(collector.MachineFile()) >= lines ? Now() - start
                                                                        : 0;
            return toFile && toCollector;
        },
        static_cast<DWORD>(kCeilingSeconds * 1000));
    PostMessageA(window, WM_CLOSE, 0, 0);
    viewer.Wait();
    printf("Forwarding, %zu lines of %zu characters, one headless viewer:\n", lines, kLineLength);
    printf("  to its --out file:              %10.0f lines/s\n", toFile ? lines / toFile : 0.0);
    printf("  to rsyslogd over TCP (loopback): %9.0f lines/s\n",
           toCollector ? lines / toCollector : 0.0);
    return toFile && toCollector ? 0 : 1;
}

// A writer process for the cross-process tests: logs numbered lines through the process-wide
// client, optionally pausing between them or padding them, and exits with the number of lines that
// were not accepted. With "both", every other line goes to the system's debug output instead. With
// "hold N EVENT", it stops after its first N lines until the named manual-reset event is set (at
// most kHoldMs), so that a test decides when its later lines come.
//   duzar_writer WRITER COUNT [PAUSE_MS [PAD [both] [hold N EVENT]]]
//   a line: "writer W line N" and " " + PAD 'x's
#include "duzar.h"

#include <stdlib.h>

#include <string>

namespace {

// A generous ceiling: a test that never sets the event still ends.
constexpr DWORD kHoldMs = 120000;

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        return 255;
    }
    int writer = atoi(argv[1]);
    int count = atoi(argv[2]);
    DWORD pause = argc > 3 ? static_cast<DWORD>(atoi(argv[3])) : 0;
    std::string pad = argc > 4 ? " " + std::string(static_cast<size_t>(atoi(argv[4])), 'x') : "";
    bool both = false;
    int holdAt = -1;
    HANDLE go = NULL;
    for (int i = 5; i < argc; ++i) {
        if (std::string(argv[i]) == "both") {
            both = true;
        } else if (std::string(argv[i]) == "hold" && i + 2 < argc) {
            holdAt = atoi(argv[i + 1]);
            go = CreateEventA(NULL, TRUE, FALSE, argv[i + 2]);
            i += 2;
        } else {
            return 255;
        }
    }
    int refused = 0;
    for (int line = 0; line < count; ++line) {
        if (line == holdAt && WaitForSingleObject(go, kHoldMs) != WAIT_OBJECT_0) {
            return 254;
        }
        if (both && line % 2 == 1) {
            std::string text = "writer " + std::to_string(writer) + " line " +
                               std::to_string(line) + (pad.size() > 1 ? pad : "") + "\r\n";
            OutputDebugStringA(text.c_str());
        } else if (g_LogClient.Logf("writer %d line %d%s", writer, line,
                                    pad.size() > 1 ? pad.c_str() : "") != 0) {
            ++refused;
        }
        if (pause) {
            Sleep(pause);
        }
    }
    return refused;
}

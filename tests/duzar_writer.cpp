// A writer process for the cross-process tests: logs numbered lines through the process-wide
// client, optionally pausing between them or padding them, and exits with the number of lines that
// were not accepted. With "both", every other line goes to the system's debug output instead.
//   duzar_writer WRITER COUNT [PAUSE_MS [PAD [both]]]   a line: "writer W line N" and " " + PAD
//   'x's
#include "duzar.h"

#include <stdlib.h>

#include <string>

int main(int argc, char** argv) {
    if (argc < 3 || argc > 6) {
        return 255;
    }
    int writer = atoi(argv[1]);
    int count = atoi(argv[2]);
    DWORD pause = argc >= 4 ? static_cast<DWORD>(atoi(argv[3])) : 0;
    std::string pad = argc >= 5 ? " " + std::string(static_cast<size_t>(atoi(argv[4])), 'x') : "";
    bool both = argc == 6 && std::string(argv[5]) == "both";
    int refused = 0;
    for (int line = 0; line < count; ++line) {
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

// A writer process for the cross-process test: logs numbered lines through the process-wide client
// and exits with the number of lines that were not accepted.
#include "duzar.h"

#include <stdlib.h>

int main(int argc, char** argv) {
    if (argc != 3) {
        return 255;
    }
    int writer = atoi(argv[1]);
    int count = atoi(argv[2]);
    int refused = 0;
    for (int line = 0; line < count; ++line) {
        if (g_LogClient.Logf("writer %d line %d", writer, line) != 0) {
            ++refused;
        }
    }
    return refused;
}

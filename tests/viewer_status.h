// The viewer's status bar read by its counts, for the tests and the benchmarks:
// "[notice  |  ]1,234 lines, 1,000 kept, 12 shown by the filter, 0 lost  |  following".
#pragma once

#include "logview_resource.h"

#include <windows.h>

#include <stdio.h>

#include <string>

struct StatusCounts {
    unsigned long lines = 0, kept = 0, shown = 0, lost = 0;
    bool filtering = false; // the rows are still being built for a new filter
};

// False when the text holds no counts.
inline bool ParseStatus(std::string status, StatusCounts* counts) {
    for (size_t at = 1; at + 1 < status.size(); ++at) {
        if (status[at] == ',' && isdigit(static_cast<unsigned char>(status[at - 1])) &&
            isdigit(static_cast<unsigned char>(status[at + 1]))) {
            status.erase(at, 1);
        }
    }
    size_t end = status.find(" lines, ");
    if (end == std::string::npos) {
        return false;
    }
    size_t start = end;
    while (start > 0 && isdigit(static_cast<unsigned char>(status[start - 1]))) {
        --start;
    }
    counts->filtering = status.find(" so far by the filter") != std::string::npos;
    return sscanf(status.c_str() + start, "%lu lines, %lu kept, %lu shown%*[^,], %lu lost",
                  &counts->lines, &counts->kept, &counts->shown, &counts->lost) == 4;
}

// The status bar of the viewer's window, read within timeoutMs.
inline std::string ViewerStatus(HWND viewer, UINT timeoutMs = 30000) {
    char status[640] = {};
    DWORD_PTR length = 0;
    SendMessageTimeoutA(GetDlgItem(viewer, IDC_STATUS), WM_GETTEXT, sizeof status,
                        reinterpret_cast<LPARAM>(status), SMTO_NORMAL, timeoutMs, &length);
    return status;
}

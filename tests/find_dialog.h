// Finding a process's dialogs from outside, as the tests' user sees them.
#pragma once

#include <windows.h>

#include <string.h>

struct DialogSearch {
    DWORD process;
    HWND ignore;
    HWND found;
};

inline BOOL CALLBACK MatchDialog(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<DialogSearch*>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    if (process == search->process && window != search->ignore &&
        strcmp(className, "#32770") == 0 && IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// A visible top-level dialog (a menu or a message box) of process other than ignore, or NULL.
inline HWND FindDialogOf(DWORD process, HWND ignore = NULL) {
    DialogSearch search = {process, ignore, NULL};
    EnumWindows(MatchDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

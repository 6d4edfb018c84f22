// Drives the demo media's programs for the README's picture of the viewer, as a user would.
//   demo_driver click CAPTION_START CONTROL_ID   presses a button of the first top-level window
//                                                 whose caption starts so
//   demo_driver close CAPTION_START               closes that window
//   demo_driver wait CAPTION_START [DESKTOP]      waits for that window (on the named desktop, as
//                                                 `explorer /desktop=NAME,SIZE` makes one)
// Waits up to 30 s for the window; exits with 1 when it never comes.
#include <windows.h>

#include <stdlib.h>
#include <string.h>

namespace {

struct Search {
    const char* captionStart;
    HWND found;
};

BOOL CALLBACK MatchCaption(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    char caption[256] = {};
    GetWindowTextA(window, caption, sizeof caption);
    // Its own style: IsWindowVisible says no for a window on another desktop.
    if ((GetWindowLongA(window, GWL_STYLE) & WS_VISIBLE) &&
        strncmp(caption, search->captionStart, strlen(search->captionStart)) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        return 2;
    }
    Search search = {argv[2], NULL};
    const char* desktopName = strcmp(argv[1], "wait") == 0 && argc == 4 ? argv[3] : NULL;
    for (int i = 0; i < 300 && !search.found; ++i) {
        // The named desktop may come only with the program that it shows.
        HDESK desktop = desktopName ? OpenDesktopA(desktopName, 0, FALSE,
                                                   DESKTOP_READOBJECTS | DESKTOP_ENUMERATE)
                                    : NULL;
        if (desktop) {
            EnumDesktopWindows(desktop, MatchCaption, reinterpret_cast<LPARAM>(&search));
            CloseDesktop(desktop);
        } else if (!desktopName) {
            EnumWindows(MatchCaption, reinterpret_cast<LPARAM>(&search));
        }
        Sleep(search.found ? 0 : 100);
    }
    if (!search.found) {
        return 1;
    }
    if (strcmp(argv[1], "click") == 0 && argc == 4) {
        SendMessageA(GetDlgItem(search.found, atoi(argv[3])), BM_CLICK, 0, 0);
    } else if (strcmp(argv[1], "close") == 0) {
        PostMessageA(search.found, WM_CLOSE, 0, 0);
    } else if (strcmp(argv[1], "wait") != 0) {
        return 2;
    }
    return 0;
}

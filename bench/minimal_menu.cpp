// The yardstick for setup.exe's size and start-up: a program built with the same toolchain and
// flags that only shows the setup menu's dialog and closes it.
#include <windows.h>

#include "resource.h"

namespace {

INT_PTR CALLBACK MinimalProc(HWND dialog, UINT message, WPARAM, LPARAM) {
    if (message == WM_CLOSE) {
        EndDialog(dialog, 0);
    }
    return FALSE;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return static_cast<int>(
        DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_SETUP_MENU), NULL, MinimalProc, 0));
}

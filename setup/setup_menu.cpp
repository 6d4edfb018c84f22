// The program's entry and its only window: the modal setup menu. Every feature is one of its
// buttons.
#include "command_queue.h"
#include "display_patch.h"
#include "launch.h"
#include "resource.h"

#include "duzar.h"

// The board selection: 0 before the menu opens, kBoardMorrikII from then on. No hardware is
// examined.
int BoardType = 0;

namespace {

constexpr int kBoardMorrikII = 1;
constexpr int kCaptionSize = 256;

// ", " and the compiler's date form, "May 14 2007"; SOURCE_DATE_EPOCH fixes it for a reproducible
// build. It holds no '%', so it serves as its own format.
constexpr char kDateSuffix[] = ", " __DATE__;

constexpr char kFendraLightSetup[] = "FendraL\\setup.exe";
constexpr char kFendraProcessingSetup[] = "FendraP\\setup.exe";
constexpr char kMorrikSetup[] = "Morrik\\setup.exe";
constexpr wchar_t kReadmeFile[] = L".\\readme\\Velmora.pdf";

void StampTitleAndCenter(HWND menu) {
    char caption[kCaptionSize];
    int length = GetWindowTextA(menu, caption, kCaptionSize);
    duzar::FormatText(caption + length, static_cast<size_t>(kCaptionSize - length), kDateSuffix);
    SetWindowTextA(menu, caption);

    RECT desktop;
    RECT window;
    GetWindowRect(GetDesktopWindow(), &desktop);
    GetWindowRect(menu, &window);
    // Half the room left around the menu on either side.
    int freeWidth = (desktop.right - desktop.left) - (window.right - window.left);
    int freeHeight = (desktop.bottom - desktop.top) - (window.bottom - window.top);
    SetWindowPos(menu, HWND_TOP, desktop.left + freeWidth / 2, desktop.top + freeHeight / 2, 0, 0,
                 SWP_NOSIZE);
}

void OnInitDialog(HWND menu) {
    StampTitleAndCenter(menu);
    BoardType = kBoardMorrikII;
    HWND boardDrivers = GetDlgItem(menu, IDC_BOARD_DRIVERS);
    EnableWindow(boardDrivers, TRUE);
    SetWindowTextA(boardDrivers, MORRIK_DRIVERS_CAPTION);
}

CommandQueue g_commands;

void RunCommand(HWND menu, WPARAM command) {
    switch (command) {
    case IDC_FENDRA_LIGHT: MyWinExec(kFendraLightSetup, SW_SHOWNORMAL); break;
    case IDC_README: OpenReadme(kReadmeFile); break;
    case IDC_FENDRA_PROCESSING:
        // The installer starts whatever the patch's outcome, once its boxes are closed.
        if (BoardType == kBoardMorrikII) {
            PatchDisplayDriver(menu);
        }
        MyWinExec(kFendraProcessingSetup, SW_SHOWNORMAL);
        break;
    case IDC_BOARD_DRIVERS:
        if (BoardType == kBoardMorrikII) {
            MyWinExec(kMorrikSetup, SW_SHOWNORMAL);
        }
        break;
    }
}

// The whole wParam is compared, so only a click (notification 0) selects a command. IDOK and
// IDCANCEL do nothing: Esc and Enter never close the menu. A closed menu takes no command, even one
// sent after it closed; a click beyond what the queue keeps leaves a record.
void OnCommand(HWND menu, WPARAM command) {
    switch (command) {
    case IDC_FENDRA_LIGHT:
    case IDC_README:
    case IDC_FENDRA_PROCESSING:
    case IDC_BOARD_DRIVERS:
        if (!g_commands.Submit(command, [menu](WPARAM next) { RunCommand(menu, next); }) &&
            !g_commands.Closed()) {
            LogClient::WriteError(
                duzar::kSourceTag, "SetupDialogProc: Command %u dropped, %u commands waiting.",
                static_cast<unsigned>(command), static_cast<unsigned>(CommandQueue::kCapacity));
        }
        break;
    }
}

INT_PTR CALLBACK SetupDialogProc(HWND menu, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: OnInitDialog(menu); return FALSE;
    case WM_COMMAND: OnCommand(menu, wParam); return FALSE;
    case WM_CLOSE:
        // Nothing waiting for a running command, and nothing that arrives later, is started once
        // the menu is closed.
        g_commands.Close();
        EndDialog(menu, 0);
        return FALSE;
    }
    return FALSE;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return static_cast<int>(
        DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_SETUP_MENU), NULL, SetupDialogProc, 0));
}

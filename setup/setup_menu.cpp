// The program's entry and its only window: the modal setup menu. Every feature is one of its
// buttons.
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

// The compiler's date form, "May 14 2007"; SOURCE_DATE_EPOCH fixes it for a reproducible build.
constexpr char kBuildDate[] = __DATE__;

constexpr char kFendraLightSetup[] = "FendraL\\setup.exe";
constexpr char kFendraProcessingSetup[] = "FendraP\\setup.exe";
constexpr char kMorrikSetup[] = "Morrik\\setup.exe";
constexpr char kReadmeFile[] = ".\\readme\\Velmora.pdf";

void StampTitleAndCenter(HWND menu) {
    char caption[kCaptionSize];
    int length = GetWindowTextA(menu, caption, kCaptionSize);
    duzar::FormatText(caption + length, static_cast<size_t>(kCaptionSize - length), ", %s",
                      kBuildDate);
    SetWindowTextA(menu, caption);

    RECT desktop;
    RECT window;
    RECT free;
    GetWindowRect(GetDesktopWindow(), &desktop);
    GetWindowRect(menu, &window);
    // free ends up as the room left around the menu: (dw - w, dh - h).
    CopyRect(&free, &desktop);
    OffsetRect(&window, -window.left, -window.top);
    OffsetRect(&free, -free.left, -free.top);
    OffsetRect(&free, -window.right, -window.bottom);
    SetWindowPos(menu, HWND_TOP, desktop.left + free.right / 2, desktop.top + free.bottom / 2, 0, 0,
                 SWP_NOSIZE);
}

void OnInitDialog(HWND menu) {
    StampTitleAndCenter(menu);
    BoardType = kBoardMorrikII;
    EnableWindow(GetDlgItem(menu, IDC_BOARD_DRIVERS), TRUE);
    SetDlgItemTextA(menu, IDC_BOARD_DRIVERS, MORRIK_DRIVERS_CAPTION);
}

// The whole wParam is compared, so only a click (notification 0) selects a command. IDOK and
// IDCANCEL do nothing: Esc and Enter never close the menu.
void OnCommand(HWND menu, WPARAM command) {
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

INT_PTR CALLBACK SetupDialogProc(HWND menu, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: OnInitDialog(menu); return FALSE;
    case WM_COMMAND: OnCommand(menu, wParam); return FALSE;
    case WM_CLOSE: EndDialog(menu, 0); return FALSE;
    }
    return FALSE;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return static_cast<int>(
        DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_SETUP_MENU), NULL, SetupDialogProc, 0));
}

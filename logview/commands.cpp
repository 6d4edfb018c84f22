// The viewer's commands, each a menu item with its key: save, copy, select, clear and follow the
// rows; find a line; the filter and the highlight rules, each in its own dialog; always on top and
// the time column's form. What the user chooses is kept in the settings.
#include "viewer.h"

#include <commdlg.h>
#include <stdio.h>

namespace {

// The rows of the selected lines, or of all rows, each ending in CR LF.
std::string Rows(bool selectedOnly) {
    std::string text;
    LRESULT count = SendMessageA(g_viewer.lines, LB_GETCOUNT, 0, 0);
    char row[kRowSize];
    for (LRESULT i = 0; i < count; ++i) {
        if (selectedOnly &&
            SendMessageA(g_viewer.lines, LB_GETSEL, static_cast<WPARAM>(i), 0) <= 0) {
            continue;
        }
        if (SendMessageA(g_viewer.lines, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0) <
            static_cast<LRESULT>(sizeof row)) {
            SendMessageA(g_viewer.lines, LB_GETTEXT, static_cast<WPARAM>(i),
                         reinterpret_cast<LPARAM>(row));
            text += row;
            text += "\r\n";
        }
    }
    return text;
}

void CopySelection() {
    std::string text = Rows(true);
    if (text.empty() || !OpenClipboard(g_viewer.window)) {
        return;
    }
    EmptyClipboard();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    if (memory) {
        memcpy(GlobalLock(memory), text.c_str(), text.size() + 1);
        GlobalUnlock(memory);
        if (!SetClipboardData(CF_TEXT, memory)) {
            GlobalFree(memory);
        }
    }
    CloseClipboard();
}

void SaveAs() {
    char path[MAX_PATH] = "duzar.log";
    OPENFILENAMEA dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = g_viewer.window;
    dialog.lpstrFilter = "Log files (*.log)\0*.log\0Text files (*.txt)\0*.txt\0All files\0*.*\0";
    dialog.lpstrFile = path;
    dialog.nMaxFile = MAX_PATH;
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
    dialog.lpstrDefExt = "log";
    if (!GetSaveFileNameA(&dialog)) {
        return;
    }
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        char message[MAX_PATH + 64];
        snprintf(message, sizeof message, "Cannot write %s: error %lu", path, GetLastError());
        MessageBoxA(g_viewer.window, message, kBoxCaption, MB_OK | MB_ICONERROR);
        return;
    }
    WriteText(file, Rows(false));
    CloseHandle(file);
}

void Clear() {
    g_viewer.kept.clear();
    g_viewer.firstArrival = 0;
    g_viewer.rebuilding = false;
    SendMessageA(g_viewer.lines, LB_RESETCONTENT, 0, 0);
}

std::string DialogText(HWND dialog, int control) {
    char text[kListSize] = {};
    GetDlgItemTextA(dialog, control, text, sizeof text);
    return text;
}

// A list field holds at most what the settings keep (kListSize); text put there another way that
// is longer is refused with a box, never cut.
void LimitList(HWND dialog, int control, const std::string& text) {
    SendDlgItemMessageA(dialog, control, EM_LIMITTEXT, kListSize - 1, 0);
    SetDlgItemTextA(dialog, control, text.c_str());
}

bool DialogList(HWND dialog, int control, std::string* text) {
    if (GetWindowTextLengthA(GetDlgItem(dialog, control)) >= static_cast<int>(kListSize)) {
        char message[128];
        snprintf(message, sizeof message, "A list may hold at most %d characters.",
                 static_cast<int>(kListSize - 1));
        MessageBoxA(dialog, message, kBoxCaption, MB_OK | MB_ICONWARNING);
        return false;
    }
    char list[kListSize] = {};
    GetDlgItemTextA(dialog, control, list, sizeof list);
    *text = list;
    return true;
}

// Finds the next row after the caret (or the previous one before it) whose line holds the find
// text, selects it alone and brings it into view; a miss is said in the status bar.
void Find(bool forward) {
    if (g_viewer.findText.empty()) {
        return;
    }
    LRESULT count = SendMessageA(g_viewer.lines, LB_GETCOUNT, 0, 0);
    LRESULT caret = SendMessageA(g_viewer.lines, LB_GETCARETINDEX, 0, 0);
    bool anySelected = SendMessageA(g_viewer.lines, LB_GETSELCOUNT, 0, 0) > 0;
    // With nothing selected yet, a search forward starts at the first row, backward at the last.
    LRESULT row = !anySelected ? (forward ? 0 : count - 1) : caret + (forward ? 1 : -1);
    for (; row >= 0 && row < count; row += forward ? 1 : -1) {
        const KeptLine* line = LineOfRow(row);
        if (line && Contains(line->text, g_viewer.findText, g_viewer.findMatchCase)) {
            SendMessageA(g_viewer.lines, LB_SETSEL, FALSE, -1);
            SendMessageA(g_viewer.lines, LB_SETSEL, TRUE, row);
            SendMessageA(g_viewer.lines, LB_SETCARETINDEX, static_cast<WPARAM>(row), FALSE);
            g_viewer.notice.clear();
            return;
        }
    }
    g_viewer.notice = "Not found: \"" + g_viewer.findText + "\"";
}

void TakeFindBox(HWND box) {
    g_viewer.findText = DialogText(box, IDC_FIND_TEXT);
    g_viewer.findMatchCase = IsDlgButtonChecked(box, IDC_MATCH_CASE) == BST_CHECKED;
}

INT_PTR CALLBACK FindBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        SetDlgItemTextA(box, IDC_FIND_TEXT, g_viewer.findText.c_str());
        CheckDlgButton(box, IDC_MATCH_CASE, g_viewer.findMatchCase ? BST_CHECKED : BST_UNCHECKED);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
        case IDC_FIND_PREVIOUS:
            TakeFindBox(box);
            Find(LOWORD(wParam) == IDOK);
            UpdateStatus();
            return TRUE;
        case IDCANCEL:
            DestroyWindow(box);
            g_viewer.findBox = NULL;
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

void OpenFindBox() {
    if (!g_viewer.findBox) {
        g_viewer.findBox = CreateDialogA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_FIND),
                                         g_viewer.window, FindBoxProc);
    }
    if (g_viewer.findBox) {
        ShowWindow(g_viewer.findBox, SW_SHOW);
        SetFocus(GetDlgItem(g_viewer.findBox, IDC_FIND_TEXT));
        SendDlgItemMessageA(g_viewer.findBox, IDC_FIND_TEXT, EM_SETSEL, 0, -1);
    }
}

INT_PTR CALLBACK FilterProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        LimitList(dialog, IDC_INCLUDE, g_viewer.settings.include);
        LimitList(dialog, IDC_EXCLUDE, g_viewer.settings.exclude);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_CLEAR_FILTER:
            SetDlgItemTextA(dialog, IDC_INCLUDE, "");
            SetDlgItemTextA(dialog, IDC_EXCLUDE, "");
            return TRUE;
        case IDOK: {
            std::string include, exclude;
            if (DialogList(dialog, IDC_INCLUDE, &include) &&
                DialogList(dialog, IDC_EXCLUDE, &exclude)) {
                g_viewer.settings.include = include;
                g_viewer.settings.exclude = exclude;
                EndDialog(dialog, IDOK);
            }
            return TRUE;
        }
        case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

INT_PTR CALLBACK HighlightProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        for (int i = 0; i < kHighlightRuleCount; ++i) {
            LimitList(dialog, IDC_RULE_TEXT + i, g_viewer.settings.highlights[i].list);
            for (const HighlightColour& colour : kHighlightColours) {
                SendDlgItemMessageA(dialog, IDC_RULE_COLOUR + i, CB_ADDSTRING, 0,
                                    reinterpret_cast<LPARAM>(colour.name));
            }
            SendDlgItemMessageA(dialog, IDC_RULE_COLOUR + i, CB_SETCURSEL,
                                static_cast<WPARAM>(g_viewer.settings.highlights[i].colour), 0);
        }
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK: {
            std::string lists[kHighlightRuleCount];
            for (int i = 0; i < kHighlightRuleCount; ++i) {
                if (!DialogList(dialog, IDC_RULE_TEXT + i, &lists[i])) {
                    return TRUE;
                }
            }
            for (int i = 0; i < kHighlightRuleCount; ++i) {
                HighlightRule& rule = g_viewer.settings.highlights[i];
                rule.list = lists[i];
                LRESULT colour =
                    SendDlgItemMessageA(dialog, IDC_RULE_COLOUR + i, CB_GETCURSEL, 0, 0);
                rule.colour =
                    colour >= 0 && colour < kHighlightColourCount ? static_cast<int>(colour) : 0;
            }
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

bool RunDialog(int id, DLGPROC procedure) {
    return DialogBoxParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(id), g_viewer.window, procedure,
                           0) == IDOK;
}

void SetTimeMode(TimeMode mode) {
    g_viewer.settings.timeMode = mode;
    SaveSettings(g_viewer.settings);
    UpdateMenuChecks();
    ShowKeptLines();
}

} // namespace

void ApplySettings() {
    g_viewer.filter.Set(g_viewer.settings.include, g_viewer.settings.exclude);
    g_viewer.highlighter.Set(g_viewer.settings.highlights);
}

void UpdateMenuChecks() {
    HMENU menu = GetMenu(g_viewer.window);
    CheckMenuItem(menu, IDM_ALWAYS_ON_TOP,
                  g_viewer.settings.alwaysOnTop ? MF_CHECKED : MF_UNCHECKED);
    CheckMenuRadioItem(menu, IDM_TIME_CLOCK, IDM_TIME_SINCE_FIRST,
                       g_viewer.settings.timeMode == TimeMode::kClock ? IDM_TIME_CLOCK
                                                                      : IDM_TIME_SINCE_FIRST,
                       MF_BYCOMMAND);
}

bool FindBoxMessage(MSG* msg) {
    return g_viewer.findBox && IsDialogMessageA(g_viewer.findBox, msg);
}

void OnCommand(WORD command) {
    switch (command) {
    case IDM_SAVE: SaveAs(); break;
    case IDM_EXIT: PostMessageA(g_viewer.window, WM_CLOSE, 0, 0); break;
    case IDM_COPY: CopySelection(); break;
    case IDM_SELECT_ALL: SendMessageA(g_viewer.lines, LB_SETSEL, TRUE, -1); break;
    case IDM_CLEAR: Clear(); break;
    case IDM_FOLLOW: ScrollToEnd(); break;
    case IDM_FIND: OpenFindBox(); break;
    case IDM_FIND_NEXT:
    case IDM_FIND_PREVIOUS:
        if (g_viewer.findBox) {
            TakeFindBox(g_viewer.findBox);
        }
        if (g_viewer.findText.empty()) {
            OpenFindBox();
        } else {
            Find(command == IDM_FIND_NEXT);
        }
        break;
    case IDM_FILTER:
        if (RunDialog(IDD_FILTER, FilterProc)) {
            ApplySettings();
            SaveSettings(g_viewer.settings);
            ShowKeptLines();
        }
        break;
    case IDM_HIGHLIGHT:
        if (RunDialog(IDD_HIGHLIGHT, HighlightProc)) {
            ApplySettings();
            SaveSettings(g_viewer.settings);
            InvalidateRect(g_viewer.lines, NULL, TRUE);
        }
        break;
    case IDM_ALWAYS_ON_TOP:
        g_viewer.settings.alwaysOnTop = !g_viewer.settings.alwaysOnTop;
        SaveSettings(g_viewer.settings);
        ApplyAlwaysOnTop();
        UpdateMenuChecks();
        break;
    case IDM_TIME_CLOCK: SetTimeMode(TimeMode::kClock); break;
    case IDM_TIME_SINCE_FIRST: SetTimeMode(TimeMode::kSinceFirstLine); break;
    }
    UpdateStatus();
}

#include "dialogs.h"

#include "logview_resource.h"
#include "system_text.h"

#include <stdio.h>

#include <array>
#include <utility>

std::string DialogText(HWND dialog, int control) {
    std::string text(static_cast<size_t>(GetWindowTextLengthA(GetDlgItem(dialog, control))) + 1,
                     '\0');
    text.resize(static_cast<size_t>(
        GetDlgItemTextA(dialog, control, &text[0], static_cast<int>(text.size()))));
    return text;
}

namespace {

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
    *text = DialogText(dialog, control);
    return true;
}

// Each of the Filter dialog's fields and the list it edits.
std::array<std::pair<int, std::string*>, 4> FilterFields(FilterLists& lists) {
    return {{{IDC_INCLUDE, &lists.include},
             {IDC_EXCLUDE, &lists.exclude},
             {IDC_PROCESS, &lists.process},
             {IDC_EXCLUDE_PROCESS, &lists.excludeProcess}}};
}

INT_PTR CALLBACK FilterProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* lists = DialogData<FilterLists>(dialog, message, lParam);
    if (!lists) {
        return FALSE;
    }
    switch (message) {
    case WM_INITDIALOG:
        for (const auto& [control, list] : FilterFields(*lists)) {
            LimitList(dialog, control, *list);
        }
        CheckDlgButton(dialog, IDC_FILTER_REGEX, lists->regex ? BST_CHECKED : BST_UNCHECKED);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_CLEAR_FILTER:
            for (const auto& [control, list] : FilterFields(*lists)) {
                SetDlgItemTextA(dialog, control, "");
            }
            return TRUE;
        case IDOK: {
            FilterLists entered;
            for (const auto& [control, list] : FilterFields(entered)) {
                if (!DialogList(dialog, control, list)) {
                    return TRUE;
                }
            }
            entered.regex = IsDlgButtonChecked(dialog, IDC_FILTER_REGEX) == BST_CHECKED;
            std::string refused;
            if (!CheckFilter(entered, &refused)) {
                MessageBoxA(dialog, refused.c_str(), kBoxCaption, MB_OK | MB_ICONWARNING);
                return TRUE;
            }
            *lists = entered;
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

INT_PTR CALLBACK HighlightProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    HighlightRule* rules = DialogData<HighlightRule>(dialog, message, lParam);
    if (!rules) {
        return FALSE;
    }
    switch (message) {
    case WM_INITDIALOG:
        for (int i = 0; i < kHighlightRuleCount; ++i) {
            LimitList(dialog, IDC_RULE_TEXT + i, rules[i].list);
            for (const HighlightColour& colour : kHighlightColours) {
                SendDlgItemMessageA(dialog, IDC_RULE_COLOUR + i, CB_ADDSTRING, 0,
                                    reinterpret_cast<LPARAM>(colour.name));
            }
            SendDlgItemMessageA(dialog, IDC_RULE_COLOUR + i, CB_SETCURSEL,
                                static_cast<WPARAM>(rules[i].colour), 0);
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
                HighlightRule& rule = rules[i];
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

bool Run(HWND owner, int id, DLGPROC procedure, void* edited) {
    return DialogBoxParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(id), owner, procedure,
                           reinterpret_cast<LPARAM>(edited)) == IDOK;
}

} // namespace

bool EditFilter(HWND owner, FilterLists* lists) {
    return Run(owner, IDD_FILTER, FilterProc, lists);
}

bool EditHighlights(HWND owner, HighlightRule (&rules)[kHighlightRuleCount]) {
    return Run(owner, IDD_HIGHLIGHT, HighlightProc, rules);
}

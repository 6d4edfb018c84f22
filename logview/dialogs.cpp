#include "dialogs.h"

#include "logview_resource.h"
#include "options.h"
#include "row_view.h"
#include "system_text.h"

#include <commdlg.h>
#include <stdio.h>

#include <algorithm>
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

// A box that says why what was entered is refused; the dialog stays.
void Refuse(HWND dialog, const std::string& text) {
    MessageBoxA(dialog, text.c_str(), kBoxCaption, MB_OK | MB_ICONWARNING);
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
        Refuse(dialog, message);
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

// OK and Cancel of a dialog that edits one value: on OK, take reads what was entered into the
// value, or refuses it and keeps the dialog open (false); Cancel leaves the value as it was.
template <typename Take> INT_PTR OkOrCancel(HWND dialog, WORD command, Take take) {
    if (command != IDOK && command != IDCANCEL) {
        return FALSE;
    }
    if (command == IDCANCEL || take()) {
        EndDialog(dialog, command);
    }
    return TRUE;
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
        if (LOWORD(wParam) == IDC_CLEAR_FILTER) {
            for (const auto& [control, list] : FilterFields(*lists)) {
                SetDlgItemTextA(dialog, control, "");
            }
            return TRUE;
        }
        return OkOrCancel(dialog, LOWORD(wParam), [&] {
            FilterLists entered;
            for (const auto& [control, list] : FilterFields(entered)) {
                if (!DialogList(dialog, control, list)) {
                    return false;
                }
            }
            entered.regex = IsDlgButtonChecked(dialog, IDC_FILTER_REGEX) == BST_CHECKED;
            std::string refused;
            if (!CheckFilter(entered, &refused)) {
                Refuse(dialog, refused);
                return false;
            }
            *lists = entered;
            return true;
        });
    }
    return FALSE;
}

// The rules as the dialog edits them, given back to *rules on OK alone.
struct HighlightEdit {
    std::vector<HighlightRule>* rules;
    std::vector<HighlightRule> edited;
};

void ShowRules(HWND dialog, const std::vector<HighlightRule>& rules, int selected) {
    HWND list = GetDlgItem(dialog, IDC_RULE_LIST);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    for (const HighlightRule& rule : rules) {
        int colour = rule.colour >= 0 && rule.colour < kHighlightColourCount ? rule.colour : 0;
        std::string label = std::string(kHighlightColours[colour].name) + ": " + rule.list +
                            (rule.regex ? "   (expression)" : "");
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(label.c_str()));
    }
    SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

// The rule in the fields; false, said in a box, where it has no text or its expression is refused.
bool RuleInFields(HWND dialog, HighlightRule* rule) {
    if (!DialogList(dialog, IDC_RULE_TEXT, &rule->list)) {
        return false;
    }
    LRESULT colour = SendDlgItemMessageA(dialog, IDC_RULE_COLOUR, CB_GETCURSEL, 0, 0);
    rule->colour = colour >= 0 && colour < kHighlightColourCount ? static_cast<int>(colour) : 0;
    rule->regex = IsDlgButtonChecked(dialog, IDC_HIGHLIGHT_REGEX) == BST_CHECKED;
    std::string refused = rule->list.empty() ? "A rule needs a text to match." : "";
    if (refused.empty()) {
        Highlighter().Set({*rule}, &refused);
    }
    if (!refused.empty()) {
        Refuse(dialog, refused);
        return false;
    }
    return true;
}

void ShowRuleInFields(HWND dialog, const HighlightRule& rule) {
    SetDlgItemTextA(dialog, IDC_RULE_TEXT, rule.list.c_str());
    SendDlgItemMessageA(dialog, IDC_RULE_COLOUR, CB_SETCURSEL, static_cast<WPARAM>(rule.colour), 0);
    CheckDlgButton(dialog, IDC_HIGHLIGHT_REGEX, rule.regex ? BST_CHECKED : BST_UNCHECKED);
}

// Add, Change, Remove, Up and Down on the edited rules; the selection follows the rule.
void EditRules(HWND dialog, WORD command, std::vector<HighlightRule>& rules) {
    int selected = static_cast<int>(SendDlgItemMessageA(dialog, IDC_RULE_LIST, LB_GETCURSEL, 0, 0));
    const bool any = selected >= 0 && selected < static_cast<int>(rules.size());
    HighlightRule rule;
    switch (command) {
    case IDC_RULE_ADD:
        if (rules.size() >= kMaxHighlightRules || !RuleInFields(dialog, &rule)) {
            return;
        }
        rules.push_back(rule);
        selected = static_cast<int>(rules.size()) - 1;
        break;
    case IDC_RULE_CHANGE:
        if (!any || !RuleInFields(dialog, &rule)) {
            return;
        }
        rules[static_cast<size_t>(selected)] = rule;
        break;
    case IDC_RULE_REMOVE:
        if (!any) {
            return;
        }
        rules.erase(rules.begin() + selected);
        selected = std::min(selected, static_cast<int>(rules.size()) - 1);
        break;
    case IDC_RULE_UP:
    case IDC_RULE_DOWN: {
        int other = selected + (command == IDC_RULE_UP ? -1 : 1);
        if (!any || other < 0 || other >= static_cast<int>(rules.size())) {
            return;
        }
        std::swap(rules[static_cast<size_t>(selected)], rules[static_cast<size_t>(other)]);
        selected = other;
        break;
    }
    }
    ShowRules(dialog, rules, selected);
}

INT_PTR CALLBACK HighlightProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* edit = DialogData<HighlightEdit>(dialog, message, lParam);
    if (!edit) {
        return FALSE;
    }
    switch (message) {
    case WM_INITDIALOG:
        SendDlgItemMessageA(dialog, IDC_RULE_TEXT, EM_LIMITTEXT, kListSize - 1, 0);
        for (const HighlightColour& colour : kHighlightColours) {
            SendDlgItemMessageA(dialog, IDC_RULE_COLOUR, CB_ADDSTRING, 0,
                                reinterpret_cast<LPARAM>(colour.name));
        }
        SendDlgItemMessageA(dialog, IDC_RULE_COLOUR, CB_SETCURSEL, 0, 0);
        ShowRules(dialog, edit->edited, 0);
        if (!edit->edited.empty()) {
            ShowRuleInFields(dialog, edit->edited.front());
        }
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_RULE_LIST:
            if (HIWORD(wParam) == LBN_SELCHANGE) {
                LRESULT selected = SendDlgItemMessageA(dialog, IDC_RULE_LIST, LB_GETCURSEL, 0, 0);
                if (selected >= 0 && selected < static_cast<LRESULT>(edit->edited.size())) {
                    ShowRuleInFields(dialog, edit->edited[static_cast<size_t>(selected)]);
                }
            }
            return TRUE;
        case IDC_RULE_ADD:
        case IDC_RULE_CHANGE:
        case IDC_RULE_REMOVE:
        case IDC_RULE_UP:
        case IDC_RULE_DOWN: EditRules(dialog, LOWORD(wParam), edit->edited); return TRUE;
        case IDOK:
            *edit->rules = edit->edited;
            EndDialog(dialog, IDOK);
            return TRUE;
        case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

// The depth as the dialog edits it: lines, and bytes shown and taken in megabytes.
struct HistoryDepth {
    unsigned long lines;
    unsigned long bytes;
};

INT_PTR CALLBACK HistoryProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* depth = DialogData<HistoryDepth>(dialog, message, lParam);
    if (!depth) {
        return FALSE;
    }
    switch (message) {
    case WM_INITDIALOG:
        SetDlgItemTextA(dialog, IDC_HISTORY_LINES, std::to_string(depth->lines).c_str());
        SetDlgItemTextA(dialog, IDC_HISTORY_MEGABYTES, std::to_string(depth->bytes >> 20).c_str());
        return TRUE;
    case WM_COMMAND:
        return OkOrCancel(dialog, LOWORD(wParam), [&] {
            unsigned long lines = 0, megabytes = 0;
            if (!ParseNumber(DialogText(dialog, IDC_HISTORY_LINES).c_str(), 1, kMaxLines, &lines) ||
                !ParseNumber(DialogText(dialog, IDC_HISTORY_MEGABYTES).c_str(), kMinBytes >> 20,
                             kMaxBytes >> 20, &megabytes)) {
                Refuse(dialog,
                       "Lines: a whole number from 1 to 1000000; megabytes: from 1 to 256.");
                return false;
            }
            *depth = {lines, megabytes << 20};
            return true;
        });
    }
    return FALSE;
}

INT_PTR CALLBACK RotationProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* rotation = DialogData<Rotation>(dialog, message, lParam);
    if (!rotation) {
        return FALSE;
    }
    switch (message) {
    case WM_INITDIALOG:
        SetDlgItemTextA(dialog, IDC_ROTATE_MEGABYTES,
                        std::to_string(rotation->limit >> 20).c_str());
        SetDlgItemTextA(dialog, IDC_ROTATE_KEEP, std::to_string(rotation->keep).c_str());
        CheckDlgButton(dialog, IDC_ROTATE_DAILY, rotation->daily ? BST_CHECKED : BST_UNCHECKED);
        return TRUE;
    case WM_COMMAND:
        return OkOrCancel(dialog, LOWORD(wParam), [&] {
            unsigned long megabytes = 0, keep = 0;
            if (!ParseNumber(DialogText(dialog, IDC_ROTATE_MEGABYTES).c_str(), 0,
                             kMaxRotateMegabytes, &megabytes) ||
                !ParseNumber(DialogText(dialog, IDC_ROTATE_KEEP).c_str(), 1, RotatingFile::kMaxKeep,
                             &keep)) {
                Refuse(dialog, "Megabytes: a whole number from 0 to 4095; files: from 1 to 99.");
                return false;
            }
            *rotation = {static_cast<ULONGLONG>(megabytes) << 20, static_cast<unsigned>(keep),
                         IsDlgButtonChecked(dialog, IDC_ROTATE_DAILY) == BST_CHECKED};
            return true;
        });
    }
    return FALSE;
}

struct SyslogChoice {
    std::string url;
    std::string priority;
};

INT_PTR CALLBACK SyslogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* choice = DialogData<SyslogChoice>(dialog, message, lParam);
    if (!choice) {
        return FALSE;
    }
    switch (message) {
    case WM_INITDIALOG:
        SetDlgItemTextA(dialog, IDC_SYSLOG_URL, choice->url.c_str());
        SetDlgItemTextA(dialog, IDC_SYSLOG_PRIORITY, choice->priority.c_str());
        return TRUE;
    case WM_COMMAND:
        return OkOrCancel(dialog, LOWORD(wParam), [&] {
            SyslogChoice entered = {DialogText(dialog, IDC_SYSLOG_URL),
                                    DialogText(dialog, IDC_SYSLOG_PRIORITY)};
            SyslogTarget target;
            int priority = 0;
            std::string refused;
            if ((!entered.url.empty() && !ParseSyslogUrl(entered.url, &target, &refused)) ||
                !ParseSyslogPriority(entered.priority, &priority, &refused)) {
                Refuse(dialog, refused);
                return false;
            }
            *choice = entered;
            return true;
        });
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

bool EditHighlights(HWND owner, std::vector<HighlightRule>* rules) {
    HighlightEdit edit = {rules, *rules};
    return Run(owner, IDD_HIGHLIGHT, HighlightProc, &edit);
}

bool ChooseRowFont(HWND owner, int dpi, ViewerSettings* settings) {
    LOGFONTA font = settings->hasFont ? settings->font : DefaultRowFont();
    font.lfHeight = MulDiv(font.lfHeight, dpi, RowView::kBaseDpi);
    CHOOSEFONTA choice = {};
    choice.lStructSize = sizeof choice;
    choice.hwndOwner = owner;
    choice.lpLogFont = &font;
    choice.Flags = CF_INITTOLOGFONTSTRUCT | CF_SCREENFONTS;
    if (!ChooseFontA(&choice)) {
        return false;
    }
    font.lfHeight = MulDiv(font.lfHeight, RowView::kBaseDpi, dpi);
    if (!FontIsUsable(font)) {
        return false;
    }
    settings->font = font;
    settings->hasFont = true;
    return true;
}

bool EditRotation(HWND owner, Rotation* rotation) {
    return Run(owner, IDD_ROTATION, RotationProc, rotation);
}

bool EditSyslog(HWND owner, std::string* url, std::string* priority) {
    SyslogChoice choice = {*url, *priority};
    if (!Run(owner, IDD_SYSLOG, SyslogProc, &choice)) {
        return false;
    }
    *url = choice.url;
    *priority = choice.priority;
    return true;
}

bool EditHistory(HWND owner, unsigned long* maxLines, unsigned long* maxBytes) {
    HistoryDepth depth = {*maxLines, *maxBytes};
    if (!Run(owner, IDD_HISTORY, HistoryProc, &depth)) {
        return false;
    }
    *maxLines = depth.lines;
    *maxBytes = depth.bytes;
    return true;
}

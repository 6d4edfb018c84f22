#include "find_box.h"

#include "dialogs.h"
#include "logview_resource.h"

void FindBox::Open() {
    if (!m_box) {
        m_box = CreateDialogParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_FIND),
                                   m_window.Handle(), Proc, reinterpret_cast<LPARAM>(this));
    }
    if (m_box) {
        ShowWindow(m_box, SW_SHOW);
        SetFocus(GetDlgItem(m_box, IDC_FIND_TEXT));
        SendDlgItemMessageA(m_box, IDC_FIND_TEXT, EM_SETSEL, 0, -1);
    }
}

void FindBox::Again(bool forward) {
    if (m_box) {
        TakeFields(m_box);
    }
    if (m_text.empty()) {
        Open();
    } else {
        Find(forward);
    }
}

bool FindBox::TakesMessage(MSG* msg) {
    return m_box && IsDialogMessageA(m_box, msg);
}

void FindBox::TakeFields(HWND box) {
    m_text = DialogText(box, IDC_FIND_TEXT);
    m_matchCase = IsDlgButtonChecked(box, IDC_MATCH_CASE) == BST_CHECKED;
    m_regex = IsDlgButtonChecked(box, IDC_FIND_REGEX) == BST_CHECKED;
    m_refused.clear();
    if (m_regex) {
        m_expression.Set(m_text, true, m_matchCase, &m_refused);
    }
}

INT_PTR CALLBACK FindBox::Proc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
    FindBox* self = DialogData<FindBox>(box, message, lParam);
    if (!self) {
        return FALSE;
    }
    switch (message) {
    case WM_INITDIALOG:
        SetDlgItemTextA(box, IDC_FIND_TEXT, self->m_text.c_str());
        CheckDlgButton(box, IDC_MATCH_CASE, self->m_matchCase ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(box, IDC_FIND_REGEX, self->m_regex ? BST_CHECKED : BST_UNCHECKED);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
        case IDC_FIND_PREVIOUS:
            self->m_window.SetNotice("");
            self->TakeFields(box);
            self->Find(LOWORD(wParam) == IDOK);
            self->m_window.UpdateStatus();
            return TRUE;
        case IDCANCEL:
            DestroyWindow(box);
            self->m_box = NULL;
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

// From the row after the caret (or before it); a miss is said too, with a beep.
void FindBox::Find(bool forward) {
    if (m_text.empty()) {
        return;
    }
    if (!m_refused.empty()) {
        MessageBeep(MB_ICONWARNING);
        m_window.SetNotice("Find: " + m_refused);
        return;
    }
    const long count = static_cast<long>(m_window.RowCount());
    const bool anySelected = m_window.AnySelected();
    // With nothing selected yet, a search forward starts at the first row, backward at the last.
    const long caret = static_cast<long>(m_window.Caret());
    const long first = !anySelected ? (forward ? 0 : count - 1) : caret + (forward ? 1 : -1);
    for (long i = 0; i < count; ++i) {
        long position = forward ? first + i : first - i; // past the rows when wrapped
        size_t row = static_cast<size_t>((position % count + count) % count);
        const KeptLine* line = m_window.LineOfRow(row);
        if (line && (m_regex ? m_expression.Matches(line->text)
                             : Contains(line->text, m_text, m_matchCase))) {
            m_window.SelectOnly(row);
            std::string where = "Row " + std::to_string(row + 1) + " of " + std::to_string(count);
            if (position >= count || position < 0) {
                where += forward ? " (from the top again)" : " (from the bottom again)";
            }
            m_window.SetNotice(where);
            return;
        }
    }
    MessageBeep(MB_ICONWARNING);
    m_window.SetNotice("Not found: \"" + m_text + "\"");
}

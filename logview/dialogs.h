// The viewer's two modal dialogs, each given only what it edits: the filter's lists, and the
// highlight rules. A list field holds what the settings keep (kListSize); what does not fit is
// refused with a box, never cut, and so is an expression that does not compile, with its reason.
#pragma once

#include "line_filter.h"
#include "settings.h"

#include <string>
#include <vector>

// A dialog field's text, whole.
std::string DialogText(HWND dialog, int control);

// What a dialog works on: handed over as WM_INITDIALOG's lParam, kept in its DWLP_USER; NULL for
// the messages that come before it.
template <typename T> T* DialogData(HWND dialog, UINT message, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
    }
    return reinterpret_cast<T*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

// True when the user pressed OK: the lists then hold what was entered.
bool EditFilter(HWND owner, FilterLists* lists);
bool EditHighlights(HWND owner, std::vector<HighlightRule>* rules);
// The history's depth: *maxLines and *maxBytes as they stand, changed on OK; a number out of range
// is refused with a box.
bool EditHistory(HWND owner, unsigned long* maxLines, unsigned long* maxBytes);
// Log to File's rotation as it stands, changed on OK; a number out of range is refused with a box.
bool EditRotation(HWND owner, Rotation* rotation);
// The collector to forward to and its priority, as they stand, changed on OK; a URL or priority
// that would be refused is refused with a box, with the reason.
bool EditSyslog(HWND owner, std::string* url, std::string* priority);
// The system's font dialog on the rows' font, sized for dpi; the choice is kept for 96 dots per
// inch in settings.
bool ChooseRowFont(HWND owner, int dpi, ViewerSettings* settings);

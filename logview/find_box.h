// The find box: a modeless dialog beside the rows that finds the next (or previous) row holding its
// text (or matching its regular expression), past the end on to the start, selects it alone and
// says in the status bar where it stands. It keeps its text and rules between searches, so that F3
// goes on without it.
#pragma once

#include "pattern.h"
#include "viewer_window.h"

class FindBox {
  public:
    explicit FindBox(ViewerWindow& window) : m_window(window) {}
    FindBox(const FindBox&) = delete;
    FindBox& operator=(const FindBox&) = delete;

    void Open();
    // Find Next or Previous: with the box's text, or the box itself while there is none.
    void Again(bool forward);
    // The box takes its own keys (Tab, Enter, Esc) first.
    bool TakesMessage(MSG* msg);

  private:
    static INT_PTR CALLBACK Proc(HWND box, UINT message, WPARAM wParam, LPARAM lParam);
    void TakeFields(HWND box);
    void Find(bool forward);

    ViewerWindow& m_window;
    HWND m_box = NULL;
    std::string m_text;
    bool m_matchCase = false;
    bool m_regex = false;
    Pattern m_expression;  // m_text compiled, with m_regex
    std::string m_refused; // why m_text is no expression; empty when it is one
};

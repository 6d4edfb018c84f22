// The viewer's commands, each a menu item with its key: save, copy, select, clear and follow the
// rows; find a line; the filter and the highlight rules, each in its own dialog; always on top and
// the time column's form. They act through the window's row operations and the settings; what the
// user chooses is kept in the settings.
#pragma once

#include "viewer_window.h"

class Commands : public CommandTarget {
  public:
    Commands(ViewerWindow& window, ViewerSettings& settings, Highlighter& highlighter)
        : m_window(window), m_settings(settings), m_highlighter(highlighter) {}
    Commands(const Commands&) = delete;
    Commands& operator=(const Commands&) = delete;

    void OnCommand(WORD command) override;
    // The highlighter takes the settings' rules, the window's rows the filter.
    void ApplySettings();
    void UpdateMenuChecks();
    // The find box takes its own keys (Tab, Enter, Esc) first.
    bool FindBoxMessage(MSG* msg);

  private:
    static INT_PTR CALLBACK FindBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam);
    static INT_PTR CALLBACK FilterProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    static INT_PTR CALLBACK HighlightProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    std::string Rows(bool selectedOnly) const;
    void CopySelection();
    void SaveAs();
    void Find(bool forward);
    void TakeFindBox(HWND box);
    void OpenFindBox();
    bool RunDialog(int id, DLGPROC procedure);
    void SetTimeMode(TimeMode mode);

    ViewerWindow& m_window;
    ViewerSettings& m_settings;
    Highlighter& m_highlighter;
    HWND m_findBox = NULL;
    std::string m_findText;
    bool m_findMatchCase = false;
};

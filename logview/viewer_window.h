// The viewer's window: the one owner of its list of rows, its status bar and the messages that
// clients send it. The rows are the store's view, drawn from the store (the list keeps only their
// count and selection); the window takes the lines that the reader thread queued and those that
// clients flush to it into the store, and offers the commands its row operations.
#pragma once

#include "arrivals.h"
#include "duzar.h"
#include "line_store.h"
#include "row_view.h"
#include "output_writer.h"
#include "settings.h"

#include <string>

// Where the window's menu commands go, and the news that a writer it started (Log to File) failed.
class CommandTarget {
  public:
    virtual void OnCommand(WORD command) = 0;
    virtual void OnWriteFailed() = 0;
    // Save As has written its file, or failed.
    virtual void OnSaveDone() = 0;
    // A file dropped on the window: a saved log to open.
    virtual void OpenSavedLog(const std::wstring& path) = 0;

  protected:
    ~CommandTarget() = default;
};

class ViewerWindow {
  public:
    // The message that wakes the window for its arrivals.
    static constexpr UINT kWakeMessage = WM_APP + 1;

    // output is the headless sink, or NULL for a window that is shown.
    ViewerWindow(ViewerMode mode, LineStore& store, UserSettings& settings,
                 Highlighter& highlighter, Arrivals& arrivals, HeadlessOutput* output)
        : m_mode(mode), m_store(store), m_settings(settings), m_arrivals(arrivals),
          m_output(output), m_rowView(settings, highlighter, store) {}
    ViewerWindow(const ViewerWindow&) = delete;
    ViewerWindow& operator=(const ViewerWindow&) = delete;

    // title: the channel's (duzar::kViewerTitle), or a saved log's.
    bool Create(HINSTANCE instance, CommandTarget* commands, const char* title);
    HWND Handle() const { return m_window; }
    ViewerMode Mode() const { return m_mode; }
    // Shown where the user left it, and on top if so chosen.
    void Show(int show);
    void CloseAfter(int seconds);
    // Takes what the readers queued into the store, and draws the rows that wait; also after the
    // window is gone, at exit.
    void TakeQueued();
    // A fault, in the status bar (and on standard error when headless).
    void ReportFault(const std::string& text);

    // Lines that fell behind a queue: the window's (a stalled window) or an output's.
    unsigned long Lost();

    // Row operations for the commands.
    size_t RowCount() const { return m_store.RowCount(); }
    const KeptLine* LineOfRow(size_t row) const { return m_store.Row(row); }
    bool IsSelected(size_t row) const;
    bool AnySelected() const;
    // The row with the focus, or -1.
    LRESULT Caret() const;
    void SelectOnly(size_t row);
    void SelectAll();
    void ScrollToEnd();
    // Builds the rows again after the filter changed, a slice at a time.
    void Refilter();
    // Draws the rows again after the time column or the highlight rules changed.
    void Redraw();
    void Clear();
    void ApplyAlwaysOnTop();
    // The rows in the settings' font, after the user chose one.
    void ApplyFont();
    // A saved log whose new lines keep coming (--follow): the status bar says so.
    void SetFollowingFile() { m_followingFile = true; }
    int Dpi() const { return m_dpi; }
    // The process of the row that the context menu was opened on, as a filter names it: its name,
    // or "channel".
    const std::string& MenuProcess() const { return m_menuProcess; }
    // A command's outcome, such as a find that missed: shown until the next command.
    void SetNotice(const std::string& notice);
    // The file that Log to File writes, said in the status bar; empty when off.
    void SetLogFile(const std::wstring& path);
    // Whose state the status bar shows (the window's forwarding to syslog).
    void SetForwarding(const SyslogForwarding* forwarding) { m_forwarding = forwarding; }
    void UpdateStatus();

  private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam,
                                     UINT_PTR, DWORD_PTR);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    bool AllHidden() const;
    bool CascadeFromLive(WINDOWPLACEMENT* placement) const;
    static void PaintAllHidden(HWND list);
    LRESULT AddFlushedLine(const char* text);
    void TakeArrivals();
    void TakeBatch();
    // New rows wait for the next frame to be drawn.
    void RowsArrived();
    void DrawNewRows();
    DWORD FrameMs() const;
    bool LastRowVisible() const;
    void SyncRows(bool follow);
    // The one way the list's rows are added or removed.
    LRESULT ChangeRows(UINT message, WPARAM wParam, LPARAM lParam);
    void FilterSlice();
    void Layout();
    void OnHeaderNotify(const NMHDR& notice);
    bool ProcessAt(POINT screen, std::string* process);
    void ShowRowMenu(POINT screen);
    void SavePlacement();

    const ViewerMode m_mode;
    LineStore& m_store;
    UserSettings& m_settings;
    Arrivals& m_arrivals;
    HeadlessOutput* m_output;
    CommandTarget* m_commands = NULL;
    HWND m_window = NULL;
    HWND m_list = NULL;
    HWND m_status = NULL;
    RowView m_rowView;
    int m_dpi = RowView::kBaseDpi;
    int m_extent = 0;       // the horizontal scroll range, in pixels
    int m_headerScroll = 0; // how far the header is moved with the list's horizontal scroll
    std::string m_lastFault;
    std::string m_notice;
    std::string m_logFile;
    const SyslogForwarding* m_forwarding = NULL;
    std::string m_menuProcess;
    bool m_followingFile = false;
    bool m_changingRows = false;  // the window itself changes the list's rows
    bool m_rowsPending = false;   // new rows wait to be drawn
    bool m_frameTimerSet = false; // their frame is timed
    DWORD m_lastDraw = 0;         // when new rows were last drawn
    DWORD m_drawMs = 0;           // and how long that took
};

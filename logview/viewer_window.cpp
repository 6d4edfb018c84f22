#include "viewer_window.h"

#include "log_format.h"
#include "save_job.h"
#include "logview_resource.h"

#include <commctrl.h>
#include <windowsx.h>
#include <shellapi.h>
#include <stdio.h>

namespace {

constexpr char kWindowClass[] = "DuzarLogView";
constexpr UINT kFilterMessage = WM_APP + 2;
constexpr UINT_PTR kStopTimer = 1;
constexpr UINT_PTR kFrameTimer = 2;
// New rows are drawn at most once in this many milliseconds (a frame at 60 Hz), however fast lines
// come: a redraw per batch, at thousands of batches a second, would make the window the channel's
// bottleneck.
constexpr DWORD kFrameMs = 16;
// New rows wait at least this many times as long as drawing them took, but never longer than
// kLongestFrameMs (one slow drawing, the machine busy elsewhere, must not hold the view back).
constexpr DWORD kDrawShare = 4;
constexpr DWORD kLongestFrameMs = 500;
// A new filter is applied in slices of at most this long, between which the window answers its
// messages, kFilterStep lines at a time: an expression can take 3 ms on a long line, so a step
// of the worst lines stays near 0.1 s.
constexpr DWORD kFilterSliceMs = 30;
constexpr size_t kFilterStep = 32;
// The window's size before the user chose one.
constexpr int kFirstWidth = 720;
constexpr int kFirstHeight = 480;
// The status bar's text: counts, state, the last command's outcome and the last fault.
constexpr size_t kStatusSize = 640;
constexpr char kAllHiddenText[] = "The filter hides every line (View > Filter... changes it).";
// Characters of each filter list that the status bar shows.
constexpr size_t kFilterShown = 60;

// 1234567 as "1,234,567".
std::string Grouped(unsigned long long number) {
    std::string digits = std::to_string(number);
    for (size_t at = digits.size(); at > 3; at -= 3) {
        digits.insert(at - 3, ",");
    }
    return digits;
}

} // namespace

bool ViewerWindow::Create(HINSTANCE instance, CommandTarget* commands, const char* title) {
    m_commands = commands;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = Proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(NULL, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszMenuName = MAKEINTRESOURCEA(IDR_LOGVIEW_MENU);
    wc.lpszClassName = kWindowClass;
    if (!RegisterClassA(&wc)) {
        return false;
    }
    // The dots per inch of the screen it starts on; WM_DPICHANGED says when it moves.
    HDC screen = GetDC(NULL);
    m_dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(NULL, screen);
    // The title stays exactly as clients look for it; counts and state go to the status bar.
    if (!CreateWindowExA(WS_EX_ACCEPTFILES, kWindowClass, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                         CW_USEDEFAULT, kFirstWidth, kFirstHeight, NULL, NULL, instance, this)) {
        return false;
    }
    // The header and the rows' font first: the list asks for its rows' height as it is created.
    if (!m_rowView.Create(m_window, instance, m_dpi)) {
        return false;
    }
    // No data of its own: a row is drawn from the store, the list keeps the count and selection.
    m_list = CreateWindowExA(
        WS_EX_CLIENTEDGE, "LISTBOX", "",
        WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP | LBS_NOTIFY |
            LBS_NOINTEGRALHEIGHT | LBS_EXTENDEDSEL | LBS_OWNERDRAWFIXED | LBS_NODATA,
        0, 0, 0, 0, m_window, reinterpret_cast<HMENU>(IDC_LINES), instance, NULL);
    m_status = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, m_window,
                               reinterpret_cast<HMENU>(IDC_STATUS), instance, NULL);
    if (!m_list || !m_status) {
        return false;
    }
    if (m_mode == ViewerMode::kSavedLog) {
        // A saved log's window reads no new lines.
        HMENU menu = GetMenu(m_window);
        EnableMenuItem(menu, IDM_LOG_TO_FILE, MF_GRAYED);
        EnableMenuItem(menu, IDM_FORWARD_SYSLOG, MF_GRAYED);
        EnableMenuItem(menu, IDM_CAPTURE_DEBUG, MF_GRAYED);
        EnableMenuItem(menu, IDM_CAPTURE_GLOBAL, MF_GRAYED);
    }
    SendMessageA(m_list, WM_SETFONT, reinterpret_cast<WPARAM>(m_rowView.Font()), FALSE);
    SetWindowSubclass(m_list, ListProc, 0, reinterpret_cast<DWORD_PTR>(this));
    Layout();
    // The status bar stays empty until the settings are applied (Commands::ApplySettings): a
    // program that waits for it knows the viewer reads all it reads.
    return true;
}

// A saved log's window stands a caption's height below and right of the live viewer's, so that
// both can be seen; the live one's place is where the user left it.
bool ViewerWindow::CascadeFromLive(WINDOWPLACEMENT* placement) const {
    HWND live = FindWindowA(NULL, duzar::kViewerTitle);
    WINDOWPLACEMENT livePlace = {};
    livePlace.length = sizeof livePlace;
    if (m_mode != ViewerMode::kSavedLog || !live || !GetWindowPlacement(live, &livePlace)) {
        return false;
    }
    int step = GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CYSIZEFRAME);
    placement->rcNormalPosition = livePlace.rcNormalPosition;
    OffsetRect(&placement->rcNormalPosition, step, step);
    return true;
}

void ViewerWindow::Show(int show) {
    WINDOWPLACEMENT cascaded = {};
    cascaded.length = sizeof cascaded;
    if (CascadeFromLive(&cascaded)) {
        cascaded.showCmd = static_cast<UINT>(show);
        SetWindowPlacement(m_window, &cascaded);
    } else if (m_settings.hasPlacement) {
        WINDOWPLACEMENT placement = m_settings.placement;
        if (placement.showCmd != SW_SHOWMAXIMIZED) {
            placement.showCmd = static_cast<UINT>(show);
        }
        SetWindowPlacement(m_window, &placement);
    } else {
        ShowWindow(m_window, show);
    }
    ApplyAlwaysOnTop();
}

void ViewerWindow::CloseAfter(int seconds) {
    SetTimer(m_window, kStopTimer, static_cast<UINT>(seconds) * 1000, NULL);
}

unsigned long ViewerWindow::Lost() {
    return m_arrivals.Dropped() + m_store.SinksLost();
}

void ViewerWindow::TakeQueued() {
    TakeArrivals();
    if (m_rowsPending) {
        DrawNewRows();
    }
}

// Into the store only: drawing waits for the frame.
void ViewerWindow::TakeArrivals() {
    std::deque<Arrival> items = m_arrivals.TakeAll();
    if (items.empty()) {
        return;
    }
    for (const Arrival& item : items) {
        if (item.kind == Arrival::Kind::kLine) {
            m_store.Add(item.text, item.process);
        } else if (item.kind == Arrival::Kind::kFileLine) {
            TakeLogFileLine(item.text, &m_store);
        } else if (item.kind == Arrival::Kind::kClear) {
            // The lines before it go, those after it stay: the rows are drawn with the batch.
            m_store.Clear();
            ChangeRows(LB_RESETCONTENT, 0, 0);
        } else {
            ReportFault(item.text);
            if (item.kind == Arrival::Kind::kWriteFailed && m_commands) {
                m_commands->OnWriteFailed();
            }
        }
    }
    m_store.EndOfBatch();
    RowsArrived();
}

void ViewerWindow::RowsArrived() {
    m_rowsPending = true;
    if (!m_frameTimerSet && m_window) {
        DWORD since = GetTickCount() - m_lastDraw;
        SetTimer(m_window, kFrameTimer, since < FrameMs() ? FrameMs() - since : USER_TIMER_MINIMUM,
                 NULL);
        m_frameTimerSet = true;
    }
}

// Timers come only when no posted message waits: while the readers keep the window busy, a batch
// whose frame is due is drawn at once.
void ViewerWindow::TakeBatch() {
    TakeArrivals();
    if (m_rowsPending && GetTickCount() - m_lastDraw >= FrameMs()) {
        DrawNewRows();
    }
}

// A frame, or longer where drawing is slow (many rows, a slow display): drawing takes at most a
// share of the window's time, and the rest answers the clients.
DWORD ViewerWindow::FrameMs() const {
    DWORD frame = m_drawMs * kDrawShare > kFrameMs ? m_drawMs * kDrawShare : kFrameMs;
    return frame < kLongestFrameMs ? frame : kLongestFrameMs;
}

void ViewerWindow::DrawNewRows() {
    if (m_frameTimerSet) {
        KillTimer(m_window, kFrameTimer);
        m_frameTimerSet = false;
    }
    m_rowsPending = false;
    m_lastDraw = GetTickCount();
    // Where the user is now: the list does not hold the new rows yet.
    SyncRows(LastRowVisible());
    m_drawMs = GetTickCount() - m_lastDraw;
    UpdateStatus();
}

// A client flushing the full buffer: it holds the lock, so whatever the reader queued is older.
// Another program may send anything: a line is read no further than a client's can be long. The
// client waits for the answer with the lock held: nothing is drawn until it has gone on.
LRESULT ViewerWindow::AddFlushedLine(const char* text) {
    TakeArrivals();
    size_t length = strnlen(text, duzar::kBufferSize - 1);
    m_store.Add(std::string(text, length));
    m_store.EndOfBatch();
    RowsArrived();
    // Timers wait while messages keep being sent: a flood of them is drawn here, once in the
    // longest frame, so that the view and the counts never stand still for long.
    if (GetTickCount() - m_lastDraw >= kLongestFrameMs) {
        DrawNewRows();
    }
    // Its row, or the last row when the filter hides it.
    size_t rows = m_store.RowCount();
    return rows > 0 ? static_cast<LRESULT>(rows - 1) : 0;
}

bool ViewerWindow::IsSelected(size_t row) const {
    return SendMessageA(m_list, LB_GETSEL, static_cast<WPARAM>(row), 0) > 0;
}

bool ViewerWindow::AnySelected() const {
    return SendMessageA(m_list, LB_GETSELCOUNT, 0, 0) > 0;
}

LRESULT ViewerWindow::Caret() const {
    return RowCount() > 0 ? SendMessageA(m_list, LB_GETCARETINDEX, 0, 0) : -1;
}

void ViewerWindow::SelectOnly(size_t row) {
    SendMessageA(m_list, LB_SETSEL, FALSE, -1);
    SendMessageA(m_list, LB_SETSEL, TRUE, static_cast<LPARAM>(row));
    SendMessageA(m_list, LB_SETCARETINDEX, static_cast<WPARAM>(row), FALSE);
}

void ViewerWindow::SelectAll() {
    SendMessageA(m_list, LB_SETSEL, TRUE, -1);
}

// True while the last row is in view: only then do new rows scroll the view.
bool ViewerWindow::LastRowVisible() const {
    LRESULT count = SendMessageA(m_list, LB_GETCOUNT, 0, 0);
    if (count <= 0) {
        return true;
    }
    RECT client;
    GetClientRect(m_list, &client);
    LRESULT top = SendMessageA(m_list, LB_GETTOPINDEX, 0, 0);
    LRESULT rows = (client.bottom - client.top) / m_rowView.RowHeight();
    return top + rows >= count;
}

void ViewerWindow::ScrollToEnd() {
    LRESULT count = SendMessageA(m_list, LB_GETCOUNT, 0, 0);
    if (count > 0) {
        SendMessageA(m_list, LB_SETTOPINDEX, static_cast<WPARAM>(count - 1), 0);
    }
}

// The list follows the store's view: rows whose lines were dropped leave its front, new ones
// join its end; the rest keep their selection.
void ViewerWindow::SyncRows(bool follow) {
    if (!m_list) {
        return;
    }
    size_t gone = m_store.TakeRowsGone();
    LRESULT count = SendMessageA(m_list, LB_GETCOUNT, 0, 0);
    SendMessageA(m_list, WM_SETREDRAW, FALSE, 0);
    if (gone >= static_cast<size_t>(count)) {
        ChangeRows(LB_RESETCONTENT, 0, 0);
    } else if (gone > 0 && !AnySelected()) {
        // Removing rows one by one costs a move of every row after them each time: with many
        // rows kept, the list is counted afresh instead, the same lines kept in view.
        LRESULT top = SendMessageA(m_list, LB_GETTOPINDEX, 0, 0);
        ChangeRows(LB_RESETCONTENT, 0, 0);
        ChangeRows(LB_SETCOUNT, m_store.RowCount(), 0);
        SendMessageA(m_list, LB_SETTOPINDEX,
                     static_cast<WPARAM>(top > static_cast<LRESULT>(gone) ? top - gone : 0), 0);
    } else {
        // The selection stays with its rows.
        for (size_t i = 0; i < gone; ++i) {
            ChangeRows(LB_DELETESTRING, 0, 0);
        }
    }
    ChangeRows(LB_SETCOUNT, m_store.RowCount(), 0);
    int extent = m_rowView.RowWidth();
    if (extent != m_extent) {
        m_extent = extent;
        SendMessageA(m_list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(extent), 0);
        m_rowView.PlaceHeader(m_list);
    }
    // Scrolled while the list does not draw: turning drawing on updates its scroll bars once,
    // and each update of them costs the window milliseconds.
    if (follow) {
        ScrollToEnd();
    }
    SendMessageA(m_list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(m_list, NULL, FALSE);
}

void ViewerWindow::Refilter() {
    // Only a stored setting that someone edited by hand can be refused here: the dialog and the
    // command line check theirs. The window then shows every line and says why.
    std::string error;
    if (!m_store.SetFilter(m_settings.filter, &error)) {
        ReportFault(error + "; every line is shown.");
        m_settings.filter = FilterLists();
        m_store.SetFilter(m_settings.filter, &error);
    }
    ChangeRows(LB_RESETCONTENT, 0, 0);
    FilterSlice();
}

void ViewerWindow::FilterSlice() {
    bool follow = LastRowVisible();
    const DWORD start = GetTickCount();
    bool more = true;
    while (more && GetTickCount() - start < kFilterSliceMs) {
        more = m_store.FilterSome(kFilterStep);
    }
    SyncRows(follow);
    if (more) {
        PostMessageA(m_window, kFilterMessage, 0, 0);
    }
    UpdateStatus();
}

void ViewerWindow::Redraw() {
    InvalidateRect(m_list, NULL, TRUE);
}

void ViewerWindow::Clear() {
    m_store.Clear();
    ChangeRows(LB_RESETCONTENT, 0, 0);
    SyncRows(true);
}

void ViewerWindow::ApplyAlwaysOnTop() {
    SetWindowPos(m_window, m_settings.alwaysOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void ViewerWindow::SetNotice(const std::string& notice) {
    m_notice = notice;
}

void ViewerWindow::SetLogFile(const std::wstring& path) {
    m_logFile = Narrow(path);
    UpdateStatus();
}

void ViewerWindow::ReportFault(const std::string& text) {
    m_lastFault = text;
    if (m_output) {
        m_output->Fault(text);
    }
    UpdateStatus();
}

// "Not found: "x"  |  1,234 lines, 1,000 kept, 12 shown by the filter, 0 lost  |  following  |
// filter: include "a"  |  logging to x.log  |  <last fault>"
void ViewerWindow::UpdateStatus() {
    if (!m_status) {
        return;
    }
    std::string text = m_notice.empty() ? "" : m_notice + "  |  ";
    text += Grouped(m_store.Received()) + " lines, " + Grouped(m_store.Kept()) + " kept, " +
            Grouped(m_store.RowCount()) + " shown" +
            (m_store.Filtering() ? " so far by the filter" : " by the filter") + ", " +
            Grouped(Lost()) + " lost  |  " +
            (m_store.Received() == 0           ? (m_mode != ViewerMode::kSavedLog
                                                      ? "waiting for the first line from a program that logs "
                                                        "through the duzar channel, such as the setup menu"
                                                      : "the file holds no line")
             : m_followingFile                 ? "following the file as it grows"
             : m_mode == ViewerMode::kSavedLog ? "a saved log, read once"
             : LastRowVisible()                ? "following"
                                               : "paused: scrolled back");
    // A filter kept from an earlier run can hide every new line: it is always named.
    std::string filter = FilterSummary(m_settings.filter, kFilterShown);
    if (!filter.empty()) {
        text += "  |  " + filter;
    }
    if (m_store.FilterGaveUp() > 0) {
        text += " (its expression gave up on " + Grouped(m_store.FilterGaveUp()) +
                " lines: taken as not matching)";
    }
    if (!m_logFile.empty()) {
        text += "  |  logging to " + m_logFile;
    }
    std::string forwarding = m_forwarding ? m_forwarding->State() : std::string();
    if (!forwarding.empty()) {
        text += "  |  " + forwarding;
    }
    if (!m_lastFault.empty()) {
        text += "  |  " + m_lastFault;
    }
    if (text.size() >= kStatusSize) {
        text.resize(kStatusSize - 1);
    }
    SetWindowTextA(m_status, text.c_str());
}

void ViewerWindow::Layout() {
    SendMessageA(m_status, WM_SIZE, 0, 0);
    RECT client, bar;
    GetClientRect(m_window, &client);
    GetWindowRect(m_status, &bar);
    int top = m_rowView.HeaderHeight();
    MoveWindow(m_list, 0, top, client.right, client.bottom - (bar.bottom - bar.top) - top, TRUE);
    m_rowView.PlaceHeader(m_list);
}

// The last the user sees of the settings: a failure to keep them is said in a box.
void ViewerWindow::SavePlacement() {
    if (!KeepsSettings(m_mode)) {
        return;
    }
    m_settings.placement.length = sizeof m_settings.placement;
    m_settings.hasPlacement = GetWindowPlacement(m_window, &m_settings.placement) != 0;
    LONG status = m_settings.Save();
    if (status != ERROR_SUCCESS) {
        std::string message =
            "Cannot keep the settings: " + SystemReason(static_cast<DWORD>(status));
        ShowError(m_window, message);
    }
}

LRESULT ViewerWindow::ChangeRows(UINT message, WPARAM wParam, LPARAM lParam) {
    m_changingRows = true;
    LRESULT result = SendMessageA(m_list, message, wParam, lParam);
    m_changingRows = false;
    return result;
}

// The list's rows are the store's: anyone may read them and select, only the window adds or
// removes them (another program's count of 2^31 rows would take the window's memory and time).
LRESULT CALLBACK ViewerWindow::ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam,
                                        UINT_PTR, DWORD_PTR window) {
    switch (message) {
    case LB_SETCOUNT:
    case LB_ADDSTRING:
    case LB_INSERTSTRING:
    case LB_DELETESTRING:
    case LB_RESETCONTENT:
    case LB_INITSTORAGE:
    case LB_DIR:
    case LB_ADDFILE:
        if (!reinterpret_cast<const ViewerWindow*>(window)->m_changingRows) {
            return LB_ERR;
        }
        break;
    case WM_PAINT:
        if (reinterpret_cast<const ViewerWindow*>(window)->AllHidden()) {
            PaintAllHidden(list);
            return 0;
        }
        break;
    }
    LRESULT result = DefSubclassProc(list, message, wParam, lParam);
    // Scrolled sideways (bar, keys, wheel): the header moves with the columns.
    auto* self = reinterpret_cast<ViewerWindow*>(window);
    int scrolled = GetScrollPos(list, SB_HORZ);
    if (scrolled != self->m_headerScroll) {
        self->m_headerScroll = scrolled;
        self->m_rowView.PlaceHeader(list);
    }
    return result;
}

// Lines are kept and the filter, done building the rows, shows none of them.
bool ViewerWindow::AllHidden() const {
    return m_store.RowCount() == 0 && m_store.Kept() > 0 && !m_store.Filtering();
}

// An empty list that says why it is empty, in the list's own font.
void ViewerWindow::PaintAllHidden(HWND list) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(list, &paint);
    RECT area;
    GetClientRect(list, &area);
    FillRect(dc, &area, GetSysColorBrush(COLOR_WINDOW));
    HGDIOBJ font =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(list, WM_GETFONT, 0, 0)));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    DrawTextA(dc, kAllHiddenText, -1, &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, font);
    EndPaint(list, &paint);
}

LRESULT CALLBACK ViewerWindow::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self =
            static_cast<ViewerWindow*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        self->m_window = window;
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<ViewerWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    return self ? self->OnMessage(message, wParam, lParam)
                : DefWindowProcA(window, message, wParam, lParam);
}

LRESULT ViewerWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case LB_ADDSTRING:
        return lParam ? AddFlushedLine(reinterpret_cast<const char*>(lParam)) : LB_ERR;
    // Honoured only while following: a user reading older lines keeps them in view. While rows
    // wait to be drawn, their drawing follows if the user has not scrolled back by then.
    case LB_SETTOPINDEX:
        if (!m_rowsPending && LastRowVisible()) {
            SendMessageA(m_list, LB_SETTOPINDEX, wParam, 0);
        }
        return 0;
    case kWakeMessage: TakeBatch(); return 0;
    case kFilterMessage: FilterSlice(); return 0;
    case SaveJob::kDoneMessage:
        if (m_commands) {
            m_commands->OnSaveDone();
        }
        return 0;
    case WM_COMMAND:
        if (lParam == 0 && m_commands) {
            m_commands->OnCommand(LOWORD(wParam));
        }
        return 0;
    case WM_MEASUREITEM:
        reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->itemHeight =
            static_cast<UINT>(m_rowView.RowHeight());
        return TRUE;
    case WM_DRAWITEM: m_rowView.Draw(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)); return TRUE;
    case WM_NOTIFY: OnHeaderNotify(*reinterpret_cast<const NMHDR*>(lParam)); return 0;
    case WM_CONTEXTMENU:
        if (reinterpret_cast<HWND>(wParam) == m_list) {
            ShowRowMenu({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        }
        return 0;
    // Moved to a monitor of other dots per inch: the size that the system suggests, the rows'
    // font and columns scaled to it.
    case WM_DPICHANGED: {
        m_dpi = HIWORD(wParam);
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(m_window, NULL, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        ApplyFont();
        return 0;
    }
    case WM_SIZE: Layout(); return 0;
    // Clients find the viewer by its title: it stays as it is.
    case WM_SETTEXT:
        return m_mode != ViewerMode::kSavedLog ? FALSE
                                               : DefWindowProcA(m_window, message, wParam, lParam);
    case WM_DROPFILES: {
        HDROP drop = reinterpret_cast<HDROP>(wParam);
        wchar_t path[MAX_PATH];
        UINT count = DragQueryFileA(drop, 0xFFFFFFFF, NULL, 0);
        for (UINT i = 0; i < count && m_commands; ++i) {
            if (DragQueryFileW(drop, i, path, MAX_PATH)) {
                m_commands->OpenSavedLog(path);
            }
        }
        DragFinish(drop);
        return 0;
    }
    case WM_SETFOCUS: SetFocus(m_list); return 0;
    case WM_TIMER:
        if (wParam == kFrameTimer) {
            DrawNewRows();
        } else if (wParam == kStopTimer) {
            DestroyWindow(m_window);
        }
        return 0;
    case WM_CLOSE:
        SavePlacement();
        DestroyWindow(m_window);
        return 0;
    case WM_DESTROY:
        // What arrives after this goes to the store alone.
        m_list = NULL;
        m_status = NULL;
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(m_window, message, wParam, lParam);
}

void ViewerWindow::ApplyFont() {
    m_rowView.Apply(m_dpi);
    SendMessageA(m_list, WM_SETFONT, reinterpret_cast<WPARAM>(m_rowView.Font()), FALSE);
    SendMessageA(m_list, LB_SETITEMHEIGHT, 0, m_rowView.RowHeight());
    m_extent = 0;
    Layout();
    SyncRows(LastRowVisible());
}

// A column's edge dragged: the rows follow as it moves, the widths are kept once it is let go.
void ViewerWindow::OnHeaderNotify(const NMHDR& notice) {
    if (notice.hwndFrom != m_rowView.Header()) {
        return;
    }
    bool ended = notice.code == HDN_ENDTRACKA || notice.code == HDN_ENDTRACKW;
    if ((ended || notice.code == HDN_ITEMCHANGEDA || notice.code == HDN_ITEMCHANGEDW) &&
        m_rowView.TakeWidths()) {
        m_extent = 0;
        SyncRows(false);
    }
    if (ended) {
        LONG status = m_settings.Save();
        if (status != ERROR_SUCCESS) {
            ReportFault("Cannot keep the settings: " + SystemReason(static_cast<DWORD>(status)));
        }
    }
}

bool ViewerWindow::ProcessAt(POINT screen, std::string* process) {
    // Counted from the top row: LB_ITEMFROMPOINT says no more than 65,535 rows.
    POINT point = screen;
    ScreenToClient(m_list, &point);
    RECT client;
    GetClientRect(m_list, &client);
    if (!PtInRect(&client, point)) {
        return false;
    }
    LRESULT top = SendMessageA(m_list, LB_GETTOPINDEX, 0, 0);
    const KeptLine* line =
        top < 0 ? NULL : m_store.Row(static_cast<size_t>(top + point.y / m_rowView.RowHeight()));
    if (!line) {
        return false;
    }
    // The row clicked on is the one the menu's commands take, as in any list.
    size_t row = static_cast<size_t>(top + point.y / m_rowView.RowHeight());
    if (!IsSelected(row)) {
        SelectOnly(row);
    }
    size_t space = line->process.find(' ');
    *process = line->process.empty()        ? std::string(kChannelSource)
               : space == std::string::npos ? line->process
                                            : line->process.substr(space + 1);
    return true;
}

// On a row: its process shown alone or hidden, a bookmark, a copy.
void ViewerWindow::ShowRowMenu(POINT screen) {
    if (!ProcessAt(screen, &m_menuProcess)) {
        return;
    }
    HMENU menu = CreatePopupMenu();
    if (!menu) {
        return;
    }
    const std::string only = "Show Only \"" + m_menuProcess + "\"";
    const std::string hide = "Hide \"" + m_menuProcess + "\"";
    AppendMenuA(menu, MF_STRING, IDM_SHOW_ONLY_PROCESS, only.c_str());
    AppendMenuA(menu, MF_STRING, IDM_HIDE_PROCESS, hide.c_str());
    AppendMenuA(menu, MF_SEPARATOR, 0, NULL);
    AppendMenuA(menu, MF_STRING, IDM_TOGGLE_BOOKMARK, "Toggle &Bookmark\tCtrl+F2");
    AppendMenuA(menu, MF_STRING, IDM_COPY, "&Copy\tCtrl+C");
    TrackPopupMenu(menu, TPM_RIGHTBUTTON, screen.x, screen.y, 0, m_window, NULL);
    DestroyMenu(menu);
}

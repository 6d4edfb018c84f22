// The viewer's window: the rows in an owner-drawn list (each row coloured by the first highlight
// rule that its line matches), the status bar, and the messages that clients send it. It takes the
// lines that the reader thread queued and those that clients flush to it, keeps them, and shows
// those that the filter passes.
#include "viewer.h"

#include <commctrl.h>
#include <stdio.h>

namespace {

constexpr char kWindowClass[] = "DuzarLogView";
constexpr UINT kWakeMessage = WM_APP + 1;
constexpr UINT kRebuildMessage = WM_APP + 2;
constexpr UINT_PTR kStopTimer = 1;
// Rows added per slice of a rebuild, between which the window answers its messages.
constexpr size_t kRebuildSlice = 4000;
// Columns, in characters: number, then time.
constexpr int kNumberColumn = 8;
constexpr int kTimeColumn = 23;

int g_charWidth = 8;
int g_rowHeight = 16;
int g_widestRow = 0; // characters, for the horizontal scroll range

LRESULT RowCount() {
    return SendMessageA(g_viewer.lines, LB_GETCOUNT, 0, 0);
}

// True while the last row is in view: only then do new rows scroll the view.
bool LastLineVisible() {
    LRESULT count = RowCount();
    if (count <= 0) {
        return true;
    }
    RECT client;
    GetClientRect(g_viewer.lines, &client);
    LRESULT top = SendMessageA(g_viewer.lines, LB_GETTOPINDEX, 0, 0);
    LRESULT rows = (client.bottom - client.top) / g_rowHeight;
    return top + rows >= count;
}

// "number<TAB>time<TAB>text", the time as the clock read it or since the first line.
void FormatRow(const KeptLine& line, char* row, size_t size) {
    if (g_viewer.settings.timeMode == TimeMode::kSinceFirstLine) {
        ULONGLONG ms = (line.arrival - g_viewer.firstArrival) / 10000;
        snprintf(row, size, "%lu\t+%llu.%03u\t%s", line.number, ms / 1000,
                 static_cast<unsigned>(ms % 1000), line.text.c_str());
    } else {
        snprintf(row, size, "%lu\t%02u:%02u:%02u.%03u\t%s", line.number, line.clock.wHour,
                 line.clock.wMinute, line.clock.wSecond, line.clock.wMilliseconds,
                 line.text.c_str());
    }
}

// Adds a kept line as the last row; returns its index.
LRESULT AddRow(const KeptLine& line) {
    char row[kRowSize];
    FormatRow(line, row, sizeof row);
    LRESULT index = SendMessageA(g_viewer.lines, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(row));
    SendMessageA(g_viewer.lines, LB_SETITEMDATA, static_cast<WPARAM>(index), line.number);
    int width = static_cast<int>(strlen(row)) + kTimeColumn;
    if (width > g_widestRow) {
        g_widestRow = width;
        SendMessageA(g_viewer.lines, LB_SETHORIZONTALEXTENT,
                     static_cast<WPARAM>(g_widestRow * g_charWidth), 0);
    }
    return index;
}

// The oldest kept line goes, and its row with it when it has one.
void DropOldest() {
    unsigned long number = g_viewer.kept.front().number;
    g_viewer.kept.pop_front();
    ++g_viewer.dropped;
    if (RowCount() > 0 &&
        static_cast<unsigned long>(SendMessageA(g_viewer.lines, LB_GETITEMDATA, 0, 0)) == number) {
        SendMessageA(g_viewer.lines, LB_DELETESTRING, 0, 0);
    }
}

// Keeps one line and shows it when the filter passes it (and headless, writes it), scrolling it
// into view when follow; returns its row, or the last row when it is hidden.
LRESULT AddLine(const std::string& text, bool follow) {
    KeptLine line = {++g_viewer.number, {}, 0, text};
    GetLocalTime(&line.clock);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    line.arrival = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    if (g_viewer.firstArrival == 0) {
        g_viewer.firstArrival = line.arrival;
    }
    if (g_viewer.kept.size() >= static_cast<size_t>(g_viewer.options.maxLines)) {
        DropOldest();
    }
    g_viewer.kept.push_back(line);
    bool shown = g_viewer.filter.Passes(text);
    if (shown && g_viewer.options.headless) {
        g_viewer.output.Line(text);
    }
    // A rebuild under way reaches this line itself.
    if (!shown || g_viewer.rebuilding) {
        return RowCount() > 0 ? RowCount() - 1 : 0;
    }
    LRESULT index = AddRow(g_viewer.kept.back());
    if (follow) {
        SendMessageA(g_viewer.lines, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0);
    }
    return index;
}

void ReportFault(const std::string& text) {
    g_viewer.lastFault = text;
    g_viewer.output.Fault("logview: " + text);
}

// One slice of a rebuild; posts itself the next until every kept line has been considered.
void RebuildSlice() {
    if (!g_viewer.rebuilding) {
        return;
    }
    bool follow = LastLineVisible();
    SendMessageA(g_viewer.lines, WM_SETREDRAW, FALSE, 0);
    size_t added = 0;
    size_t index = g_viewer.kept.empty() || g_viewer.rebuildNext <= g_viewer.kept.front().number
                       ? 0
                       : g_viewer.rebuildNext - g_viewer.kept.front().number;
    for (; index < g_viewer.kept.size() && added < kRebuildSlice; ++index) {
        const KeptLine& line = g_viewer.kept[index];
        if (g_viewer.filter.Passes(line.text)) {
            AddRow(line);
            ++added;
        }
    }
    g_viewer.rebuildNext = index < g_viewer.kept.size() ? g_viewer.kept[index].number : 0;
    g_viewer.rebuilding = index < g_viewer.kept.size();
    SendMessageA(g_viewer.lines, WM_SETREDRAW, TRUE, 0);
    if (follow) {
        ScrollToEnd();
    }
    InvalidateRect(g_viewer.lines, NULL, TRUE);
    if (g_viewer.rebuilding) {
        PostMessageA(g_viewer.window, kRebuildMessage, 0, 0);
    }
    UpdateStatus();
}

void DrawRow(const DRAWITEMSTRUCT& item) {
    if (item.itemID == static_cast<UINT>(-1)) {
        return;
    }
    char row[kRowSize] = {};
    if (SendMessageA(g_viewer.lines, LB_GETTEXTLEN, item.itemID, 0) <
        static_cast<LRESULT>(sizeof row)) {
        SendMessageA(g_viewer.lines, LB_GETTEXT, item.itemID, reinterpret_cast<LPARAM>(row));
    }
    bool selected = (item.itemState & ODS_SELECTED) != 0;
    COLORREF background = GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW);
    const KeptLine* line = LineOfRow(static_cast<LRESULT>(item.itemID));
    if (!selected && line) {
        g_viewer.highlighter.ColourOf(line->text, &background);
    }
    SetBkColor(item.hDC, background);
    SetTextColor(item.hDC, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    ExtTextOutA(item.hDC, 0, 0, ETO_OPAQUE, &item.rcItem, NULL, 0, NULL);
    int tabs[] = {kNumberColumn * g_charWidth, kTimeColumn * g_charWidth};
    TabbedTextOutA(item.hDC, item.rcItem.left + 2, item.rcItem.top, row,
                   static_cast<int>(strlen(row)), 2, tabs, item.rcItem.left + 2);
    if (item.itemState & ODS_FOCUS) {
        DrawFocusRect(item.hDC, &item.rcItem);
    }
}

void Layout() {
    SendMessageA(g_viewer.status, WM_SIZE, 0, 0);
    RECT client, bar;
    GetClientRect(g_viewer.window, &client);
    GetWindowRect(g_viewer.status, &bar);
    MoveWindow(g_viewer.lines, 0, 0, client.right, client.bottom - (bar.bottom - bar.top), TRUE);
}

void SavePlacement() {
    if (g_viewer.options.headless) {
        return;
    }
    g_viewer.settings.placement.length = sizeof g_viewer.settings.placement;
    g_viewer.settings.hasPlacement =
        GetWindowPlacement(g_viewer.window, &g_viewer.settings.placement) != 0;
    SaveSettings(g_viewer.settings);
}

LRESULT CALLBACK ViewerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    // A client flushing the full buffer: it holds the lock, so whatever the reader queued is older.
    case LB_ADDSTRING:
        TakeQueued();
        if (lParam) {
            ++g_viewer.flushed;
            LRESULT index = AddLine(reinterpret_cast<const char*>(lParam), LastLineVisible());
            UpdateStatus();
            return index;
        }
        return LB_ERR;
    // Honoured only while following: a user reading older lines keeps them in view.
    case LB_SETTOPINDEX:
        if (LastLineVisible()) {
            SendMessageA(g_viewer.lines, LB_SETTOPINDEX, wParam, 0);
        }
        return 0;
    case kWakeMessage: TakeQueued(); return 0;
    case kRebuildMessage: RebuildSlice(); return 0;
    case WM_COMMAND:
        if (lParam == 0) {
            OnCommand(LOWORD(wParam));
        }
        return 0;
    case WM_MEASUREITEM:
        reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->itemHeight = static_cast<UINT>(g_rowHeight);
        return TRUE;
    case WM_DRAWITEM: DrawRow(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)); return TRUE;
    case WM_SIZE: Layout(); return 0;
    case WM_SETFOCUS: SetFocus(g_viewer.lines); return 0;
    case WM_TIMER:
        if (wParam == kStopTimer) {
            DestroyWindow(window);
        }
        return 0;
    case WM_CLOSE:
        SavePlacement();
        DestroyWindow(window);
        return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

Viewer g_viewer;

unsigned long Lost() {
    return g_viewer.channel.Dropped() + g_viewer.output.Dropped();
}

const KeptLine* LineOfRow(LRESULT row) {
    LRESULT number = SendMessageA(g_viewer.lines, LB_GETITEMDATA, static_cast<WPARAM>(row), 0);
    if (number == LB_ERR || g_viewer.kept.empty()) {
        return NULL;
    }
    unsigned long first = g_viewer.kept.front().number;
    size_t index = static_cast<unsigned long>(number) - first;
    return static_cast<unsigned long>(number) >= first && index < g_viewer.kept.size()
               ? &g_viewer.kept[index]
               : NULL;
}

void ScrollToEnd() {
    LRESULT count = RowCount();
    if (count > 0) {
        SendMessageA(g_viewer.lines, LB_SETTOPINDEX, static_cast<WPARAM>(count - 1), 0);
    }
}

void UpdateStatus() {
    char text[640];
    snprintf(text, sizeof text,
             "%lu lines (%lu flushed by clients), %lu dropped (keeps %d), %lu lost behind  |  "
             "%ld shown of %lu kept%s  |  %s%s%s%s%s",
             g_viewer.number, g_viewer.flushed, g_viewer.dropped, g_viewer.options.maxLines, Lost(),
             static_cast<long>(RowCount()), static_cast<unsigned long>(g_viewer.kept.size()),
             g_viewer.rebuilding ? " (filtering)" : "",
             LastLineVisible() ? "following" : "paused: scrolled back",
             g_viewer.notice.empty() ? "" : "  |  ", g_viewer.notice.c_str(),
             g_viewer.lastFault.empty() ? "" : "  |  ", g_viewer.lastFault.c_str());
    SetWindowTextA(g_viewer.status, text);
}

// What the reader drained comes in batches: the list is drawn once for each, not once per line.
void TakeQueued() {
    std::deque<ChannelItem> items = g_viewer.channel.TakeQueued();
    if (items.empty()) {
        return;
    }
    bool follow = LastLineVisible();
    SendMessageA(g_viewer.lines, WM_SETREDRAW, FALSE, 0);
    for (const ChannelItem& item : items) {
        if (item.fault) {
            ReportFault(item.text);
        } else {
            AddLine(item.text, false);
        }
    }
    SendMessageA(g_viewer.lines, WM_SETREDRAW, TRUE, 0);
    if (follow) {
        ScrollToEnd();
    }
    InvalidateRect(g_viewer.lines, NULL, FALSE);
    UpdateStatus();
}

void ShowKeptLines() {
    SendMessageA(g_viewer.lines, LB_RESETCONTENT, 0, 0);
    SendMessageA(g_viewer.lines, LB_INITSTORAGE, g_viewer.kept.size(),
                 static_cast<LPARAM>(g_viewer.kept.size() * 80));
    g_widestRow = 0;
    g_viewer.rebuildNext = 0;
    g_viewer.rebuilding = true;
    RebuildSlice();
}

void ApplyAlwaysOnTop() {
    SetWindowPos(g_viewer.window, g_viewer.settings.alwaysOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0,
                 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

bool CreateViewerWindow(HINSTANCE instance) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ViewerProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(NULL, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszMenuName = MAKEINTRESOURCEA(IDR_LOGVIEW_MENU);
    wc.lpszClassName = kWindowClass;
    if (!RegisterClassA(&wc)) {
        return false;
    }
    // The rows' font decides their height, which the list asks for while it is being created.
    HFONT font = static_cast<HFONT>(GetStockObject(ANSI_FIXED_FONT));
    HDC screen = GetDC(NULL);
    HGDIOBJ old = SelectObject(screen, font);
    TEXTMETRICA metrics = {};
    if (GetTextMetricsA(screen, &metrics)) {
        g_charWidth = metrics.tmAveCharWidth;
        g_rowHeight = metrics.tmHeight;
    }
    SelectObject(screen, old);
    ReleaseDC(NULL, screen);
    // The title stays exactly as clients look for it; counts and state go to the status bar.
    g_viewer.window =
        CreateWindowExA(0, kWindowClass, duzar::kViewerTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                        CW_USEDEFAULT, 720, 480, NULL, NULL, instance, NULL);
    if (!g_viewer.window) {
        return false;
    }
    g_viewer.lines = CreateWindowExA(
        WS_EX_CLIENTEDGE, "LISTBOX", "",
        WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP | LBS_NOTIFY |
            LBS_NOINTEGRALHEIGHT | LBS_EXTENDEDSEL | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS,
        0, 0, 0, 0, g_viewer.window, reinterpret_cast<HMENU>(IDC_LINES), instance, NULL);
    g_viewer.status =
        CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, g_viewer.window,
                        reinterpret_cast<HMENU>(IDC_STATUS), instance, NULL);
    SendMessageA(g_viewer.lines, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    Layout();
    UpdateStatus();
    return true;
}

void ShowViewerWindow(int show) {
    if (g_viewer.settings.hasPlacement) {
        WINDOWPLACEMENT placement = g_viewer.settings.placement;
        if (placement.showCmd != SW_SHOWMAXIMIZED) {
            placement.showCmd = static_cast<UINT>(show);
        }
        SetWindowPlacement(g_viewer.window, &placement);
    } else {
        ShowWindow(g_viewer.window, show);
    }
    ApplyAlwaysOnTop();
}

void StartReading(size_t capacity) {
    g_viewer.channel.Start(g_viewer.window, kWakeMessage, capacity);
}

void CloseAfter(int seconds) {
    SetTimer(g_viewer.window, kStopTimer, static_cast<UINT>(seconds) * 1000, NULL);
}

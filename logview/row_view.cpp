#include "row_view.h"

#include "line_filter.h"
#include "log_format.h"

#include <commctrl.h>
#include <stdio.h>

#include <algorithm>

namespace {

constexpr const char* kColumnNames[kColumnCount] = {"#", "Time", "Process", "Text"};
// The default font: a face that Windows has, else any fixed-pitch one that the system maps to.
constexpr char kDefaultFace[] = "Consolas";
constexpr int kDefaultPoints = 10;
// A bookmarked row's mark: a bar this wide at its left, before its number.
constexpr int kBookmarkWidth = 4;
constexpr COLORREF kBookmarkColour = RGB(0, 90, 200);
// Room, in pixels at 96 dots per inch, on each side of a cell's text.
constexpr int kCellMargin = 3;
// A selected row that a rule colours is framed this many pixels thick in the selection's colour.
constexpr int kSelectionFrame = 2;
// A channel line's source in the process column.
constexpr char kChannelShown[] = "(channel)";

} // namespace

LOGFONTA DefaultRowFont() {
    LOGFONTA font = {};
    font.lfHeight = -MulDiv(kDefaultPoints, RowView::kBaseDpi, 72);
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfQuality = CLEARTYPE_QUALITY;
    font.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    lstrcpynA(font.lfFaceName, kDefaultFace, LF_FACESIZE);
    return font;
}

bool RowView::Create(HWND parent, HINSTANCE instance, int dpi) {
    m_header = CreateWindowExA(0, WC_HEADERA, "", WS_CHILD | WS_VISIBLE | HDS_HORZ | HDS_FULLDRAG,
                               0, 0, 0, 0, parent, NULL, instance, NULL);
    if (!m_header) {
        return false;
    }
    for (int i = 0; i < kColumnCount; ++i) {
        HDITEMA column = {};
        column.mask = HDI_TEXT | HDI_WIDTH | HDI_FORMAT;
        column.fmt = HDF_LEFT | HDF_STRING;
        column.pszText = const_cast<char*>(kColumnNames[i]);
        SendMessageA(m_header, HDM_INSERTITEMA, static_cast<WPARAM>(i),
                     reinterpret_cast<LPARAM>(&column));
    }
    Apply(dpi);
    return true;
}

void RowView::Apply(int dpi) {
    m_dpi = dpi > 0 ? dpi : kBaseDpi;
    LOGFONTA font = m_settings.hasFont ? m_settings.font : DefaultRowFont();
    font.lfHeight = Scaled(font.lfHeight);
    m_font.Reset(CreateFontIndirectA(&font));
    HDC screen = GetDC(NULL);
    HGDIOBJ old = SelectObject(screen, m_font ? m_font.Get() : GetStockObject(ANSI_FIXED_FONT));
    TEXTMETRICA metrics = {};
    if (GetTextMetricsA(screen, &metrics)) {
        m_charWidth = metrics.tmAveCharWidth;
        m_rowHeight = metrics.tmHeight + metrics.tmExternalLeading;
    }
    SelectObject(screen, old);
    ReleaseDC(NULL, screen);
    FillHeader();
}

void RowView::FillHeader() {
    // Setting a width notifies as a drag does: the widths being set are not taken back meanwhile.
    m_filling = true;
    for (int i = 0; i < kColumnCount; ++i) {
        HDITEMA column = {};
        column.mask = HDI_WIDTH;
        column.cxy = Scaled(m_settings.columnWidths[i]);
        SendMessageA(m_header, HDM_SETITEMA, static_cast<WPARAM>(i),
                     reinterpret_cast<LPARAM>(&column));
    }
    m_filling = false;
}

int RowView::HeaderHeight() const {
    RECT area = {0, 0, 10000, 10000};
    WINDOWPOS place = {};
    HDLAYOUT layout = {&area, &place};
    return SendMessageA(m_header, HDM_LAYOUT, 0, reinterpret_cast<LPARAM>(&layout)) ? place.cy
                                                                                    : m_rowHeight;
}

int RowView::RowWidth() const {
    int width = 0;
    for (int i = 0; i + 1 < kColumnCount; ++i) {
        width += Scaled(m_settings.columnWidths[i]);
    }
    return width + static_cast<int>(m_store.WidestText()) * m_charWidth + 2 * Scaled(kCellMargin);
}

void RowView::PlaceHeader(HWND list) const {
    RECT area;
    GetWindowRect(list, &area);
    MapWindowPoints(NULL, GetParent(list), reinterpret_cast<POINT*>(&area), 2);
    int scrolled = GetScrollPos(list, SB_HORZ);
    int height = HeaderHeight();
    int width = std::max(static_cast<int>(area.right - area.left) + scrolled, RowWidth());
    SetWindowPos(m_header, NULL, area.left - scrolled, area.top - height, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

bool RowView::TakeWidths() {
    bool changed = false;
    if (m_filling) {
        return false;
    }
    for (int i = 0; i < kColumnCount; ++i) {
        HDITEMA column = {};
        column.mask = HDI_WIDTH;
        if (!SendMessageA(m_header, HDM_GETITEMA, static_cast<WPARAM>(i),
                          reinterpret_cast<LPARAM>(&column))) {
            continue;
        }
        int width = std::min(std::max(MulDiv(column.cxy, kBaseDpi, m_dpi), kMinColumnWidth),
                             kMaxColumnWidth);
        changed = changed || width != m_settings.columnWidths[i];
        m_settings.columnWidths[i] = width;
    }
    return changed;
}

void RowView::Draw(const DRAWITEMSTRUCT& item) {
    const KeptLine* line = m_store.Row(item.itemID);
    if (item.itemID == static_cast<UINT>(-1) || !line) {
        return;
    }
    // A selected row keeps its rule's colour, framed in the selection's: the colour is what the
    // user looks for among the selected rows too.
    bool selected = (item.itemState & ODS_SELECTED) != 0;
    COLORREF background = 0;
    bool highlighted = m_highlighter.ColourOf(line->text, &background);
    if (!highlighted) {
        background = GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW);
    }
    SetBkColor(item.hDC, background);
    SetTextColor(item.hDC,
                 GetSysColor(selected && !highlighted ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    ExtTextOutA(item.hDC, 0, 0, ETO_OPAQUE, &item.rcItem, NULL, 0, NULL);
    if (m_store.Bookmarked(item.itemID)) {
        RECT mark = item.rcItem;
        mark.right = mark.left + Scaled(kBookmarkWidth);
        HBRUSH brush = CreateSolidBrush(kBookmarkColour);
        FillRect(item.hDC, &mark, brush);
        DeleteObject(brush);
    }
    const std::string cells[kColumnCount] = {
        std::to_string(line->number), TimeText(*line, m_settings.timeMode, m_store.FirstArrival()),
        line->process.empty() ? kChannelShown : line->process, line->text};
    int left = item.rcItem.left + Scaled(kBookmarkWidth);
    for (int i = 0; i < kColumnCount; ++i) {
        int width = i + 1 < kColumnCount ? Scaled(m_settings.columnWidths[i])
                                         : std::max(static_cast<int>(item.rcItem.right) - left, 0);
        RECT cell = {left + Scaled(kCellMargin), item.rcItem.top,
                     left + width - Scaled(kCellMargin), item.rcItem.bottom};
        if (cell.right > cell.left) {
            ExtTextOutA(item.hDC, cell.left, cell.top, ETO_CLIPPED, &cell, cells[i].data(),
                        static_cast<UINT>(cells[i].size()), NULL);
        }
        left += width - (i == 0 ? Scaled(kBookmarkWidth) : 0);
    }
    if (selected && highlighted) {
        RECT frame = item.rcItem;
        for (int i = 0; i < Scaled(kSelectionFrame); ++i) {
            FrameRect(item.hDC, &frame, GetSysColorBrush(COLOR_HIGHLIGHT));
            InflateRect(&frame, -1, -1);
        }
    }
    if (item.itemState & ODS_FOCUS) {
        DrawFocusRect(item.hDC, &item.rcItem);
    }
}

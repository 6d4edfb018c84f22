// How the viewer's rows look: the font (the user's, kept, or a readable fixed-pitch one), the
// columns that a header over the list names (number, time, process, text; the user sets their
// widths there, and they are kept), all scaled to the window's dots per inch; and a row drawn into
// them with its highlight colour, its bookmark bar and the frame of a selected highlighted row.
#pragma once

#include "line_store.h"
#include "owned.h"
#include "settings.h"

#include <windows.h>

#include <string>

class RowView {
  public:
    // The dots per inch that the kept sizes are for.
    static constexpr int kBaseDpi = 96;

    RowView(UserSettings& settings, Highlighter& highlighter, const LineStore& store)
        : m_settings(settings), m_highlighter(highlighter), m_store(store) {}
    RowView(const RowView&) = delete;
    RowView& operator=(const RowView&) = delete;

    // The header, a child of parent; false when it cannot be made.
    bool Create(HWND parent, HINSTANCE instance, int dpi);
    // The font and the columns again, for the settings' font at dpi.
    void Apply(int dpi);
    HFONT Font() const { return m_font.Get(); }
    int RowHeight() const { return m_rowHeight; }
    HWND Header() const { return m_header; }
    int HeaderHeight() const;
    // Pixels that a row of the widest text kept takes.
    int RowWidth() const;
    // The header over list's area, moved left as far as the list is scrolled.
    void PlaceHeader(HWND list) const;
    // The user dragged a column's edge: its width is taken into the settings. True when one
    // changed, and the rows are to be drawn again.
    bool TakeWidths();
    void Draw(const DRAWITEMSTRUCT& item);

  private:
    int Scaled(int pixels) const { return MulDiv(pixels, m_dpi, kBaseDpi); }
    void FillHeader();

    UserSettings& m_settings;
    Highlighter& m_highlighter;
    const LineStore& m_store;
    HWND m_header = NULL;
    OwnedFont m_font;
    int m_dpi = kBaseDpi;
    int m_charWidth = 8;
    int m_rowHeight = 16;
    bool m_filling = false; // the header's widths are being set from the settings
};

// The default font of the rows: fixed-pitch, 10 points, as a kept font is (96 dots per inch).
LOGFONTA DefaultRowFont();

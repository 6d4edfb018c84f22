// The viewer's window-free core: every line kept, numbered in arrival order with its time, within
// a bound in lines and what the viewer's byte budget leaves it (the oldest go first); the filter's
// view of them, which is the window's rows; and the sink that takes each line the filter passes
// (the headless output). The window draws the rows from here and keeps no copy of a line; the tests
// drive it in process.
#pragma once

#include "byte_budget.h"
#include "kept_line.h"
#include "line_filter.h"

#include <deque>
#include <set>
#include <string>
#include <vector>

// Where each line goes besides the store (the headless output, a log file): Line for each, shown
// when the filter passes it, EndOfBatch after each batch; Lost, the lines it could not write.
class LineSink {
  public:
    virtual void Line(const KeptLine& line, bool shown) = 0;
    virtual void EndOfBatch() = 0;
    virtual unsigned long Lost() { return 0; }

  protected:
    ~LineSink() = default;
};

class LineStore {
  public:
    // What a kept line costs besides its text: its record, its place in the view and the
    // allocator's header.
    static constexpr size_t kLineOverhead = sizeof(KeptLine) + sizeof(size_t) + 16;

    // The budget outlives the store.
    LineStore(size_t maxLines, ByteBudget* budget) : m_maxLines(maxLines), m_budget(budget) {}
    LineStore(const LineStore&) = delete;
    LineStore& operator=(const LineStore&) = delete;

    // New bounds, in lines and in the budget's bytes, met at once by dropping the oldest lines (the
    // newest always stays).
    void SetBounds(size_t maxLines, size_t maxBytes);
    size_t MaxLines() const { return m_maxLines; }
    size_t MaxBytes() const { return m_budget->Limit(); }

    // Each line goes to every sink added, in the order added.
    void AddSink(LineSink* sink) { m_sinks.push_back(sink); }

    // Numbers and keeps a line, then drops the oldest while there are more than the bound in lines
    // or the budget is spent (the newest line always stays). True when the filter shows it.
    bool Add(const std::string& text, const SYSTEMTIME& clock, ULONGLONG arrival,
             const std::string& process = std::string());
    // The same, timed now.
    bool Add(const std::string& text, const std::string& process = std::string());
    // A line read back from a log file, with its own number and time; numbering goes on after it.
    // A saved log's line that has no time of its own.
    bool AddUntimed(const std::string& text);
    bool AddSaved(const KeptLine& line);
    void EndOfBatch();

    // Forgets the kept lines; the numbering goes on.
    void Clear();

    // A new filter: the view is built again, FilterSome at a time, so that the window can answer
    // between the slices. Lines that arrive meanwhile are reached by it.
    // False, with the reason, where the filter refuses lists (line_filter.h): nothing changes.
    bool SetFilter(const FilterLists& lists, std::string* error);
    bool Filtering() const { return m_filtering; }
    // Lines on which the filter's expressions gave up (taken as not matching).
    unsigned long FilterGaveUp() const { return m_filter.GaveUp(); }
    // Considers up to count more kept lines; false once the view is whole.
    bool FilterSome(size_t count);

    // Bookmarks are on lines, not rows: a new filter or lines dropped from the front keep them
    // where they were; a line dropped or cleared takes its bookmark with it.
    void ToggleBookmark(size_t row);
    bool Bookmarked(size_t row) const;
    // The next bookmarked row after from (before it, backward), past the end on to the start; from
    // may be -1 (no row). -1 when no row shown is bookmarked.
    long NextBookmark(long from, bool forward) const;

    size_t RowCount() const { return m_rows.size(); }
    // The line behind a row, or NULL.
    const KeptLine* Row(size_t row) const;
    // Rows that left the front of the view since the last call, their lines dropped.
    size_t TakeRowsGone();

    unsigned long Received() const { return m_number; }
    unsigned long Dropped() const { return m_dropped; }
    // What the sinks lost, together.
    unsigned long SinksLost() const;
    size_t Kept() const { return m_lines.size(); }
    // The kept line at index, oldest first, or NULL.
    const KeptLine* KeptAt(size_t index) const {
        return index < m_lines.size() ? &m_lines[index] : NULL;
    }
    size_t Bytes() const { return m_bytes; }
    ULONGLONG FirstArrival() const { return m_firstArrival; }
    // The longest text in the view since the last Clear or new filter, for the scroll range.
    size_t WidestText() const { return m_widest; }

  private:
    bool Keep(KeptLine line);
    void DropOldest();
    // A kept line's place counts every line kept since the last Clear: the line at place p is
    // m_lines[p - m_gone]. Numbers cannot serve, a saved log's may have gaps.
    size_t End() const { return m_gone + m_lines.size(); }
    void ShowRow(size_t place);

    // What a kept line costs: what its text holds, not its length alone (a process's name is
    // short, and mostly within the record).
    static size_t Cost(const KeptLine& line) {
        return line.text.capacity() + line.process.size() + kLineOverhead;
    }

    size_t m_maxLines;
    ByteBudget* m_budget;
    std::vector<LineSink*> m_sinks;
    LineFilter m_filter;
    std::deque<KeptLine> m_lines; // oldest first
    std::deque<size_t> m_rows;    // the places of the lines the filter shows
    std::set<size_t> m_bookmarks; // places
    size_t m_gone = 0;            // lines dropped since the last Clear
    size_t m_bytes = 0;
    unsigned long m_number = 0;
    unsigned long m_dropped = 0;
    size_t m_rowsGone = 0;
    size_t m_widest = 0;
    ULONGLONG m_firstArrival = 0;
    bool m_filtering = false;
    size_t m_filterNext = 0; // while filtering: the place of the next line to consider
};

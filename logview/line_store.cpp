#include "line_store.h"

#include <algorithm>

bool LineStore::Add(const std::string& text, const std::string& process) {
    SYSTEMTIME clock;
    GetLocalTime(&clock);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return Add(text, clock, Ticks(now), process);
}

bool LineStore::Add(const std::string& text, const SYSTEMTIME& clock, ULONGLONG arrival,
                    const std::string& process) {
    return Keep({m_number + 1, clock, arrival, text, process});
}

bool LineStore::AddUntimed(const std::string& text) {
    return Keep({m_number + 1, SYSTEMTIME(), 0, text, std::string(), false});
}

bool LineStore::AddSaved(const KeptLine& line) {
    return Keep(line);
}

bool LineStore::Keep(KeptLine line) {
    m_number = line.number;
    const size_t cost = Cost(line);
    m_bytes += cost;
    m_budget->TakeKept(cost);
    if (m_firstArrival == 0) {
        m_firstArrival = line.arrival;
    }
    m_lines.push_back(std::move(line));
    while (m_lines.size() > 1 && (m_lines.size() > m_maxLines || m_budget->Spent())) {
        DropOldest();
    }
    bool shown = m_filter.Passes(m_lines.back().text, m_lines.back().process);
    for (LineSink* sink : m_sinks) {
        sink->Line(m_lines.back(), shown);
    }
    // A filtering under way reaches this line itself.
    if (shown && !m_filtering) {
        ShowRow(End() - 1);
    }
    return shown;
}

void LineStore::SetBounds(size_t maxLines, size_t maxBytes) {
    m_maxLines = maxLines > 0 ? maxLines : 1;
    m_budget->SetLimit(maxBytes);
    while (m_lines.size() > 1 && (m_lines.size() > m_maxLines || m_budget->Spent())) {
        DropOldest();
    }
}

void LineStore::EndOfBatch() {
    for (LineSink* sink : m_sinks) {
        sink->EndOfBatch();
    }
}

unsigned long LineStore::SinksLost() const {
    unsigned long lost = 0;
    for (LineSink* sink : m_sinks) {
        lost += sink->Lost();
    }
    return lost;
}

void LineStore::DropOldest() {
    const KeptLine& oldest = m_lines.front();
    if (!m_rows.empty() && m_rows.front() == m_gone) {
        m_rows.pop_front();
        ++m_rowsGone;
    }
    m_bookmarks.erase(m_gone);
    ++m_gone;
    if (m_filtering && m_filterNext < m_gone) {
        m_filterNext = m_gone;
    }
    const size_t cost = Cost(oldest);
    m_bytes -= cost;
    m_budget->GiveKept(cost);
    m_lines.pop_front();
    ++m_dropped;
}

void LineStore::ShowRow(size_t place) {
    m_rows.push_back(place);
    const KeptLine& line = m_lines[place - m_gone];
    if (line.text.size() + line.process.size() > m_widest) {
        m_widest = line.text.size() + line.process.size();
    }
}

void LineStore::Clear() {
    m_lines.clear();
    m_rows.clear();
    m_bookmarks.clear();
    m_gone = 0;
    m_rowsGone = 0;
    m_budget->GiveKept(m_bytes);
    m_bytes = 0;
    m_widest = 0;
    m_firstArrival = 0;
    m_filtering = false;
}

bool LineStore::SetFilter(const FilterLists& lists, std::string* error) {
    if (!m_filter.Set(lists, error)) {
        return false;
    }
    m_rows.clear();
    m_rowsGone = 0;
    m_widest = 0;
    m_filtering = !m_lines.empty();
    m_filterNext = m_gone;
    return true;
}

bool LineStore::FilterSome(size_t count) {
    for (; m_filtering && count > 0 && m_filterNext < End(); --count, ++m_filterNext) {
        const KeptLine& line = m_lines[m_filterNext - m_gone];
        if (m_filter.Passes(line.text, line.process)) {
            ShowRow(m_filterNext);
        }
    }
    m_filtering = m_filtering && m_filterNext < End();
    return m_filtering;
}

const KeptLine* LineStore::Row(size_t row) const {
    if (row >= m_rows.size()) {
        return NULL;
    }
    size_t index = m_rows[row] - m_gone;
    return index < m_lines.size() ? &m_lines[index] : NULL;
}

size_t LineStore::TakeRowsGone() {
    size_t gone = m_rowsGone;
    m_rowsGone = 0;
    return gone;
}

void LineStore::ToggleBookmark(size_t row) {
    if (row < m_rows.size() && !m_bookmarks.erase(m_rows[row])) {
        m_bookmarks.insert(m_rows[row]);
    }
}

bool LineStore::Bookmarked(size_t row) const {
    return row < m_rows.size() && m_bookmarks.count(m_rows[row]) != 0;
}

long LineStore::NextBookmark(long from, bool forward) const {
    const long count = static_cast<long>(m_rows.size());
    if (m_bookmarks.empty() || count == 0) {
        return -1;
    }
    if (from < 0 || from >= count) {
        from = forward ? -1 : count;
    }
    for (long i = 1; i <= count; ++i) {
        long row = ((forward ? from + i : from - i) % count + count) % count;
        if (Bookmarked(static_cast<size_t>(row))) {
            return row;
        }
    }
    return -1;
}

#include "line_store.h"

#include <stdio.h>

void FormatRow(const KeptLine& line, TimeMode mode, ULONGLONG firstArrival, char* row,
               size_t size) {
    if (mode == TimeMode::kSinceFirstLine) {
        ULONGLONG ms = (line.arrival - firstArrival) / 10000;
        snprintf(row, size, "%lu\t+%llu.%03u\t%s", line.number, ms / 1000,
                 static_cast<unsigned>(ms % 1000), line.text.c_str());
    } else {
        snprintf(row, size, "%lu\t%02u:%02u:%02u.%03u\t%s", line.number, line.clock.wHour,
                 line.clock.wMinute, line.clock.wSecond, line.clock.wMilliseconds,
                 line.text.c_str());
    }
}

bool LineStore::Add(const std::string& text) {
    SYSTEMTIME clock;
    GetLocalTime(&clock);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return Add(text, clock, (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
}

bool LineStore::Add(const std::string& text, const SYSTEMTIME& clock, ULONGLONG arrival) {
    m_lines.push_back({++m_number, clock, arrival, text});
    m_bytes += text.size() + kLineOverhead;
    if (m_firstArrival == 0) {
        m_firstArrival = arrival;
    }
    while (m_lines.size() > 1 && (m_lines.size() > m_maxLines || m_bytes > m_maxBytes)) {
        DropOldest();
    }
    bool shown = m_filter.Passes(text);
    if (shown && m_sink) {
        m_sink->Line(text);
    }
    // A filtering under way reaches this line itself.
    if (shown && !m_filtering) {
        ShowRow(m_lines.back());
    }
    return shown;
}

void LineStore::EndOfBatch() {
    if (m_sink) {
        m_sink->EndOfBatch();
    }
}

void LineStore::DropOldest() {
    const KeptLine& oldest = m_lines.front();
    if (!m_rows.empty() && m_rows.front() == oldest.number) {
        m_rows.pop_front();
        ++m_rowsGone;
    }
    if (m_filtering && m_filterNext <= oldest.number) {
        m_filterNext = oldest.number + 1;
    }
    m_bytes -= oldest.text.size() + kLineOverhead;
    m_lines.pop_front();
    ++m_dropped;
}

void LineStore::ShowRow(const KeptLine& line) {
    m_rows.push_back(line.number);
    if (line.text.size() > m_widest) {
        m_widest = line.text.size();
    }
}

void LineStore::Clear() {
    m_lines.clear();
    m_rows.clear();
    m_rowsGone = 0;
    m_bytes = 0;
    m_widest = 0;
    m_firstArrival = 0;
    m_filtering = false;
}

void LineStore::SetFilter(const std::string& include, const std::string& exclude) {
    m_filter.Set(include, exclude);
    m_rows.clear();
    m_rowsGone = 0;
    m_widest = 0;
    m_filtering = !m_lines.empty();
    m_filterNext = m_lines.empty() ? m_number + 1 : m_lines.front().number;
}

bool LineStore::FilterSome(size_t count) {
    if (!m_filtering) {
        return false;
    }
    for (; count > 0 && !m_lines.empty() && m_filterNext <= m_number; --count, ++m_filterNext) {
        const KeptLine& line = m_lines[m_filterNext - m_lines.front().number];
        if (m_filter.Passes(line.text)) {
            ShowRow(line);
        }
    }
    m_filtering = !m_lines.empty() && m_filterNext <= m_number;
    return m_filtering;
}

const KeptLine* LineStore::Row(size_t row) const {
    if (row >= m_rows.size() || m_lines.empty()) {
        return NULL;
    }
    size_t index = m_rows[row] - m_lines.front().number;
    return index < m_lines.size() ? &m_lines[index] : NULL;
}

size_t LineStore::TakeRowsGone() {
    size_t gone = m_rowsGone;
    m_rowsGone = 0;
    return gone;
}

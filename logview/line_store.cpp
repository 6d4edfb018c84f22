#include "line_store.h"

#include "output_writer.h"
#include "owned.h"

#include <limits.h>
#include <string.h>

#include <algorithm>
#include <stdio.h>

void FormatRow(const KeptLine& line, TimeMode mode, ULONGLONG firstArrival, char* row,
               size_t size) {
    char time[32];
    if (mode == TimeMode::kSinceFirstLine) {
        // A line dated before the first (a saved log's, a clock set back) shows +0.000.
        ULONGLONG ms = line.arrival > firstArrival ? (line.arrival - firstArrival) / 10000 : 0;
        snprintf(time, sizeof time, "+%llu.%03u", ms / 1000, static_cast<unsigned>(ms % 1000));
    } else {
        snprintf(time, sizeof time, "%02u:%02u:%02u.%03u", line.clock.wHour, line.clock.wMinute,
                 line.clock.wSecond, line.clock.wMilliseconds);
    }
    snprintf(row, size, "%lu\t%s\t%s%s%s%s", line.number, time, line.process.empty() ? "" : "[",
             line.process.c_str(), line.process.empty() ? "" : "] ", line.text.c_str());
}

std::string LogFileLine(const KeptLine& line) {
    char head[96];
    const SYSTEMTIME& t = line.clock;
    snprintf(head, sizeof head, "%lu\t%04u-%02u-%02uT%02u:%02u:%02u.%03u\t", line.number, t.wYear,
             t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
    return head + line.process + "\t" + line.text;
}

namespace {

// digits decimal digits at *at, moved past them; false when any is not a digit.
bool Digits(const char** at, int digits, unsigned* value) {
    *value = 0;
    for (int i = 0; i < digits; ++i, ++*at) {
        if (**at < '0' || **at > '9') {
            return false;
        }
        *value = *value * 10 + static_cast<unsigned>(**at - '0');
    }
    return true;
}

bool Expect(const char** at, char c) {
    return *(*at)++ == c;
}

// A time as one count of 100 ns.
ULONGLONG Ticks(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

} // namespace

bool ParseLogFileLine(const std::string& text, KeptLine* line) {
    const char* at = text.c_str();
    unsigned long number = 0;
    if (*at < '0' || *at > '9') {
        return false;
    }
    for (; *at >= '0' && *at <= '9'; ++at) {
        if (number > (ULONG_MAX - 9) / 10) {
            return false;
        }
        number = number * 10 + static_cast<unsigned long>(*at - '0');
    }
    unsigned year, month, day, hour, minute, second, ms;
    if (!Expect(&at, '\t') || !Digits(&at, 4, &year) || !Expect(&at, '-') ||
        !Digits(&at, 2, &month) || !Expect(&at, '-') || !Digits(&at, 2, &day) ||
        !Expect(&at, 'T') || !Digits(&at, 2, &hour) || !Expect(&at, ':') ||
        !Digits(&at, 2, &minute) || !Expect(&at, ':') || !Digits(&at, 2, &second) ||
        !Expect(&at, '.') || !Digits(&at, 3, &ms) || !Expect(&at, '\t') || month < 1 ||
        month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59) {
        return false;
    }
    size_t start = static_cast<size_t>(at - text.c_str());
    size_t tab = text.find('\t', start);
    if (tab == std::string::npos) {
        return false;
    }
    // A file written on Windows ends its lines with CR LF.
    size_t end = text.size() > tab + 1 && text.back() == '\r' ? text.size() - 1 : text.size();
    SYSTEMTIME clock = {};
    clock.wYear = static_cast<WORD>(year);
    clock.wMonth = static_cast<WORD>(month);
    clock.wDay = static_cast<WORD>(day);
    clock.wHour = static_cast<WORD>(hour);
    clock.wMinute = static_cast<WORD>(minute);
    clock.wSecond = static_cast<WORD>(second);
    clock.wMilliseconds = static_cast<WORD>(ms);
    FILETIME local = {}, utc = {};
    // A date that does not exist (February 31st, the year 0) is not a log file's.
    if (!SystemTimeToFileTime(&clock, &local) || !LocalFileTimeToFileTime(&local, &utc)) {
        return false;
    }
    line->number = number;
    line->clock = clock;
    line->arrival = Ticks(utc);
    line->process = text.substr(start, tab - start);
    line->text = text.substr(tab + 1, end - tab - 1);
    return true;
}

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

bool LineStore::AddSaved(const KeptLine& line) {
    return Keep(line);
}

bool LineStore::Keep(KeptLine line) {
    m_number = line.number;
    m_bytes += line.text.size() + line.process.size() + kLineOverhead;
    if (m_firstArrival == 0) {
        m_firstArrival = line.arrival;
    }
    m_lines.push_back(std::move(line));
    while (m_lines.size() > 1 && (m_lines.size() > m_maxLines || m_bytes > m_maxBytes)) {
        DropOldest();
    }
    bool shown = m_filter.Passes(m_lines.back().text);
    if (m_sink) {
        m_sink->Line(m_lines.back(), shown);
    }
    // A filtering under way reaches this line itself.
    if (shown && !m_filtering) {
        ShowRow(End() - 1);
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
    if (!m_rows.empty() && m_rows.front() == m_gone) {
        m_rows.pop_front();
        ++m_rowsGone;
    }
    ++m_gone;
    if (m_filtering && m_filterNext < m_gone) {
        m_filterNext = m_gone;
    }
    m_bytes -= oldest.text.size() + oldest.process.size() + kLineOverhead;
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
    m_gone = 0;
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
    m_filterNext = m_gone;
}

bool LineStore::FilterSome(size_t count) {
    for (; m_filtering && count > 0 && m_filterNext < End(); --count, ++m_filterNext) {
        if (m_filter.Passes(m_lines[m_filterNext - m_gone].text)) {
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

bool LoadLogFile(const char* path, LineStore* store, std::string* error) {
    // A line longer than this is cut there: a log's lines are far shorter.
    constexpr size_t kLongestLine = 64 * 1024;
    OwnedHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                 OPEN_EXISTING, 0, NULL));
    if (!file) {
        *error = std::string("Cannot open ") + path + ": " + SystemReason(GetLastError());
        return false;
    }
    std::string pending;
    char chunk[64 * 1024];
    DWORD got = 0;
    auto take = [store](const std::string& text) {
        KeptLine line = {};
        if (ParseLogFileLine(text, &line)) {
            store->AddSaved(line);
        } else {
            store->Add(!text.empty() && text.back() == '\r' ? text.substr(0, text.size() - 1)
                                                            : text);
        }
    };
    while (ReadFile(file.Get(), chunk, sizeof chunk, &got, NULL) && got > 0) {
        for (const char *at = chunk, *end = chunk + got; at < end;) {
            const char* feed = static_cast<const char*>(memchr(at, '\n', end - at));
            const char* stop = feed ? feed : end;
            pending.append(at, std::min<size_t>(stop - at, kLongestLine - pending.size()));
            if (feed) {
                take(pending);
                pending.clear();
            }
            at = stop + (feed ? 1 : 0);
        }
    }
    if (!pending.empty()) {
        take(pending);
    }
    store->EndOfBatch();
    return true;
}

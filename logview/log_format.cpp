#include "log_format.h"

#include "line_store.h"
#include "owned.h"
#include "system_text.h"

#include <limits.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>

std::string ShownText(const KeptLine& line) {
    return line.process.empty() ? line.text : "[" + line.process + "] " + line.text;
}

std::string TimeText(const KeptLine& line, TimeMode mode, ULONGLONG firstArrival) {
    char time[32] = "";
    if (!line.timed) {
        // No time is made up for a line that came without one.
    } else if (mode == TimeMode::kSinceFirstLine) {
        // A line dated before the first (a saved log's, a clock set back) shows +0.000.
        ULONGLONG ms = line.arrival > firstArrival ? (line.arrival - firstArrival) / 10000 : 0;
        snprintf(time, sizeof time, "+%llu.%03u", ms / 1000, static_cast<unsigned>(ms % 1000));
    } else {
        snprintf(time, sizeof time, "%02u:%02u:%02u.%03u", line.clock.wHour, line.clock.wMinute,
                 line.clock.wSecond, line.clock.wMilliseconds);
    }
    return time;
}

std::string LogFileLine(const KeptLine& line) {
    // A plain line stays one: read back, it is the same line again.
    if (!line.timed) {
        return line.text;
    }
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

// "2026-12-08T17:59:41.123" at *at, with fraction digits after the seconds (the first three are
// the milliseconds), moved past it; false for a date that does not exist (February 31st, the year
// 0).
bool DateTime(const char** at, int fraction, SYSTEMTIME* clock, ULONGLONG* arrival) {
    unsigned year, month, day, hour, minute, second, ms, rest;
    if (!Digits(at, 4, &year) || !Expect(at, '-') || !Digits(at, 2, &month) || !Expect(at, '-') ||
        !Digits(at, 2, &day) || !Expect(at, 'T') || !Digits(at, 2, &hour) || !Expect(at, ':') ||
        !Digits(at, 2, &minute) || !Expect(at, ':') || !Digits(at, 2, &second) ||
        !Expect(at, '.') || fraction < 3 || !Digits(at, 3, &ms) ||
        !Digits(at, fraction - 3, &rest) || month < 1 || month > 12 || day < 1 || day > 31 ||
        hour > 23 || minute > 59 || second > 59) {
        return false;
    }
    *clock = {};
    clock->wYear = static_cast<WORD>(year);
    clock->wMonth = static_cast<WORD>(month);
    clock->wDay = static_cast<WORD>(day);
    clock->wHour = static_cast<WORD>(hour);
    clock->wMinute = static_cast<WORD>(minute);
    clock->wSecond = static_cast<WORD>(second);
    clock->wMilliseconds = static_cast<WORD>(ms);
    FILETIME local = {}, utc = {};
    if (!SystemTimeToFileTime(clock, &local) || !LocalFileTimeToFileTime(&local, &utc)) {
        return false;
    }
    *arrival = Ticks(utc);
    return true;
}

// The digits after a timestamp's seconds: RFC 5424 allows one to six.
int FractionDigits(const char* at) {
    const char* dot = strchr(at, '.');
    int digits = 0;
    while (dot && digits < 7 && dot[1 + digits] >= '0' && dot[1 + digits] <= '9') {
        ++digits;
    }
    return digits;
}

// The next field that ends in a blank, moved past the blank; false at the end of text.
bool Field(const std::string& text, size_t* at, std::string* field) {
    size_t blank = text.find(' ', *at);
    if (blank == std::string::npos) {
        return false;
    }
    *field = text.substr(*at, blank - *at);
    *at = blank + 1;
    return true;
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
    SYSTEMTIME clock = {};
    ULONGLONG arrival = 0;
    if (!Expect(&at, '\t') || !DateTime(&at, 3, &clock, &arrival) || !Expect(&at, '\t')) {
        return false;
    }
    size_t start = static_cast<size_t>(at - text.c_str());
    size_t tab = text.find('\t', start);
    if (tab == std::string::npos) {
        return false;
    }
    // A file written on Windows ends its lines with CR LF.
    size_t end = text.size() > tab + 1 && text.back() == '\r' ? text.size() - 1 : text.size();
    line->number = number;
    line->clock = clock;
    line->arrival = arrival;
    line->process = text.substr(start, tab - start);
    line->text = text.substr(tab + 1, end - tab - 1);
    return true;
}

bool ParseSyslogLine(const std::string& text, KeptLine* line, std::string* host) {
    // <PRI>1 TIMESTAMP HOSTNAME APP-NAME PROCID MSGID STRUCTURED-DATA MSG
    size_t at = text.find(">1 ");
    if (text.empty() || text[0] != '<' || at == std::string::npos || at > 4) {
        return false;
    }
    const char* time = text.c_str() + at + 3;
    int fraction = FractionDigits(time);
    if (fraction < 3 || fraction > 6 || !DateTime(&time, fraction, &line->clock, &line->arrival) ||
        (*time != 'Z' && *time != '+' && *time != '-')) {
        return false;
    }
    std::string app, pid, msgid;
    at = text.find(' ', static_cast<size_t>(time - text.c_str()));
    if (at == std::string::npos) {
        return false;
    }
    ++at;
    if (!Field(text, &at, host) || !Field(text, &at, &app) || !Field(text, &at, &pid) ||
        !Field(text, &at, &msgid)) {
        return false;
    }
    // The structured data: "-", or elements in brackets whose values may hold "\]".
    size_t sd = at;
    while (at < text.size() && text[at] == '[') {
        for (++at; at < text.size() && text[at] != ']'; ++at) {
            at += text[at] == '\\' ? 1 : 0;
        }
        ++at;
    }
    at += at == sd && text.compare(at, 1, "-") == 0 ? 1 : 0;
    size_t number = text.find("line=\"", sd);
    line->number = number < at ? strtoul(text.c_str() + number + 6, NULL, 10) : 0;
    // Only this viewer's debug-output lines name a process as its lines do.
    line->process = msgid == "channel" ? std::string() : pid + " " + app;
    line->text = at < text.size() ? text.substr(at + 1) : std::string();
    if (line->text.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        line->text.erase(0, 3);
    }
    return true;
}

void TakeLogFileLine(const std::string& text, LineStore* store) {
    KeptLine line = {};
    std::string host;
    if (ParseSyslogLine(text, &line, &host)) {
        line.number = line.number ? line.number : store->Received() + 1;
        line.text = "[" + host + "] " + line.text;
        store->AddSaved(line);
    } else if (ParseLogFileLine(text, &line)) {
        store->AddSaved(line);
    } else {
        store->AddUntimed(!text.empty() && text.back() == '\r' ? text.substr(0, text.size() - 1)
                                                               : text);
    }
}

bool LoadLogFile(const std::wstring& path, LineStore* store, std::string* error) {
    // A line longer than this is cut there: a log's lines are far shorter.
    constexpr size_t kLongestLine = 64 * 1024;
    // Read a chunk at a time: as much as a long line.
    constexpr size_t kChunkSize = kLongestLine;
    OwnedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 NULL, OPEN_EXISTING, 0, NULL));
    if (!file) {
        *error = "Cannot open " + Narrow(path) + ": " + SystemReason(GetLastError());
        return false;
    }
    std::string pending;
    std::string chunkBuffer(kChunkSize, '\0');
    char* chunk = &chunkBuffer[0];
    DWORD got = 0;
    auto take = [store](const std::string& text) { TakeLogFileLine(text, store); };
    for (;;) {
        // A pipe whose writer closed its end has ended; any other failure is a fault.
        bool read = ReadFile(file.Get(), chunk, static_cast<DWORD>(kChunkSize), &got, NULL) != 0;
        if (!read && GetLastError() != ERROR_BROKEN_PIPE) {
            *error = "Cannot read " + Narrow(path) + ": " + SystemReason(GetLastError());
            return false;
        }
        if (!read || got == 0) {
            break;
        }
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

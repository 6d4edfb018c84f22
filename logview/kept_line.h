// One line as the viewer keeps it: its number in the order of arrival, its time (a saved log's
// plain line has none), its text and, for a debug-output line, the process that wrote it.
#pragma once

#include <windows.h>

#include <string>

struct KeptLine {
    unsigned long number;
    SYSTEMTIME clock;  // local time of arrival
    ULONGLONG arrival; // the same, as a count of 100 ns, for the time since the first line
    std::string text;
    std::string process; // "1234 name.exe" for a debug-output line, empty for the channel's
    bool timed = true;   // false: a saved log's line that is no log file's, which has no time
};

enum class TimeMode { kClock, kSinceFirstLine };

// A time as one count of 100 ns.
inline ULONGLONG Ticks(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

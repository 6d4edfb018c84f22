// The viewer's command line: the window, or headless (--print) with its output, its time limit,
// the number of lines it keeps, and the filter for what it writes.
#pragma once

#include "line_filter.h"
#include "rotating_file.h"
#include "syslog_message.h"

#include <windows.h>

#include <string>
#include <vector>

constexpr char kUsage[] =
    "usage: logview [--print [--out FILE [--out-limit N] [--out-keep N] [--out-daily]]\n"
    "                        [--seconds N]\n"
    "                        [--include LIST] [--exclude LIST]\n"
    "                        [--regex] [--process LIST] [--exclude-process LIST] [--time]\n"
    "                        [--debug-output] [--syslog URL]... [--syslog-priority P]]\n"
    "                        [--max-lines N] [--max-bytes N]\n"
    "       logview FILE [--max-lines N] [--max-bytes N]     a saved log, in a window of its own\n"
    "       logview --follow FILE [--max-lines N] [--max-bytes N]   the same, its new lines as "
    "they come\n"
    "       logview --help | -h | /?\n"
    "  --out, --seconds, --include, --exclude, --regex, --process, --exclude-process, --time\n"
    "  and --debug-output are for --print (headless) alone; --time writes each line with its\n"
    "  number, date, time and process; --regex: --include and --exclude are each one regular\n"
    "  expression (ECMAScript's syntax, case ignored) rather than a LIST\n"
    "  --out-limit: past N bytes (1024 to 4294967295) FILE is renamed FILE.1, older ones shifted\n"
    "  up to FILE.K (--out-keep K, 1 to 99, default 5), and a new FILE begun, between two lines;\n"
    "  --out-daily: so too at the first line of each new day\n"
    "  --syslog: each line the filter passes to a syslog collector too (RFC 5424), at\n"
    "  udp://HOST[:514], tcp://HOST[:601] or tls://HOST[:6514]; --syslog-priority: its facility\n"
    "  and severity, as user.notice (the default) or local3.warning\n"
    "  N: whole numbers; --seconds 0 to 2147483 (0: no limit), --max-lines 1 to 1000000,\n"
    "     --max-bytes 1048576 to 268435456 (kept lines and their records; default 67108864)\n"
    "  LIST: substrings separated by ';', matched without regard to case; for --process and\n"
    "  --exclude-process, process names (with or without .exe), decimal ids, or the word\n"
    "  channel for the channel's lines";
constexpr unsigned long kMaxSeconds = USER_TIMER_MAXIMUM / 1000;
constexpr unsigned long kMaxLines = 1000000;
constexpr int kDefaultMaxLines = 10000;
// The kept lines' bytes. Each queue between the threads may hold as much again while its consumer
// falls behind, so the largest keeps the 32-bit viewer well inside its 2 GB.
constexpr unsigned long kMinBytes = 1UL << 20;
constexpr unsigned long kMaxBytes = 256UL << 20;
constexpr unsigned long kDefaultMaxBytes = 64UL << 20;
constexpr unsigned long kMinOutLimit = 1024;
constexpr unsigned long kMaxOutLimit = 0xFFFFFFFFUL;

// Which viewer a run is, decided once from its command line: the channel's, with its window; the
// channel's, headless (--print); or a saved log's window, which takes nothing of the channel.
enum class ViewerMode { kChannel, kHeadless, kSavedLog };

struct Options {
    ViewerMode mode = ViewerMode::kChannel;
    bool timed = false;       // --time: each line as a log file's line
    bool debugOutput = false; // --debug-output: the system's debug output read as well
    std::wstring outPath;     // empty: none
    Rotation out;             // --out-limit, --out-keep, --out-daily
    std::wstring openPath;    // a saved log to open; empty: none
    bool follow = false;      // --follow: the saved log's new lines as they are appended
    int seconds = 0;
    int maxLines = kDefaultMaxLines;
    unsigned long maxBytes = kDefaultMaxBytes;
    bool boundsGiven = false; // --max-lines or --max-bytes: the window's kept depth gives way
    FilterLists filter;
    std::vector<SyslogTarget> syslog; // --syslog, each
    int syslogPriority = kDefaultSyslogPriority;
    std::string problem; // what is wrong with the command line, when it is
};

// A whole decimal number from min to max: no sign, no blanks, nothing after it.
bool ParseNumber(const char* text, unsigned long min, unsigned long max, unsigned long* value);

enum class ParseResult { kRun, kHelp, kBad };

// kHelp when the usage is asked for; kBad, with options->problem naming the argument, on anything
// it does not know, a missing value, a number out of range, or a headless option without --print
// (the window would ignore it).
// The arguments come as the system gives them (UTF-16), so that a file's name is whole whatever
// the code page; the filter's lists are taken in the ANSI code page, as the lines are.
ParseResult ParseOptions(int argc, wchar_t** argv, Options* options);

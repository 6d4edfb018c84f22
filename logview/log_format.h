// The viewer's lines as text: a row's time, a line as the headless output writes it, and the log
// file's line (Log to File, Save As, Copy, --print --time), which the viewer reads back when it
// opens a saved log.
#pragma once

#include "kept_line.h"

#include <string>

class LineStore;

// The name offered for a new log file, and the file types that the file dialogs offer.
constexpr wchar_t kDefaultLogName[] = L"duzar.log";
constexpr wchar_t kLogFileTypes[] = L"Log files (*.log)\0*.log\0All files\0*.*\0";

// A line's text as shown: a debug-output line's after its process, "[1234 name.exe] text".
std::string ShownText(const KeptLine& line);

// A line's time as its row shows it: as the clock read it, or since firstArrival; empty for a line
// without one.
std::string TimeText(const KeptLine& line, TimeMode mode, ULONGLONG firstArrival);

// A line of a log file, and a copied row:
// "number<TAB>2026-12-08T17:59:41.123<TAB>process<TAB>text", the local date and time of arrival; a
// line without a time as its text alone.
std::string LogFileLine(const KeptLine& line);
// Such a line read back; false for any other text (the caller keeps it as a line of its own).
bool ParseLogFileLine(const std::string& text, KeptLine* line);

// A line as a syslog collector writes it with RFC 5424's own template: its time (as the sending
// computer's clock read it), host, process ("PROCID APP-NAME", none for this viewer's channel
// lines), this viewer's line number where the structured data holds it (else 0), and the message
// without its BOM. False for any other text.
bool ParseSyslogLine(const std::string& text, KeptLine* line, std::string* host);

// A saved log's line into store: a log file's with its number, time and process; a collector's
// RFC 5424 line with its time and process, its host before its text; any other as it is, without
// a time.
void TakeLogFileLine(const std::string& text, LineStore* store);

// Reads a saved log into store, within its bounds: a log file's lines with their numbers, times and
// processes, any other line as it is, numbered in order, without a time. False with the reason when
// the file cannot be opened or read to its end.
bool LoadLogFile(const std::wstring& path, LineStore* store, std::string* error);

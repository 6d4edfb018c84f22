// Lines as syslog messages (RFC 5424): where they go (a collector's URL), with which facility and
// severity, and each line as one message, framed for its transport. The collector keeps one file
// per machine: HOSTNAME is this computer, APP-NAME and PROCID the writing process, MSGID whether
// the line came through the channel or the debug output, and the viewer's line number rides in the
// structured data, so that a gap in a collector's file shows.
#pragma once

#include "kept_line.h"

#include <string>

enum class SyslogTransport { kUdp, kTcp, kTls };

struct SyslogTarget {
    SyslogTransport transport = SyslogTransport::kTcp;
    std::string host;
    unsigned short port = 0;
    std::string url; // as given, for what is said about it
};

// udp://HOST[:514], tcp://HOST[:601] or tls://HOST[:6514]; an IPv6 address in brackets. False with
// the reason.
bool ParseSyslogUrl(const std::string& text, SyslogTarget* target, std::string* error);

// RFC 5424's PRI: facility * 8 + severity.
constexpr int kDefaultSyslogPriority = 1 * 8 + 5; // user.notice
constexpr char kDefaultSyslogPriorityName[] = "user.notice";
// "FACILITY.SEVERITY" with RFC 5424's (and syslog.conf's) names: local3.warning, daemon.err ...
bool ParseSyslogPriority(const std::string& text, int* priority, std::string* error);

// What is the same in every message this viewer sends.
struct SyslogOrigin {
    int priority = kDefaultSyslogPriority;
    std::string host; // this computer's name, "-" when it has none fit for the field
};

// This computer's name as HOSTNAME takes it.
std::string SyslogHostName();

// The line as one message:
// "<PRI>1 TIMESTAMP HOSTNAME APP-NAME PROCID MSGID [logview@32473 line="N"] BOM MSG"
// with the line's time of arrival and the local offset, to the millisecond; its text converted
// from the ANSI code page to UTF-8. Header fields hold printable ASCII alone, within their lengths.
std::string SyslogMessage(const KeptLine& line, const SyslogOrigin& origin);

// "1 line", "2 lines".
inline std::string Lines(unsigned long count) {
    return std::to_string(count) + (count == 1 ? " line" : " lines");
}

// A message on a stream (TCP, TLS): octet counting (RFC 6587), "LENGTH SP MESSAGE", so that no
// byte of the text can end it early.
std::string SyslogFrame(const std::string& message);

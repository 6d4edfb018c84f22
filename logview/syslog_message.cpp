#include "syslog_message.h"

#include "options.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr char kBom[] = "\xEF\xBB\xBF";
// The structured data's ID: a name with the private enterprise number set aside for examples
// (RFC 5612), as no number of our own is registered.
constexpr char kLineElement[] = "logview@32473";
constexpr char kChannelApp[] = "duzar";
// RFC 5424's field lengths.
constexpr size_t kHostNameMax = 255;
constexpr size_t kAppNameMax = 48;
constexpr size_t kProcIdMax = 128;
constexpr size_t kTimeStampSize = 40;

const char* const kFacilities[] = {"kern",   "user",   "mail",   "daemon", "auth",     "syslog",
                                   "lpr",    "news",   "uucp",   "cron",   "authpriv", "ftp",
                                   "ntp",    "audit",  "alert",  "clock",  "local0",   "local1",
                                   "local2", "local3", "local4", "local5", "local6",   "local7"};
const char* const kSeverities[] = {"emerg",   "alert",  "crit", "err",
                                   "warning", "notice", "info", "debug"};

struct Scheme {
    const char* prefix;
    SyslogTransport transport;
    unsigned short port;
};
const Scheme kSchemes[] = {{"udp://", SyslogTransport::kUdp, 514},
                           {"tcp://", SyslogTransport::kTcp, 601},
                           {"tls://", SyslogTransport::kTls, 6514}};

// An index into names, or -1.
template <size_t N> int IndexOf(const char* const (&names)[N], const std::string& name) {
    for (size_t i = 0; i < N; ++i) {
        if (name == names[i]) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// A header field: printable ASCII without blanks, within max; "-" (the nil value) for nothing.
std::string HeaderField(const std::string& text, size_t max) {
    std::string field;
    for (size_t i = 0; i < text.size() && field.size() < max; ++i) {
        char c = text[i];
        field.push_back(c > ' ' && c < 0x7F ? c : '_');
    }
    return field.empty() ? "-" : field;
}

// RFC 3339 with milliseconds and the offset that the local clock had then.
std::string TimeStamp(const SYSTEMTIME& local) {
    SYSTEMTIME utc;
    FILETIME localTicks, utcTicks;
    long offsetMinutes = 0;
    if (TzSpecificLocalTimeToSystemTime(NULL, &local, &utc) &&
        SystemTimeToFileTime(&local, &localTicks) && SystemTimeToFileTime(&utc, &utcTicks)) {
        LONGLONG difference = static_cast<LONGLONG>(Ticks(localTicks) - Ticks(utcTicks));
        offsetMinutes = static_cast<long>(difference / (60LL * 10000000LL));
    }
    char sign = offsetMinutes < 0 ? '-' : '+';
    long magnitude = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    char text[kTimeStampSize];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03u%c%02ld:%02ld", local.wYear,
                  local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond,
                  local.wMilliseconds, sign, magnitude / 60, magnitude % 60);
    return text;
}

// ANSI code page to UTF-8; ASCII, the usual case, as it is.
std::string Utf8(const std::string& ansi) {
    bool ascii = true;
    for (char c : ansi) {
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    }
    if (ascii || ansi.size() > 0x7FFFFFF) {
        return ansi;
    }
    int length = static_cast<int>(ansi.size());
    std::wstring wide(ansi.size(), L'\0');
    int wideLength = MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, &wide[0], length);
    int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, NULL, 0, NULL, NULL);
    std::string utf8(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) {
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, &utf8[0], size, NULL, NULL);
    }
    return utf8;
}

} // namespace

bool ParseSyslogUrl(const std::string& text, SyslogTarget* target, std::string* error) {
    const Scheme* scheme = NULL;
    for (const Scheme& candidate : kSchemes) {
        if (text.compare(0, std::strlen(candidate.prefix), candidate.prefix) == 0) {
            scheme = &candidate;
        }
    }
    if (!scheme) {
        *error =
            "\"" + text + "\" is not udp://HOST[:PORT], tcp://HOST[:PORT] or tls://HOST[:PORT]";
        return false;
    }
    // HOST[:PORT], or [IPv6][:PORT]
    std::string rest = text.substr(std::strlen(scheme->prefix)), host, port;
    size_t portAt = std::string::npos;
    if (!rest.empty() && rest[0] == '[') {
        size_t close = rest.find(']');
        host = close == std::string::npos ? std::string() : rest.substr(1, close - 1);
        portAt =
            close == std::string::npos || close + 1 == rest.size() ? std::string::npos : close + 1;
    } else {
        portAt = rest.find(':');
        host = rest.substr(0, portAt);
    }
    bool hasPort = portAt != std::string::npos;
    unsigned long number = scheme->port;
    if (host.empty() || host.find_first_of("/ []") != std::string::npos ||
        (hasPort &&
         (rest[portAt] != ':' || !ParseNumber(rest.c_str() + portAt + 1, 1, 0xFFFF, &number)))) {
        *error = "\"" + text + "\": a host and, after ':', a port from 1 to 65535";
        return false;
    }
    target->transport = scheme->transport;
    target->host = host;
    target->port = static_cast<unsigned short>(number);
    target->url = text;
    return true;
}

bool ParseSyslogPriority(const std::string& text, int* priority, std::string* error) {
    size_t dot = text.find('.');
    int facility = dot == std::string::npos ? -1 : IndexOf(kFacilities, text.substr(0, dot));
    int severity = dot == std::string::npos ? -1 : IndexOf(kSeverities, text.substr(dot + 1));
    if (facility < 0 || severity < 0) {
        *error = "\"" + text + "\" is not FACILITY.SEVERITY (user.notice, local3.warning ...)";
        return false;
    }
    *priority = facility * 8 + severity;
    return true;
}

std::string SyslogHostName() {
    char name[kHostNameMax + 1];
    DWORD size = sizeof name;
    if (!GetComputerNameExA(ComputerNameDnsHostname, name, &size)) {
        size = sizeof name;
        if (!GetComputerNameA(name, &size)) {
            return "-";
        }
    }
    return HeaderField(std::string(name, size), kHostNameMax);
}

std::string SyslogMessage(const KeptLine& line, const SyslogOrigin& origin) {
    // A debug-output line's process is "1234 name.exe"; the channel's lines carry none.
    std::string app = kChannelApp, pid = "-";
    size_t blank = line.process.find(' ');
    if (!line.process.empty()) {
        pid = line.process.substr(0, blank);
        app = blank == std::string::npos ? std::string() : line.process.substr(blank + 1);
    }
    std::string message = "<" + std::to_string(origin.priority) + ">1 " + TimeStamp(line.clock) +
                          " " + origin.host + " " + HeaderField(app, kAppNameMax) + " " +
                          HeaderField(pid, kProcIdMax) + " " +
                          (line.process.empty() ? "channel" : "debug") + " [" + kLineElement +
                          " line=\"" + std::to_string(line.number) + "\"] " + kBom;
    return message + Utf8(line.text);
}

std::string SyslogFrame(const std::string& message) {
    return std::to_string(message.size()) + " " + message;
}

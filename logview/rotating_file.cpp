#include "rotating_file.h"

#include "system_text.h"

bool RotatingFile::Open(const std::wstring& path, const Rotation& rotation, bool append,
                        std::string* error) {
    m_path = path;
    m_limit = rotation.limit;
    m_keep = rotation.keep < 1 ? 1 : rotation.keep > kMaxKeep ? kMaxKeep : rotation.keep;
    m_daily = rotation.daily;
    m_day = Today();
    DWORD code = 0;
    if (!Reopen(append ? OPEN_ALWAYS : CREATE_ALWAYS, &code)) {
        *error = "Cannot write " + Narrow(path) + ": " + SystemReason(code);
        return false;
    }
    // A file appended to is of the day it was last written: a later day's first line switches.
    FILETIME written, local;
    SYSTEMTIME day;
    if (m_size > 0 && GetFileTime(m_file.Get(), NULL, NULL, &written) &&
        FileTimeToLocalFileTime(&written, &local) && FileTimeToSystemTime(&local, &day)) {
        m_day = day.wYear * 10000UL + day.wMonth * 100UL + day.wDay;
    }
    return true;
}

unsigned long RotatingFile::Today() const {
    SYSTEMTIME now;
    m_clock(&now);
    return now.wYear * 10000UL + now.wMonth * 100UL + now.wDay;
}

bool RotatingFile::Write(const std::string& text, DWORD* error) {
    // A new day begins a new file; an empty one is kept for it.
    if (m_daily) {
        unsigned long today = Today();
        bool switched = true;
        if (today != m_day && m_size > 0 && !Switch(&switched, error)) {
            return false;
        }
        m_day = switched ? today : m_day;
    }
    size_t at = 0;
    while (at < text.size()) {
        // As many whole lines as the file still takes; at least one in a file that is empty.
        size_t end = at;
        while (end < text.size()) {
            size_t feed = text.find('\n', end);
            size_t next = feed == std::string::npos ? text.size() : feed + 1;
            if (m_limit != 0 && m_size + (next - at) > m_limit && (end > at || m_size > 0)) {
                break;
            }
            end = next;
        }
        bool switched = true;
        if (end == at && !Switch(&switched, error)) {
            return false;
        }
        if (end == at && switched) {
            continue;
        }
        // A switch that must wait: the rest goes where the lines before it went.
        end = end == at ? text.size() : end;
        if (!WriteText(m_file.Get(), text.substr(at, end - at))) {
            *error = GetLastError();
            return false;
        }
        m_size += end - at;
        at = end;
    }
    return true;
}

// The file is first moved aside: where another program holds it without letting it be renamed
// (a reader that shares all but delete), nothing else has moved yet, the file is opened again
// where it was and goes on growing, and the switch is tried at the next write.
bool RotatingFile::Switch(bool* switched, DWORD* error) {
    const std::wstring aside = m_path + L".switching";
    m_file.Reset();
    *switched = MoveFileExW(m_path.c_str(), aside.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
    if (!*switched) {
        ++m_postponed;
        return Reopen(OPEN_ALWAYS, error);
    }
    for (unsigned n = m_keep; n >= 2; --n) {
        if (!MoveFileExW(Numbered(n - 1).c_str(), Numbered(n).c_str(), MOVEFILE_REPLACE_EXISTING) &&
            GetLastError() != ERROR_FILE_NOT_FOUND) {
            *error = GetLastError();
            return false;
        }
    }
    if (!MoveFileExW(aside.c_str(), Numbered(1).c_str(), MOVEFILE_REPLACE_EXISTING)) {
        *error = GetLastError();
        return false;
    }
    ++m_switches;
    return Reopen(CREATE_ALWAYS, error);
}

bool RotatingFile::Reopen(DWORD disposition, DWORD* error) {
    // Others may read it, and rename it when they rotate it themselves.
    m_file.Reset(CreateFileW(m_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                             NULL, disposition, 0, NULL));
    if (!m_file) {
        *error = GetLastError();
        return false;
    }
    // Written at the end, not opened for appending only: to a pipe, that right is another's (a
    // new pipe instance), and every write would be refused. A pipe has no end nor size.
    LARGE_INTEGER size = {};
    m_size = 0;
    if (GetFileSizeEx(m_file.Get(), &size)) {
        m_size = static_cast<ULONGLONG>(size.QuadPart);
        SetFilePointerEx(m_file.Get(), size, NULL, FILE_BEGIN);
    }
    return true;
}

std::wstring RotatingFile::Numbered(unsigned n) const {
    return n == 0 ? m_path : m_path + L"." + std::to_wstring(n);
}

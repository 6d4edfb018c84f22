#include "rotating_file.h"

#include "system_text.h"

bool RotatingFile::Open(const std::wstring& path, const Rotation& rotation, bool append,
                        std::string* error) {
    m_path = path;
    m_limit = rotation.limit;
    m_keep = rotation.keep < 1 ? 1 : rotation.keep > kMaxKeep ? kMaxKeep : rotation.keep;
    m_daily = rotation.daily;
    m_day = Today();
    m_size = 0;
    // Others may read it, and rename it when they rotate it themselves.
    m_file.Reset(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, NULL,
                             append ? OPEN_ALWAYS : CREATE_ALWAYS, 0, NULL));
    if (!m_file) {
        *error = "Cannot write " + Narrow(path) + ": " + SystemReason(GetLastError());
        return false;
    }
    // Written at the end, not opened for appending only: to a pipe, that right is another's (a
    // new pipe instance), and every write would be refused. A pipe has no end nor size.
    LARGE_INTEGER size = {};
    if (append && GetFileSizeEx(m_file.Get(), &size)) {
        m_size = static_cast<ULONGLONG>(size.QuadPart);
        SetFilePointerEx(m_file.Get(), size, NULL, FILE_BEGIN);
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
        if (today != m_day && m_size > 0 && !Switch(error)) {
            return false;
        }
        m_day = today;
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
        if (end == at) {
            if (!Switch(error)) {
                return false;
            }
            continue;
        }
        if (!WriteText(m_file.Get(), text.substr(at, end - at))) {
            *error = GetLastError();
            return false;
        }
        m_size += end - at;
        at = end;
    }
    return true;
}

bool RotatingFile::Switch(DWORD* error) {
    m_file.Reset();
    for (unsigned n = m_keep; n >= 1; --n) {
        if (!MoveFileExW(Numbered(n - 1).c_str(), Numbered(n).c_str(), MOVEFILE_REPLACE_EXISTING) &&
            GetLastError() != ERROR_FILE_NOT_FOUND) {
            *error = GetLastError();
            return false;
        }
    }
    m_file.Reset(CreateFileW(m_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                             NULL, CREATE_ALWAYS, 0, NULL));
    if (!m_file) {
        *error = GetLastError();
        return false;
    }
    m_size = 0;
    ++m_switches;
    return true;
}

std::wstring RotatingFile::Numbered(unsigned n) const {
    return n == 0 ? m_path : m_path + L"." + std::to_wstring(n);
}

#include "rotating_file.h"

#include "system_text.h"

bool RotatingFile::Open(const std::wstring& path, ULONGLONG limit, unsigned keep,
                        std::string* error) {
    m_path = path;
    m_limit = limit;
    m_keep = keep < 1 ? 1 : keep > kMaxKeep ? kMaxKeep : keep;
    m_size = 0;
    // Others may read it, and rename it when they rotate it themselves.
    m_file.Reset(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, NULL,
                             CREATE_ALWAYS, 0, NULL));
    if (!m_file) {
        *error = "Cannot write " + Narrow(path) + ": " + SystemReason(GetLastError());
        return false;
    }
    return true;
}

bool RotatingFile::Write(const std::string& text, DWORD* error) {
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

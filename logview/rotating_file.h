// The --out file when it has a size limit: past the limit it is renamed NAME.1 (the older ones
// shifted to NAME.2 up to NAME.keep, the oldest beyond that replaced) and a new NAME begun. Text
// comes in whole lines and a switch falls between two of them, never within one: a line longer
// than the limit is a file of its own.
#pragma once

#include "owned.h"

#include <windows.h>

#include <string>

class RotatingFile {
  public:
    static constexpr unsigned kDefaultKeep = 5;
    static constexpr unsigned kMaxKeep = 99;

    // Creates (empties) path; limit 0 never switches. False with the reason.
    bool Open(const std::wstring& path, ULONGLONG limit, unsigned keep, std::string* error);
    bool IsOpen() const { return static_cast<bool>(m_file); }
    // text: whole lines, each ending in '\n'. False with the system's code in *error.
    bool Write(const std::string& text, DWORD* error);
    unsigned long Switches() const { return m_switches; }

  private:
    bool Switch(DWORD* error);
    // NAME.n, or NAME for 0.
    std::wstring Numbered(unsigned n) const;

    std::wstring m_path;
    OwnedHandle m_file;
    ULONGLONG m_size = 0;
    ULONGLONG m_limit = 0;
    unsigned m_keep = kDefaultKeep;
    unsigned long m_switches = 0;
};

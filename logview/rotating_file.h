// The --out file, and Log to File's: past a size limit, or on a new day when asked, it is renamed
// NAME.1 (the older ones shifted to NAME.2 up to NAME.keep, the oldest beyond that replaced) and a
// new NAME begun. Text comes in whole lines and a switch falls between two of them, never within
// one: a line longer than the limit is a file of its own.
#pragma once

#include "owned.h"

#include <windows.h>

#include <string>

// When a file switches: past limit bytes (0: never), and on each new day if daily; keep older
// files.
struct Rotation {
    ULONGLONG limit = 0;
    unsigned keep = 5;
    bool daily = false;
};

class RotatingFile {
  public:
    static constexpr unsigned kDefaultKeep = Rotation().keep;
    static constexpr unsigned kMaxKeep = 99;

    // The local clock, for the day; the tests set their own.
    using Clock = void(WINAPI*)(LPSYSTEMTIME);

    // Creates (empties) path, or appends to it, to switch as rotation says (daily: at the first
    // write of each new day). False with the reason.
    bool Open(const std::wstring& path, const Rotation& rotation, bool append, std::string* error);
    void SetClock(Clock clock) { m_clock = clock; }
    bool IsOpen() const { return static_cast<bool>(m_file); }
    // text: whole lines, each ending in '\n'. False with the system's code in *error.
    bool Write(const std::string& text, DWORD* error);
    unsigned long Switches() const { return m_switches; }
    // Switches put off because another program held the file without letting it be renamed.
    unsigned long Postponed() const { return m_postponed; }

  private:
    // *switched false: the file could not be moved aside, and is written on.
    bool Switch(bool* switched, DWORD* error);
    // (Re)opens m_path, at its end; m_size is what it holds.
    bool Reopen(DWORD disposition, DWORD* error);
    unsigned long Today() const;
    // NAME.n, or NAME for 0.
    std::wstring Numbered(unsigned n) const;

    std::wstring m_path;
    OwnedHandle m_file;
    ULONGLONG m_size = 0;
    ULONGLONG m_limit = 0;
    unsigned m_keep = kDefaultKeep;
    bool m_daily = false;
    unsigned long m_day = 0; // yyyymmdd of the file begun last
    Clock m_clock = GetLocalTime;
    unsigned long m_switches = 0;
    unsigned long m_postponed = 0;
};

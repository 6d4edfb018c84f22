// What the viewer keeps for its user between runs, under the key kSettingsKey of
// HKEY_CURRENT_USER: the filter, the highlight rules, the time column's form, always-on-top and the
// window's place. The channel's window keeps them; the headless viewer takes its filter from its
// options, and a saved log's window leaves them as they are.
#pragma once

#include "line_store.h"
#include "options.h"

#include <array>
#include <string>
#include <vector>

constexpr char kSettingsKey[] = "Software\\Velmora\\duzar log viewer";

// The rows' columns: number, time, process, text. Their widths are kept in pixels at 96 dots per
// inch, within these bounds, and scaled to the window's.
constexpr int kColumnCount = 4;
constexpr int kMinColumnWidth = 8;
constexpr int kMaxColumnWidth = 4000;
// Log to File's size limit, as the settings keep it, in megabytes: at most this.
constexpr unsigned long kMaxRotateMegabytes = 4095;
// A kept font's height, in pixels at 96 dots per inch, at most this (either sign).
constexpr LONG kMaxFontHeight = 200;

struct ViewerSettings {
    FilterLists filter;
    std::vector<HighlightRule> highlights;
    TimeMode timeMode = TimeMode::kClock;
    bool captureDebugOutput = false;
    bool captureGlobalDebugOutput = false;
    std::wstring logFile; // the last file that Log to File wrote
    Rotation logRotation; // when Log to File's file switches (File > Log File Rotation)
    // File > Forward to Syslog: the collector's URL (empty: none), and FACILITY.SEVERITY.
    std::string syslogUrl;
    std::string syslogPriority = kDefaultSyslogPriorityName;
    bool alwaysOnTop = false;
    // The rows' font as the user chose it, its height for 96 dots per inch; none: the default.
    bool hasFont = false;
    LOGFONTA font = {};
    std::array<int, kColumnCount> columnWidths = {56, 110, 170, 800};
    // The history's depth as chosen in the window (View > History); 0: as the command line says.
    unsigned long maxLines = 0;
    unsigned long maxBytes = 0;
    bool hasPlacement = false;
    WINDOWPLACEMENT placement = {};
};

// The smallest saved window that is shown where it was.
constexpr int kMinWindowWidth = 240;
constexpr int kMinWindowHeight = 120;

// The stored settings; what is missing or malformed keeps its default, and so does a list longer
// than kListSize allows or a saved place that is not usable.
ViewerSettings LoadSettings();

// Whether a kept font can be asked for: a face name, terminated, and a height within bounds.
bool FontIsUsable(const LOGFONTA& font);

// Whether a saved place is a window of a usable size on a monitor there is now: a corrupt value, or
// a monitor since removed, would put the window out of reach.
bool PlacementIsUsable(const WINDOWPLACEMENT& placement);

// Writes each value of settings that differs from stored, the settings as they stand in the
// registry; the first failure's code (ERROR_INVALID_DATA for a list too long to be read again), or
// ERROR_SUCCESS.
LONG SaveSettings(const ViewerSettings& settings, const ViewerSettings& stored);

// Only the channel's own window keeps the user's settings: the headless viewer's come from its
// command line, and a saved log's window is a look at a file.
inline bool KeepsSettings(ViewerMode mode) {
    return mode == ViewerMode::kChannel;
}

// The settings that a viewer works with, and the one way they are kept: Save writes back what
// changed since they were loaded or last saved, in the mode that keeps them alone. So a value that
// is stored but was of no use here (too long, of another type) stays as the user left it until it
// is set anew.
class UserSettings : public ViewerSettings {
  public:
    UserSettings(ViewerMode mode, const ViewerSettings& loaded)
        : ViewerSettings(loaded), m_mode(mode), m_stored(loaded) {}

    // ERROR_SUCCESS when there was nothing to write, or it was written; else SaveSettings' code.
    LONG Save();

  private:
    ViewerMode m_mode;
    ViewerSettings m_stored;
};

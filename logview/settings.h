// What the viewer keeps for its user between runs, under the key kSettingsKey of
// HKEY_CURRENT_USER: the filter, the highlight rules, the time column's form, always-on-top and the
// window's place. The window keeps them; the headless viewer takes its filter from its options.
#pragma once

#include "line_filter.h"

#include <string>

constexpr char kSettingsKey[] = "Software\\Velmora\\duzar log viewer";

enum class TimeMode { kClock, kSinceFirstLine };

struct ViewerSettings {
    std::string include;
    std::string exclude;
    HighlightRule highlights[kHighlightRuleCount];
    TimeMode timeMode = TimeMode::kClock;
    bool alwaysOnTop = false;
    bool hasPlacement = false;
    WINDOWPLACEMENT placement = {};
};

// The stored settings; what is missing or malformed keeps its default.
ViewerSettings LoadSettings();

// False when the key cannot be written; the viewer goes on with what it has.
bool SaveSettings(const ViewerSettings& settings);

// What the viewer keeps for its user between runs, under the key kSettingsKey of
// HKEY_CURRENT_USER: the filter, the highlight rules, the time column's form, always-on-top and the
// window's place. The window keeps them; the headless viewer takes its filter from its options.
#pragma once

#include "line_store.h"

#include <string>

constexpr char kSettingsKey[] = "Software\\Velmora\\duzar log viewer";

struct ViewerSettings {
    ViewerSettings() {
        // Each rule its own colour: Red, Yellow, Green.
        for (int i = 0; i < kHighlightRuleCount; ++i) {
            highlights[i].colour = i;
        }
    }
    std::string include;
    std::string exclude;
    HighlightRule highlights[kHighlightRuleCount];
    TimeMode timeMode = TimeMode::kClock;
    bool captureDebugOutput = false;
    std::string logFile; // the last file that Log to File wrote
    bool alwaysOnTop = false;
    bool hasPlacement = false;
    WINDOWPLACEMENT placement = {};
};

// The smallest saved window that is shown where it was.
constexpr int kMinWindowWidth = 240;
constexpr int kMinWindowHeight = 120;

// The stored settings; what is missing or malformed keeps its default, and so does a list longer
// than kListSize allows or a saved place that is not usable.
ViewerSettings LoadSettings();

// Whether a saved place is a window of a usable size on a monitor there is now: a corrupt value, or
// a monitor since removed, would put the window out of reach.
bool PlacementIsUsable(const WINDOWPLACEMENT& placement);

// False when the key cannot be written, or a list is too long to be read again; the viewer goes on
// with what it has.
bool SaveSettings(const ViewerSettings& settings);

// The viewer's window-free pieces, in process: the filter and highlight rules, and the settings
// read back from what another program may have left in the registry.
#include "line_filter.h"
#include "settings.h"

#include <gtest/gtest.h>

#include <limits.h>

#include <string>

namespace {

TEST(LineFilterTest, IncludeExcludeCaseAndHighlightOrder) {
    struct Case {
        const char* include;
        const char* exclude;
        const char* text;
        bool shown;
    } cases[] = {
        {"", "", "anything", true},
        {"MyWinExec;GetLock", "", "MyWinExec: FendraL\\setup.exe", true},
        {"MyWinExec;GetLock", "", "getlock: 258", true},
        {"MyWinExec;GetLock", "", "heartbeat 1", false},
        {"", "heartbeat", "HeartBeat 1", false},
        {"MyWinExec", "FendraL", "MyWinExec: FendraL\\setup.exe", false},
        {"MyWinExec", "FendraL", "MyWinExec: Morrik\\setup.exe", true},
        {" ; ;", " ", "anything", true},
        {" get lock ;x", "", "Get Lock", true},
        {"a;b", "", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.include) + " / " + c.exclude + " / " + c.text);
        LineFilter filter;
        filter.Set(c.include, c.exclude);
        EXPECT_EQ(c.shown, filter.Passes(c.text));
    }
    HighlightRule rules[kHighlightRuleCount] = {{"", 0}, {"error", 1}, {"MyWinExec;ERROR", 2}};
    Highlighter highlighter;
    highlighter.Set(rules);
    COLORREF colour = 0;
    EXPECT_TRUE(highlighter.ColourOf("MyWinExec error", &colour));
    EXPECT_EQ(kHighlightColours[1].colour, colour);
    EXPECT_TRUE(highlighter.ColourOf("mywinexec ok", &colour));
    EXPECT_EQ(kHighlightColours[2].colour, colour);
    EXPECT_FALSE(highlighter.ColourOf("other", &colour));
}

// A saved place is used only where the window would be of a usable size on a monitor; a list is
// read only whole.
TEST(SettingsTest, HostileValuesKeepTheDefaults) {
    const RECT good = {100, 100, 700, 500};
    struct Case {
        const char* label;
        RECT place;
        size_t listLength;
        bool placeUsed, listUsed;
    } cases[] = {
        {"as saved", good, kListSize - 1, true, true},
        {"off every monitor", {-32768, -32768, -32000, -32300}, 10, false, true},
        {"zero size", {100, 100, 100, 100}, 10, false, true},
        {"too small", {100, 100, 100 + kMinWindowWidth - 1, 400}, 10, false, true},
        {"beyond any size", {LONG_MIN, LONG_MIN, LONG_MAX, LONG_MAX}, 10, false, true},
        {"list one too long", good, kListSize, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKey);
        HKEY key = NULL;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, NULL, 0,
                                                 KEY_SET_VALUE, NULL, &key, NULL));
        WINDOWPLACEMENT placement = {};
        placement.length = sizeof placement;
        placement.showCmd = SW_SHOWNORMAL;
        placement.rcNormalPosition = c.place;
        RegSetValueExA(key, "Placement", 0, REG_BINARY, reinterpret_cast<const BYTE*>(&placement),
                       sizeof placement);
        const std::string list(c.listLength, 'q');
        RegSetValueExA(key, "Include", 0, REG_SZ, reinterpret_cast<const BYTE*>(list.c_str()),
                       static_cast<DWORD>(list.size() + 1));
        RegCloseKey(key);
        ViewerSettings settings = LoadSettings();
        EXPECT_EQ(c.placeUsed, settings.hasPlacement);
        EXPECT_EQ(c.listUsed ? list : "", settings.include);
        settings.include = list;
        EXPECT_EQ(c.listUsed, SaveSettings(settings)) << "a list written must be read again whole";
    }
    RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKey);
}

} // namespace

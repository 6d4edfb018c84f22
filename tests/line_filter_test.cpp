// The viewer's filter and highlight rules, in process.
#include "line_filter.h"

#include <gtest/gtest.h>

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

} // namespace

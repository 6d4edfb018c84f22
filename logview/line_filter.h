// Which lines the viewer shows and how it colours them. A filter shows a line whose text matches
// its include pattern (any line when it has none) and not its exclude pattern, each a substring
// list or an expression (pattern.h), and, where it names processes, only a line whose process it
// keeps; a highlight rule colours the lines that its pattern matches, each rule its own colour, as
// many rules as the user adds, and the first rule that matches wins.
#pragma once

#include "pattern.h"

#include <windows.h>

#include <string>
#include <vector>

// A substring list as typed or stored, with its terminator: as much as an edit control takes.
constexpr size_t kListSize = 32768;

// The word that names the channel in a process list: its lines carry no process.
constexpr char kChannelSource[] = "channel";

// True when one of items (each already lower case) names the process that wrote a line: its
// decimal id, its name with or without ".exe" (case ignored), or kChannelSource for a channel line.
// process is as a kept line holds it: "1234 name.exe", empty for the channel's.
bool NamesProcess(const std::vector<std::string>& items, const std::string& process);

// What the user filters by, as entered: for the text, lists of substrings separated by ';' or, with
// regex, one expression each; for the process, lists of process names, ids or kChannelSource. One
// record, so that the settings, the command line, the dialog and the store hand it on whole.
struct FilterLists {
    std::string include;
    std::string exclude;
    std::string process;        // only these processes; empty: every one
    std::string excludeProcess; // none of these
    bool regex = false;         // include and exclude are regular expressions
};

// The active filter in a few words, each list cut to maxChars with "..." after it:
// 'filter: include "a;b", exclude "c", process "setup"'; empty when there is none.
std::string FilterSummary(const FilterLists& lists, size_t maxChars);

class LineFilter {
  public:
    // False, with the reason naming the list, when an expression does not compile: the filter is
    // then as it was, never half changed.
    bool Set(const FilterLists& lists, std::string* error);
    bool Passes(const std::string& text, const std::string& process);
    // Lines on which an expression gave up (taken as not matching).
    unsigned long GaveUp() const { return m_include.GaveUp() + m_exclude.GaveUp(); }

  private:
    Pattern m_include;
    Pattern m_exclude;
    std::vector<std::string> m_process;
    std::vector<std::string> m_excludeProcess;
};

// Whether lists would be taken: false with the reason, as LineFilter::Set says it.
bool CheckFilter(const FilterLists& lists, std::string* error);

// The colours that a highlight rule may take, as a user names them.
struct HighlightColour {
    const char* name;
    COLORREF colour;
};
constexpr HighlightColour kHighlightColours[] = {
    {"Red", RGB(255, 190, 190)},  {"Yellow", RGB(255, 250, 170)}, {"Green", RGB(190, 240, 190)},
    {"Blue", RGB(190, 215, 255)}, {"Orange", RGB(255, 215, 160)}, {"Purple", RGB(230, 200, 255)},
    {"Grey", RGB(220, 220, 220)},
};
constexpr int kHighlightColourCount =
    static_cast<int>(sizeof kHighlightColours / sizeof kHighlightColours[0]);
// Rules beyond this many are not read back from the settings: a bound on what a hand-edited key
// can make the viewer do on every row.
constexpr size_t kMaxHighlightRules = 256;

struct HighlightRule {
    std::string list;   // as the user wrote it
    int colour = 0;     // index into kHighlightColours
    bool regex = false; // list is one regular expression
    bool operator==(const HighlightRule& other) const {
        return list == other.list && colour == other.colour && regex == other.regex;
    }
    bool operator!=(const HighlightRule& other) const { return !(*this == other); }
};

// The colour a rule's index names; the first for one out of range.
COLORREF RuleColour(int colour);

class Highlighter {
  public:
    // False, with the reason, when a rule's expression does not compile: nothing changes.
    bool Set(const std::vector<HighlightRule>& rules, std::string* error);
    // The colour of the first rule that text matches; false when none does.
    bool ColourOf(const std::string& text, COLORREF* colour);

  private:
    struct Rule {
        Pattern pattern;
        COLORREF colour;
    };
    std::vector<Rule> m_rules;
};

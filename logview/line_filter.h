// Which lines the viewer shows and how it colours them: lists of substrings written "a;b;c",
// matched without regard to case. A filter shows a line that holds one of its include substrings
// (any line when there are none) and none of its exclude substrings, and, where it names processes,
// only a line whose process it keeps; a highlight rule colours the lines that hold one of its
// substrings, and the first rule that matches wins.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A substring list as typed or stored, with its terminator: as much as an edit control takes.
constexpr size_t kListSize = 32768;

// The substrings of a list, lower-cased: split at ';', blanks around each trimmed, empty ones left
// out.
std::vector<std::string> ParseSubstrings(const std::string& list);

// True when text holds part, with or without regard to case.
bool Contains(const std::string& text, const std::string& part, bool matchCase);

// True when text holds one of substrings (each already lower case), case ignored.
bool HoldsAny(const std::string& text, const std::vector<std::string>& substrings);

// The word that names the channel in a process list: its lines carry no process.
constexpr char kChannelSource[] = "channel";

// True when one of items (each already lower case) names the process that wrote a line: its
// decimal id, its name with or without ".exe" (case ignored), or kChannelSource for a channel line.
// process is as a kept line holds it: "1234 name.exe", empty for the channel's.
bool NamesProcess(const std::vector<std::string>& items, const std::string& process);

// What the user filters by, as entered: lists separated by ';', of substrings for the text, of
// process names, ids or kChannelSource for the process. One record, so that the settings, the
// command line, the dialog and the store hand it on whole.
struct FilterLists {
    std::string include;
    std::string exclude;
    std::string process;        // only these processes; empty: every one
    std::string excludeProcess; // none of these
};

// The active filter in a few words, each list cut to maxChars with "..." after it:
// 'filter: include "a;b", exclude "c", process "setup"'; empty when there is none.
std::string FilterSummary(const FilterLists& lists, size_t maxChars);

class LineFilter {
  public:
    void Set(const FilterLists& lists);
    bool Passes(const std::string& text, const std::string& process) const;

  private:
    std::vector<std::string> m_include;
    std::vector<std::string> m_exclude;
    std::vector<std::string> m_process;
    std::vector<std::string> m_excludeProcess;
};

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
constexpr int kHighlightRuleCount = 3;

struct HighlightRule {
    std::string list; // as the user wrote it
    int colour = 0;   // index into kHighlightColours
};

class Highlighter {
  public:
    void Set(const HighlightRule (&rules)[kHighlightRuleCount]);
    // The colour of the first rule that text matches; false when none does.
    bool ColourOf(const std::string& text, COLORREF* colour) const;

  private:
    std::vector<std::string> m_substrings[kHighlightRuleCount];
    COLORREF m_colours[kHighlightRuleCount] = {};
};

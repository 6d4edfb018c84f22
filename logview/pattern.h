// What a line's text is matched against: a list of substrings written "a;b;c" (any one of them),
// case ignored, or one regular expression in ECMAScript's syntax as PCRE2 takes it (alternatives
// with '|'), case ignored unless asked not to. An expression is bounded on any line: PCRE2
// backtracks on the heap, within kMatchLimit steps and kHeapLimitKib, never on the stack; a line on
// which it gives up counts as not matching, and is counted.
#pragma once

// Lines are bytes in the ANSI code page: the 8-bit library, without UTF.
#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <memory>
#include <string>
#include <vector>

// The substrings of a list, lower-cased: split at ';', blanks around each trimmed, empty ones left
// out.
std::vector<std::string> ParseSubstrings(const std::string& list);

// text in lower case (ASCII letters: the code page's others are left as they are).
std::string Lowered(std::string text);

// True when text holds part, with or without regard to case.
bool Contains(const std::string& text, const std::string& part, bool matchCase);

class Pattern {
  public:
    // Steps and heap one match may take: about 3 ms on the longest line (4,095 bytes), where a
    // million took 27 ms and a flood of such lines held the window up.
    static constexpr unsigned kMatchLimit = 100000;
    static constexpr unsigned kHeapLimitKib = 16384;

    Pattern() = default;
    Pattern(Pattern&&) = default;
    Pattern& operator=(Pattern&&) = default;

    // False, with PCRE2's reason and where in text, when the expression does not compile: the
    // pattern is then as it was. matchCase is for an expression alone.
    bool Set(const std::string& text, bool regex, bool matchCase, std::string* error);
    // Nothing to match: no substring, no expression.
    bool Empty() const { return m_substrings.empty() && !m_code; }
    bool Matches(const std::string& line);
    // Lines on which the expression gave up.
    unsigned long GaveUp() const { return m_gaveUp; }

  private:
    struct Free {
        void operator()(pcre2_code* code) const { pcre2_code_free(code); }
        void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
        void operator()(pcre2_match_context* context) const { pcre2_match_context_free(context); }
    };
    std::vector<std::string> m_substrings; // lower case
    std::unique_ptr<pcre2_code, Free> m_code;
    std::unique_ptr<pcre2_match_data, Free> m_data;
    std::unique_ptr<pcre2_match_context, Free> m_context;
    unsigned long m_gaveUp = 0;
};

#include "line_filter.h"

#include <algorithm>
#include <utility>

namespace {

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualIgnoringCase(char a, char b) {
    return Lower(a) == Lower(b);
}

} // namespace

std::vector<std::string> ParseSubstrings(const std::string& list) {
    std::vector<std::string> substrings;
    size_t start = 0;
    for (;;) {
        size_t end = list.find(';', start);
        std::string item = list.substr(start, end == std::string::npos ? end : end - start);
        size_t first = item.find_first_not_of(" \t");
        if (first != std::string::npos) {
            item = item.substr(first, item.find_last_not_of(" \t") - first + 1);
            std::transform(item.begin(), item.end(), item.begin(), Lower);
            substrings.push_back(item);
        }
        if (end == std::string::npos) {
            return substrings;
        }
        start = end + 1;
    }
}

bool Contains(const std::string& text, const std::string& part, bool matchCase) {
    if (matchCase) {
        return text.find(part) != std::string::npos;
    }
    return std::search(text.begin(), text.end(), part.begin(), part.end(), EqualIgnoringCase) !=
           text.end();
}

bool HoldsAny(const std::string& text, const std::vector<std::string>& substrings) {
    for (const std::string& substring : substrings) {
        if (Contains(text, substring, false)) {
            return true;
        }
    }
    return false;
}

bool NamesProcess(const std::vector<std::string>& items, const std::string& process) {
    size_t space = process.find(' ');
    std::string id = process.substr(0, space);
    std::string name = space == std::string::npos ? std::string() : process.substr(space + 1);
    std::transform(name.begin(), name.end(), name.begin(), Lower);
    for (const std::string& item : items) {
        if (process.empty() ? item == kChannelSource
                            : item == id || item == name || item + ".exe" == name) {
            return true;
        }
    }
    return false;
}

void LineFilter::Set(const FilterLists& lists) {
    m_include = ParseSubstrings(lists.include);
    m_exclude = ParseSubstrings(lists.exclude);
    m_process = ParseSubstrings(lists.process);
    m_excludeProcess = ParseSubstrings(lists.excludeProcess);
}

bool LineFilter::Passes(const std::string& text, const std::string& process) const {
    return (m_process.empty() || NamesProcess(m_process, process)) &&
           !NamesProcess(m_excludeProcess, process) &&
           (m_include.empty() || HoldsAny(text, m_include)) && !HoldsAny(text, m_exclude);
}

void Highlighter::Set(const HighlightRule (&rules)[kHighlightRuleCount]) {
    for (int i = 0; i < kHighlightRuleCount; ++i) {
        m_substrings[i] = ParseSubstrings(rules[i].list);
        int colour =
            rules[i].colour >= 0 && rules[i].colour < kHighlightColourCount ? rules[i].colour : 0;
        m_colours[i] = kHighlightColours[colour].colour;
    }
}

bool Highlighter::ColourOf(const std::string& text, COLORREF* colour) const {
    for (int i = 0; i < kHighlightRuleCount; ++i) {
        if (!m_substrings[i].empty() && HoldsAny(text, m_substrings[i])) {
            *colour = m_colours[i];
            return true;
        }
    }
    return false;
}

std::string FilterSummary(const FilterLists& lists, size_t maxChars) {
    auto quoted = [maxChars](const std::string& list) {
        return "\"" + list.substr(0, maxChars) + (list.size() > maxChars ? "..." : "") + "\"";
    };
    const std::pair<const char*, const std::string*> parts[] = {
        {"include ", &lists.include},
        {"exclude ", &lists.exclude},
        {"process ", &lists.process},
        {"not process ", &lists.excludeProcess},
    };
    std::string summary;
    for (const auto& [label, list] : parts) {
        if (!list->empty()) {
            summary += (summary.empty() ? "filter: " : ", ") + std::string(label) + quoted(*list);
        }
    }
    return summary;
}

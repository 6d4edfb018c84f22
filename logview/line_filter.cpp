#include "line_filter.h"

#include <utility>

bool NamesProcess(const std::vector<std::string>& items, const std::string& process) {
    size_t space = process.find(' ');
    std::string id = process.substr(0, space);
    std::string name =
        space == std::string::npos ? std::string() : Lowered(process.substr(space + 1));
    for (const std::string& item : items) {
        if (process.empty() ? item == kChannelSource
                            : item == id || item == name || item + ".exe" == name) {
            return true;
        }
    }
    return false;
}

bool LineFilter::Set(const FilterLists& lists, std::string* error) {
    Pattern include, exclude;
    std::string reason;
    if (!include.Set(lists.include, lists.regex, false, &reason) ||
        !exclude.Set(lists.exclude, lists.regex, false, &reason)) {
        *error = "The filter's expression is refused: " + reason;
        return false;
    }
    m_include = std::move(include);
    m_exclude = std::move(exclude);
    m_process = ParseSubstrings(lists.process);
    m_excludeProcess = ParseSubstrings(lists.excludeProcess);
    return true;
}

bool LineFilter::Passes(const std::string& text, const std::string& process) {
    return (m_process.empty() || NamesProcess(m_process, process)) &&
           !NamesProcess(m_excludeProcess, process) &&
           (m_include.Empty() || m_include.Matches(text)) && !m_exclude.Matches(text);
}

bool CheckFilter(const FilterLists& lists, std::string* error) {
    return LineFilter().Set(lists, error);
}

void Highlighter::Set(const HighlightRule (&rules)[kHighlightRuleCount]) {
    for (int i = 0; i < kHighlightRuleCount; ++i) {
        std::string unused;
        m_patterns[i].Set(rules[i].list, false, false, &unused);
        int colour =
            rules[i].colour >= 0 && rules[i].colour < kHighlightColourCount ? rules[i].colour : 0;
        m_colours[i] = kHighlightColours[colour].colour;
    }
}

bool Highlighter::ColourOf(const std::string& text, COLORREF* colour) {
    for (int i = 0; i < kHighlightRuleCount; ++i) {
        if (!m_patterns[i].Empty() && m_patterns[i].Matches(text)) {
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
    return lists.regex && !summary.empty() ? summary + " (expressions)" : summary;
}

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

COLORREF RuleColour(int colour) {
    return kHighlightColours[colour >= 0 && colour < kHighlightColourCount ? colour : 0].colour;
}

bool Highlighter::Set(const std::vector<HighlightRule>& rules, std::string* error) {
    std::vector<Rule> compiled;
    for (const HighlightRule& rule : rules) {
        Rule made = {Pattern(), RuleColour(rule.colour)};
        std::string reason;
        if (!made.pattern.Set(rule.list, rule.regex, false, &reason)) {
            *error = "A highlight rule's expression is refused: " + reason;
            return false;
        }
        compiled.push_back(std::move(made));
    }
    m_rules = std::move(compiled);
    return true;
}

bool Highlighter::ColourOf(const std::string& text, COLORREF* colour) {
    for (Rule& rule : m_rules) {
        if (!rule.pattern.Empty() && rule.pattern.Matches(text)) {
            *colour = rule.colour;
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

#include "pattern.h"

#include <algorithm>

namespace {

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualIgnoringCase(char a, char b) {
    return Lower(a) == Lower(b);
}

// ECMAScript's ways where PCRE2's differ: \u hhhh, a backreference to an unset group matches the
// empty string, and $ only at the very end. \C (a single byte whatever the mode) is refused.
constexpr uint32_t kEcmaScriptOptions =
    PCRE2_ALT_BSUX | PCRE2_MATCH_UNSET_BACKREF | PCRE2_DOLLAR_ENDONLY | PCRE2_NEVER_BACKSLASH_C;

} // namespace

std::string Lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), Lower);
    return text;
}

std::vector<std::string> ParseSubstrings(const std::string& list) {
    std::vector<std::string> substrings;
    size_t start = 0;
    for (;;) {
        size_t end = list.find(';', start);
        std::string item = list.substr(start, end == std::string::npos ? end : end - start);
        size_t first = item.find_first_not_of(" \t");
        if (first != std::string::npos) {
            substrings.push_back(
                Lowered(item.substr(first, item.find_last_not_of(" \t") - first + 1)));
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

bool Pattern::Set(const std::string& text, bool regex, bool matchCase, std::string* error) {
    // An empty expression would match every line: like an empty list, it is none.
    if (!regex || text.empty()) {
        m_substrings = ParseSubstrings(text);
        m_code.reset();
        return true;
    }
    int code = 0;
    PCRE2_SIZE offset = 0;
    std::unique_ptr<pcre2_code, Free> compiled(
        pcre2_compile(reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(),
                      kEcmaScriptOptions | (matchCase ? 0 : PCRE2_CASELESS), &code, &offset, NULL));
    if (!compiled) {
        PCRE2_UCHAR reason[256];
        pcre2_get_error_message(code, reason, sizeof reason);
        *error = reinterpret_cast<const char*>(reason) + std::string(" at offset ") +
                 std::to_string(offset) + " of " + text;
        return false;
    }
    std::unique_ptr<pcre2_match_data, Free> data(
        pcre2_match_data_create_from_pattern(compiled.get(), NULL));
    std::unique_ptr<pcre2_match_context, Free> context(pcre2_match_context_create(NULL));
    if (!data || !context) {
        *error = "no memory for the expression " + text;
        return false;
    }
    pcre2_set_match_limit(context.get(), kMatchLimit);
    pcre2_set_heap_limit(context.get(), kHeapLimitKib);
    m_substrings.clear();
    m_code = std::move(compiled);
    m_data = std::move(data);
    m_context = std::move(context);
    return true;
}

bool Pattern::Matches(const std::string& line) {
    if (!m_code) {
        for (const std::string& substring : m_substrings) {
            if (Contains(line, substring, false)) {
                return true;
            }
        }
        return false;
    }
    int result = pcre2_match(m_code.get(), reinterpret_cast<PCRE2_SPTR>(line.data()), line.size(),
                             0, 0, m_data.get(), m_context.get());
    if (result >= 0) {
        return true;
    }
    if (result != PCRE2_ERROR_NOMATCH) {
        ++m_gaveUp;
    }
    return false;
}

#include "options.h"

#include "system_text.h"

bool ParseNumber(const char* text, unsigned long min, unsigned long max, unsigned long* value) {
    unsigned long number = 0;
    if (!*text) {
        return false;
    }
    for (const char* c = text; *c; ++c) {
        if (*c < '0' || *c > '9' || number > (max - static_cast<unsigned long>(*c - '0')) / 10) {
            return false;
        }
        number = number * 10 + static_cast<unsigned long>(*c - '0');
    }
    *value = number;
    return number >= min;
}

ParseResult ParseOptions(int argc, wchar_t** argv, Options* options) {
    bool print = false;
    bool headlessOption = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = Narrow(argv[i]);
        std::string value = i + 1 < argc ? Narrow(argv[i + 1]) : std::string();
        bool hasValue = i + 1 < argc;
        unsigned long number = 0;
        if (arg == "--help" || arg == "-h" || arg == "/?") {
            return ParseResult::kHelp;
        }
        headlessOption = headlessOption || arg == "--out" || arg == "--seconds" ||
                         arg == "--include" || arg == "--exclude" || arg == "--time" ||
                         arg == "--debug-output";
        if (arg == "--print") {
            print = true;
        } else if (arg == "--time") {
            options->timed = true;
        } else if (arg == "--debug-output") {
            options->debugOutput = true;
        } else if (arg == "--out" && hasValue) {
            options->outPath = argv[++i];
        } else if (arg == "--include" && hasValue) {
            options->filter.include = value;
            ++i;
        } else if (arg == "--exclude" && hasValue) {
            options->filter.exclude = value;
            ++i;
        } else if (arg == "--seconds" && hasValue &&
                   ParseNumber(Narrow(argv[++i]).c_str(), 0, kMaxSeconds, &number)) {
            options->seconds = static_cast<int>(number);
        } else if (arg == "--max-lines" && hasValue &&
                   ParseNumber(Narrow(argv[++i]).c_str(), 1, kMaxLines, &number)) {
            options->maxLines = static_cast<int>(number);
        } else if (arg == "--max-bytes" && hasValue &&
                   ParseNumber(Narrow(argv[++i]).c_str(), kMinBytes, kMaxBytes, &number)) {
            options->maxBytes = number;
        } else if (arg[0] != '-' && options->openPath.empty()) {
            options->openPath = argv[i];
        } else {
            return ParseResult::kBad;
        }
    }
    // A saved log opens in a window of its own, never headless.
    if ((headlessOption && !print) || (!options->openPath.empty() && print)) {
        return ParseResult::kBad;
    }
    options->mode = print                        ? ViewerMode::kHeadless
                    : !options->openPath.empty() ? ViewerMode::kSavedLog
                                                 : ViewerMode::kChannel;
    return ParseResult::kRun;
}

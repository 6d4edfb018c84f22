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

namespace {

// kBad, with what is wrong in problem.
ParseResult Bad(Options* options, const std::string& problem) {
    options->problem = problem;
    return ParseResult::kBad;
}

// The value of a number option, when it is one from min to max.
bool TakeNumber(const std::string& arg, const std::string& value, unsigned long min,
                unsigned long max, unsigned long* number, Options* options) {
    if (ParseNumber(value.c_str(), min, max, number)) {
        return true;
    }
    Bad(options, arg + ": \"" + value + "\" is not a whole number from " + std::to_string(min) +
                     " to " + std::to_string(max));
    return false;
}

} // namespace

ParseResult ParseOptions(int argc, wchar_t** argv, Options* options) {
    bool print = false;
    std::string headlessOption;
    for (int i = 1; i < argc; ++i) {
        std::string arg = Narrow(argv[i]);
        bool hasValue = i + 1 < argc;
        std::string value = hasValue ? Narrow(argv[i + 1]) : std::string();
        unsigned long number = 0;
        if (arg == "--help" || arg == "-h" || arg == "/?") {
            return ParseResult::kHelp;
        }
        bool filters = arg == "--include" || arg == "--exclude" || arg == "--process" ||
                       arg == "--exclude-process";
        bool forwards = arg == "--syslog" || arg == "--syslog-priority";
        bool takesValue = filters || forwards || arg == "--out" || arg == "--seconds" ||
                          arg == "--follow" || arg == "--max-lines" || arg == "--max-bytes";
        if (takesValue && !hasValue) {
            return Bad(options, arg + " needs a value");
        }
        if (headlessOption.empty() &&
            (filters || forwards || arg == "--out" || arg == "--seconds" || arg == "--time" ||
             arg == "--debug-output")) {
            headlessOption = arg;
        }
        if (arg == "--print") {
            print = true;
        } else if (arg == "--regex") {
            options->filter.regex = true;
        } else if (arg == "--out-daily") {
            options->out.daily = true;
        } else if (arg == "--time") {
            options->timed = true;
        } else if (arg == "--debug-output") {
            options->debugOutput = true;
        } else if (arg == "--out") {
            options->outPath = argv[++i];
        } else if (arg == "--include") {
            options->filter.include = value;
            ++i;
        } else if (arg == "--exclude") {
            options->filter.exclude = value;
            ++i;
        } else if (arg == "--process") {
            options->filter.process = value;
            ++i;
        } else if (arg == "--exclude-process") {
            options->filter.excludeProcess = value;
            ++i;
        } else if (arg == "--syslog") {
            SyslogTarget target;
            std::string refused;
            if (!ParseSyslogUrl(value, &target, &refused)) {
                return Bad(options, "--syslog: " + refused);
            }
            options->syslog.push_back(target);
            ++i;
        } else if (arg == "--syslog-priority") {
            std::string refused;
            if (!ParseSyslogPriority(value, &options->syslogPriority, &refused)) {
                return Bad(options, "--syslog-priority: " + refused);
            }
            ++i;
        } else if (arg == "--seconds") {
            if (!TakeNumber(arg, value, 0, kMaxSeconds, &number, options)) {
                return ParseResult::kBad;
            }
            options->seconds = static_cast<int>(number);
            ++i;
        } else if (arg == "--follow") {
            if (!options->openPath.empty()) {
                return Bad(options, "one saved log at a time: " + value);
            }
            options->openPath = argv[++i];
            options->follow = true;
        } else if (arg == "--out-limit") {
            if (!TakeNumber(arg, value, kMinOutLimit, kMaxOutLimit, &number, options)) {
                return ParseResult::kBad;
            }
            options->out.limit = number;
            ++i;
        } else if (arg == "--out-keep") {
            if (!TakeNumber(arg, value, 1, RotatingFile::kMaxKeep, &number, options)) {
                return ParseResult::kBad;
            }
            options->out.keep = static_cast<unsigned>(number);
            ++i;
        } else if (arg == "--max-lines") {
            if (!TakeNumber(arg, value, 1, kMaxLines, &number, options)) {
                return ParseResult::kBad;
            }
            options->maxLines = static_cast<int>(number);
            options->boundsGiven = true;
            ++i;
        } else if (arg == "--max-bytes") {
            if (!TakeNumber(arg, value, kMinBytes, kMaxBytes, &number, options)) {
                return ParseResult::kBad;
            }
            options->maxBytes = number;
            options->boundsGiven = true;
            ++i;
        } else if (arg[0] == '-') {
            return Bad(options, "unknown option " + arg);
        } else if (!options->openPath.empty()) {
            return Bad(options, "one saved log at a time: " + arg);
        } else {
            options->openPath = argv[i];
        }
    }
    // A saved log opens in a window of its own, never headless.
    if (!headlessOption.empty() && !print) {
        return Bad(options, headlessOption + " is for --print (headless) alone");
    }
    if (!options->openPath.empty() && print) {
        return Bad(options, "a saved log opens in a window, not with --print");
    }
    if ((options->out.limit != 0 || options->out.keep != RotatingFile::kDefaultKeep ||
         options->out.daily) &&
        options->outPath.empty()) {
        return Bad(options, "--out-limit, --out-keep and --out-daily are for --out");
    }
    std::string refused;
    if (!CheckFilter(options->filter, &refused)) {
        return Bad(options, refused);
    }
    options->mode = print                        ? ViewerMode::kHeadless
                    : !options->openPath.empty() ? ViewerMode::kSavedLog
                                                 : ViewerMode::kChannel;
    return ParseResult::kRun;
}

// The viewer's window-free pieces, in process: the store of lines and its bounds, the filter and
// highlight rules, the rule for a line still being written, the options, and the settings read back
// from what another program may have left in the registry.
#include "bounded_queue.h"
#include "channel_reader.h"
#include "debug_output.h"
#include "line_filter.h"
#include "line_store.h"
#include "log_format.h"
#include "options.h"
#include "rotating_file.h"
#include "output_writer.h"
#include "settings.h"
#include "syslog_message.h"
#include "syslog_sender.h"
#include "system_text.h"
#include "wait_until.h"

#include <gtest/gtest.h>

#include <limits.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>

#include <string>
#include <thread>

namespace {

// An ASCII text as the wide calls take it.
std::wstring Wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

TEST(LineFilterTest, IncludeExcludeCaseAndHighlightOrder) {
    struct Case {
        const char* include;
        const char* exclude;
        const char* text;
        bool shown;
        const char* process = "";      // as a kept line holds it; empty: the channel's
        const char* processes = "";    // --process
        const char* notProcesses = ""; // --exclude-process
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
        {"", "", "x", true, "372 Duzar_Writer.exe", "duzar_writer"},
        {"", "", "x", true, "372 Duzar_Writer.exe", "setup; DUZAR_WRITER.EXE"},
        {"", "", "x", true, "372 duzar_writer.exe", "372"},
        {"", "", "x", false, "3721 duzar_writer.exe", "372"},
        {"", "", "x", false, "372 duzar_writer.exe", "duzar"},
        {"", "", "x", false, "372 duzar_writer.exe", "channel"},
        {"", "", "x", true, "", "channel"},
        {"", "", "x", false, "", "setup;372"},
        {"", "", "x", false, "", "", "Channel"},
        {"", "", "x", true, "372 setup.exe", "", "channel"},
        {"", "", "x", false, "372 setup.exe", "setup", "372"},
        {"", "y", "x y", false, "372 setup.exe", "setup"},
        {"", "", "x", false, "372 channel.exe", "", "channel.exe"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.include) + " / " + c.exclude + " / " + c.text + " / " +
                     c.process + " / " + c.processes + " / " + c.notProcesses);
        LineFilter filter;
        std::string error;
        ASSERT_TRUE(filter.Set({c.include, c.exclude, c.processes, c.notProcesses}, &error));
        EXPECT_EQ(c.shown, filter.Passes(c.text, c.process));
    }
    // Any number of rules, the first that matches colouring; an expression tells "line 3" from 30.
    const std::vector<HighlightRule> rules = {{"error", 1, false},    {"MyWinExec;ERROR", 2, false},
                                              {"line 3\\b", 3, true}, {"line", 4, false},
                                              {"a", 5, false},        {"b", 6, false}};
    const std::pair<const char*, int> lines[] = {
        {"MyWinExec error", 1}, {"mywinexec ok", 2}, {"LINE 3 of 9", 3},
        {"line 30", 4},         {"b a", 5},          {"b", 6},
        {"other", -1}};
    Highlighter highlighter;
    std::string error;
    ASSERT_TRUE(highlighter.Set(rules, &error)) << error;
    for (const auto& [text, rule] : lines) {
        COLORREF colour = 0;
        EXPECT_EQ(rule >= 0, highlighter.ColourOf(text, &colour)) << text;
        EXPECT_EQ(rule >= 0 ? kHighlightColours[rule].colour : 0u, colour) << text;
    }
    EXPECT_FALSE(highlighter.Set({{"x", 0, false}, {"(", 1, true}}, &error));
    COLORREF colour = 0;
    EXPECT_TRUE(highlighter.ColourOf("line 3", &colour) && colour == kHighlightColours[3].colour)
        << "a refused rule changed the rules";
}

// The raw REG_SZ value name holds, or "(none)".
std::string StoredText(const char* name) {
    std::string data(2 * kListSize, '\0');
    DWORD size = static_cast<DWORD>(data.size());
    if (RegGetValueA(HKEY_CURRENT_USER, kSettingsKey, name, RRF_RT_REG_SZ, NULL, &data[0], &size) !=
        ERROR_SUCCESS) {
        return "(none)";
    }
    return data.c_str();
}

// A saved place is used only where the window would be of a usable size on a monitor; a list is
// read only whole, up to what an edit control holds. What could not be used is never overwritten
// when other settings are saved; a list written can be read again whole.
TEST(SettingsTest, HostileValuesKeepTheDefaultsAndStay) {
    const RECT good = {100, 100, 700, 500};
    struct Case {
        const char* label;
        RECT place;
        size_t listLength;
        bool placeUsed, listUsed;
        const char* syslogUrl = "tls://collector.lab";
        bool syslogUsed = true;
    } cases[] = {
        {"as saved", good, 1030, true, true},
        {"as long as an edit control takes", good, kListSize - 1, true, true},
        {"off every monitor", {-32768, -32768, -32000, -32300}, 10, false, true},
        {"zero size", {100, 100, 100, 100}, 10, false, true},
        {"too small", {100, 100, 100 + kMinWindowWidth - 1, 400}, 10, false, true},
        {"beyond any size", {LONG_MIN, LONG_MIN, LONG_MAX, LONG_MAX}, 10, false, true},
        {"list one too long", good, kListSize, true, false},
        {"a collector without a host", good, 10, true, true, "tcp://:601", false},
        {"a collector of no known kind", good, 10, true, true, "syslog://lab", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKey);
        HKEY key = NULL;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, NULL, 0,
                                                 KEY_SET_VALUE, NULL, &key, NULL));
        WINDOWPLACEMENT placement = {};
        placement.length = sizeof placement;
        placement.showCmd = SW_SHOWNORMAL;
        placement.rcNormalPosition = c.place;
        RegSetValueExA(key, "Placement", 0, REG_BINARY, reinterpret_cast<const BYTE*>(&placement),
                       sizeof placement);
        const std::string list(c.listLength, 'q');
        RegSetValueExA(key, "Include", 0, REG_SZ, reinterpret_cast<const BYTE*>(list.c_str()),
                       static_cast<DWORD>(list.size() + 1));
        RegSetValueExA(key, "SyslogUrl", 0, REG_SZ, reinterpret_cast<const BYTE*>(c.syslogUrl),
                       static_cast<DWORD>(strlen(c.syslogUrl) + 1));
        RegCloseKey(key);
        UserSettings settings(ViewerMode::kChannel, LoadSettings());
        EXPECT_EQ(c.syslogUsed ? c.syslogUrl : "", settings.syslogUrl);
        EXPECT_EQ(c.placeUsed, settings.hasPlacement);
        EXPECT_EQ(c.listUsed ? list : "", settings.filter.include);
        settings.alwaysOnTop = true;
        EXPECT_EQ(ERROR_SUCCESS, settings.Save());
        EXPECT_EQ(list, StoredText("Include")) << "a stored list was overwritten";
        settings.filter.exclude = list;
        EXPECT_EQ(c.listUsed ? ERROR_SUCCESS : ERROR_INVALID_DATA, settings.Save())
            << "a list written must be read again whole";
        EXPECT_EQ(c.listUsed ? list : "(none)", StoredText("Exclude"));
    }
    RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKey);
}

// Highlight rules are one list, kept whole: as many as there are, each with its colour and kind;
// the three rules of an earlier version, empty ones among them, read as the rules they were.
TEST(SettingsTest, HighlightRulesAreKeptWhole) {
    RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKey);
    const DWORD two = 2;
    RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, "Highlight2", REG_SZ, "Unable", 7);
    RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, "HighlightColour2", REG_DWORD, &two,
                    sizeof two);
    UserSettings settings(ViewerMode::kChannel, LoadSettings());
    ASSERT_EQ(1u, settings.highlights.size());
    EXPECT_TRUE(settings.highlights[0] == (HighlightRule{"Unable", 2, false}));
    settings.highlights.clear();
    for (int i = 0; i < 12; ++i) {
        settings.highlights.push_back(
            {"rule " + std::to_string(i), i % kHighlightColourCount, i % 2 == 1});
    }
    EXPECT_EQ(ERROR_SUCCESS, settings.Save());
    EXPECT_TRUE(LoadSettings().highlights == settings.highlights);
    settings.highlights.resize(2);
    EXPECT_EQ(ERROR_SUCCESS, settings.Save());
    EXPECT_TRUE(LoadSettings().highlights == settings.highlights);
    RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKey);
}

// The columns' widths and the rows' font are taken only whole and within their bounds; else the
// defaults stand.
TEST(SettingsTest, ColumnsAndFontOnlyWhenUsable) {
    LOGFONTA good = {};
    good.lfHeight = -13;
    lstrcpynA(good.lfFaceName, "Consolas", LF_FACESIZE);
    LOGFONTA unterminated = good;
    memset(unterminated.lfFaceName, 'x', sizeof unterminated.lfFaceName);
    LOGFONTA huge = good;
    huge.lfHeight = -(kMaxFontHeight + 1);
    const std::array<int, kColumnCount> defaults = ViewerSettings().columnWidths;
    struct Case {
        std::vector<int> widths;
        LOGFONTA font;
        bool widthsUsed, fontUsed;
    } const cases[] = {
        {{50, 90, kMaxColumnWidth, kMinColumnWidth}, good, true, true},
        {{50, 90, kMaxColumnWidth + 1, 100}, unterminated, false, false},
        {{50, 90, kMinColumnWidth - 1, 100}, huge, false, false},
        {{50, 90, 100}, good, false, true},
    };
    for (const Case& c : cases) {
        RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKey);
        RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, "ColumnWidths", REG_BINARY,
                        c.widths.data(), static_cast<DWORD>(c.widths.size() * sizeof(int)));
        RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, "Font", REG_BINARY, &c.font,
                        sizeof c.font);
        const ViewerSettings loaded = LoadSettings();
        EXPECT_EQ(c.widthsUsed, loaded.columnWidths != defaults) << c.widths.size();
        EXPECT_EQ(c.fontUsed, loaded.hasFont) << c.font.lfHeight;
    }
    RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKey);
}

// Only the channel's window writes the user's settings; a headless viewer or a saved log's window
// changes none of them, whatever it is told.
TEST(SettingsTest, OnlyTheChannelsWindowKeepsThem) {
    for (ViewerMode mode : {ViewerMode::kChannel, ViewerMode::kHeadless, ViewerMode::kSavedLog}) {
        SCOPED_TRACE(static_cast<int>(mode));
        RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKey);
        const DWORD on = 1;
        RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, "CaptureDebugOutput", REG_DWORD, &on,
                        sizeof on);
        UserSettings settings(mode, LoadSettings());
        settings.alwaysOnTop = true;
        settings.filter.include = "MyWinExec";
        EXPECT_EQ(ERROR_SUCCESS, settings.Save());
        const ViewerSettings stored = LoadSettings();
        EXPECT_TRUE(stored.captureDebugOutput);
        EXPECT_EQ(mode == ViewerMode::kChannel, stored.alwaysOnTop);
        EXPECT_EQ(mode == ViewerMode::kChannel ? "MyWinExec" : "", stored.filter.include);
    }
    RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKey);
}

// Lines of these lengths into a store of these bounds: what stays, what the rows show.
TEST(LineStoreTest, NumbersAndBounds) {
    const size_t kCost = LineStore::kLineOverhead;
    struct Case {
        const char* label;
        size_t maxLines, maxBytes;
        std::vector<size_t> lengths;
        size_t kept;
        unsigned long firstKept;
    } cases[] = {
        {"within both", 5, 1000, {1, 2, 3}, 3, 1},
        {"lines bound", 3, 100000, {1, 1, 1, 1, 1}, 3, 3},
        {"bytes bound", 100, 3 * (20 + kCost), {20, 20, 20, 20}, 3, 2},
        {"bytes bound, exactly full", 100, 2 * (20 + kCost), {20, 20}, 2, 1},
        {"a long line pushes out several",
         100,
         3 * (20 + kCost),
         {20, 20, 20, 2 * 20 + kCost},
         2,
         3},
        {"a line beyond the budget stays alone", 100, 100, {20, 4000}, 1, 2},
        {"one line kept", 1, 100000, {1, 1}, 1, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ByteBudget budget(c.maxBytes);
        LineStore store(c.maxLines, &budget);
        size_t bytes = 0;
        for (size_t length : c.lengths) {
            store.Add(std::string(length, 'x'));
        }
        for (size_t i = c.lengths.size() - c.kept; i < c.lengths.size(); ++i) {
            bytes += std::string(c.lengths[i], 'x').capacity() + kCost; // what it holds
        }
        EXPECT_EQ(c.lengths.size(), store.Received());
        EXPECT_EQ(c.kept, store.Kept());
        EXPECT_EQ(bytes, store.Bytes());
        EXPECT_EQ(bytes, budget.Held());
        EXPECT_EQ(c.lengths.size() - c.kept, store.Dropped());
        ASSERT_EQ(c.kept, store.RowCount());
        EXPECT_EQ(c.firstKept, store.Row(0)->number);
        EXPECT_EQ(c.lengths.size(), store.Row(c.kept - 1)->number);
        EXPECT_EQ(nullptr, store.Row(c.kept));
        EXPECT_EQ(c.lengths.size() - c.kept, store.TakeRowsGone());
    }
}

// One budget for the store and the queues behind it: queues that nobody empties take room from the
// history, up to half of it together, each at least its reserve, and drop (count as lost) only past
// that; a queue that is emptied loses nothing.
TEST(LineStoreTest, OneBudgetForTheStoreAndEveryQueue) {
    struct Item {
        std::string text;
    };
    struct QueueSink : LineSink {
        BoundedQueue<Item> queue;
        bool stalled = false;
        void Line(const KeptLine& line, bool) override { queue.Push({line.text}); }
        void EndOfBatch() override {
            if (!stalled) {
                size_t held = 0;
                queue.TakeAll(&held);
                queue.GiveBack(held);
            }
        }
    };
    const size_t kLimit = 32UL << 20, kText = 4000, kLines = 12000;
    const size_t kCost = kText + LineStore::kLineOverhead;
    const size_t kQueued = BoundedQueue<Item>::Cost({std::string(kText, 'x')});
    const size_t kFull = kLimit / kCost; // lines in a budget of the store's own
    // With queues that nobody empties: the store keeps what half the budget leaves them.
    const size_t kShared = (kLimit - kLimit / 2 / kQueued * kQueued) / kCost;
    struct Case {
        const char* label;
        int stalled, emptied;
        size_t kept; // within 10: the emptied queues hold up to 9 lines when the store keeps one
    } cases[] = {{"no queue", 0, 0, kFull},
                 {"two emptied", 0, 2, kFull - 18},
                 {"one stalled, one emptied", 1, 1, kShared},
                 {"two stalled", 2, 0, kShared}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ByteBudget budget(kLimit);
        LineStore store(kLines, &budget);
        std::vector<std::unique_ptr<QueueSink>> sinks;
        for (int i = 0; i < c.stalled + c.emptied; ++i) {
            sinks.emplace_back(new QueueSink);
            sinks.back()->stalled = i < c.stalled;
            sinks.back()->queue.SetCapacity(kLines, budget);
            store.AddSink(sinks.back().get());
        }
        size_t most = 0;
        for (size_t i = 0; i < kLines; ++i) {
            store.Add(std::string(kText, 'x'));
            if (i % 10 == 9) {
                store.EndOfBatch();
            }
            most = std::max(most, budget.Held());
        }
        EXPECT_LE(most, kLimit + sinks.size() * ByteBudget::kQueueReserve + kQueued);
        EXPECT_GE(budget.Held(), kLimit - 20 * kCost);
        // What is not held is dropped: the history first, then the stalled queues' surplus.
        for (const auto& sink : sinks) {
            EXPECT_EQ(sink->stalled ? kLines - sink->queue.Size() : 0, sink->queue.Dropped());
            if (sink->stalled) { // it holds its reserve, to a line
                EXPECT_GT((sink->queue.Size() + 1) * kQueued, ByteBudget::kQueueReserve);
            }
        }
        EXPECT_NEAR(static_cast<double>(c.kept), static_cast<double>(store.Kept()), 10);
    }
}

class Collector : public LineSink {
  public:
    void Line(const KeptLine& line, bool shown) override { lines += shown ? line.text + ";" : ""; }
    void EndOfBatch() override { lines += "|"; }
    std::string lines;
};

// The filter's view: rows are the kept lines it passes, built again a slice at a time while lines
// come and go; Clear empties it and numbering goes on; the sink gets what passes, as it comes.
TEST(LineStoreTest, TheFiltersView) {
    auto texts = [](const LineStore& store) {
        std::string rows;
        for (size_t row = 0; const KeptLine* line = store.Row(row); ++row) {
            rows += std::to_string(line->number) + ":" + line->text + " ";
        }
        return rows;
    };
    struct Step {
        const char* action; // "+text" adds, "f include" filters, "s N" filters N more, "clear"
        const char* rows;
        size_t gone; // rows that left the front since the last step
    } steps[] = {
        {"+a1", "1:a1 ", 0},
        {"+b2", "1:a1 2:b2 ", 0},
        {"+a3", "1:a1 2:b2 3:a3 ", 0},
        {"f a", "", 0},
        {"s 1", "1:a1 ", 0},
        {"+a4", "", 1}, // lines 2 to 4 kept (bound 3): 1 and its row go
        {"s 1", "", 0}, // line 2 does not pass
        {"s 5", "3:a3 4:a4 ", 0},
        {"+b5", "3:a3 4:a4 ", 0},
        {"+a6", "4:a4 6:a6 ", 1},
        {"clear", "", 0},
        {"+a7", "7:a7 ", 0},
        {"f ", "", 0},
        {"s 9", "7:a7 ", 0},
    };
    ByteBudget budget(100000);
    LineStore store(3, &budget);
    Collector sink;
    store.AddSink(&sink);
    std::string error;
    for (const Step& step : steps) {
        std::string action = step.action;
        SCOPED_TRACE(action);
        if (action[0] == '+') {
            store.Add(action.substr(1));
        } else if (action[0] == 'f') {
            store.SetFilter({action.substr(2), "", "", ""}, &error);
        } else if (action[0] == 's') {
            store.FilterSome(std::stoul(action.substr(2)));
        } else {
            store.Clear();
        }
        EXPECT_EQ(step.rows, texts(store));
        EXPECT_EQ(step.gone, store.TakeRowsGone());
    }
    EXPECT_FALSE(store.Filtering());
    EXPECT_EQ(7u, store.Received());
    EXPECT_EQ(2u, store.WidestText());
    store.EndOfBatch();
    EXPECT_EQ("a1;b2;a3;a4;a6;a7;|", sink.lines);
}

// A log file's line is read back as it was written; other text is not taken for one. A saved log's
// numbers may have gaps: the rows still find their lines.
TEST(LogFileTest, LinesReadBack) {
    struct Case {
        const char* text;
        bool parsed;
        unsigned long number;
        const char* process;
        const char* line;
    } cases[] = {
        {"7\t2026-12-08T17:59:41.123\t\tMyWinExec: FendraL\\setup.exe", true, 7, "",
         "MyWinExec: FendraL\\setup.exe"},
        {"12\t2026-01-31T00:00:00.000\t4242 setup.exe\tstep 1\twith a tab", true, 12,
         "4242 setup.exe", "step 1\twith a tab"},
        {"3\t2026-12-08T17:59:41.123\t\t", true, 3, "", ""},
        {"7\t17:59:41.123\t\ttext", false, 0, "", ""},            // a copied row
        {"7\t2026-13-08T17:59:41.123\t\ttext", false, 0, "", ""}, // no month 13
        {"7\t2026-02-31T17:59:41.123\t\ttext", false, 0, "", ""}, // nor February 31st
        {"7\t2026-12-08T17:59:41.123 text", false, 0, "", ""},
        {"plain text", false, 0, "", ""},
        {"", false, 0, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        KeptLine line = {};
        ASSERT_EQ(c.parsed, ParseLogFileLine(c.text, &line));
        if (c.parsed) {
            EXPECT_EQ(c.number, line.number);
            EXPECT_EQ(c.process, line.process);
            EXPECT_EQ(c.line, line.text);
            EXPECT_EQ(c.text, LogFileLine(line));
        }
    }
    ByteBudget budget(100000);
    LineStore store(2, &budget);
    for (const char* text : {"5\t2026-12-08T10:00:00.000\t\ta", "9\t2026-12-08T10:00:01.000\t\tb",
                             "20\t2026-12-08T10:00:02.000\t1 x.exe\tc"}) {
        KeptLine line = {};
        ASSERT_TRUE(ParseLogFileLine(text, &line));
        store.AddSaved(line);
    }
    ASSERT_EQ(2u, store.RowCount());
    EXPECT_EQ(9u, store.Row(0)->number);
    EXPECT_EQ("1 x.exe", store.Row(1)->process);
    store.Add("d");
    EXPECT_EQ(21u, store.Row(1)->number);
}

// Where lines go, with which priority, and each line as a collector reads it back from a file
// that RFC 5424's own template wrote.
TEST(SyslogTest, UrlsPrioritiesAndMessagesReadBack) {
    struct Url {
        const char* text;
        const char* host; // NULL: refused
        unsigned short port;
    } const urls[] = {{"udp://collector", "collector", 514},
                      {"tcp://10.0.0.5:6514", "10.0.0.5", 6514},
                      {"tls://[::1]", "::1", 6514},
                      {"tcp://[fe80::1]:65535", "fe80::1", 65535},
                      {"tcp://h:0", NULL, 0},
                      {"tcp://h:65536", NULL, 0},
                      {"tcp://h:", NULL, 0},
                      {"tcp://:601", NULL, 0},
                      {"tcp://[::1]x", NULL, 0},
                      {"tcp://h/path", NULL, 0},
                      {"syslog://h", NULL, 0}};
    for (const Url& url : urls) {
        SyslogTarget target;
        std::string error;
        EXPECT_EQ(url.host != NULL, ParseSyslogUrl(url.text, &target, &error)) << url.text;
        EXPECT_EQ(url.host ? url.host : "", url.host ? target.host : "") << url.text;
        EXPECT_EQ(url.port, url.host ? target.port : 0) << url.text;
    }
    int priority = 0;
    std::string error;
    EXPECT_TRUE(ParseSyslogPriority("kern.emerg", &priority, &error) && priority == 0);
    EXPECT_TRUE(ParseSyslogPriority("local7.debug", &priority, &error) && priority == 191);
    EXPECT_TRUE(ParseSyslogPriority("local3.warning", &priority, &error) && priority == 156);
    EXPECT_FALSE(ParseSyslogPriority("local8.debug", &priority, &error));
    EXPECT_FALSE(ParseSyslogPriority("user", &priority, &error));

    struct Line {
        const char* process;
        const char* text;
        const char* app;      // as the message names it
        const char* shown;    // the text read back: UTF-8 on the collector's side
        const char* readBack; // the process read back
    } const lines[] = {
        {"", "MyWinExec: FendraL\\setup.exe", "duzar", "MyWinExec: FendraL\\setup.exe", ""},
        {"4242 my setup.exe", "caf\xE9 ]\" [x]\n", "my_setup.exe", "caf\xC3\xA9 ]\" [x]\n",
         "4242 my_setup.exe"},
        {"7 x.exe", "", "x.exe", "", "7 x.exe"}};
    SyslogOrigin origin = {156, "lab-pc7"};
    for (const Line& line : lines) {
        KeptLine kept = {};
        kept.number = 41;
        kept.clock = {2026, 12, 0, 9, 14, 7, 45, 244};
        kept.text = line.text;
        kept.process = line.process;
        std::string message = SyslogMessage(kept, origin);
        EXPECT_EQ(std::to_string(message.size()) + " " + message, SyslogFrame(message));
        KeptLine read = {};
        std::string host;
        ASSERT_TRUE(ParseSyslogLine(message, &read, &host)) << message;
        EXPECT_EQ(0u, message.find("<156>1 ")) << message;
        EXPECT_NE(std::string::npos, message.find(std::string(" ") + line.app + " ")) << message;
        EXPECT_EQ("lab-pc7", host);
        EXPECT_EQ(41u, read.number);
        EXPECT_EQ(0, memcmp(&kept.clock, &read.clock, sizeof kept.clock));
        EXPECT_EQ(line.shown, read.text);
        EXPECT_EQ(line.readBack, read.process);
    }
    // As a collector writes others' messages: microseconds, UTC, no structured data, no BOM.
    KeptLine read = {};
    std::string host;
    ASSERT_TRUE(
        ParseSyslogLine("<13>1 2026-12-09T14:07:45.244123Z pc sshd 77 - - hello", &read, &host));
    EXPECT_EQ("77 sshd", read.process);
    EXPECT_EQ("hello", read.text);
    EXPECT_EQ(0u, read.number);
    for (const char* refused :
         {"<13>1 2026-12-09T14:07:45Z pc a 1 - - x", "<13>2 2026-12-09T14:07:45.123Z pc a 1 - - x",
          "<13>1 2026-12-09T14:07:45.123Z pc a", "13>1 x", "<13>1 "}) {
        EXPECT_FALSE(ParseSyslogLine(refused, &read, &host)) << refused;
    }
}

class FaultCollector : public FaultSink {
  public:
    void WriteFailed(const std::string& text) override { faults.push_back(text); }
    std::vector<std::string> faults;
};

// A collector that accepts and closes at once (a full one, a balancer without a backend) is a
// failed try: the pauses between its connections grow as for one that refuses, and the break is
// said.
TEST(SyslogTest, ACollectorThatClosesAtOnceIsTriedWithGrowingPauses) {
    WSADATA data;
    ASSERT_EQ(0, WSAStartup(MAKEWORD(2, 2), &data));
    OwnedSocket listener(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    ASSERT_EQ(0, bind(listener.Get(), reinterpret_cast<sockaddr*>(&address), size));
    ASSERT_EQ(0, listen(listener.Get(), SOMAXCONN));
    getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&address), &size);
    volatile LONG accepted = 0, done = 0;
    std::thread closer([&] {
        while (!done) {
            fd_set ready;
            FD_ZERO(&ready);
            FD_SET(listener.Get(), &ready);
            timeval wait = {0, 20000};
            if (select(0, &ready, NULL, NULL, &wait) > 0) {
                closesocket(accept(listener.Get(), NULL, NULL));
                InterlockedIncrement(&accepted);
            }
        }
    });
    SyslogTarget target;
    std::string error;
    ASSERT_TRUE(ParseSyslogUrl("tcp://127.0.0.1:" + std::to_string(ntohs(address.sin_port)),
                               &target, &error));
    FaultCollector faults;
    ByteBudget budget(1UL << 24);
    SyslogSender sender(target, SyslogOrigin(), &faults);
    ASSERT_TRUE(sender.Start(1000, budget, &error)) << error;
    const DWORD start = GetTickCount();
    KeptLine line = {};
    line.text = "a line for each try";
    EXPECT_TRUE(WaitUntil([&] {
        sender.Line(line, true);
        sender.EndOfBatch();
        return accepted >= 4;
    }));
    // Before the fourth connection, three pauses at least: 0.25, 0.5 and 1 s.
    EXPECT_GE(GetTickCount() - start, 7 * SyslogSender::kFirstPauseMs);
    EXPECT_TRUE(sender.Finish(SyslogSender::kConnectWaitMs * 2));
    InterlockedExchange(&done, 1);
    closer.join();
    ASSERT_FALSE(faults.faults.empty());
    EXPECT_NE(std::string::npos, faults.faults[0].find("broke (")) << faults.faults[0];
    WSACleanup();
}

// Log to File: every line once, shown or not, as a log file's line, appended to what the file held;
// a file whose writes fail says so once, and counts the lines it lost.
TEST(LogFileTest, EveryLineOnceOrAFault) {
    const char kPath[] = "C:\\logfile-test.log";
    const char kPipe[] = "\\\\.\\pipe\\logfile-test";
    struct Case {
        const char* path;
        bool failing;
    } cases[] = {{kPath, false}, {kPath, false}, {kPipe, true}};
    DeleteFileA(kPath);
    size_t expected = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        OwnedHandle server;
        if (c.failing) {
            server.Reset(
                CreateNamedPipeA(kPipe, PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE, 1, 0, 4096, 0, NULL));
        }
        FaultCollector faults;
        ByteBudget budget(1000000);
        LogFile file(&faults, &budget);
        std::string error;
        ASSERT_TRUE(file.Open(Wide(c.path), Rotation(), &error)) << error;
        server.Reset(); // the reader goes: every write fails
        LineStore store(100, &budget);
        store.SetFilter({"shown", "", "", ""}, &error);
        store.AddSink(&file);
        for (int i = 0; i < 50; ++i) {
            store.Add(i % 2 ? "shown" : "hidden");
        }
        store.EndOfBatch();
        file.Close();
        EXPECT_EQ(store.Bytes(), budget.Held());            // the writer gave its batches back
        EXPECT_EQ(c.failing ? 50u : 0u, store.SinksLost()); // counted, to the status bar
        EXPECT_EQ(c.failing ? 1u : 0u, faults.faults.size());
        if (c.failing) {
            EXPECT_EQ(0u, faults.faults[0].find(std::string("cannot write ") + kPipe + ": "));
            continue;
        }
        expected += 50;
        std::ifstream in(kPath);
        std::string text;
        size_t count = 0;
        unsigned long last = 0;
        while (std::getline(in, text)) {
            KeptLine line = {};
            ASSERT_TRUE(ParseLogFileLine(text, &line)) << text;
            EXPECT_EQ(count % 50 == 0 ? 1u : last + 1, line.number);
            last = line.number;
            ++count;
        }
        EXPECT_EQ(expected, count);
        // It opens again with the same lines.
        ByteBudget openedBudget(1000000);
        LineStore opened(1000, &openedBudget);
        ASSERT_TRUE(LoadLogFile(Wide(kPath), &opened, &error)) << error;
        EXPECT_EQ(expected, opened.Kept());
        EXPECT_EQ("shown", opened.Row(expected - 1)->text);
    }
    DeleteFileA(kPath);
    // A read that fails is a fault, not the end of the file: here a pipe's server disconnects the
    // reader (a writer that closes its end is the end, as ever).
    OwnedHandle server(
        CreateNamedPipeA(kPipe, PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE, 1, 4096, 0, 0, NULL));
    std::thread disconnect([&] {
        ConnectNamedPipe(server.Get(), NULL);
        DisconnectNamedPipe(server.Get());
    });
    ByteBudget budget(1000000);
    LineStore opened(1000, &budget);
    std::string error;
    EXPECT_FALSE(LoadLogFile(Wide(kPipe), &opened, &error));
    disconnect.join();
    EXPECT_EQ(std::string("Cannot read ") + kPipe + ": " + SystemReason(ERROR_PIPE_NOT_CONNECTED),
              error);
}

// Close gives up on a writer blocked on a target that does not read (a full pipe) after its wait,
// and leaves it its file: what it was writing still goes whole to that file once the target reads.
TEST(LogFileTest, CloseLeavesABlockedWriterItsFile) {
    const char kPipe[] = "\\\\.\\pipe\\logfile-blocked";
    const size_t kLines = 20, kText = 1000; // far more than the pipe holds
    OwnedHandle server(
        CreateNamedPipeA(kPipe, PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE, 1, 0, 4096, 0, NULL));
    FaultCollector faults;
    ByteBudget budget(1UL << 20);
    LogFile file(&faults, &budget);
    std::string error;
    ASSERT_TRUE(file.Open(Wide(kPipe), Rotation(), &error)) << error;
    LineStore store(kLines, &budget);
    store.AddSink(&file);
    for (size_t i = 0; i < kLines; ++i) {
        store.Add(std::string(kText, 'x'));
    }
    store.EndOfBatch();
    file.Close();
    EXPECT_FALSE(file.IsOpen());
    std::string got;
    char buffer[4096];
    DWORD read = 0;
    while (std::count(got.begin(), got.end(), '\n') < static_cast<long>(kLines) &&
           ReadFile(server.Get(), buffer, sizeof buffer, &read, NULL)) {
        got.append(buffer, read);
    }
    EXPECT_EQ(kLines, static_cast<size_t>(std::count(got.begin(), got.end(), '\n')));
    EXPECT_NE(std::string::npos, got.find(LogFileLine(*store.KeptAt(kLines - 1)) + "\r\n"));
    EXPECT_TRUE(faults.faults.empty()) << faults.faults[0];
}

// A line without its line feed waits for it, unless it stands unchanged for TailRule::kStaleMs.
TEST(TailRuleTest, AnUnfinishedLineWaitsUntilStale) {
    const DWORD kStale = TailRule::kStaleMs;
    struct Step {
        const char* text;
        DWORD now;
        size_t take;
    } steps[] = {
        {"a\nb\n", 0, 4},                       // complete lines: all
        {"a\npart", 10, 2},                     // the tail waits
        {"part", 10 + kStale - 1, 0},           // not yet stale
        {"part", 10 + kStale, 4},               // stale: taken
        {"more", 20000, 0},                     //
        {"more, longer", 20000 + kStale, 0},    // changed: its time starts again
        {"more, longer\n", 20001 + kStale, 13}, //
        {"late", 0xFFFFFFF0u, 0},               // the tick count wraps
        {"late", 0xFFFFFFF0u + kStale, 4},      //
    };
    TailRule rule;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.text);
        EXPECT_EQ(step.take, rule.LinesToTake(step.text, strlen(step.text), step.now));
    }
}

// One empty wake-up in a row is a writer's event for a line already taken: no pause. From the
// second on, the pause doubles up to its ceiling, and never overflows.
TEST(ChannelReaderTest, EmptyWakeUpsPauseLongerUpToACeiling) {
    const DWORD kFirst = ChannelReader::kEmptyWakePauseMs;
    const DWORD kCeiling = kFirst << ChannelReader::kEmptyWakeDoublings;
    const std::pair<int, DWORD> table[] = {
        {0, 0},        {1, 0},        {2, kFirst},      {3, 2 * kFirst},
        {7, kCeiling}, {8, kCeiling}, {1000, kCeiling}, {INT_MAX, kCeiling}};
    for (const auto& [wakes, pause] : table) {
        EXPECT_EQ(pause, ChannelReader::EmptyWakePause(wakes)) << wakes << " empty wake-ups";
    }
}

// Expressions, as ECMAScript reads them, case ignored. A bad one is refused with its reason and the
// filter stays as it was; a costly one on the longest line a client sends ends, counted as given
// up.
TEST(LineFilterTest, ExpressionsMatchAreRefusedAndEndOnTheLongestLine) {
    const std::string longest(4095, 'a');
    const std::string nested = std::string(300, '(') + std::string(300, ')');
    struct Case {
        std::string include, exclude, text;
        bool shown;
        const char* refused = nullptr; // what the reason says
        bool gaveUp = false;
    } const cases[] = {
        {"line [0-9]+$", "", "MyWinExec: LINE 12", true},
        {"line [0-9]+$", "", "line 12\n", false},
        {"^(get|set)lock", "", "GetLock: 258", true},
        {"a;b", "", "a", false},
        {"a;b", "", "xa;bx", true},
        {"", "heart\\s*beat", "Heart  beat", false},
        {"\\u0041", "", "a", true},
        {"(x)?\\1y", "", "y", true},
        {"(", "", "", false, "missing closing parenthesis at offset 1 of ("},
        {"", "[a", "", false, "missing terminating ]"},
        {"a{2,1}", "", "", false, "numbers out of order"},
        {"\\C", "", "", false, "\\C"},
        {nested, "", "", false, "too deeply nested"},
        {"(a|a)*[bc]", "", longest, false, nullptr, true},
        {"", "(a|a)*[bc]", longest, true, nullptr, true},
        {"(a*)*$", "", longest, true},
        {"a(?=a{4094})", "", longest, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.include.substr(0, 40) + " / " + c.exclude);
        LineFilter filter;
        std::string error;
        ASSERT_TRUE(filter.Set({"kept", "", "", ""}, &error));
        FilterLists lists = {c.include, c.exclude, "", "", true};
        EXPECT_EQ(!c.refused, CheckFilter(lists, &error));
        EXPECT_EQ(!c.refused, filter.Set(lists, &error));
        if (c.refused) {
            EXPECT_NE(std::string::npos, error.find(c.refused)) << error;
            EXPECT_TRUE(filter.Passes("kept", "") && !filter.Passes("other", ""));
            continue;
        }
        EXPECT_EQ(c.shown, filter.Passes(c.text, ""));
        EXPECT_EQ(c.gaveUp ? 1u : 0u, filter.GaveUp());
    }
}

// Bounds changed from the window are met at once, and hold for the lines that follow.
TEST(LineStoreTest, NewBoundsAreMetAtOnce) {
    ByteBudget budget(1 << 20);
    LineStore store(100, &budget);
    for (int i = 1; i <= 10; ++i) {
        store.Add("line " + std::to_string(i));
    }
    const struct {
        size_t lines, bytes;
        const char* added; // a line added after the bounds changed, or none
        size_t kept;
        unsigned long oldest;
    } steps[] = {
        {4, 1 << 20, nullptr, 4, 7},    {100, 1, nullptr, 1, 10},
        {100, 1, "line 11", 1, 11},     {100, 1 << 20, "line 12", 2, 11},
        {0, 1 << 20, "line 13", 1, 13},
    };
    for (const auto& step : steps) {
        store.SetBounds(step.lines, step.bytes);
        if (step.added) {
            store.Add(step.added);
        }
        EXPECT_EQ(step.kept, store.Kept()) << step.lines << " " << step.bytes;
        EXPECT_EQ(step.oldest, store.KeptAt(0)->number);
    }
}

// Bookmarks stay on their lines through a new filter and lines dropped from the front, and go with
// a dropped line; F2 and Shift+F2 go round the rows shown.
TEST(LineStoreTest, BookmarksStayOnTheirLines) {
    ByteBudget budget(100000);
    LineStore store(5, &budget);
    std::string error;
    auto refilter = [&](const char* include) {
        ASSERT_TRUE(store.SetFilter({include, "", "", ""}, &error));
        while (store.FilterSome(10)) {
        }
    };
    for (const char* text : {"a1", "b2", "a3", "b4", "a5"}) {
        store.Add(text);
    }
    store.ToggleBookmark(1);
    store.ToggleBookmark(2);
    store.ToggleBookmark(4);
    store.ToggleBookmark(4);
    struct Step {
        const char* action; // "a" or "" a filter, "+x" a line, "*n" toggles row n, "clear"
        long from;
        bool forward;
        long row; // NextBookmark's answer
    } const steps[] = {
        {"", -1, true, 1},    {"", 1, true, 2},     {"", 2, true, 1},
        {"", -1, false, 2},   {"", 1, false, 2},    {"a", -1, true, 1},
        {"a", 1, false, 1},   {"", 0, true, 1},     {"+b6", 3, true, 0}, // a1 dropped: b2 is row 0
        {"+a7", 0, true, 0}, // b2 dropped with its bookmark: a3 alone, row 0
        {"+a8", 4, true, -1}, {"*2", -1, false, 2}, {"clear", -1, true, -1},
    };
    for (const Step& step : steps) {
        std::string action = step.action;
        SCOPED_TRACE(action + " " + std::to_string(step.from));
        if (action[0] == '+') {
            store.Add(action.substr(1));
        } else if (action[0] == '*') {
            store.ToggleBookmark(std::stoul(action.substr(1)));
        } else if (action == "clear") {
            store.Clear();
            store.Add("x");
        } else {
            refilter(step.action);
        }
        EXPECT_EQ(step.row, store.NextBookmark(step.from, step.forward));
    }
}

// The session's reader and the machine's listen on objects of their own: a line written as a
// service writes it (to "Global\\DBWIN_BUFFER") reaches the machine's reader alone, with its
// writer.
TEST(DebugOutputTest, TheMachinesDebugOutputIsReadBesideTheSessions) {
    for (DebugScope scope : {DebugScope::kSession, DebugScope::kGlobal}) {
        const std::string prefix = scope == DebugScope::kGlobal ? "Global\\" : "";
        SCOPED_TRACE(prefix);
        ByteBudget budget(1 << 20);
        Arrivals session, global;
        session.SetCapacity(100, budget);
        global.SetCapacity(100, budget);
        DebugCaptures captures;
        std::string error;
        ASSERT_TRUE(captures.session.Start(&session, &error)) << error;
        ASSERT_TRUE(captures.global.Start(&global, &error)) << error;
        OwnedHandle ready(OpenEventA(SYNCHRONIZE, FALSE, (prefix + "DBWIN_BUFFER_READY").c_str()));
        OwnedHandle data(
            OpenEventA(EVENT_MODIFY_STATE, FALSE, (prefix + "DBWIN_DATA_READY").c_str()));
        OwnedHandle map(OpenFileMappingA(FILE_MAP_WRITE, FALSE, (prefix + "DBWIN_BUFFER").c_str()));
        OwnedView view(MapViewOfFile(map.Get(), FILE_MAP_WRITE, 0, 0, 0));
        ASSERT_TRUE(ready && data && view);
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready.Get(), 10000));
        const DWORD id = GetCurrentProcessId();
        memcpy(view.Get(), &id, sizeof id);
        strcpy(static_cast<char*>(view.Get()) + sizeof id, "from a service\n");
        SetEvent(data.Get());
        Arrivals& reader = scope == DebugScope::kGlobal ? global : session;
        std::deque<Arrival> taken;
        EXPECT_TRUE(WaitUntil([&] { return !(taken = reader.TakeAll()).empty(); }));
        ASSERT_EQ(1u, taken.size());
        EXPECT_EQ("from a service", taken[0].text);
        EXPECT_EQ(0u, taken[0].process.find(std::to_string(id) + " "));
        EXPECT_TRUE((scope == DebugScope::kGlobal ? session : global).TakeAll().empty());
    }
}

// A file's bytes, or nothing.
std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A file with a size limit switches between two lines, never within one: each file holds whole
// lines within the limit (a longer line alone), no more than keep older files stay, and together,
// oldest first, they end with every line written, in order.
// A clock on which each reading is another day.
WORD g_day = 0;
void WINAPI EachReadingADay(LPSYSTEMTIME now) {
    *now = {2026, 12, 0, static_cast<WORD>(++g_day % 28 + 1), 12, 0, 0, 0};
}

TEST(RotatingFileTest, SwitchesBetweenLinesAndKeepsTheNewest) {
    const std::wstring path = L"C:\\rotating-test.log";
    struct Case {
        ULONGLONG limit;
        unsigned keep;
        size_t batch; // lines a write
        unsigned switches;
        bool daily = false; // each write on another day
    } const cases[] = {{0, 3, 7, 0},    {100, 3, 1, 6},      {100, 3, 5, 6},
                       {300, 1, 50, 2}, {0, 3, 10, 5, true}, {0, 99, 1, 59, true}};
    std::string all;
    for (int i = 0; i < 60; ++i) {
        all += "line " + std::to_string(i) + (i == 30 ? std::string(150, 'x') : "") + "\n";
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.limit) + " " + std::to_string(c.keep));
        for (unsigned n = 0; n <= RotatingFile::kMaxKeep; ++n) {
            DeleteFileW((path + (n ? L"." + std::to_wstring(n) : L"")).c_str());
        }
        {
            RotatingFile file;
            file.SetClock(c.daily ? EachReadingADay : GetLocalTime);
            std::string error;
            ASSERT_TRUE(file.Open(path, {c.limit, c.keep, c.daily}, false, &error)) << error;
            for (size_t at = 0, count = 0; at < all.size(); count = 0) {
                size_t end = at;
                while (end < all.size() && count++ < c.batch) {
                    end = all.find('\n', end) + 1;
                }
                DWORD code = 0;
                ASSERT_TRUE(file.Write(all.substr(at, end - at), &code)) << code;
                at = end;
            }
            EXPECT_EQ(c.switches, file.Switches());
        }
        std::string joined;
        for (unsigned n = c.keep + 1; n-- > 0;) {
            std::string name = "C:\\rotating-test.log" + (n ? "." + std::to_string(n) : "");
            std::string text = ReadText(name);
            EXPECT_TRUE(n <= c.keep || GetFileAttributesA(name.c_str()) == INVALID_FILE_ATTRIBUTES);
            EXPECT_TRUE(text.empty() || text.back() == '\n') << name;
            EXPECT_TRUE(c.limit == 0 || text.size() <= c.limit ||
                        text.find('\n') == text.size() - 1)
                << name << ": " << text.size();
            joined += text;
        }
        ASSERT_LE(joined.size(), all.size());
        EXPECT_EQ(all.substr(all.size() - joined.size()), joined);
        EXPECT_TRUE(joined.size() == all.size() || all[all.size() - joined.size() - 1] == '\n');
    }
    // Appended to (Log to File), what the file held counts toward the limit.
    ASSERT_EQ("line 59\n", ReadText("C:\\rotating-test.log"));
    RotatingFile file;
    std::string error;
    DWORD code = 0;
    ASSERT_TRUE(file.Open(path, {12, 1, false}, true, &error)) << error;
    EXPECT_TRUE(file.Write("ab\n", &code) && file.Write("cd\n", &code));
    EXPECT_EQ(1u, file.Switches());
    EXPECT_EQ("line 59\nab\n", ReadText("C:\\rotating-test.log.1"));
    // Held by a reader that does not let it be renamed: the file grows on, nothing else moves,
    // and the switch comes once the reader has let go.
    OwnedHandle reader(CreateFileA("C:\\rotating-test.log", GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0,
                                   NULL));
    ASSERT_TRUE(reader);
    EXPECT_TRUE(file.Write("ef\ngh\nij\n", &code) && file.Write("kl\n", &code)) << code;
    EXPECT_EQ(1u, file.Switches());
    EXPECT_EQ(1u, file.Postponed());
    EXPECT_EQ("line 59\nab\n", ReadText("C:\\rotating-test.log.1"));
    reader.Reset();
    EXPECT_TRUE(file.Write("mn\n", &code)) << code;
    EXPECT_EQ(2u, file.Switches());
    EXPECT_EQ("cd\nef\ngh\nij\nkl\n", ReadText("C:\\rotating-test.log.1"));
    EXPECT_EQ("mn\n", ReadText("C:\\rotating-test.log"));
}

TEST(LineFilterTest, TheSummaryNamesEachListCutShort) {
    const std::pair<FilterLists, std::string> table[] = {
        {{"", "", "", ""}, ""},
        {{"a;b", "", "", ""}, "filter: include \"a;b\""},
        {{"", "c", "", ""}, "filter: exclude \"c\""},
        {{"a", "c", "", ""}, "filter: include \"a\", exclude \"c\""},
        {{"12345", "123456", "", ""}, "filter: include \"12345\", exclude \"12345...\""},
        {{"", "", "setup", "72"}, "filter: process \"setup\", not process \"72\""},
    };
    for (const auto& [lists, summary] : table) {
        EXPECT_EQ(summary, FilterSummary(lists, 5));
    }
}

TEST(OptionsTest, WholeNumbersInRangeAndHeadlessOptionsWithPrint) {
    struct Case {
        std::vector<const char*> args;
        ParseResult result;
        int maxLines;
        unsigned long maxBytes;
        const char* problem = nullptr; // what the message names, for a bad command line
    } cases[] = {
        {{}, ParseResult::kRun, kDefaultMaxLines, kDefaultMaxBytes},
        {{"--print", "--seconds", "2147483"},
         ParseResult::kRun,
         kDefaultMaxLines,
         kDefaultMaxBytes},
        {{"--print", "--seconds", "2147484"},
         ParseResult::kBad,
         0,
         0,
         "--seconds: \"2147484\" is not a whole number from 0 to 2147483"},
        {{"--print", "--seconds", "1x"}, ParseResult::kBad, 0, 0},
        {{"--print", "--seconds", "-1"}, ParseResult::kBad, 0, 0},
        {{"--print", "--seconds"}, ParseResult::kBad, 0, 0, "--seconds needs a value"},
        {{"--max-lines", "0"}, ParseResult::kBad, 0, 0, "--max-lines: \"0\""},
        {{"--max-lines", "1"}, ParseResult::kRun, 1, kDefaultMaxBytes},
        {{"--max-lines", "1000000"}, ParseResult::kRun, 1000000, kDefaultMaxBytes},
        {{"--max-lines", "1000001"}, ParseResult::kBad, 0, 0},
        {{"--max-lines", "99999999999999999999"}, ParseResult::kBad, 0, 0},
        {{"--max-bytes", "1048575"}, ParseResult::kBad, 0, 0},
        {{"--max-bytes", "1048576"}, ParseResult::kRun, kDefaultMaxLines, 1048576},
        {{"--max-bytes", "268435456"}, ParseResult::kRun, kDefaultMaxLines, 268435456},
        {{"--max-bytes", "268435457"}, ParseResult::kBad, 0, 0},
        {{"--out", "x.txt"}, ParseResult::kBad, 0, 0, "--out is for --print"},
        {{"--max-lines", "5", "--time"}, ParseResult::kBad, 0, 0, "--time is for --print"},
        {{"--exclude-process", "7"}, ParseResult::kBad, 0, 0, "--exclude-process is for --print"},
        {{"--print", "--process"}, ParseResult::kBad, 0, 0, "--process needs a value"},
        {{"--print", "--out", "x", "--out-limit", "1023"},
         ParseResult::kBad,
         0,
         0,
         "--out-limit: \"1023\" is not a whole number from 1024 to 4294967295"},
        {{"--print", "--out-limit", "2048"}, ParseResult::kBad, 0, 0, "are for --out"},
        {{"--print", "--out-daily"}, ParseResult::kBad, 0, 0, "are for --out"},
        {{"--print", "--out", "x", "--out-keep", "100"}, ParseResult::kBad, 0, 0},
        {{"--print", "--out", "x", "--out-limit", "4294967295", "--out-keep", "99"},
         ParseResult::kRun,
         kDefaultMaxLines,
         kDefaultMaxBytes},
        {{"--print", "--regex", "--include", "a|b", "--exclude", "(c"},
         ParseResult::kBad,
         0,
         0,
         "expression is refused: missing closing parenthesis at offset 2 of (c"},
        {{"--print", "--include", "(c"}, ParseResult::kRun, kDefaultMaxLines, kDefaultMaxBytes},
        {{"--print", "--bogus"}, ParseResult::kBad, 0, 0, "unknown option --bogus"},
        {{"--syslog", "udp://h"}, ParseResult::kBad, 0, 0, "--syslog is for --print"},
        {{"--print", "--syslog", "http://h"}, ParseResult::kBad, 0, 0, "is not udp://"},
        {{"--print", "--syslog-priority", "user.loud"}, ParseResult::kBad, 0, 0, "FACILITY"},
        {{"a.log", "b.log"}, ParseResult::kBad, 0, 0, "one saved log at a time: b.log"},
        {{"a.log", "--print"}, ParseResult::kBad, 0, 0, "a saved log opens in a window"},
        {{"--include", "a", "--print"}, ParseResult::kRun, kDefaultMaxLines, kDefaultMaxBytes},
        {{"--print", "-h"}, ParseResult::kHelp, 0, 0},
        {{"/?"}, ParseResult::kHelp, 0, 0},
    };
    for (const Case& c : cases) {
        std::vector<std::wstring> args = {L"logview"};
        std::string label;
        for (const char* arg : c.args) {
            args.push_back(Wide(arg));
            label += std::string(arg) + " ";
        }
        std::vector<wchar_t*> argv;
        for (std::wstring& arg : args) {
            argv.push_back(&arg[0]);
        }
        SCOPED_TRACE(label);
        Options options;
        EXPECT_EQ(c.result, ParseOptions(static_cast<int>(argv.size()), argv.data(), &options));
        if (c.result == ParseResult::kRun) {
            EXPECT_EQ(c.maxLines, options.maxLines);
            EXPECT_EQ(c.maxBytes, options.maxBytes);
        }
        if (c.result == ParseResult::kBad) {
            EXPECT_NE(std::string::npos, options.problem.find(c.problem ? c.problem : ""));
            EXPECT_FALSE(options.problem.empty());
        }
    }
}

} // namespace

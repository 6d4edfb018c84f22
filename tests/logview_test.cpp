// The log viewer as a real program: started, fed by real clients, read back from its list or its
// headless output.
#include "box_watcher.h"
#include "channel_reader.h"
#include "child_process.h"
#include "collector.h"
#include "duzar.h"
#include "logview_resource.h"
#include "menu_harness.h"
#include "resource.h"
#include "log_format.h"
#include "rotating_file.h"
#include "settings.h"
#include "system_text.h"
#include "viewer_status.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <thread>

namespace {

const char kWork[] = "C:\\logview";
const std::string kOut = std::string(kWork) + "\\out.txt";
const std::string kErr = std::string(kWork) + "\\err.txt";
const char kErrorFile[] = "C:\\duzar.err";

// The command line that starts the viewer under test with options.
std::string ViewerCommand(const std::string& options) {
    return "\"" + ProgramPath("LOGVIEW_EXE", LOGVIEW_EXE) + "\" " + options;
}

// A started viewer, once its window exists; closed as a user closes it.
class RunningViewer {
  public:
    explicit RunningViewer(const std::string& options, HANDLE out = NULL,
                           const std::string& title = duzar::kViewerTitle)
        : m_process(ViewerCommand(options), kWork, "", kErr, out) {
        // The window is found by its title before its status bar exists: ready once that shows.
        EXPECT_TRUE(WaitUntil([&] {
            m_window = FindWindowA(NULL, title.c_str());
            return m_window && !Status().empty();
        })) << "the viewer's window did not appear";
    }
    HWND Window() const { return m_window; }
    HWND List() const { return GetDlgItem(m_window, IDC_LINES); }
    // The rows as the viewer copies them: its list keeps no text. The selection is kept.
    std::vector<std::string> Rows() const {
        std::vector<std::string> rows;
        if (SendMessageA(List(), LB_GETCOUNT, 0, 0) <= 0) {
            return rows;
        }
        std::vector<int> selected = Selected();
        SendMessageA(m_window, WM_COMMAND, IDM_SELECT_ALL, 0);
        SendMessageA(m_window, WM_COMMAND, IDM_COPY, 0);
        SendMessageA(List(), LB_SETSEL, FALSE, -1);
        for (int row : selected) {
            SendMessageA(List(), LB_SETSEL, TRUE, row);
        }
        std::string copied = Clipboard();
        for (size_t start = 0, end; (end = copied.find("\r\n", start)) != std::string::npos;
             start = end + 2) {
            rows.push_back(copied.substr(start, end - start));
        }
        return rows;
    }
    static std::string Clipboard() {
        std::string text;
        if (OpenClipboard(NULL)) {
            if (HANDLE data = GetClipboardData(CF_TEXT)) {
                text = static_cast<const char*>(GlobalLock(data));
                GlobalUnlock(data);
            }
            CloseClipboard();
        }
        return text;
    }
    // The text of each row, without its number, time and process.
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const std::string& row : Rows()) {
            KeptLine line = {};
            texts.push_back(ParseLogFileLine(row, &line) ? line.text : row);
        }
        return texts;
    }
    std::vector<std::string> WaitForTexts(size_t count) const {
        for (int i = 0; i < 600 && Texts().size() < count; ++i) {
            Sleep(50);
        }
        return Texts();
    }
    std::string Status() const { return ViewerStatus(m_window); }
    StatusCounts Count() const {
        StatusCounts counts;
        EXPECT_TRUE(ParseStatus(Status(), &counts)) << "status not understood: " << Status();
        return counts;
    }
    // Opens a dialog of the viewer with command, as its menu item does.
    HWND OpenDialog(WORD command) const {
        PostMessageA(m_window, WM_COMMAND, command, 0);
        HWND dialog = NULL;
        for (int i = 0; i < 600 && !(dialog = FindDialogOf(m_process.Id())); ++i) {
            Sleep(50);
        }
        EXPECT_NE(nullptr, dialog) << "no dialog for command " << command;
        return dialog;
    }
    // Sets the filter in its dialog; returns once the rows show it.
    void Filter(const char* include, const char* exclude) const {
        HWND dialog = OpenDialog(IDM_FILTER);
        SetDlgItemTextA(dialog, IDC_INCLUDE, include);
        SetDlgItemTextA(dialog, IDC_EXCLUDE, exclude);
        PostMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
        for (int i = 0; i < 600 && (IsWindow(dialog) || Count().filtering); ++i) {
            Sleep(50);
        }
    }
    // The selected rows' indexes.
    std::vector<int> Selected() const {
        std::vector<int> rows;
        LRESULT count = SendMessageA(List(), LB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            if (SendMessageA(List(), LB_GETSEL, static_cast<WPARAM>(i), 0) > 0) {
                rows.push_back(static_cast<int>(i));
            }
        }
        return rows;
    }
    DWORD Close() const {
        PostMessageA(m_window, WM_CLOSE, 0, 0);
        return m_process.Wait();
    }
    void Kill() const { m_process.Kill(); }

  private:
    ChildProcess m_process;
    HWND m_window = NULL;
};

class LogViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        CreateDirectoryA(kWork, NULL);
        DeleteFileA(kOut.c_str());
        DeleteFileA(kErrorFile);
        SetCurrentDirectoryA("C:\\");
        RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsKey);
    }
    void TearDown() override { DeleteFileA(kErrorFile); }

    static std::string Writer(int id, int lines, int pauseMs = 0, int pad = 0) {
        return "\"" + WinePath(WRITER_EXE) + "\" " + std::to_string(id) + " " +
               std::to_string(lines) + " " + std::to_string(pauseMs) + " " + std::to_string(pad);
    }

    // Checks that lines hold each writer's lines once, whole and in order; returns how many of
    // each arrived, and the first number seen of each.
    static std::map<int, std::pair<int, int>> CheckWriters(const std::vector<std::string>& lines) {
        std::map<int, std::pair<int, int>> seen; // writer -> (count, first)
        std::map<int, int> last;
        for (const std::string& line : lines) {
            int writer = -1, number = -1, length = 0;
            EXPECT_EQ(2, sscanf(line.c_str(), "writer %d line %d%n", &writer, &number, &length))
                << "not a whole line: " << line;
            std::string pad = line.substr(static_cast<size_t>(length));
            EXPECT_TRUE(pad.empty() || pad == " " + std::string(pad.size() - 1, 'x'))
                << "not a whole line: " << line;
            if (last.count(writer)) {
                EXPECT_GT(number, last[writer]) << "writer " << writer << " out of order";
            } else {
                seen[writer].second = number;
            }
            last[writer] = number;
            ++seen[writer].first;
        }
        return seen;
    }
};

TEST_F(LogViewTest, NumbersAndTimesEachLineAndKeepsItsTitle) {
    RunningViewer viewer("");
    LogClient client;
    EXPECT_EQ(0, client.Logf("first"));
    EXPECT_EQ(0, client.Log("second, "));
    // Drains pass while the line has no line feed yet: it stays whole. The time passing is what is
    // tested here: a wait cut short only tests less.
    Sleep(3 * ChannelReader::kDrainPeriodMs);
    EXPECT_EQ(0, client.Logf("continued"));
    // A line whose line feed never comes is taken once it has stood for a while.
    EXPECT_EQ(0, client.Log("no line feed"));
    std::vector<std::string> texts = viewer.WaitForTexts(3);
    EXPECT_EQ((std::vector<std::string>{"first", "second, continued", "no line feed"}), texts);
    std::vector<std::string> rows = viewer.Rows();
    ASSERT_EQ(3u, rows.size());
    EXPECT_TRUE(
        std::regex_match(rows[0], std::regex("1\t[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-2][0-9]:[0-5][0-9]:"
                                             "[0-5][0-9]\\.[0-9]{3}\t\tfirst")))
        << rows[0];
    EXPECT_EQ(0u, rows[1].find("2\t")) << rows[1];
    char title[64] = {};
    GetWindowTextA(viewer.Window(), title, sizeof title);
    EXPECT_STREQ(duzar::kViewerTitle, title);
    EXPECT_EQ(0u, viewer.Close());
}

// Lines the reader drained join the view before a line that a client flushes later: the flush
// happens under the lock, after the drain.
TEST_F(LogViewTest, FlushedLinesFollowDrainedOnes) {
    RunningViewer viewer("");
    HANDLE lock = CreateMutexA(NULL, FALSE, duzar::kLockName);
    HANDLE map = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, duzar::kMapName);
    ASSERT_NE(nullptr, map);
    char* view = static_cast<char*>(MapViewOfFile(map, FILE_MAP_ALL_ACCESS, 0, 0, 4096));
    WaitForSingleObject(lock, INFINITE);
    strcpy(view, "a\nb\n");
    ReleaseMutex(lock);
    HANDLE event = OpenEventA(EVENT_MODIFY_STATE, FALSE, duzar::kEventName);
    SetEvent(event);
    for (int i = 0; i < 600; ++i) {
        WaitForSingleObject(lock, INFINITE);
        bool drained = view[0] == '\0';
        if (drained) {
            EXPECT_EQ(std::string(duzar::kBufferSize, '\0'), std::string(view, duzar::kBufferSize))
                << "not emptied whole";
            // Still holding the lock, as a client that flushes does.
            LRESULT index =
                SendMessageA(viewer.Window(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("c"));
            EXPECT_EQ(2, index);
            SendMessageA(viewer.Window(), LB_SETTOPINDEX, static_cast<WPARAM>(index), 0);
        }
        ReleaseMutex(lock);
        if (drained) {
            break;
        }
        Sleep(10);
    }
    EXPECT_EQ((std::vector<std::string>{"a", "b", "c"}), viewer.WaitForTexts(3));
    // Any program may send a line: it is read no further than a client's line can be long.
    const std::string huge(3 * duzar::kBufferSize, 'y');
    SendMessageA(viewer.Window(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(huge.c_str()));
    EXPECT_EQ(huge.substr(0, duzar::kBufferSize - 1), viewer.WaitForTexts(4).at(3));
    // One too large for the system to deliver, a title, and a count of rows sent to the list: the
    // viewer stays, under its title, with its rows.
    const std::string tooLarge(1100000, 'z');
    DWORD_PTR answer = 0;
    SendMessageTimeoutA(viewer.Window(), LB_ADDSTRING, 0,
                        reinterpret_cast<LPARAM>(tooLarge.c_str()), SMTO_NORMAL, 2000, &answer);
    SendMessageA(viewer.Window(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("Hijacked"));
    SendMessageA(viewer.List(), LB_SETCOUNT, 0x7FFFFFFF, 0);
    EXPECT_NE(0, SendMessageTimeoutA(viewer.Window(), WM_NULL, 0, 0, SMTO_NORMAL, 5000, &answer));
    EXPECT_EQ(viewer.Window(), FindWindowA(NULL, duzar::kViewerTitle));
    EXPECT_EQ(4, SendMessageA(viewer.List(), LB_GETCOUNT, 0, 0));
    UnmapViewOfFile(view);
    CloseHandle(map);
    CloseHandle(event);
    CloseHandle(lock);
    EXPECT_EQ(0u, viewer.Close());
}

TEST_F(LogViewTest, KeepsABoundedNumberOfLines) {
    RunningViewer viewer("--max-lines 5");
    LogClient client;
    for (int i = 1; i <= 8; ++i) {
        client.Logf("line %d", i);
    }
    auto lastArrived = [&] {
        std::vector<std::string> rows = viewer.Rows();
        return !rows.empty() && rows.back().find("line 8") != std::string::npos;
    };
    for (int i = 0; i < 600 && !lastArrived(); ++i) {
        Sleep(50);
    }
    std::vector<std::string> rows = viewer.Rows();
    ASSERT_EQ(5u, rows.size());
    EXPECT_EQ(0u, rows[0].find("4\t")) << rows[0];
    StatusCounts counts = viewer.Count();
    EXPECT_EQ(8u, counts.lines);
    EXPECT_EQ(5u, counts.kept);
    EXPECT_EQ(0u, viewer.Close());
}

// Copy puts the selected rows on the clipboard; Clear empties the view but numbering goes on.
TEST_F(LogViewTest, CopyAndClear) {
    RunningViewer viewer("");
    LogClient client;
    for (const char* text : {"one", "two", "three"}) {
        client.Logf("%s", text);
    }
    ASSERT_EQ(3u, viewer.WaitForTexts(3).size());
    SendMessageA(viewer.List(), LB_SETSEL, TRUE, 1);
    SendMessageA(viewer.Window(), WM_COMMAND, IDM_COPY, 0);
    EXPECT_EQ(viewer.Rows().at(1) + "\r\n", RunningViewer::Clipboard());

    SendMessageA(viewer.Window(), WM_COMMAND, IDM_CLEAR, 0);
    EXPECT_TRUE(viewer.Rows().empty());
    client.Logf("four");
    std::vector<std::string> after = viewer.WaitForTexts(1);
    EXPECT_EQ(std::vector<std::string>{"four"}, after);
    ASSERT_FALSE(viewer.Rows().empty());
    EXPECT_EQ(0u, viewer.Rows()[0].find("4\t")) << viewer.Rows()[0];
    EXPECT_EQ(0u, viewer.Close());
}

// Save As writes the kept lines as a log file's, on a thread of its own, while the window answers.
TEST_F(LogViewTest, SaveAsWritesTheKeptLines) {
    const std::string path = std::string(kWork) + "\\saved-as.log";
    DeleteFileA(path.c_str());
    RunningViewer viewer("");
    LogClient client;
    for (const char* text : {"one", "two", "three"}) {
        client.Logf("%s", text);
    }
    ASSERT_EQ(3u, viewer.WaitForTexts(3).size());
    HWND dialog = viewer.OpenDialog(IDM_SAVE);
    // The file dialog's name field: a combo box (cmb13) or, in older dialogs, an edit (edt1).
    SetDlgItemTextA(dialog, GetDlgItem(dialog, 1148) ? 1148 : 1152, path.c_str());
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(WaitUntil([&] { return ReadLines(path).size() == 3; })) << ReadFileText(path);
    const std::vector<std::string> lines = ReadLines(path);
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_TRUE(std::regex_match(lines[i], std::regex(std::to_string(i + 1) +
                                                          "\t[-0-9]{10}T[:.0-9]{12}\t\t" +
                                                          viewer.Texts().at(i))))
            << lines[i];
    }
    EXPECT_EQ(0u, viewer.Close());
}

// A filter hides lines without losing them, numbered as they came; it, always-on-top and the time
// column's form are kept for the next run.
TEST_F(LogViewTest, FilterHidesLinesAndSettingsSurviveARestart) {
    LogClient client;
    {
        RunningViewer viewer("");
        for (const char* text : {"MyWinExec: a", "heartbeat 1", "GetLock: b", "heartbeat 2", "c"}) {
            client.Logf("%s", text);
        }
        ASSERT_EQ(5u, viewer.WaitForTexts(5).size());
        viewer.Filter("MyWinExec;getlock", "");
        EXPECT_EQ((std::vector<std::string>{"MyWinExec: a", "GetLock: b"}), viewer.Texts());
        EXPECT_EQ(0u, viewer.Rows().at(1).find("3\t"));
        EXPECT_EQ(2u, viewer.Count().shown) << viewer.Status();
        EXPECT_NE(std::string::npos, viewer.Status().find("filter: include \"MyWinExec;getlock\""))
            << viewer.Status();
        // A list as long as a user may type: kept whole for the next run.
        viewer.Filter("", ("HEARTBEAT;" + std::string(32000, 'z')).c_str());
        EXPECT_EQ((std::vector<std::string>{"MyWinExec: a", "GetLock: b", "c"}), viewer.Texts());
        SendMessageA(viewer.Window(), WM_COMMAND, IDM_ALWAYS_ON_TOP, 0);
        SendMessageA(viewer.Window(), WM_COMMAND, IDM_TIME_SINCE_FIRST, 0);
        EXPECT_EQ(0u, viewer.Close());
    }
    RunningViewer viewer("");
    client.Logf("heartbeat 3");
    client.Logf("after");
    for (int i = 0; i < 600 && viewer.Count().kept < 2; ++i) {
        Sleep(50);
    }
    std::vector<std::string> rows = viewer.Rows();
    ASSERT_EQ(1u, rows.size()) << viewer.Status();
    // The kept filter is named, cut short.
    EXPECT_NE(std::string::npos, viewer.Status().find("filter: exclude \"HEARTBEAT;zzz"))
        << viewer.Status();
    EXPECT_EQ("after", viewer.Texts().at(0));
    // The time column's form is not in a copied row (that is a log file's line): as stored.
    EXPECT_EQ(TimeMode::kSinceFirstLine, LoadSettings().timeMode);
    EXPECT_TRUE(GetWindowLongA(viewer.Window(), GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_EQ(0u, viewer.Close());
}

// Find selects the next or previous line that holds the text, alone and in view, past the end on
// to the start; the status bar says where it stands, or that it missed, until the next command.
TEST_F(LogViewTest, FindSelectsTheLine) {
    RunningViewer viewer("");
    LogClient client;
    for (const char* text : {"alpha", "Beta one", "gamma", "beta two"}) {
        client.Logf("%s", text);
    }
    ASSERT_EQ(4u, viewer.WaitForTexts(4).size());
    HWND box = viewer.OpenDialog(IDM_FIND);
    struct Step {
        const char* label;
        const char* text;
        bool matchCase;
        WORD command; // a button of the box, or a menu command (F3, Shift+F3)
        bool button;
        int selected;
        const char* said; // the start of the status bar; "" for the counts alone
    } steps[] = {
        {"next", "beta", false, IDOK, true, 1, "Row 2 of 4  |"},
        {"next again", "beta", false, IDOK, true, 3, "Row 4 of 4  |"},
        {"past the last", "beta", false, IDOK, true, 1, "Row 2 of 4 (from the top again)"},
        {"Shift+F3 past the first", "beta", false, IDM_FIND_PREVIOUS, false, 3,
         "Row 4 of 4 (from the bottom again)"},
        {"F3 with case, the only one", "beta", true, IDM_FIND_NEXT, false, 3,
         "Row 4 of 4 (from the top again)"},
        {"a miss", "delta", false, IDC_FIND_PREVIOUS, true, 3, "Not found: \"delta\""},
        {"the next command", "delta", false, IDM_FOLLOW, false, 3, ""},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.label);
        SetDlgItemTextA(box, IDC_FIND_TEXT, step.text);
        SendDlgItemMessageA(box, IDC_MATCH_CASE, BM_SETCHECK,
                            step.matchCase ? BST_CHECKED : BST_UNCHECKED, 0);
        if (step.button) {
            SendMessageA(box, WM_COMMAND, step.command, 0);
        } else {
            SendMessageA(viewer.Window(), WM_COMMAND, step.command, 0);
        }
        EXPECT_EQ(std::vector<int>{step.selected}, viewer.Selected());
        const std::string status = viewer.Status();
        if (*step.said) {
            EXPECT_EQ(0u, status.find(step.said)) << status;
        } else {
            EXPECT_TRUE(isdigit(static_cast<unsigned char>(status[0]))) << status;
        }
    }
    EXPECT_EQ(0u, viewer.Close());
}

// A second viewer leaves with code 3: headless it says why; with a window it brings the running
// one to the front, or says why in a box when that one is hidden (headless).
TEST_F(LogViewTest, SecondViewerSaysSoAndLeaves) {
    RunningViewer first("");
    ChildProcess second(ViewerCommand("--print"), kWork, "", kErr);
    EXPECT_EQ(3u, second.Wait());
    EXPECT_NE(std::string::npos, ReadFileText(kErr).find("already running")) << ReadFileText(kErr);
    ShowWindow(first.Window(), SW_MINIMIZE);
    {
        ChildProcess third(ViewerCommand(""), kWork);
        BoxWatcher boxes(third.Id());
        EXPECT_EQ(3u, third.Wait());
        EXPECT_TRUE(boxes.Boxes().empty());
    }
    for (int i = 0; i < 100 && IsIconic(first.Window()); ++i) {
        Sleep(50);
    }
    EXPECT_FALSE(IsIconic(first.Window()));
    EXPECT_EQ(first.Window(), GetForegroundWindow());
    EXPECT_EQ(0u, first.Close());

    // Two started at the same moment: exactly one stays.
    const std::string command = ViewerCommand("--print");
    ChildProcess a(command, kWork), b(command, kWork);
    HANDLE both[] = {a.Handle(), b.Handle()};
    DWORD ended = WaitForMultipleObjects(2, both, FALSE, 30000);
    ASSERT_LT(ended, WAIT_OBJECT_0 + 2) << "both viewers stayed up";
    EXPECT_EQ(3u, (ended == WAIT_OBJECT_0 ? a : b).Wait());
    DWORD code = 0;
    EXPECT_FALSE((ended == WAIT_OBJECT_0 ? b : a).Ended(&code, 500)) << "exit code " << code;
    // The one that stays is hidden: a viewer with a window says so in a box that clients cannot
    // take for the viewer.
    ChildProcess fourth(ViewerCommand(""), kWork);
    BoxWatcher boxes(fourth.Id());
    std::vector<SeenBox> seen = boxes.WaitForBoxes(1);
    ASSERT_EQ(1u, seen.size());
    EXPECT_NE(duzar::kViewerTitle, seen[0].caption);
    EXPECT_NE(std::string::npos, seen[0].text.find("already running")) << seen[0].text;
    EXPECT_EQ(3u, fourth.Wait());
}

// Numbers whole and in range, headless options only with --print, the usage when asked for, a
// file that cannot be written with the reason, and a line that says when the viewer listens.
// How the program answers its command line; which options are taken is the core's table.
TEST_F(LogViewTest, AnswersItsCommandLine) {
    char notFound[256];
    duzar::SystemText(ERROR_PATH_NOT_FOUND, notFound, sizeof notFound);
    notFound[strcspn(notFound, "\r\n")] = '\0';
    struct Case {
        const char* options;
        DWORD exitCode;
        std::string out; // on standard output
        std::string err; // on standard error
    } cases[] = {
        {"--print --seconds abc", 2, "",
         "logview: --seconds: \"abc\" is not a whole number from 0 to 2147483\nusage:"},
        {"--out C:\\logview\\x.txt", 2, "",
         "logview: --out is for --print (headless) alone\nusage:"},
        {"--help", 0, "usage:", ""},
        {"/?", 0, "usage:", ""},
        {"--print --out C:\\no\\such\\folder\\x.txt", 1, "",
         std::string("logview: Cannot write C:\\no\\such\\folder\\x.txt: ") + notFound + "\n"},
        {"--print --max-lines 1000000 --max-bytes 268435456 --seconds 1", 0, "",
         "logview: listening"},
    };
    const std::string out = std::string(kWork) + "\\stdout.txt";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        ChildProcess viewer(ViewerCommand(c.options), kWork, out, kErr);
        EXPECT_EQ(c.exitCode, viewer.Wait(30000));
        for (const auto& [path, expected] : {std::pair(out, c.out), std::pair(kErr, c.err)}) {
            const std::string text = ReadFileText(path);
            EXPECT_EQ(expected.empty(), text.empty()) << path << ": " << text;
            EXPECT_NE(std::string::npos, text.find(expected)) << path << ": " << text;
        }
    }
}

// Headless output into a pipe that nobody reads: the window, its clients and the --out file go on;
// what standard output could not take is counted, said, and makes the exit code 4.
TEST_F(LogViewTest, AStalledOutputStallsNothing) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE pipeRead = NULL, pipeWrite = NULL;
    ASSERT_TRUE(CreatePipe(&pipeRead, &pipeWrite, &inherit, 4096));
    {
        RunningViewer viewer("--print --max-lines 100 --out " + kOut, pipeWrite);
        ChildProcess writer(Writer(0, 3000, 0, 400), "C:\\");
        EXPECT_EQ(0u, writer.Wait(60000)) << "lines refused, or the writer hung";
        DWORD_PTR result = 0;
        EXPECT_NE(0,
                  SendMessageTimeoutA(viewer.Window(), WM_NULL, 0, 0, SMTO_NORMAL, 2000, &result))
            << "the viewer's window does not answer";
        EXPECT_GT(viewer.Count().lost, 0u) << viewer.Status();
        EXPECT_EQ(4u, viewer.Close());
    }
    CloseHandle(pipeRead);
    CloseHandle(pipeWrite);
    EXPECT_EQ(3000u, ReadLines(kOut).size());
    EXPECT_TRUE(std::regex_search(
        ReadFileText(kErr), std::regex("logview: lines lost: 0 behind the window, [1-9][0-9]* "
                                       "on standard output, 0 in C:.logview.out.txt")))
        << ReadFileText(kErr);
}

// An --out whose every write fails (a pipe whose reader has gone): said with the system's reason,
// its lines counted as lost, exit code 4.
TEST_F(LogViewTest, AFailingOutIsReported) {
    const std::string pipe = "\\\\.\\pipe\\logview-out";
    HANDLE server =
        CreateNamedPipeA(pipe.c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE, 1, 0, 4096, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, server);
    RunningViewer viewer("--print --out " + pipe);
    CloseHandle(server);
    LogClient client;
    for (int i = 0; i < 50; ++i) {
        client.Logf("line %d", i);
    }
    for (int i = 0; i < 600 && viewer.Count().lost < 50; ++i) {
        Sleep(50);
    }
    EXPECT_EQ(4u, viewer.Close());
    std::string errors = ReadFileText(kErr);
    EXPECT_NE(std::string::npos, errors.find("logview: cannot write " + pipe + ": ")) << errors;
    EXPECT_NE(std::string::npos,
              errors.find("logview: lines lost: 0 behind the window, 0 on standard output, 50 in " +
                          pipe))
        << errors;
}

TEST_F(LogViewTest, ReportsLockFaults) {
    RunningViewer viewer("--print --debug-output --out " + kOut);
    LogClient client;
    // A lock held past the viewer's patience: reported, and the line still comes once it is free.
    HANDLE lock = CreateMutexA(NULL, FALSE, duzar::kLockName);
    WaitForSingleObject(lock, INFINITE);
    EXPECT_TRUE(WaitUntil(
        [] { return ReadFileText(kErr).find("Lock wait timed out") != std::string::npos; },
        ChannelReader::kLockTimeoutMs + 30000))
        << ReadFileText(kErr);
    // Meanwhile debug output is not held up by the lock (a wait for each line would take 100 s).
    // Written from a thread: each call waits until the viewer has read its line.
    const size_t kDebugLines = 1000;
    std::thread debug([&] {
        for (size_t i = 0; i < kDebugLines; ++i) {
            OutputDebugStringA(("debug " + std::to_string(i) + "\n").c_str());
        }
    });
    EXPECT_TRUE(WaitUntil([&] { return ReadLines(kOut).size() == kDebugLines; }, 20000))
        << ReadLines(kOut).size();
    debug.join();
    ReleaseMutex(lock);
    EXPECT_EQ(0, client.Logf("after the wait"));
    // A writer that dies holding the lock, half-way through its line: that half stays a line of
    // its own, not glued to the next writer's.
    std::thread([] {
        HANDLE dying = CreateMutexA(NULL, FALSE, duzar::kLockName);
        HANDLE map = OpenFileMappingA(FILE_MAP_WRITE, FALSE, duzar::kMapName);
        WaitForSingleObject(dying, INFINITE);
        char* view = static_cast<char*>(MapViewOfFile(map, FILE_MAP_WRITE, 0, 0, 0));
        strcat(view, "half-writ");
        UnmapViewOfFile(view);
        CloseHandle(map);
        CloseHandle(dying);
    }).join();
    // The viewer, not the next client, must be the one that finds the lock abandoned.
    EXPECT_TRUE(WaitUntil([&] { return ReadLines(kOut).size() == kDebugLines + 2; }));
    EXPECT_EQ(0, client.Logf("whole"));
    EXPECT_TRUE(WaitUntil([&] { return ReadLines(kOut).size() == kDebugLines + 3; }));
    EXPECT_EQ(0u, viewer.Close());
    CloseHandle(lock);
    std::string errors = ReadFileText(kErr);
    EXPECT_NE(std::string::npos, errors.find("Lock wait timed out")) << errors;
    EXPECT_NE(std::string::npos, errors.find("died holding the lock")) << errors;
    std::vector<std::string> lines = ReadLines(kOut);
    ASSERT_EQ(kDebugLines + 3, lines.size());
    EXPECT_NE(std::string::npos, lines[kDebugLines - 1].find("] debug 999"))
        << lines[kDebugLines - 1];
    EXPECT_EQ((std::vector<std::string>{"after the wait", "half-writ", "whole"}),
              std::vector<std::string>(lines.begin() + kDebugLines, lines.end()));
}

// Another program that created the wake-up event manual-reset and set it: the viewer does not
// leave it set (its reader would wake without end), and lines still arrive.
TEST_F(LogViewTest, IdlesAgainstASquattedEvent) {
    HANDLE squatted = CreateEventA(NULL, TRUE, TRUE, duzar::kEventName);
    RunningViewer viewer("--print --out " + kOut);
    for (int i = 0; i < 100 && WaitForSingleObject(squatted, 0) == WAIT_OBJECT_0; ++i) {
        Sleep(50);
    }
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(squatted, 0))
        << "the reader wakes without end";
    LogClient client;
    EXPECT_EQ(0, client.Logf("through a squatted event"));
    EXPECT_TRUE(WaitUntil([] { return !ReadLines(kOut).empty(); }));
    EXPECT_EQ(0u, viewer.Close());
    CloseHandle(squatted);
    EXPECT_EQ((std::vector<std::string>{"through a squatted event"}), ReadLines(kOut));
}

// Writers at full speed, headless (with a filter that every line passes but writer 0's, the debug
// output read too) and into the visible window, which must keep pace: every line arrives, whole and
// in order, and nothing is dropped or timed out on either side.
TEST_F(LogViewTest, ManyWritersLoseNothing) {
    struct Case {
        const char* options;
        int writers, lines, pad;
        bool window;
    } const cases[] = {
        {"--print --debug-output --include \"LINE \" --exclude \"writer 0 \"", 8, 2000, 400, false},
        {"--max-lines 1000000", 4, 20000, 0, true},
        // A file that switches every 64 KiB: the files together hold every line, whole.
        {"--print --exclude \"writer 0 \" --out-limit 65536 --out-keep 99", 4, 2000, 400, false},
    };
    auto outFile = [](int n) { return kOut + (n ? "." + std::to_string(n) : ""); };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        for (int n = 0; n <= static_cast<int>(RotatingFile::kMaxKeep); ++n) {
            DeleteFileA(outFile(n).c_str());
        }
        RunningViewer viewer(std::string(c.options) + (c.window ? "" : " --out " + kOut));
        std::vector<std::unique_ptr<ChildProcess>> writers;
        for (int w = 0; w < c.writers; ++w) {
            writers.push_back(std::make_unique<ChildProcess>(Writer(w, c.lines, 0, c.pad), "C:\\"));
        }
        for (const auto& writer : writers) {
            EXPECT_EQ(0u, writer->Wait());
        }
        // Received, the filtered ones too; written, those the filter passes.
        const unsigned long received = static_cast<unsigned long>(c.writers * c.lines);
        const size_t expected =
            static_cast<size_t>((c.window ? c.writers : c.writers - 1) * c.lines);
        EXPECT_TRUE(WaitUntil([&] { return viewer.Count().lines >= received; }));
        EXPECT_EQ(received, viewer.Count().lines);
        EXPECT_EQ(0u, viewer.Count().lost);
        EXPECT_EQ(std::string::npos, viewer.Status().find("Lock wait")) << viewer.Status();
        EXPECT_EQ(0u, viewer.Close());
        // The window's count says it all: the headless case checks the lines themselves.
        if (!c.window) {
            std::vector<std::string> lines;
            for (int n = RotatingFile::kMaxKeep; n >= 0; --n) {
                std::vector<std::string> part = ReadLines(outFile(n));
                lines.insert(lines.end(), part.begin(), part.end());
            }
            EXPECT_EQ(expected, lines.size());
            std::map<int, std::pair<int, int>> seen = CheckWriters(lines);
            for (int w = 0; w < c.writers; ++w) {
                EXPECT_EQ(w == 0 ? 0 : c.lines, seen[w].first) << "writer " << w;
            }
        }
        EXPECT_EQ("", ReadFileText(kErrorFile));
    }
}

// Every line to a real collector once, in order, with its fields: over UDP; over TCP to a
// collector that starts only after the lines came, and to one restarted mid-run, where a loss is
// only what the viewer said may not have arrived, and whose file for this machine a second viewer
// follows as it grows. A flushed line with control characters stays one message.
TEST_F(LogViewTest, ForwardsEachLineToACollector) {
    struct Case {
        const char* scheme;
        int writers, lines;
        bool absentAtStart, restart;
        bool window = false; // forwarding as the window's settings say
    } const cases[] = {{"udp", 2, 200, false, false},
                       {"tcp", 2, 200, true, false},
                       {"tcp", 8, 1000, false, true},
                       {"tls", 2, 200, false, false},
                       {"tcp", 2, 200, false, false, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.scheme) + (c.restart ? " restarted" : "") +
                     (c.window ? " from the window" : ""));
        // tls: to localhost, whose certificate the collector has, and to 127.0.0.1, refused.
        const bool tls = std::string(c.scheme) == "tls";
        Collector collector(COLLECTOR_DIR, tls);
        ASSERT_TRUE(c.absentAtStart || collector.Start());
        const std::string refused = "tls://127.0.0.1:" + std::to_string(collector.TlsPort());
        const std::string to =
            tls ? "tls://localhost:" + std::to_string(collector.TlsPort()) + " --syslog " + refused
                : std::string(c.scheme) + "://127.0.0.1:" + std::to_string(collector.Port());
        SECURITY_ATTRIBUTES inherited = {sizeof inherited, NULL, TRUE};
        OwnedHandle nowhere(
            CreateFileA("NUL", GENERIC_WRITE, 0, &inherited, OPEN_EXISTING, 0, NULL));
        // The window forwards as its settings say, the debug output read as well.
        const std::string url = "tcp://127.0.0.1:" + std::to_string(collector.Port());
        const DWORD on = 1;
        for (const char* value : {"SyslogUrl", "SyslogPriority", "CaptureDebugOutput"}) {
            RegDeleteKeyValueA(HKEY_CURRENT_USER, kSettingsKey, value);
        }
        if (c.window) {
            RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, "SyslogUrl", REG_SZ, url.c_str(),
                            static_cast<DWORD>(url.size() + 1));
            RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, "SyslogPriority", REG_SZ,
                            "local3.warning", sizeof "local3.warning");
            RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, "CaptureDebugOutput", REG_DWORD, &on,
                            sizeof on);
        }
        RunningViewer viewer(
            c.window ? ""
                     : "--print --debug-output --syslog-priority local3.warning --syslog " + to,
            nowhere.Get());
        EXPECT_EQ(c.window, viewer.Status().find("forwarding to " + url) != std::string::npos)
            << viewer.Status();
        const size_t expected = static_cast<size_t>(c.writers * c.lines) + 1;
        const std::string machineFile = collector.MachineFile();
        std::unique_ptr<RunningViewer> follower;
        if (c.restart) {
            follower = std::make_unique<RunningViewer>("--follow \"" + machineFile + "\"", nullptr,
                                                       machineFile + " - " + kBoxCaption);
        }
        std::vector<std::unique_ptr<ChildProcess>> writers;
        for (int w = 0; w < c.writers; ++w) {
            writers.push_back(std::make_unique<ChildProcess>(Writer(w, c.lines, 1) + " both"));
        }
        if (c.restart) {
            EXPECT_TRUE(WaitUntil([&] { return collector.Messages().size() >= expected / 4; }));
            collector.Stop();
            EXPECT_TRUE(collector.Start());
        }
        for (const auto& writer : writers) {
            EXPECT_EQ(0u, writer->Wait());
        }
        SendMessageA(viewer.Window(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("two\nrows\x01"));
        EXPECT_TRUE(WaitUntil([&] { return viewer.Count().lines == expected; }));
        // A collector that starts only now gets the waiting lines at the viewer's next try;
        // stopped, the collector has written all it took.
        if (c.absentAtStart) {
            EXPECT_TRUE(collector.Start());
            EXPECT_TRUE(WaitUntil([&] { return collector.Messages().size() == expected; }));
        }
        EXPECT_EQ(tls ? 4u : 0u, viewer.Close());
        collector.Stop();
        std::string said = ReadFileText(kErr);
        EXPECT_EQ(tls, said.find("cannot reach " + refused +
                                 ": the certificate is refused: it is "
                                 "not for the host name 127.0.0.1") != std::string::npos)
            << said;
        unsigned long uncertain = 0;
        std::smatch count;
        if (std::regex_search(said, count, std::regex(R"((\d+) lines? sent to )"))) {
            uncertain = std::stoul(count[1]);
        }
        std::map<std::string, std::vector<std::string>> texts; // by MSGID: each in order
        std::set<std::string> numbers;
        for (const std::string& message : collector.Messages()) {
            std::vector<std::string> field;
            std::istringstream fields(message);
            for (std::string one; field.size() < 7 && std::getline(fields, one, '|');) {
                field.push_back(one);
            }
            std::string text;
            std::getline(fields, text);
            ASSERT_EQ(7u, field.size()) << message;
            EXPECT_TRUE(numbers.insert(field[4]).second) << "twice: " << message;
            EXPECT_EQ("local3.warning", field[6]);
            EXPECT_NE("-", field[0]);
            EXPECT_EQ(0u, text.find("\xEF\xBB\xBF")) << message;
            text.erase(0, 3);
            bool channel = field[3] == "channel";
            EXPECT_EQ(channel ? "duzar" : "duzar_writer.exe", field[1]) << message;
            EXPECT_EQ(channel, field[2] == "-") << message;
            int parts[8] = {};
            char sign = 0;
            EXPECT_EQ(9, sscanf(field[5].c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3d%c%2d", &parts[0],
                                &parts[1], &parts[2], &parts[3], &parts[4], &parts[5], &parts[6],
                                &sign, &parts[7]))
                << message;
            EXPECT_EQ(29u, field[5].size()) << message;
            if (text.compare(0, 7, "writer ") == 0) {
                texts[field[3]].push_back(text);
            } else {
                EXPECT_EQ("two#012rows#001", text);
            }
        }
        CheckWriters(texts["channel"]);
        CheckWriters(texts["debug"]);
        EXPECT_LE(expected - numbers.size(), uncertain) << said;
        if (follower) {
            EXPECT_TRUE(WaitUntil([&] { return follower->Count().kept == numbers.size(); }))
                << follower->Status();
            KeptLine first = {};
            EXPECT_TRUE(ParseLogFileLine(follower->Rows().at(0), &first)) << follower->Rows()[0];
            EXPECT_EQ(1u, first.number);
            EXPECT_EQ(0u, follower->Close());
        }
        EXPECT_EQ(c.restart, uncertain > 0) << said;
    }
}

// A user who scrolls back while lines keep coming stays where they scrolled to.
TEST_F(LogViewTest, AViewScrolledBackStaysThere) {
    const unsigned long kLines = 1500;
    RunningViewer viewer("");
    ChildProcess writer(Writer(0, static_cast<int>(kLines), 2), "C:\\");
    EXPECT_TRUE(WaitUntil([&] { return viewer.Count().lines >= kLines / 3; }));
    SendMessageA(viewer.List(), WM_VSCROLL, SB_TOP, 0);
    EXPECT_EQ(0u, writer.Wait());
    EXPECT_TRUE(WaitUntil([&] { return viewer.Count().lines == kLines; })) << viewer.Status();
    EXPECT_EQ(0, SendMessageA(viewer.List(), LB_GETTOPINDEX, 0, 0));
    EXPECT_NE(std::string::npos, viewer.Status().find("paused: scrolled back")) << viewer.Status();
    EXPECT_EQ(0u, viewer.Close());
}

// How many writers have a whole line in a viewer's output so far.
int WritersSeen(const std::string& path) {
    std::string text = ReadFileText(path);
    std::istringstream lines(text.substr(0, text.rfind('\n') + 1));
    std::set<int> writers;
    std::string line;
    int writer = -1, number = -1;
    while (std::getline(lines, line)) {
        if (sscanf(line.c_str(), "writer %d line %d", &writer, &number) == 2) {
            writers.insert(writer);
        }
    }
    return static_cast<int>(writers.size());
}

// The viewer killed mid-run: the writers go on (their lines are refused while no viewer runs), a
// viewer started afterwards gets their later lines, and of the lines accepted, those the writers
// did not report dropped are in one output or the other but for what the killed viewer had taken
// and not yet written: at most two buffers' worth. The writers hold at a line until the second
// viewer listens, so that it always has later lines to get, however fast they ran.
TEST_F(LogViewTest, WritersOutliveAKilledViewer) {
    const int kWriters = 4, kLines = 3000, kHoldAt = 2000, kPad = 100;
    const char kGoOn[] = "LogViewTest.WritersGoOn";
    OwnedHandle goOn(CreateEventA(NULL, TRUE, FALSE, kGoOn));
    const std::string firstOut = std::string(kWork) + "\\first.txt";
    auto first = std::make_unique<RunningViewer>("--print --debug-output --out " + firstOut);
    std::vector<std::unique_ptr<ChildProcess>> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.push_back(std::make_unique<ChildProcess>(
            Writer(w, kLines, 0, kPad) + " hold " + std::to_string(kHoldAt) + " " + kGoOn, "C:\\"));
    }
    // Killed once every writer is under way.
    EXPECT_TRUE(WaitUntil([&] { return WritersSeen(firstOut) == kWriters; }));
    first->Kill();
    first.reset();
    RunningViewer second("--print --out " + kOut);
    SetEvent(goOn.Get());
    long unaccounted = kWriters * kLines;
    for (const auto& writer : writers) {
        DWORD refused = 0;
        EXPECT_TRUE(writer->Ended(&refused)) << "a writer hung";
        EXPECT_LT(refused, static_cast<DWORD>(kLines)) << "a writer's lines were all refused";
        unaccounted -= static_cast<long>(refused);
    }
    EXPECT_EQ(0u, second.Close());
    std::map<int, std::pair<int, int>> seen = CheckWriters(ReadLines(kOut));
    for (int w = 0; w < kWriters; ++w) {
        EXPECT_GT(seen[w].second, 0) << "writer " << w << ": the second viewer got its first lines";
        EXPECT_GT(seen[w].first, 0) << "writer " << w << ": no later lines arrived";
        unaccounted -= seen[w].first;
    }
    std::string killed = ReadFileText(firstOut);
    unaccounted -= static_cast<long>(std::count(killed.begin(), killed.end(), '\n'));
    std::string records = ReadFileText(kErrorFile);
    std::smatch match;
    for (auto at = records.cbegin();
         std::regex_search(at, records.cend(), match, std::regex("([0-9]+) lines dropped"));
         at = match.suffix().first) {
        unaccounted -= std::stol(match[1]);
    }
    // At most the batch being written when it died and the one taken after it.
    const long kBufferLines = static_cast<long>(duzar::kBufferSize) / (kPad + 20);
    EXPECT_LE(unaccounted, 2 * kBufferLines) << "lines the killed viewer had taken and lost";
    std::printf("lines lost by the killed viewer: %ld\n", unaccounted);
}

// A program's debug output joins the channel's lines in one timeline, with its process; another
// program already listening there is said, and the channel goes on alone.
TEST_F(LogViewTest, DebugOutputJoinsTheTimeline) {
    // The writer alternates: channel lines even, debug output odd. Which the process filter keeps.
    const std::pair<const char*, int> filters[] = {
        {"", 3}, {"--process \"x; DUZAR_WRITER\"", 2}, {"--exclude-process duzar_writer.exe", 1}};
    for (const auto& [filter, kept] : filters) {
        SCOPED_TRACE(filter);
        RunningViewer viewer("--print --debug-output --out " + kOut + " " + filter);
        ChildProcess writer(Writer(0, 20, 30, 0) + " both", "C:\\");
        EXPECT_EQ(0u, writer.Wait());
        EXPECT_TRUE(WaitUntil([&] { return viewer.Count().lines == 20; })) << viewer.Status();
        EXPECT_EQ(0u, viewer.Close());
        std::vector<std::string> expected;
        for (int i = 0; i < 20; ++i) {
            std::string process = "[" + std::to_string(writer.Id()) + " duzar_writer.exe] ";
            if (kept & (i % 2 ? 2 : 1)) {
                expected.push_back((i % 2 ? process : "") + "writer 0 line " + std::to_string(i));
            }
        }
        EXPECT_EQ(expected, ReadLines(kOut));
    }
    {
        // A channel line that the reader has not taken yet (its event not yet seen) comes before
        // the debug output that its writer wrote after it, which is delivered at once.
        RunningViewer viewer("--print --debug-output --out " + kOut);
        OwnedHandle lock(CreateMutexA(NULL, FALSE, duzar::kLockName));
        OwnedHandle map(OpenFileMappingA(FILE_MAP_WRITE, FALSE, duzar::kMapName));
        OwnedView view(MapViewOfFile(map.Get(), FILE_MAP_WRITE, 0, 0, 0));
        const std::string process = "[" + std::to_string(GetCurrentProcessId()) + " ";
        std::vector<std::string> expected;
        for (int i = 0; i < 20; ++i) {
            const std::string line = "channel " + std::to_string(i) + "\n";
            char* buffer = static_cast<char*>(view.Get());
            WaitForSingleObject(lock.Get(), INFINITE);
            size_t used = duzar::BoundedLength(buffer, duzar::kBufferSize);
            if (used + line.size() < duzar::kBufferSize) {
                memcpy(buffer + used, line.c_str(), line.size() + 1);
            }
            ReleaseMutex(lock.Get());
            OutputDebugStringA(("debug " + std::to_string(i)).c_str());
            expected.push_back("channel " + std::to_string(i));
            expected.push_back("debug " + std::to_string(i));
            // The next channel line only once this one is out, as the viewer decides the order.
            EXPECT_TRUE(WaitUntil([&] { return ReadLines(kOut).size() == expected.size(); }));
        }
        EXPECT_EQ(0u, viewer.Close());
        std::vector<std::string> lines = ReadLines(kOut);
        for (std::string& line : lines) {
            if (line.compare(0, process.size(), process) == 0) {
                line.erase(0, line.find("] ") + 2);
            }
        }
        EXPECT_EQ(expected, lines);
    }
    {
        // A program clears the view: the lines before go from it, not from the output.
        RunningViewer viewer("--print --debug-output --out " + kOut);
        for (const char* text : {"before\r\n", "DBGVIEWCLEAR", "after\n"}) {
            OutputDebugStringA(text);
        }
        EXPECT_TRUE(WaitUntil([] { return ReadLines(kOut).size() == 2; }));
        EXPECT_TRUE(WaitUntil([&] { return viewer.Count().kept == 1; })) << viewer.Status();
        EXPECT_EQ(0u, viewer.Close());
    }
    OwnedHandle listening(CreateEventA(NULL, FALSE, FALSE, "DBWIN_BUFFER_READY"));
    RunningViewer viewer("--print --debug-output --out " + kOut);
    LogClient client;
    client.Logf("through the channel");
    EXPECT_TRUE(WaitUntil([] { return !ReadLines(kOut).empty(); }));
    EXPECT_EQ(0u, viewer.Close());
    EXPECT_EQ(std::vector<std::string>{"through the channel"}, ReadLines(kOut));
    EXPECT_NE(std::string::npos, ReadFileText(kErr).find("another program listens"))
        << ReadFileText(kErr);
}

// A saved log opens in a window of its own with its numbers, times and processes, any other line as
// it is; it is no channel viewer: clients do not find it, and a channel viewer starts beside it.
TEST_F(LogViewTest, ASavedLogOpensAgain) {
    const std::string path = std::string(kWork) + "\\saved.log";
    {
        std::ofstream file(path, std::ios::binary);
        file << "5\t2026-12-08T10:00:00.000\t\tfirst\r\n"
             << "9\t2026-12-08T10:00:01.250\t42 x.exe\tsecond\r\n"
             << "a plain line\r\n";
    }
    const DWORD on = 1;
    RegSetKeyValueA(HKEY_CURRENT_USER, kSettingsKey, "CaptureDebugOutput", REG_DWORD, &on,
                    sizeof on);
    RunningViewer saved("\"" + path + "\"", NULL, path + " - duzar log viewer");
    ASSERT_EQ(3u, saved.WaitForTexts(3).size());
    const std::vector<std::string> rows = saved.Rows();
    // Copied as the file holds them: a plain line with no time made up for it.
    EXPECT_EQ(
        (std::vector<std::string>{"5\t2026-12-08T10:00:00.000\t\tfirst",
                                  "9\t2026-12-08T10:00:01.250\t42 x.exe\tsecond", "a plain line"}),
        rows);
    EXPECT_EQ(std::string::npos, saved.Status().find("following")) << saved.Status();
    EXPECT_EQ(nullptr, FindWindowA(NULL, duzar::kViewerTitle));
    RunningViewer channel("");
    LogClient client;
    client.Logf("to the channel");
    EXPECT_EQ(std::vector<std::string>{"to the channel"}, channel.WaitForTexts(1));
    EXPECT_EQ(3u, saved.Rows().size());
    EXPECT_EQ(0u, channel.Close());
    // What is pressed in a saved log's window is not the user's setting, nor is debug output off.
    SendMessageA(saved.Window(), WM_COMMAND, IDM_ALWAYS_ON_TOP, 0);
    EXPECT_EQ(0u, saved.Close());
    // A name that the ANSI code page cannot spell opens all the same, titled as that page shows it.
    const std::string japanese = std::string(kWork) + "\\\xE6\x97\xA5\xE6\x9C\xAC.log";
    {
        OwnedHandle file(CreateFileW(FromUtf8(japanese).c_str(), GENERIC_WRITE, 0, NULL,
                                     CREATE_ALWAYS, 0, NULL));
        DWORD written = 0;
        WriteFile(file.Get(), "a plain line\r\n", 14, &written, NULL);
    }
    char title[MAX_PATH] = {};
    WideCharToMultiByte(CP_ACP, 0, FromUtf8(japanese).c_str(), -1, title, MAX_PATH, NULL, NULL);
    RunningViewer named("\"" + japanese + "\"", NULL, std::string(title) + " - duzar log viewer");
    EXPECT_EQ(std::vector<std::string>{"a plain line"}, named.WaitForTexts(1));
    EXPECT_EQ(0u, named.Close());
    // Beside the live viewer, a saved log's window stands below and right of it, not over it.
    RunningViewer live("");
    RunningViewer beside("\"" + path + "\"", NULL, path + " - duzar log viewer");
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(beside.Window()) != FALSE; }));
    RECT liveRect = {}, besideRect = {};
    GetWindowRect(live.Window(), &liveRect);
    GetWindowRect(beside.Window(), &besideRect);
    EXPECT_GT(besideRect.left, liveRect.left);
    EXPECT_GT(besideRect.top, liveRect.top);
    EXPECT_EQ(0u, beside.Close());
    EXPECT_EQ(0u, live.Close());
    DWORD capture = 0, onTop = 0, size = sizeof capture;
    RegGetValueA(HKEY_CURRENT_USER, kSettingsKey, "CaptureDebugOutput", RRF_RT_DWORD, NULL,
                 &capture, &size);
    EXPECT_EQ(1u, capture);
    EXPECT_NE(ERROR_SUCCESS, RegGetValueA(HKEY_CURRENT_USER, kSettingsKey, "AlwaysOnTop",
                                          RRF_RT_DWORD, NULL, &onTop, &size));
}

// A followed file's new lines come as they are appended, a line still being written once whole;
// a truncated or replaced file is read again from its start, and that is said.
TEST_F(LogViewTest, AFollowedFileGrows) {
    const std::string path = std::string(kWork) + "\\followed.log";
    auto write = [](const std::string& file, const char* text, bool append) {
        std::ofstream(file, std::ios::binary | (append ? std::ios::app : std::ios::trunc)) << text;
    };
    write(path, "5\t2026-12-08T10:00:00.000\t\tfirst\r\nplain\n", false);
    RunningViewer viewer("--follow \"" + path + "\"", NULL, path + " - duzar log viewer");
    EXPECT_EQ((std::vector<std::string>{"first", "plain"}), viewer.WaitForTexts(2));
    EXPECT_NE(std::string::npos, viewer.Status().find("following the file")) << viewer.Status();
    write(path, "mid\nhalf", true);
    EXPECT_EQ("mid", viewer.WaitForTexts(3).back());
    write(path, " and whole\n", true);
    EXPECT_EQ("half and whole", viewer.WaitForTexts(4).back());
    const struct {
        const char* change;
        const char* said;
    } steps[] = {{"truncated", "truncated"}, {"replaced", "replaced"}};
    for (const auto& step : steps) {
        std::string text = std::string(step.change) + "\n";
        if (std::string(step.change) == "replaced") {
            write(path + ".new", text.c_str(), false);
            EXPECT_TRUE(
                MoveFileExA((path + ".new").c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING));
        } else {
            write(path, text.c_str(), false);
        }
        size_t rows = viewer.Texts().size() + 1;
        EXPECT_EQ(step.change, viewer.WaitForTexts(rows).back());
        EXPECT_NE(std::string::npos, viewer.Status().find(step.said)) << viewer.Status();
    }
    EXPECT_EQ(0u, viewer.Close());
}

TEST_F(LogViewTest, SetupMenuLinesArrive) {
    RunningViewer viewer("--print --out " + kOut);
    {
        Media media("C:\\e2e\\media");
        RunningMenu menu(media);
        ASSERT_NE(nullptr, menu.Dialog());
        menu.Click(IDC_FENDRA_LIGHT);
        menu.WaitForRecords(1);
        EXPECT_EQ(0u, menu.CloseAndWait());
    }
    EXPECT_EQ(0u, viewer.Close());
    EXPECT_EQ((std::vector<std::string>{"MyWinExec: FendraL\\setup.exe",
                                        "MyWinExec: C:\\e2e\\media\\FendraL\\setup.exe"}),
              ReadLines(kOut));
}

} // namespace

// The real setup.exe under Wine: its menu, its buttons and the programs it starts.
#include "box_watcher.h"
#include "command_queue.h"
#include "device_keys.h"
#include "launch.h"
#include "menu_harness.h"
#include "resource.h"
#include "viewer_peer.h"

#include <atomic>
#include <memory>
#include <regex>
#include <thread>

namespace {

const std::string kMedia = "C:\\e2e\\media";

std::string WindowText(HWND window) {
    char text[256] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

// Holds the registered HTML viewer command for a test and puts the previous one back afterwards.
class HtmlViewerCommand {
  public:
    HtmlViewerCommand() {
        m_hadValue = RegGetValueA(HKEY_LOCAL_MACHINE, kHtmlOpenCommandKey, NULL, RRF_RT_ANY,
                                  &m_type, m_saved, &m_savedSize) == ERROR_SUCCESS;
    }
    ~HtmlViewerCommand() {
        if (m_hadValue) {
            Set(m_type, std::string(m_saved, m_savedSize));
        } else {
            Remove();
        }
    }
    void Set(DWORD type, const std::string& bytes) {
        HKEY key = NULL;
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, kHtmlOpenCommandKey, 0, NULL, 0, KEY_SET_VALUE, NULL,
                        &key, NULL);
        RegSetValueExA(key, NULL, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                       static_cast<DWORD>(bytes.size()));
        RegCloseKey(key);
    }
    void Remove() { RegDeleteKeyA(HKEY_LOCAL_MACHINE, kHtmlOpenCommandKey); }

  private:
    bool m_hadValue = false;
    DWORD m_type = REG_NONE;
    char m_saved[1024] = {};
    DWORD m_savedSize = sizeof m_saved;
};

TEST(SetupMenuTest, OpensCentredWithDatedCaptionAndFourButtons) {
    Media media(kMedia);
    RunningMenu menu(media);
    ASSERT_NE(nullptr, menu.Dialog());

    std::string caption = WindowText(menu.Dialog());
    std::smatch date;
    ASSERT_TRUE(std::regex_match(caption, date,
                                 std::regex(SETUP_MENU_CAPTION ", ([A-Z][a-z]{2}) ([ 1-3][0-9]) "
                                                               "([0-9]{4})")))
        << caption;
    EXPECT_NE(std::string::npos, std::string("JanFebMarAprMayJunJulAugSepOctNovDec").find(date[1]))
        << date[1];

    RECT desktop, window;
    GetWindowRect(GetDesktopWindow(), &desktop);
    GetWindowRect(menu.Dialog(), &window);
    LONG w = window.right - window.left, h = window.bottom - window.top;
    EXPECT_EQ(desktop.left + (desktop.right - desktop.left - w) / 2, window.left);
    EXPECT_EQ(desktop.top + (desktop.bottom - desktop.top - h) / 2, window.top);

    // Child windows come in template (tab) order; on screen they stand in another.
    struct Button {
        int id;
        const char* caption;
    } tabOrder[] = {
        {IDC_FENDRA_LIGHT, FENDRA_LIGHT_CAPTION},
        {IDC_BOARD_DRIVERS, MORRIK_DRIVERS_CAPTION},
        {IDC_README, README_CAPTION},
        {IDC_FENDRA_PROCESSING, FENDRA_PROCESSING_CAPTION},
    };
    HWND child = GetWindow(menu.Dialog(), GW_CHILD);
    for (const Button& b : tabOrder) {
        SCOPED_TRACE(b.caption);
        ASSERT_NE(nullptr, child);
        EXPECT_EQ(b.id, GetDlgCtrlID(child));
        EXPECT_EQ(b.caption, WindowText(child));
        EXPECT_TRUE(IsWindowEnabled(child));
        EXPECT_TRUE(IsWindowVisible(child));
        child = GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_EQ(nullptr, child);
    int screenOrder[] = {IDC_README, IDC_FENDRA_LIGHT, IDC_BOARD_DRIVERS, IDC_FENDRA_PROCESSING};
    LONG above = LONG_MIN;
    for (int id : screenOrder) {
        RECT r;
        GetWindowRect(menu.Button(id), &r);
        EXPECT_GT(r.top, above) << "button " << id;
        above = r.top;
    }
    EXPECT_EQ(0u, menu.CloseAndWait());
}

TEST(SetupMenuTest, EachInstallButtonStartsItsInstaller) {
    // With the first device key present the display-driver patch succeeds without a box.
    DeviceKeysRemoved clean;
    CreateDeviceKey(kFirstDeviceKey);
    Media media(kMedia);
    RunningMenu menu(media);
    ASSERT_NE(nullptr, menu.Dialog());
    struct Case {
        int id;
        const char* folder;
    } cases[] = {
        {IDC_FENDRA_LIGHT, "FendraL"},
        {IDC_BOARD_DRIVERS, "Morrik"},
        {IDC_FENDRA_PROCESSING, "FendraP"},
        {IDC_FENDRA_LIGHT, "FendraL"}, // again, while the menu stays open
    };
    size_t started = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        menu.Click(c.id);
        std::vector<StubRecord> records = menu.WaitForRecords(++started);
        ASSERT_EQ(started, records.size());
        std::string installer = kMedia + "\\" + c.folder + "\\setup.exe";
        EXPECT_EQ(installer, records.back().program);
        EXPECT_EQ(installer, records.back().commandLine);
        EXPECT_EQ(kMedia, records.back().directory);
        EXPECT_TRUE(menu.Running());
    }
    EXPECT_TRUE(IsPatched(ReadPatchValue(kFirstDeviceKey)));
    EXPECT_EQ(0u, menu.CloseAndWait());
}

// With neither device key the patch says so in a box owned by the menu; the Fendra Processing
// installer starts once the box is closed, not before.
TEST(SetupMenuTest, FendraProcessingStartsAfterTheFailedPatchsBox) {
    DeviceKeysRemoved clean;
    Media media(kMedia);
    RunningMenu menu(media);
    ASSERT_NE(nullptr, menu.Dialog());
    BoxWatcher watcher(menu.ProcessId(), menu.Dialog());
    watcher.Hold();
    menu.Click(IDC_FENDRA_PROCESSING);
    for (int i = 0; i < 600 && !watcher.Holding(); ++i) {
        Sleep(50);
    }
    ASSERT_TRUE(watcher.Holding()) << "no box appeared";
    EXPECT_FALSE(IsWindowEnabled(menu.Dialog())) << "the box is not modal to the menu";
    Sleep(500);
    EXPECT_TRUE(menu.Records().empty()) << "the installer started before the box was closed";
    watcher.Release();
    std::vector<StubRecord> records = menu.WaitForRecords(1);
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(kMedia + "\\FendraP\\setup.exe", records[0].program);
    std::vector<SeenBox> boxes = watcher.Boxes();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(kPatchFailedCaption, boxes[0].caption);
    EXPECT_EQ(kPatchFailedText, boxes[0].text);
    EXPECT_EQ(menu.Dialog(), boxes[0].owner);
    EXPECT_TRUE(IsWindowEnabled(menu.Dialog()));
    EXPECT_EQ(0u, menu.CloseAndWait());
}

// Esc, and an IDOK or IDCANCEL that reaches the menu, neither close it nor run anything. Enter
// does not close it either: it clicks the focused button (Fendra Light, the first tab stop) or,
// where the dialog manager has made no button the default, does nothing.
TEST(SetupMenuTest, EscAndEnterDoNotCloseTheMenu) {
    Media media(kMedia);
    RunningMenu menu(media);
    ASSERT_NE(nullptr, menu.Dialog());
    menu.PressKey(VK_ESCAPE);
    SendMessageA(menu.Dialog(), WM_COMMAND, IDOK, 0);
    SendMessageA(menu.Dialog(), WM_COMMAND, IDCANCEL, 0);
    // A notification other than BN_CLICKED is not a click, even with a button's ID.
    SendMessageA(menu.Dialog(), WM_COMMAND, MAKEWPARAM(IDC_BOARD_DRIVERS, BN_SETFOCUS), 0);
    menu.PressKey(VK_RETURN);
    menu.Click(IDC_FENDRA_LIGHT);
    std::vector<StubRecord> records = menu.WaitForRecords(1);
    ASSERT_FALSE(records.empty());
    for (const StubRecord& record : records) {
        EXPECT_EQ(kMedia + "\\FendraL\\setup.exe", record.program);
    }
    EXPECT_TRUE(menu.Running());
    EXPECT_TRUE(IsWindowVisible(menu.Dialog()));
    EXPECT_EQ(0u, menu.CloseAndWait());
}

TEST(SetupMenuTest, NotesOpenWithTheRegisteredViewerOrNotepad) {
    Media media(kMedia);
    HtmlViewerCommand registered;
    SetEnvironmentVariableA("VIEWER_HOME", kMedia.c_str());
    RunningMenu menu(media);
    ASSERT_NE(nullptr, menu.Dialog());
    const std::string viewer = kMedia + "\\viewer.exe";
    const std::string notepad = kMedia + "\\notepad.exe";
    const std::string notes = kMedia + "\\readme\\Velmora.pdf";
    struct Case {
        const char* label;
        DWORD type; // REG_NONE: no key at all
        std::string value;
        std::string program, commandLine;
    } cases[] = {
        {"no key", REG_NONE, "", notepad, "notepad " + notes},
        {"with %1", REG_SZ, "\"" + viewer + "\" %1", viewer, "\"" + viewer + "\" " + notes},
        {"without %1", REG_SZ, "\"" + viewer + "\"", viewer, "\"" + viewer + "\" " + notes},
        {"empty", REG_SZ, "", notepad, "notepad " + notes},
        {"expandable", REG_EXPAND_SZ, "\"%VIEWER_HOME%\\viewer.exe\" \"%1\"", viewer,
         "\"" + viewer + "\" \"" + notes + "\""},
    };
    size_t started = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        if (c.type == REG_NONE) {
            registered.Remove();
        } else {
            registered.Set(c.type, c.value + '\0');
        }
        menu.Click(IDC_README);
        std::vector<StubRecord> records = menu.WaitForRecords(++started);
        ASSERT_EQ(started, records.size());
        EXPECT_EQ(c.program, records.back().program);
        EXPECT_EQ(c.commandLine, records.back().commandLine);
    }
    EXPECT_EQ(0u, menu.CloseAndWait());
}

// A launch's lines reach the viewer: the two of a start, and a third with the system's text when
// the installer cannot start. Media under a folder that the code page cannot name start their
// installer by its short path; a 259-character path with a space still starts, quoted.
TEST(SetupMenuTest, LaunchLinesReachTheViewer) {
    const std::string deep = kMedia + "\\My Install" + std::string(241 - kMedia.size() - 11, 'd');
    // "日本": no form in code page 1252; Wine keeps short names.
    const std::wstring japanese = Wide(kMedia) + L"\\\u65e5\u672c";
    struct Case {
        const char* label;
        std::string root;
        bool outsideCodePage, installerMissing;
    } cases[] = {
        {"installer started", kMedia, false, false},
        {"installer missing", kMedia, false, true},
        {"folder outside the code page", kMedia, true, false},
        {"259 characters with a space", deep, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        DrainingViewer viewer;
        Media media(c.root);
        std::wstring program;
        std::string folder = c.root;
        if (c.outsideCodePage) {
            CreateDirectoryW(japanese.c_str(), NULL);
            CreateDirectoryW((japanese + L"\\FendraL").c_str(), NULL);
            for (const char* file : {"\\setup.exe", "\\FendraL\\setup.exe"}) {
                CopyFileW(Wide(c.root + file).c_str(), (japanese + Wide(file)).c_str(), FALSE);
            }
            program = japanese + L"\\setup.exe";
            char shortPath[MAX_PATH] = {};
            wchar_t wideShort[MAX_PATH] = {};
            GetShortPathNameW(japanese.c_str(), wideShort, MAX_PATH);
            WideCharToMultiByte(CP_ACP, 0, wideShort, -1, shortPath, MAX_PATH, NULL, NULL);
            folder = shortPath;
            ASSERT_EQ(std::string::npos, folder.find('?')) << folder;
        }
        if (c.installerMissing) {
            fs::remove(c.root + "\\FendraL\\setup.exe");
        }
        RunningMenu menu(media, "", program);
        ASSERT_NE(nullptr, menu.Dialog());
        menu.Click(IDC_FENDRA_LIGHT);
        const std::string installer = folder + "\\FendraL\\setup.exe";
        std::vector<std::string> lines = viewer.WaitForLines(c.installerMissing ? 3 : 2);
        ASSERT_EQ(c.installerMissing ? 3u : 2u, lines.size());
        EXPECT_EQ("MyWinExec: FendraL\\setup.exe", lines[0]);
        EXPECT_EQ("MyWinExec: " + installer, lines[1]);
        if (c.installerMissing) {
            // The system's text, one line, then the code.
            EXPECT_EQ(0u, lines[2].find("MyWinExec: Unable to start " + installer + ": "))
                << lines[2];
            EXPECT_TRUE(std::regex_search(lines[2], std::regex("[a-z]\\. \\(2\\)$"))) << lines[2];
            EXPECT_TRUE(menu.Records().empty());
        } else {
            std::vector<StubRecord> records = menu.WaitForRecords(1);
            ASSERT_EQ(1u, records.size());
            const bool spaced = installer.find(' ') != std::string::npos;
            EXPECT_EQ(spaced ? "\"" + installer + "\"" : installer, records[0].commandLine);
        }
        EXPECT_EQ(0u, menu.CloseAndWait());
    }
}

// A stuck or slow channel: a viewer that has stopped answering or answers each message late, a
// lock that another program keeps for good or for a while, a flood of messages to the menu
// meanwhile, and a second button clicked while the first one's line waits. The menu answers its
// messages throughout; the second command runs after the first, never inside it; lines are
// dropped only where the wait's bound passed, with a record, and the rest arrive whole and in
// order.
TEST(SetupMenuTest, AStuckChannelDoesNotStopTheMenu) {
    const char kErrorFile[] = "C:\\duzar.err";
    std::string shortLines;
    for (int i = 0; i < 51; ++i) {
        shortLines += std::string(79, 'h') + "\n";
    }
    const std::string fullBuffer = std::string(4080, 'h') + "\n";
    const std::string lightLines =
        "MyWinExec: FendraL\\setup.exe\nMyWinExec: " + kMedia + "\\FendraL\\setup.exe\n";
    const std::string morrikLines =
        "MyWinExec: Morrik\\setup.exe\nMyWinExec: " + kMedia + "\\Morrik\\setup.exe\n";
    struct Case {
        const char* label;
        std::string held;  // the viewer's buffer at the start
        DWORD answerDelay; // per list-box message; INFINITE: never answers
        DWORD lockHold;    // 0: free; INFINITE: kept to the end
        bool flood, secondClick;
        std::string record; // "" when nothing may be dropped
        std::string buffer; // the menu's lines left in the buffer
    } cases[] = {
        {"viewer not answering", fullBuffer, INFINITE, 0, false, false,
         "FlushToViewer: Viewer not answering, 1 lines dropped: ", lightLines},
        {"lock held", fullBuffer, INFINITE, INFINITE, false, false,
         "Log: Line dropped, lock not held: 258.", fullBuffer},
        {"slow viewer, second click", shortLines, 900, 0, false, true,
         "FlushToViewer: Viewer not answering, 50 lines dropped: ", lightLines + morrikLines},
        {"lock held 1.5 s, second click", "", 0, 1500, false, true, "", lightLines + morrikLines},
        {"lock held 4 s, message flood", "", 0, 4000, true, false, "", lightLines},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        DeleteFileA(kErrorFile);
        StalledViewer viewer(c.held, c.answerDelay);
        std::unique_ptr<LockHolder> lock(c.lockHold ? new LockHolder(c.lockHold) : nullptr);
        Media media(kMedia);
        RunningMenu menu(media);
        ASSERT_NE(nullptr, menu.Dialog());
        std::atomic<bool> flooding{c.flood};
        std::thread flood([&] {
            DWORD_PTR ignored = 0;
            while (flooding) {
                SendMessageTimeoutA(menu.Dialog(), WM_NULL, 0, 0, SMTO_NORMAL, 1000, &ignored);
            }
        });
        // Sent, so that the click is under way before the menu is asked for more.
        DWORD_PTR result = 0;
        SendMessageTimeoutA(menu.Button(IDC_FENDRA_LIGHT), BM_CLICK, 0, 0, SMTO_NORMAL, 500,
                            &result);
        if (c.secondClick) {
            SendMessageTimeoutA(menu.Button(IDC_BOARD_DRIVERS), BM_CLICK, 0, 0, SMTO_NORMAL, 500,
                                &result);
        }
        EXPECT_NE(0, SendMessageTimeoutA(menu.Dialog(), WM_NULL, 0, 0, SMTO_NORMAL, 2000, &result))
            << "the menu does not answer";
        std::vector<StubRecord> records = menu.WaitForRecords(c.secondClick ? 2 : 1);
        flooding = false;
        flood.join();
        ASSERT_EQ(c.secondClick ? 2u : 1u, records.size());
        EXPECT_EQ(kMedia + "\\FendraL\\setup.exe", records[0].program);
        if (c.secondClick) {
            EXPECT_EQ(kMedia + "\\Morrik\\setup.exe", records[1].program);
        }
        for (int i = 0; i < 600 && ReadFileText(kErrorFile).find(c.record) == std::string::npos;
             ++i) {
            Sleep(50);
        }
        const std::string errors = ReadFileText(kErrorFile);
        if (c.record.empty()) {
            EXPECT_EQ(std::string::npos, errors.find("dropped")) << errors;
        } else {
            EXPECT_NE(std::string::npos, errors.find(c.record)) << errors;
        }
        lock.reset();
        EXPECT_EQ(0u, menu.CloseAndWait());
        EXPECT_EQ(c.buffer, viewer.Buffer());
    }
}

// While a command waits for the channel, the menu answers what is sent to it. Once it takes
// WM_CLOSE, nothing kept, sent or posted afterwards starts, and no box appears; the command under
// way ends as it would. Clicks beyond what the queue keeps are each recorded.
TEST(SetupMenuTest, AClosedMenuStartsNothingAndNoClickVanishes) {
    const char kErrorFile[] = "C:\\duzar.err";
    const std::string kDropped = "SetupDialogProc: Command 1007 dropped, 64 commands waiting.";
    struct Case {
        const char* label;
        size_t keptBefore; // board-driver commands sent during the wait
        bool close;        // then WM_CLOSE, and more commands sent and posted
        size_t started;    // installers started: Fendra Light, then the board drivers
        size_t dropped;
    } cases[] = {
        {"closed during the wait", 1, true, 1, 0},
        {"clicks beyond the queue", CommandQueue::kCapacity + 2, false, CommandQueue::kCapacity + 1,
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        DeleteFileA(kErrorFile);
        DrainingViewer viewer;
        auto lock = std::make_unique<LockHolder>(INFINITE);
        Media media(kMedia);
        RunningMenu menu(media);
        ASSERT_NE(nullptr, menu.Dialog());
        BoxWatcher boxes(menu.ProcessId(), menu.Dialog());
        auto send = [&](HWND to, UINT message, WPARAM wParam) {
            DWORD_PTR ignored = 0;
            SendMessageTimeoutA(to, message, wParam, 0, SMTO_NORMAL, 5000, &ignored);
        };
        // The menu now waits for the lock inside Fendra Light's first line.
        send(menu.Button(IDC_FENDRA_LIGHT), BM_CLICK, 0);
        for (size_t i = 0; i < c.keptBefore; ++i) {
            send(menu.Dialog(), WM_COMMAND, IDC_BOARD_DRIVERS);
        }
        if (c.close) {
            send(menu.Dialog(), WM_CLOSE, 0);
            send(menu.Dialog(), WM_COMMAND, IDC_BOARD_DRIVERS);
            send(menu.Button(IDC_FENDRA_PROCESSING), BM_CLICK, 0);
            PostMessageA(menu.Dialog(), WM_COMMAND, IDC_FENDRA_PROCESSING, 0);
            PostMessageA(menu.Dialog(), WM_COMMAND, IDC_BOARD_DRIVERS, 0);
        }
        lock.reset();
        if (c.close) {
            EXPECT_TRUE(WaitUntil([&] { return !menu.Running(); })) << "the closed menu stayed";
        }
        std::vector<StubRecord> records = menu.WaitForRecords(c.started);
        EXPECT_EQ(0u, menu.CloseAndWait());
        ASSERT_EQ(c.started, records.size());
        EXPECT_EQ(kMedia + "\\FendraL\\setup.exe", records[0].program);
        for (size_t i = 1; i < records.size(); ++i) {
            EXPECT_EQ(kMedia + "\\Morrik\\setup.exe", records[i].program);
        }
        EXPECT_TRUE(boxes.Boxes().empty()) << boxes.Boxes()[0].text;
        const std::string errors = ReadFileText(kErrorFile);
        size_t dropped = 0;
        for (size_t at = errors.find(kDropped); at != std::string::npos;
             at = errors.find(kDropped, at + 1)) {
            ++dropped;
        }
        EXPECT_EQ(c.dropped, dropped) << errors;
    }
}

// A path with a space is quoted, so that C:\e2e\My.exe is not run for C:\e2e\My Install\...
TEST(SetupMenuTest, PathsWithSpacesAreQuoted) {
    Media media("C:\\e2e\\My Install");
    fs::copy_file(WinePath(STUB_EXE), "C:\\e2e\\My.exe", fs::copy_options::overwrite_existing);
    HtmlViewerCommand registered;
    registered.Remove();
    RunningMenu menu(media);
    ASSERT_NE(nullptr, menu.Dialog());
    menu.Click(IDC_FENDRA_LIGHT);
    menu.Click(IDC_README);
    std::vector<StubRecord> records = menu.WaitForRecords(2);
    fs::remove("C:\\e2e\\My.exe");
    ASSERT_EQ(2u, records.size());
    const std::string installer = media.Root() + "\\FendraL\\setup.exe";
    EXPECT_EQ(installer, records[0].program);
    EXPECT_EQ("\"" + installer + "\"", records[0].commandLine);
    EXPECT_EQ(media.Root() + "\\notepad.exe", records[1].program);
    EXPECT_EQ("notepad \"" + media.Root() + "\\readme\\Velmora.pdf\"", records[1].commandLine);
    EXPECT_EQ(0u, menu.CloseAndWait());
}

// A program folder so deep that an installer's path cannot be built: nothing starts, the menu
// stays, and the log says why.
TEST(SetupMenuTest, DeepFolderRefusesTheLaunch) {
    std::string root = "C:\\e2e";
    while (root.size() < 240) {
        root += "\\" + std::string(40, 'd');
    }
    root = root.substr(0, 249); // setup.exe's full name: 259 characters
    Media media(root);
    DrainingViewer viewer;
    RunningMenu menu(media);
    ASSERT_NE(nullptr, menu.Dialog());
    menu.Click(IDC_FENDRA_LIGHT);
    std::vector<std::string> lines = viewer.WaitForLines(2);
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("MyWinExec: FendraL\\setup.exe", lines[0]);
    EXPECT_EQ(0u, lines[1].find("MyWinExec: Path too long, not started: FendraL\\setup.exe"))
        << lines[1];
    EXPECT_TRUE(menu.Records().empty());
    EXPECT_TRUE(menu.Running());
    EXPECT_EQ(0u, menu.CloseAndWait());
}

} // namespace

// The log channel client against real named objects, a stand-in viewer and the real error file.
#include "child_process.h"
#include "duzar.h"
#include "viewer_peer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <thread>

namespace {

// The records' tag: the header's path relative to the project, as the build maps it.
const std::string kTag = "_h/duzar.h";
// The error file lands in the root of the current drive; the tests work on the prefix's C:.
const char kErrorPath[] = "C:\\duzar.err";

std::string Record(const std::string& text) {
    return "\r\n" + kTag + "\t" + text;
}

// The record of the system's text for a code: its own line break trimmed, and every LF inside
// made CR LF by the text-mode stream.
std::string SystemRecord(DWORD code) {
    char* message = NULL;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   NULL, code, 0x0400, reinterpret_cast<LPSTR>(&message), 0, NULL);
    std::string text = message ? message : "";
    LocalFree(message);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) {
        text.pop_back();
    }
    std::string record;
    for (char c : text) {
        record += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    return Record(record);
}

std::string ReadErrorFile() {
    std::string content;
    FILE* file = fopen(kErrorPath, "rb");
    if (!file) {
        return content;
    }
    char chunk[512];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) {
        content.append(chunk, got);
    }
    fclose(file);
    return content;
}

bool NamedObjectExists(const char* name) {
    HANDLE handle = OpenMutexA(SYNCHRONIZE, FALSE, name);
    if (!handle) {
        handle = OpenEventA(SYNCHRONIZE, FALSE, name);
    }
    if (handle) {
        CloseHandle(handle);
        return true;
    }
    return false;
}

class LogClientTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(SetCurrentDirectoryA("C:\\"));
        DeleteFileA(kErrorPath);
    }
    void TearDown() override { DeleteFileA(kErrorPath); }
};

TEST_F(LogClientTest, NoViewerCreatesNothingAndWritesNothing) {
    LogClient client;
    EXPECT_EQ(1, client.Log("line\n"));
    EXPECT_EQ(1, client.Logf("line %d", 2));
    client.Close();
    EXPECT_FALSE(NamedObjectExists(duzar::kLockName));
    EXPECT_FALSE(NamedObjectExists(duzar::kEventName));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(kErrorPath));
}

TEST_F(LogClientTest, TextLengthLimit) {
    struct Case {
        size_t length;
        int result;
        std::string errors;
    } cases[] = {
        {4095, 0, ""},
        {4096, -1, Record("Log received large string: 4097")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        ViewerPeer viewer;
        LogClient client;
        std::string text(c.length, 'x');
        EXPECT_EQ(c.result, client.Log(text.c_str()));
        EXPECT_EQ(c.result == 0 ? text : "", std::string(viewer.Buffer()));
        EXPECT_EQ(c.errors, ReadErrorFile());
        DeleteFileA(kErrorPath);
    }
}

TEST_F(LogClientTest, FlushesOnlyWhenTheTextWouldNotFit) {
    struct Case {
        size_t held;
        bool flushed;
    } cases[] = {{3995, false}, {3996, true}, {4000, true}};
    const std::string text(100, 't');
    for (const Case& c : cases) {
        SCOPED_TRACE(c.held);
        ViewerPeer viewer;
        LogClient client;
        std::string held(c.held, 'h');
        memcpy(viewer.Buffer(), held.c_str(), held.size() + 1);
        EXPECT_EQ(0, client.Log(text.c_str()));
        if (c.flushed) {
            EXPECT_EQ(std::vector<std::string>{held}, viewer.Lines());
            EXPECT_EQ(text, std::string(viewer.Buffer()));
        } else {
            EXPECT_TRUE(viewer.Lines().empty());
            EXPECT_EQ(held + text, std::string(viewer.Buffer()));
        }
    }
}

TEST_F(LogClientTest, FlushSplitsAtRunsOfLineFeeds) {
    struct Case {
        const char* buffer;
        std::vector<std::string> lines;
    } cases[] = {
        {"a\n\nb\n", {"a", "b"}},
        {"\n\nc", {"c"}},
        {"one\ntwo", {"one", "two"}},
        {"\n\n\n", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.buffer);
        ViewerPeer viewer;
        LogClient client;
        strcpy(viewer.Buffer(), c.buffer);
        client.FlushToViewer(viewer.Window(), viewer.Buffer());
        EXPECT_EQ(c.lines, viewer.Lines());
        std::vector<WPARAM> tops;
        for (size_t i = 0; i < c.lines.size(); ++i) {
            tops.push_back(ViewerPeer::kFirstIndex + i);
        }
        EXPECT_EQ(tops, viewer.TopIndexes());
        EXPECT_EQ(std::string(duzar::kBufferSize, '\0'),
                  std::string(viewer.Buffer(), duzar::kBufferSize))
            << "emptied whole, so that no old text lies behind the next append";
    }
}

// The buffer belongs to other processes too: one that fills all its bytes without a terminator is
// flushed within its bounds (reading past it would fault: the view is exactly one page).
TEST_F(LogClientTest, UnterminatedBufferIsFlushedWithinBounds) {
    ViewerPeer viewer;
    LogClient client;
    std::string first = "first";
    std::string rest(duzar::kBufferSize - first.size() - 1, 'z');
    memcpy(viewer.Buffer(), (first + "\n" + rest).data(), duzar::kBufferSize);
    EXPECT_EQ(0, client.Log("next\n"));
    EXPECT_EQ((std::vector<std::string>{first, rest}), viewer.Lines());
    EXPECT_EQ("next\n", std::string(viewer.Buffer()));
    EXPECT_EQ("", ReadErrorFile());
}

TEST_F(LogClientTest, WakesTheViewerWhenTheBufferHoldsALineFeed) {
    struct Case {
        const char* held;
        const char* text;
        bool signalled;
    } cases[] = {
        {"", "a\n", true},
        {"", "a", false},
        {"a\n", "b", true},
        {"a", "b", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.held) + "|" + c.text);
        ViewerPeer viewer;
        HANDLE event = CreateEventA(NULL, FALSE, FALSE, duzar::kEventName);
        LogClient client;
        strcpy(viewer.Buffer(), c.held);
        EXPECT_EQ(0, client.Log(c.text));
        EXPECT_EQ(c.signalled ? WAIT_OBJECT_0 : WAIT_TIMEOUT, WaitForSingleObject(event, 0));
        CloseHandle(event);
    }
}

DWORD TakeLockFromAnotherThread(DWORD timeout) {
    DWORD result = 0;
    std::thread([&] {
        HANDLE lock = CreateMutexA(NULL, FALSE, duzar::kLockName);
        result = WaitForSingleObject(lock, timeout);
        if (result == WAIT_OBJECT_0) {
            ReleaseMutex(lock);
        }
        CloseHandle(lock);
    }).join();
    return result;
}

TEST_F(LogClientTest, GetLockReportsTimeoutAndSuccess) {
    LogClient client;
    HANDLE held = NULL;
    HANDLE taken = CreateEventA(NULL, TRUE, FALSE, NULL);
    HANDLE done = CreateEventA(NULL, TRUE, FALSE, NULL);
    std::thread holder([&] {
        held = CreateMutexA(NULL, TRUE, duzar::kLockName);
        SetEvent(taken);
        WaitForSingleObject(done, INFINITE);
        ReleaseMutex(held);
        CloseHandle(held);
    });
    WaitForSingleObject(taken, INFINITE);
    EXPECT_EQ(0, client.GetLock(0));
    SetEvent(done);
    holder.join();
    EXPECT_EQ(1, client.GetLock(0));
    client.FreeLock();
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), TakeLockFromAnotherThread(0));
    EXPECT_EQ("", ReadErrorFile());
    CloseHandle(taken);
    CloseHandle(done);
}

// A writer that died holding the lock may have written its line only in part: that part stays a
// line of its own.
TEST_F(LogClientTest, AbandonedLockIsRecordedAndTheLineStillAppended) {
    struct Case {
        const char* left;
        const char* buffer;
    } cases[] = {
        {"", "after\n"},
        {"whole\n", "whole\nafter\n"},
        {"half-writ", "half-writ\nafter\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.left);
        ViewerPeer viewer;
        HANDLE keep = CreateMutexA(NULL, FALSE, duzar::kLockName);
        std::thread([&] {
            HANDLE lock = CreateMutexA(NULL, FALSE, duzar::kLockName);
            WaitForSingleObject(lock, INFINITE);
            strcpy(viewer.Buffer(), c.left);
            CloseHandle(lock); // the thread ends still owning it
        }).join();
        LogClient client;
        EXPECT_EQ(0, client.Log("after\n"));
        EXPECT_EQ(c.buffer, std::string(viewer.Buffer()));
        EXPECT_EQ(Record("GetLock: Fatal development error - Abandoned mutex detected."),
                  ReadErrorFile());
        EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), TakeLockFromAnotherThread(0))
            << "the lock must be released after an abandoned wait";
        client.Close();
        CloseHandle(keep);
        DeleteFileA(kErrorPath);
    }
}

// A viewer that answers, but late: the flush ends by its deadline, whatever the buffer holds; the
// line that asked for it is appended.
TEST_F(LogClientTest, FlushToASlowViewerEndsByItsDeadline) {
    std::string held;
    for (int i = 0; i < 51; ++i) {
        held += std::string(79, 'h') + "\n";
    }
    StalledViewer viewer(held, 900);
    LogClient client;
    const DWORD start = GetTickCount();
    EXPECT_EQ(0, client.Log("a line that does not fit\n"));
    EXPECT_LT(GetTickCount() - start, 10000u) << "a flush of 51 lines at 1.8 s each";
    EXPECT_EQ(
        0u, ReadErrorFile().find(Record("FlushToViewer: Viewer not answering, 50 lines dropped: ")))
        << ReadErrorFile();
    EXPECT_EQ("a line that does not fit\n", viewer.Buffer());
}

// A Log called by a message that this thread answers while its Log waits, for the viewer or for
// the lock: its line follows, whole, and the flushed one arrives once; a lock that never comes
// bounds the two together by one Log's deadline, not one each.
TEST_F(LogClientTest, ALogCalledWhileLogWaitsFollowsIt) {
    const std::string held(4089, 'h');
    const std::string dropped = Record("Log: Line dropped, lock not held: 258.");
    struct Case {
        const char* label;
        bool lockHeld;
        std::vector<std::string> flushed;
        std::string buffer, errors;
    } cases[] = {
        {"waiting for the viewer", false, {held}, "outer\nnested\n", ""},
        {"waiting for the lock", true, {"poke"}, held + "\n", dropped + dropped},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ViewerPeer viewer;
        LogClient client;
        strcpy(viewer.Buffer(), (held + "\n").c_str());
        viewer.onLine = [&](size_t) { EXPECT_EQ(0, client.Log("nested\n")); };
        std::unique_ptr<LockHolder> lock(c.lockHeld ? new LockHolder(INFINITE) : nullptr);
        // While it waits for the lock, this thread answers a message sent to the window; one sent
        // before the wait begins waits for it, since nothing else here answers sent messages.
        std::thread poke([&] {
            DWORD_PTR ignored = 0;
            if (c.lockHeld) {
                SendMessageTimeoutA(viewer.Window(), LB_ADDSTRING, 0,
                                    reinterpret_cast<LPARAM>("poke"), SMTO_NORMAL, 30000, &ignored);
            }
        });
        const DWORD start = GetTickCount();
        client.Log("outer\n");
        EXPECT_LT(GetTickCount() - start, duzar::kLogDeadlineMs + 1000);
        poke.join();
        lock.reset();
        EXPECT_EQ(c.flushed, viewer.Lines());
        EXPECT_EQ(c.buffer, std::string(viewer.Buffer()));
        EXPECT_EQ(c.errors, ReadErrorFile());
        DeleteFileA(kErrorPath);
    }
}

TEST_F(LogClientTest, LockThatCannotBeCreatedDropsTheLine) {
    ViewerPeer viewer;
    // An object of another kind under the lock's name makes CreateMutex fail.
    HANDLE squatter = CreateEventA(NULL, FALSE, FALSE, duzar::kLockName);
    LogClient client;
    strcpy(viewer.Buffer(), "held\n");
    EXPECT_EQ(ERROR_INVALID_HANDLE, client.Log("dropped\n"));
    EXPECT_EQ("held\n", std::string(viewer.Buffer()));
    EXPECT_EQ(Record("CreateLock: Unable to CreateMutex: 6.") +
                  Record("Log: Line dropped, lock not held: 6."),
              ReadErrorFile());
    CloseHandle(squatter);
}

TEST_F(LogClientTest, ViewerWithoutBufferWritesFourRecordsEachTime) {
    ViewerPeer viewer(false);
    LogClient client;
    const std::string once = Record("OpenFileMapping") + SystemRecord(ERROR_FILE_NOT_FOUND) +
                             Record("Log: Unable to get map: 2.") +
                             SystemRecord(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, client.Log("a\n"));
    EXPECT_EQ(once, ReadErrorFile());
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, client.Log("b\n"));
    EXPECT_EQ(once + once, ReadErrorFile());
    EXPECT_FALSE(NamedObjectExists(duzar::kLockName));
    EXPECT_FALSE(NamedObjectExists(duzar::kEventName));
}

// A mapping that opens but cannot be mapped (a 5-byte file behind the name): the handle stays, the
// view is tried again at the next line, and nothing is written through a missing view.
TEST_F(LogClientTest, MissingViewIsMappedAgainBeforeUse) {
    ViewerPeer viewer(false);
    HANDLE file = CreateFileA("C:\\duzar_small.bin", GENERIC_READ | GENERIC_WRITE, 0, NULL,
                              CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, NULL);
    DWORD written = 0;
    WriteFile(file, "small", 5, &written, NULL);
    HANDLE map = CreateFileMappingA(file, NULL, PAGE_READWRITE, 0, 0, duzar::kMapName);
    ASSERT_NE(nullptr, map);
    LogClient client;
    const std::string once = Record("MapViewOfFile") + SystemRecord(ERROR_ACCESS_DENIED) +
                             Record("Log: Unable to get map: 5.") +
                             SystemRecord(ERROR_ACCESS_DENIED);
    EXPECT_EQ(ERROR_ACCESS_DENIED, client.Log("a\n"));
    EXPECT_EQ(ERROR_ACCESS_DENIED, client.Log("b\n"));
    EXPECT_EQ(once + once, ReadErrorFile());
    CloseHandle(map);
    CloseHandle(file);
}

TEST_F(LogClientTest, OverlongTextsAreCut) {
    ViewerPeer viewer;
    LogClient client;
    std::string huge(5000, 'x');
    EXPECT_EQ(0, client.Logf("%s", huge.c_str()));
    EXPECT_EQ(std::string(4094, 'x') + "\n", std::string(viewer.Buffer()));

    LogClient::WriteError(kTag.c_str(), "%s", huge.c_str());
    EXPECT_EQ(Record(std::string(511, 'x')), ReadErrorFile());
}

TEST_F(LogClientTest, SystemTextRecords) {
    struct Case {
        DWORD code;
        std::string second;
    } cases[] = {
        {0, ""},
        // Its text holds an insert, "%1", which must come through as it stands.
        {182, SystemRecord(182)},
        {0x12345, Record("No system text for error 74565 (0x00012345).")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(0, LogClient::WriteSystemError(kTag.c_str(), c.code, "Step: %d", 1));
        EXPECT_EQ(Record("Step: 1") + c.second, ReadErrorFile());
        EXPECT_EQ(std::string::npos, ReadErrorFile().find("\r\r")) << "one line break a record";
        DeleteFileA(kErrorPath);
    }
    EXPECT_NE(std::string::npos, SystemRecord(182).find("%1"));
}

TEST_F(LogClientTest, LogfAddsALineFeedAndCloseReleasesEveryObject) {
    ViewerPeer viewer;
    {
        LogClient client;
        EXPECT_EQ(0, client.Logf("MyWinExec: %s", "FendraL\\setup.exe\n"));
        EXPECT_EQ("MyWinExec: FendraL\\setup.exe\n\n", std::string(viewer.Buffer()));
        EXPECT_TRUE(NamedObjectExists(duzar::kLockName));
        EXPECT_TRUE(NamedObjectExists(duzar::kEventName));
        client.FlushToViewer(viewer.Window(), viewer.Buffer());
        EXPECT_EQ(std::vector<std::string>{"MyWinExec: FendraL\\setup.exe"}, viewer.Lines());
    }
    EXPECT_FALSE(NamedObjectExists(duzar::kLockName));
    EXPECT_FALSE(NamedObjectExists(duzar::kEventName));
    EXPECT_EQ("", ReadErrorFile());
}

// A writer killed while it flushes: the next lock owner finds the lines it sent blanked, so none
// comes twice and none is lost.
TEST_F(LogClientTest, FlushCutShortByDeathRepeatsNothing) {
    ViewerPeer viewer;
    std::vector<std::string> held;
    std::string buffer;
    for (int i = 0; i < 8; ++i) {
        held.push_back("held " + std::to_string(i));
        buffer += held.back() + "\n";
    }
    strcpy(viewer.Buffer(), buffer.c_str());
    // Its one line of some 4,070 characters does not fit beside them: it flushes them first.
    ChildProcess writer("\"" + WinePath(WRITER_EXE) + "\" 0 1 0 4050");
    viewer.onLine = [&](size_t count) {
        if (count == 3) {
            writer.Kill();
        }
    };
    HANDLE process = writer.Handle();
    MSG msg;
    while (MsgWaitForMultipleObjects(1, &process, FALSE, 30000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&msg);
        }
    }
    viewer.onLine = nullptr;
    LogClient client;
    EXPECT_EQ(0, client.Log("after\n"));
    client.FlushToViewer(viewer.Window(), viewer.Buffer());
    held.push_back("after");
    EXPECT_EQ(held, viewer.Lines());
}

// Text accepted and still in the buffer when Close finds no viewer to take it: its bytes, line
// feeds not counted, in a record, and taken out; with a viewer there, it waits for it; with the
// lock kept by another process, it is left to that one and said all the same.
TEST_F(LogClientTest, CloseRecordsTheTextNoViewerTakes) {
    const std::string text = "one\n\ntwo\nhalf";
    struct Case {
        const char* label;
        bool viewerStays, lockKept;
        std::string record, left;
    } cases[] = {
        {"viewer stays", true, false, "", text},
        {"viewer gone", false, false, Record("Close: No viewer, 10 bytes dropped: 0."), ""},
        {"viewer gone, lock kept", false, true, Record("Close: No viewer, 10 bytes dropped: 258."),
         text},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        auto viewer = std::make_unique<ViewerPeer>();
        LogClient client;
        EXPECT_EQ(0, client.Log("one\n\ntwo\n"));
        EXPECT_EQ(0, client.Log("half"));
        OwnedHandle map(OpenFileMappingA(FILE_MAP_READ, FALSE, duzar::kMapName));
        OwnedView view(MapViewOfFile(map.Get(), FILE_MAP_READ, 0, 0, duzar::kBufferSize));
        if (!c.viewerStays) {
            viewer.reset();
        }
        std::unique_ptr<LockHolder> lock(c.lockKept ? new LockHolder(INFINITE) : nullptr);
        client.Close();
        EXPECT_EQ(c.record, ReadErrorFile());
        EXPECT_EQ(c.left, std::string(static_cast<const char*>(view.Get())));
        DeleteFileA(kErrorPath);
    }
}

// Close forgets the mapping; the next line maps the buffer of the viewer running then.
TEST_F(LogClientTest, LogAfterCloseReachesTheNextViewer) {
    LogClient client;
    {
        ViewerPeer first;
        EXPECT_EQ(0, client.Log("one\n"));
        client.Close();
    }
    ViewerPeer second;
    EXPECT_EQ(0, client.Log("two\n"));
    EXPECT_EQ("two\n", std::string(second.Buffer()));
}

TEST_F(LogClientTest, ConcurrentWritersLoseNothing) {
    const int kWriters = 4;
    const int kLines = 300;
    DrainingViewer viewer;
    std::vector<std::unique_ptr<ChildProcess>> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.push_back(std::make_unique<ChildProcess>("\"" + WinePath(WRITER_EXE) + "\" " +
                                                         std::to_string(w) + " " +
                                                         std::to_string(kLines)));
    }
    for (const auto& writer : writers) {
        EXPECT_EQ(0u, writer->Wait()) << "lines refused";
    }
    std::vector<std::string> lines = viewer.Finish();

    std::map<int, int> next;
    for (const std::string& line : lines) {
        int writer = -1, number = -1;
        char tail = 0;
        ASSERT_EQ(2, sscanf(line.c_str(), "writer %d line %d%c", &writer, &number, &tail))
            << "not a whole line: " << line;
        ASSERT_EQ(next[writer], number) << "writer " << writer << " out of order or repeated";
        ++next[writer];
    }
    EXPECT_EQ(static_cast<size_t>(kWriters * kLines), lines.size());
    for (int w = 0; w < kWriters; ++w) {
        EXPECT_EQ(kLines, next[w]) << "writer " << w;
    }
    EXPECT_EQ("", ReadErrorFile());
}

} // namespace

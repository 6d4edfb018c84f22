// Path splitting and joining, the installer path, the notes command line and the order of the
// menu's commands, without starting anything.
#include "command_queue.h"
#include "launch.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <functional>
#include <random>
#include <string>

namespace {

constexpr UINT kWestern = 1252;
constexpr UINT kJapanese = 932;

// "ソ" in code page 932: its trail byte is '\'.
const std::string kSo = "\x83\x5c";

struct Split {
    std::string drive, dir, fname, ext;
    bool operator==(const Split& o) const {
        return drive == o.drive && dir == o.dir && fname == o.fname && ext == o.ext;
    }
};

std::ostream& operator<<(std::ostream& out, const Split& s) {
    return out << "[" << s.drive << "|" << s.dir << "|" << s.fname << "|" << s.ext << "]";
}

Split SplitOf(UINT codePage, const std::string& path, bool* fits = nullptr) {
    PathParts parts;
    bool ok = SplitPath(codePage, path.c_str(), &parts);
    if (fits) {
        *fits = ok;
    }
    return {parts.drive, parts.dir, parts.fname, parts.ext};
}

TEST(SplitPathTest, Parts) {
    struct Case {
        UINT codePage;
        std::string path;
        Split expected;
    } cases[] = {
        {kWestern, "D:\\install\\setup.exe", {"D:", "\\install\\", "setup", ".exe"}},
        {kWestern, "FendraL\\setup.exe", {"", "FendraL\\", "setup", ".exe"}},
        {kWestern, "setup.exe", {"", "", "setup", ".exe"}},
        {kWestern, "E:\\setup.exe", {"E:", "\\", "setup", ".exe"}},
        {kWestern, "a.b\\c", {"", "a.b\\", "c", ""}},
        {kWestern, "x:file.tar.gz", {"x:", "", "file.tar", ".gz"}},
        {kWestern, "dir/.hidden", {"", "dir/", "", ".hidden"}},
        {kWestern, ".\\readme\\Velmora.pdf", {"", ".\\readme\\", "Velmora", ".pdf"}},
        {kWestern, "", {"", "", "", ""}},
        // A trail byte of '\' is part of its character, never a separator.
        {kJapanese, "C:\\dir\\" + kSo + ".exe", {"C:", "\\dir\\", kSo, ".exe"}},
        {kJapanese, "C:\\" + kSo + "\\a.exe", {"C:", "\\" + kSo + "\\", "a", ".exe"}},
        {kJapanese, kSo, {"", "", kSo, ""}},
        // The same bytes in a single-byte code page: the 0x5C is a separator there.
        {kWestern, "C:\\dir\\" + kSo + ".exe", {"C:", "\\dir\\\x83\\", "", ".exe"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path + " in code page " + std::to_string(c.codePage));
        EXPECT_EQ(c.expected, SplitOf(c.codePage, c.path));
    }
}

TEST(SplitPathTest, PartThatDoesNotFitEmptiesEveryPart) {
    struct Case {
        std::string path;
        bool fits;
    } cases[] = {
        {"C:\\" + std::string(253, 'd') + "\\f.e", true}, // directory of 255
        {"C:\\" + std::string(254, 'd') + "\\f.e", false},
        {std::string(255, 'f') + ".e", true},
        {std::string(256, 'f') + ".e", false},
        {"f." + std::string(254, 'e'), true}, // extension of 255 with its dot
        {"f." + std::string(255, 'e'), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.size());
        bool fits = false;
        Split split = SplitOf(kWestern, c.path, &fits);
        EXPECT_EQ(c.fits, fits);
        if (!c.fits) {
            EXPECT_EQ((Split{"", "", "", ""}), split);
        }
    }
}

TEST(ComposePathTest, Joins) {
    struct Case {
        UINT codePage;
        PathParts parts;
        std::string expected;
    } cases[] = {
        {kWestern,
         {"D:", "\\install\\Morrik\\", "setup", ".exe"},
         "D:\\install\\Morrik\\setup.exe"},
        {kWestern, {"D:", "\\install", "setup", "exe"}, "D:\\install\\setup.exe"},
        {kWestern, {"", "dir/", "name", ""}, "dir/name"},
        {kWestern, {"", "", "", ".ext"}, ".ext"},
        // Only the drive's first byte is used, followed by ':'.
        {kWestern, {"E", "\\", "setup", ".exe"}, "E:\\setup.exe"},
        // A folder ending in a character whose trail byte is '\' still gets its separator.
        {kJapanese, {"", "d\\\x83\x5c", "f", "txt"}, "d\\\x83\x5c\\f.txt"},
        {kJapanese, {"", "d\\\x83\x5c\\", "f", "txt"}, "d\\\x83\x5c\\f.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        char out[kPathSize];
        ASSERT_TRUE(ComposePath(c.codePage, c.parts, out, kPathSize));
        EXPECT_EQ(c.expected, out);
    }
}

TEST(ComposePathTest, RefusesWhatDoesNotFit) {
    PathParts parts = {"C:", "\\", "", ".e"};
    std::string name(kPathSize - 6, 'n'); // C:\ + name + .e = 259 characters
    memcpy(parts.fname, name.c_str(), name.size() + 1);
    char out[kPathSize];
    EXPECT_TRUE(ComposePath(kWestern, parts, out, kPathSize));
    EXPECT_EQ(kPathSize - 1, strlen(out));
    parts.fname[name.size()] = 'n';
    parts.fname[name.size() + 1] = '\0';
    EXPECT_FALSE(ComposePath(kWestern, parts, out, kPathSize));
}

// On paths of ASCII characters whose parts fit, the split and the join must agree with the C
// runtime's _splitpath and _makepath.
TEST(SplitPathTest, AgreesWithTheRuntime) {
    const char alphabet[] = {'a', 'B', '.', '\\', '/', ':', ' ', 'C'};
    std::mt19937 random(20070514);
    for (int i = 0; i < 20000; ++i) {
        std::string path;
        size_t length = random() % 14;
        for (size_t k = 0; k < length; ++k) {
            path += alphabet[random() % sizeof alphabet];
        }
        SCOPED_TRACE("path \"" + path + "\"");
        char drive[_MAX_DRIVE], dir[_MAX_DIR], fname[_MAX_FNAME], ext[_MAX_EXT];
        _splitpath(path.c_str(), drive, dir, fname, ext);
        ASSERT_EQ((Split{drive, dir, fname, ext}), SplitOf(kWestern, path));

        char runtime[_MAX_PATH];
        _makepath(runtime, drive, dir, fname, ext);
        PathParts parts;
        SplitPath(kWestern, path.c_str(), &parts);
        char ours[kPathSize];
        ASSERT_TRUE(ComposePath(kWestern, parts, ours, kPathSize));
        ASSERT_STREQ(runtime, ours);
    }
}

TEST(InstallerPathTest, JoinsTheProgramFolderWithTheRelativePath) {
    // A program folder of n bytes: "\ddd...\".
    auto folder = [](size_t n) { return "\\" + std::string(n - 2, 'd') + "\\"; };
    struct Case {
        std::string program, relative, expected;
    } cases[] = {
        {"D:\\install\\setup.exe", "Morrik\\setup.exe", "D:\\install\\Morrik\\setup.exe"},
        {"E:\\setup.exe", "FendraL\\setup.exe", "E:\\FendraL\\setup.exe"},
        {"D:\\install\\setup.exe", "setup.exe", "D:\\install\\setup.exe"},
        // The relative path's own drive is dropped.
        {"D:\\install\\setup.exe", "X:FendraP\\setup.exe", "D:\\install\\FendraP\\setup.exe"},
        {"\\\\server\\media\\setup.exe", "FendraL\\setup.exe",
         "\\\\server\\media\\FendraL\\setup.exe"},
        // Joined folder of 255 bytes, the most its buffer holds; then one more.
        {"C:" + folder(247) + "setup.exe", "FendraL\\a", "C:" + folder(247) + "FendraL\\a"},
        {"C:" + folder(248) + "setup.exe", "FendraL\\a", ""},
        // Composed path of 259 characters, then 260.
        {"C:\\d\\setup.exe", "x\\" + std::string(252, 'n'), "C:\\d\\x\\" + std::string(252, 'n')},
        {"C:\\d\\setup.exe", "x\\" + std::string(253, 'n'), ""},
        // A program folder that does not fit its part buffer is not a folder to start from.
        {"C:\\" + std::string(255, 'd') + "\\s", "FendraL\\setup.exe", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program + " + " + c.relative);
        char out[kPathSize] = "unchanged";
        bool built =
            BuildInstallerPath(kWestern, c.program.c_str(), c.relative.c_str(), out, kPathSize);
        EXPECT_EQ(!c.expected.empty(), built);
        if (built) {
            EXPECT_EQ(c.expected, out);
        }
    }
}

TEST(InstallerPathTest, ProgramPathMustBeWhole) {
    char path[kPathSize];
    ASSERT_TRUE(GetProgramPath(path, kPathSize));
    EXPECT_NE(nullptr, strstr(path, "launch_test.exe")) << path;
    char cut[5];
    EXPECT_FALSE(GetProgramPath(cut, sizeof cut));
}

// A path is taken in the code page exactly, or by its short form, never with look-alikes; a quoted
// path keeps the whole path limit.
TEST(InstallerPathTest, CodePageFormsAndQuotes) {
    // "日本" cannot be named in code page 1252; Wine keeps a short name for the folder.
    const std::wstring japanese = L"C:\\launch_test\\\u65e5\u672c";
    CreateDirectoryW(L"C:\\launch_test", NULL);
    CreateDirectoryW(japanese.c_str(), NULL);
    wchar_t wideShort[MAX_PATH] = {};
    ASSERT_NE(0u, GetShortPathNameW(japanese.c_str(), wideShort, MAX_PATH));
    std::string shortForm(wideShort, wideShort + wcslen(wideShort)); // ASCII
    struct Case {
        const char* label;
        UINT codePage;
        std::wstring path;
        size_t size;
        std::string expected; // empty: refused
    } cases[] = {
        {"Western", kWestern, L"C:\\m\u00e9dia\\s", kPathSize,
         "C:\\m\xe9"
         "dia\\s"},
        {"look-alikes, no short form", kWestern, L"C:\\\u03b1\u03b5\u03c4\\s", kPathSize, ""},
        {"double-byte", kJapanese, japanese, kPathSize, "C:\\launch_test\\\x93\xfa\x96\x7b"},
        {"short form", kWestern, japanese, kPathSize, shortForm},
        {"UTF-8", CP_UTF8, L"C:\\\u03b1", kPathSize, "C:\\\xce\xb1"},
        {"fills the buffer", kWestern, L"C:\\abc", 7, "C:\\abc"},
        {"one byte more", kWestern, L"C:\\abc", 6, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        char out[kPathSize] = {};
        EXPECT_EQ(!c.expected.empty(), RepresentablePath(c.codePage, c.path.c_str(), out, c.size));
        if (!c.expected.empty()) {
            EXPECT_EQ(c.expected, out);
        }
    }
    RemoveDirectoryW(japanese.c_str());
    for (size_t length : {257, 258, 259}) {
        for (bool spaced : {false, true}) {
            std::string path = "C:\\" + std::string(length - 3, 'p');
            path[5] = spaced ? ' ' : 'p';
            SCOPED_TRACE(path);
            char command[kCommandSize];
            ASSERT_TRUE(QuoteIfSpaced(path.c_str(), command, kCommandSize));
            EXPECT_EQ(spaced ? "\"" + path + "\"" : path, command);
        }
    }
}

TEST(ViewerCommandTest, FromRegistryValue) {
    SetEnvironmentVariableA("VIEWER_HOME", "C:\\Viewer");
    SetEnvironmentVariableA("VIEWER_HUGE", std::string(300, 'h').c_str());
    const std::string full259(259, 'v');
    struct Case {
        const char* label;
        LONG status;
        DWORD type;
        std::string data; // the bytes as the registry gave them
        std::string expected;
    } cases[] = {
        {"no key", ERROR_FILE_NOT_FOUND, REG_NONE, "", "notepad"},
        {"too long to read", ERROR_MORE_DATA, REG_SZ, "", "notepad"},
        {"plain", ERROR_SUCCESS, REG_SZ, std::string("v.exe %1", 9), "v.exe %1"},
        {"no terminator", ERROR_SUCCESS, REG_SZ, "abc", "abc"},
        {"259 and terminator", ERROR_SUCCESS, REG_SZ, full259 + '\0', full259},
        {"260 without terminator", ERROR_SUCCESS, REG_SZ, full259 + 'v', "notepad"},
        {"binary", ERROR_SUCCESS, REG_BINARY, std::string("v.exe", 6), "notepad"},
        {"dword", ERROR_SUCCESS, REG_DWORD, std::string("\1\0\0\0", 4), "notepad"},
        {"empty", ERROR_SUCCESS, REG_SZ, std::string("", 1), "notepad"},
        {"blank", ERROR_SUCCESS, REG_SZ, std::string("  ", 3), "notepad"},
        {"not expanded in REG_SZ", ERROR_SUCCESS, REG_SZ, std::string("%VIEWER_HOME%\\v", 16),
         "%VIEWER_HOME%\\v"},
        {"expanded", ERROR_SUCCESS, REG_EXPAND_SZ, std::string("%VIEWER_HOME%\\v %1", 19),
         "C:\\Viewer\\v %1"},
        {"expands past the buffer", ERROR_SUCCESS, REG_EXPAND_SZ, std::string("%VIEWER_HUGE%", 14),
         "notepad"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        char command[kPathSize];
        memset(command, '#', sizeof command);
        ViewerCommandFromValue(c.status, c.type, c.data.data(), static_cast<DWORD>(c.data.size()),
                               command, kPathSize);
        EXPECT_EQ(c.expected, command);
    }
}

TEST(ViewerCommandTest, CommandLine) {
    const std::string doc = "D:\\install\\readme\\Velmora.pdf";
    const std::string spaced = "D:\\My Install\\readme\\Velmora.pdf";
    struct Case {
        std::string viewer, document, expected;
    } cases[] = {
        {"notepad", doc, "notepad " + doc},
        {"notepad", spaced, "notepad \"" + spaced + "\""},
        {"\"C:\\v.exe\" %1", doc, "\"C:\\v.exe\" " + doc},
        {"\"C:\\v.exe\" %1", spaced, "\"C:\\v.exe\" \"" + spaced + "\""},
        {"\"C:\\v.exe\" \"%1\"", spaced, "\"C:\\v.exe\" \"" + spaced + "\""},
        {"v.exe -a %1 -b %1", "p", "v.exe -a p -b p"},
        {"v.exe %1x", "p", "v.exe px"},
        {"\"C:\\v.exe\" -nohome", doc, "\"C:\\v.exe\" -nohome " + doc},
        // The line holds 259 characters at the most.
        {std::string(200, 'v'), std::string(58, 'd'),
         std::string(200, 'v') + " " + std::string(58, 'd')},
        {std::string(200, 'v'), std::string(59, 'd'), ""},
        {std::string(200, 'v') + " %1", std::string(58, 'd'),
         std::string(200, 'v') + " " + std::string(58, 'd')},
        {std::string(200, 'v') + " %1", std::string(59, 'd'), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.viewer + " / " + c.document);
        char out[kPathSize];
        bool built = BuildViewerCommandLine(c.viewer.c_str(), c.document.c_str(), out, kPathSize);
        EXPECT_EQ(!c.expected.empty(), built);
        if (built) {
            EXPECT_EQ(c.expected, out);
        }
    }
}

// Commands submitted while one runs (by what runs) follow it in arrival order, never inside it;
// past the queue's capacity they are refused; a menu closed meanwhile starts none of them, nor any
// submitted after the close.
TEST(CommandQueueTest, CommandsArrivingMeanwhileRunAfterInOrder) {
    constexpr size_t kNever = ~size_t{0};
    constexpr size_t kFull = CommandQueue::kCapacity;
    struct Case {
        size_t arriving;
        size_t closedAfter; // arrivals before the close, or kNever
        size_t refused;
        size_t ran;
    } cases[] = {{0, kNever, 0, 1},
                 {2, kNever, 0, 3},
                 {kFull, kNever, 0, kFull + 1},
                 {kFull + 2, kNever, 2, kFull + 1},
                 {2, 2, 0, 1},
                 {4, 2, 2, 1},
                 {kFull + 3, 0, kFull + 3, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.arriving << " arriving, closed after " << c.closedAfter);
        CommandQueue queue;
        std::vector<WPARAM> ran;
        size_t refused = 0;
        std::function<void(WPARAM)> run = [&](WPARAM command) {
            ran.push_back(command);
            for (WPARAM next = 1; command == 0 && next <= c.arriving; ++next) {
                if (next - 1 == c.closedAfter) {
                    queue.Close();
                }
                refused += queue.Submit(next, run) ? 0 : 1;
            }
            if (command == 0 && c.closedAfter == c.arriving) {
                queue.Close();
            }
        };
        EXPECT_TRUE(queue.Submit(0, run));
        std::vector<WPARAM> expected(c.ran);
        for (size_t i = 0; i < expected.size(); ++i) {
            expected[i] = i;
        }
        EXPECT_EQ(expected, ran);
        EXPECT_EQ(c.refused, refused);
        EXPECT_EQ(c.closedAfter != kNever, !queue.Submit(99, run)) << "a closed queue ran one more";
    }
}

} // namespace

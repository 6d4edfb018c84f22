// The 32-bit executables that ship, read without running them: their PE headers, their imports,
// their strings and setup.exe's resources.
#include "resource.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

std::string ProductPath(const char* relative = "setup/setup.exe") {
    std::string path = "Z:" + std::string(PRODUCT_BUILD_DIR) + "/" + relative;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::vector<unsigned char> ReadProduct(const char* relative) {
    std::ifstream in(ProductPath(relative), std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

template <typename T> T At(const std::vector<unsigned char>& image, size_t offset) {
    T value{};
    if (offset + sizeof(T) <= image.size()) {
        memcpy(&value, image.data() + offset, sizeof(T));
    }
    return value;
}

// A reader of a resource's bytes, in the order the template lays them out.
class Reader {
  public:
    Reader(const void* data, size_t size)
        : m_data(static_cast<const unsigned char*>(data)), m_size(size) {}
    template <typename T> T Take() {
        T value{};
        if (m_at + sizeof(T) <= m_size) {
            memcpy(&value, m_data + m_at, sizeof(T));
        }
        m_at += sizeof(T);
        return value;
    }
    // A string or an ordinal (0xFFFF, then the number), rendered as "#n" for an ordinal.
    std::string TakeNameOrOrdinal() {
        if (Peek() == 0xFFFF) {
            Take<WORD>();
            return "#" + std::to_string(Take<WORD>());
        }
        std::string text;
        for (WORD c = Take<WORD>(); c != 0 && m_at <= m_size; c = Take<WORD>()) {
            text += static_cast<char>(c);
        }
        return text;
    }
    void AlignToDword() { m_at = (m_at + 3) & ~size_t(3); }

  private:
    WORD Peek() const {
        WORD value = 0;
        if (m_at + 2 <= m_size) {
            memcpy(&value, m_data + m_at, 2);
        }
        return value;
    }
    const unsigned char* m_data;
    size_t m_size;
    size_t m_at = 0;
};

// The DLLs each program imports, in lower case; an empty set when the image cannot be read.
std::set<std::string> Imports(const std::vector<unsigned char>& image) {
    std::set<std::string> imported;
    size_t nt = At<DWORD>(image, 0x3C);
    auto file = At<IMAGE_FILE_HEADER>(image, nt + 4);
    auto optional = At<IMAGE_OPTIONAL_HEADER32>(image, nt + 4 + sizeof(IMAGE_FILE_HEADER));
    size_t sections = nt + 4 + sizeof(IMAGE_FILE_HEADER) + file.SizeOfOptionalHeader;
    auto toOffset = [&](DWORD rva) -> size_t {
        for (WORD i = 0; i < file.NumberOfSections; ++i) {
            auto s = At<IMAGE_SECTION_HEADER>(image, sections + i * sizeof(IMAGE_SECTION_HEADER));
            if (rva >= s.VirtualAddress && rva < s.VirtualAddress + s.Misc.VirtualSize) {
                return rva - s.VirtualAddress + s.PointerToRawData;
            }
        }
        return image.size();
    };
    DWORD importRva = optional.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    for (size_t at = toOffset(importRva); at < image.size();
         at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        auto entry = At<IMAGE_IMPORT_DESCRIPTOR>(image, at);
        if (entry.Name == 0) {
            break;
        }
        std::string name;
        for (size_t c = toOffset(entry.Name); c < image.size() && image[c]; ++c) {
            name += static_cast<char>(tolower(image[c]));
        }
        imported.insert(name);
    }
    return imported;
}

// Runs of printable characters, as `strings` finds them.
std::vector<std::string> Strings(const std::vector<unsigned char>& image) {
    std::vector<std::string> found;
    std::string run;
    for (unsigned char c : image) {
        if (c >= 0x20 && c < 0x7F) {
            run += static_cast<char>(c);
            continue;
        }
        if (run.size() >= 6) {
            found.push_back(run);
        }
        run.clear();
    }
    return found;
}

TEST(ProductTest, ThirtyTwoBitGuiProgramsThatStartOnACleanWindows) {
    const std::set<std::string> system = {"kernel32.dll", "user32.dll", "advapi32.dll",
                                          "msvcrt.dll"};
    struct Program {
        const char* path;
        std::set<std::string> allowed;
    } programs[] = {
        {"setup/setup.exe", system},
        // The viewer's status bar and file dialogs come from the system's common controls, its
        // settings from the registry, the user's documents folder and dropped files from the shell;
        // forwarding to syslog takes the sockets, the system's TLS and its certificate checks.
        {"logview/logview.exe",
         {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "msvcrt.dll", "comctl32.dll",
          "comdlg32.dll", "shell32.dll", "ws2_32.dll", "secur32.dll", "crypt32.dll"}},
    };
    // A build-machine path: the source folder, or any absolute Unix or drive path.
    const std::regex absolute("(^|[^A-Za-z0-9_.])/(usr|home|root|tmp|work|build|opt|var|src|mnt)/|"
                              "[A-Za-z]:[\\\\/][A-Za-z]");
    for (const Program& program : programs) {
        SCOPED_TRACE(program.path);
        std::vector<unsigned char> image = ReadProduct(program.path);
        ASSERT_GT(image.size(), 1024u) << ProductPath(program.path);
        ASSERT_EQ(IMAGE_DOS_SIGNATURE, At<WORD>(image, 0));
        size_t nt = At<DWORD>(image, 0x3C);
        ASSERT_EQ(IMAGE_NT_SIGNATURE, At<DWORD>(image, nt));
        auto file = At<IMAGE_FILE_HEADER>(image, nt + 4);
        EXPECT_EQ(IMAGE_FILE_MACHINE_I386, file.Machine);
        EXPECT_EQ(0u, file.TimeDateStamp) << "a time stamp makes two builds differ";
        auto optional = At<IMAGE_OPTIONAL_HEADER32>(image, nt + 4 + sizeof(IMAGE_FILE_HEADER));
        EXPECT_EQ(IMAGE_NT_OPTIONAL_HDR32_MAGIC, optional.Magic);
        EXPECT_EQ(IMAGE_SUBSYSTEM_WINDOWS_GUI, optional.Subsystem);

        std::set<std::string> imported = Imports(image);
        EXPECT_TRUE(imported.count("kernel32.dll"));
        for (const std::string& dll : imported) {
            EXPECT_TRUE(program.allowed.count(dll)) << "imports " << dll;
        }
        for (const std::string& text : Strings(image)) {
            EXPECT_FALSE(std::regex_search(text, absolute)) << "a build-machine path: " << text;
            EXPECT_EQ(std::string::npos, text.find(PRODUCT_SOURCE_DIR)) << text;
        }
    }
}

class ProductResourcesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_module = LoadLibraryExA(ProductPath().c_str(), NULL,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(nullptr, m_module) << ProductPath() << ": " << GetLastError();
    }
    void TearDown() override {
        if (m_module) {
            FreeLibrary(m_module);
        }
    }
    Reader Resource(LPCSTR type, LPCSTR name) {
        HRSRC found =
            FindResourceExA(m_module, type, name, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
        EXPECT_NE(nullptr, found) << "resource not found in US English";
        if (!found) {
            return Reader(nullptr, 0);
        }
        return Reader(LockResource(LoadResource(m_module, found)), SizeofResource(m_module, found));
    }
    HMODULE m_module = NULL;
};

TEST_F(ProductResourcesTest, SetupMenuTemplate) {
    Reader dialog = Resource(RT_DIALOG, MAKEINTRESOURCEA(IDD_SETUP_MENU));
    EXPECT_EQ(1, dialog.Take<WORD>());      // extended template
    EXPECT_EQ(0xFFFF, dialog.Take<WORD>()); // its signature
    EXPECT_EQ(0u, dialog.Take<DWORD>());    // help ID
    EXPECT_EQ(0u, dialog.Take<DWORD>());    // extended style
    EXPECT_EQ(static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT),
              dialog.Take<DWORD>());
    EXPECT_EQ(4, dialog.Take<WORD>());
    short frame[4];
    for (short& v : frame) {
        v = dialog.Take<short>();
    }
    EXPECT_EQ((std::vector<short>{0, 0, 134, 122}), std::vector<short>(frame, frame + 4));
    EXPECT_EQ("", dialog.TakeNameOrOrdinal()); // menu
    EXPECT_EQ("", dialog.TakeNameOrOrdinal()); // standard dialog class
    EXPECT_EQ(SETUP_MENU_CAPTION, dialog.TakeNameOrOrdinal());
    EXPECT_EQ(16, dialog.Take<WORD>());
    EXPECT_EQ(400, dialog.Take<WORD>());
    EXPECT_EQ(0, dialog.Take<BYTE>()); // not italic
    EXPECT_EQ(0, dialog.Take<BYTE>()); // ANSI character set
    EXPECT_EQ("Microsoft Sans Serif", dialog.TakeNameOrOrdinal());

    const DWORD button = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
    struct Control {
        DWORD id;
        const char* caption;
        short x, y;
        DWORD style;
    } controls[] = {
        {IDC_FENDRA_LIGHT, FENDRA_LIGHT_CAPTION, 7, 34, button},
        {IDC_BOARD_DRIVERS, BOARD_DRIVERS_CAPTION, 7, 61, button | WS_DISABLED},
        {IDC_README, README_CAPTION, 7, 7, button},
        {IDC_FENDRA_PROCESSING, FENDRA_PROCESSING_CAPTION, 7, 88, button},
    };
    for (const Control& c : controls) {
        SCOPED_TRACE(c.caption);
        dialog.AlignToDword();
        EXPECT_EQ(0u, dialog.Take<DWORD>()); // help ID
        EXPECT_EQ(0u, dialog.Take<DWORD>()); // extended style
        EXPECT_EQ(c.style, dialog.Take<DWORD>());
        EXPECT_EQ(c.x, dialog.Take<short>());
        EXPECT_EQ(c.y, dialog.Take<short>());
        EXPECT_EQ(120, dialog.Take<short>());
        EXPECT_EQ(27, dialog.Take<short>());
        EXPECT_EQ(c.id, dialog.Take<DWORD>());
        EXPECT_EQ("#128", dialog.TakeNameOrOrdinal()); // the predefined button class
        EXPECT_EQ(c.caption, dialog.TakeNameOrOrdinal());
        EXPECT_EQ(0, dialog.Take<WORD>()); // no creation data
    }
}

TEST_F(ProductResourcesTest, ManifestIsAnEmptyAssembly) {
    HRSRC found = FindResourceA(m_module, MAKEINTRESOURCEA(1), RT_MANIFEST);
    ASSERT_NE(nullptr, found);
    std::string manifest(static_cast<const char*>(LockResource(LoadResource(m_module, found))),
                         SizeofResource(m_module, found));
    size_t open = manifest.find("<assembly ");
    size_t close = manifest.find("</assembly>");
    ASSERT_NE(std::string::npos, open) << manifest;
    ASSERT_NE(std::string::npos, close) << manifest;
    std::string inside = manifest.substr(manifest.find('>', open) + 1);
    inside = inside.substr(0, inside.find("</assembly>"));
    EXPECT_EQ(std::string::npos, inside.find_first_not_of(" \t\r\n")) << inside;
}

BOOL CALLBACK CollectType(HMODULE, LPSTR type, LONG_PTR types) {
    reinterpret_cast<std::set<ULONG_PTR>*>(types)->insert(reinterpret_cast<ULONG_PTR>(type));
    return TRUE;
}

TEST_F(ProductResourcesTest, CarriesDialogVersionAndManifestOnly) {
    std::set<ULONG_PTR> types;
    EnumResourceTypesA(m_module, CollectType, reinterpret_cast<LONG_PTR>(&types));
    EXPECT_EQ((std::set<ULONG_PTR>{reinterpret_cast<ULONG_PTR>(RT_DIALOG),
                                   reinterpret_cast<ULONG_PTR>(RT_VERSION),
                                   reinterpret_cast<ULONG_PTR>(RT_MANIFEST)}),
              types)
        << "no icon, nothing else";
}

TEST(ProductVersionTest, VersionBlock) {
    std::string path = ProductPath();
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), NULL);
    ASSERT_NE(0u, size);
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, block.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(0x00010000u, fixed->dwFileVersionMS);
    EXPECT_EQ(0x00000001u, fixed->dwFileVersionLS);
    EXPECT_EQ(0x00010000u, fixed->dwProductVersionMS);
    EXPECT_EQ(0x00000001u, fixed->dwProductVersionLS);

    WORD* translation = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(4u, length);
    EXPECT_EQ(0x0409, translation[0]);
    EXPECT_EQ(1200, translation[1]);

    struct Text {
        const char* name;
        const char* value;
    } texts[] = {
        {"FileVersion", "1, 0, 0, 1"},
        {"ProductVersion", "1, 0, 0, 1"},
        {"FileDescription", "Velmora Setup Application"},
        {"ProductName", "Velmora Setup Application"},
    };
    for (const Text& t : texts) {
        SCOPED_TRACE(t.name);
        char* value = nullptr;
        std::string query = std::string("\\StringFileInfo\\040904b0\\") + t.name;
        ASSERT_TRUE(
            VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length));
        EXPECT_STREQ(t.value, value);
    }
}

} // namespace

// The display-driver patch against the test prefix's registry, its boxes read from outside.
#include "box_watcher.h"
#include "device_keys.h"

#include <gtest/gtest.h>

namespace {

std::string SystemText(DWORD code) {
    char* text = NULL;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   NULL, code, 0x0400, reinterpret_cast<LPSTR>(&text), 0, NULL);
    std::string result = text ? text : "";
    LocalFree(text);
    return result;
}

struct Box {
    std::string caption, text;
    bool operator==(const Box& o) const { return caption == o.caption && text == o.text; }
};
std::ostream& operator<<(std::ostream& out, const Box& b) {
    return out << "[" << b.caption << ": " << b.text << "]";
}

const Box kPatchFailed = {kPatchFailedCaption, kPatchFailedText};

// An owner for the boxes, as the menu is; each box must be owned by it and keep it disabled.
class PatchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_owner = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 100,
                                  100, NULL, NULL, NULL, NULL);
        ASSERT_NE(nullptr, m_owner);
    }
    void TearDown() override { DestroyWindow(m_owner); }

    // Runs the patch and returns the boxes it showed, each checked for its owner.
    std::vector<Box> Patch() {
        BoxWatcher watcher;
        PatchDisplayDriver(m_owner);
        std::vector<Box> boxes;
        for (const SeenBox& seen : watcher.Boxes()) {
            EXPECT_EQ(m_owner, seen.owner) << seen.caption;
            EXPECT_TRUE(seen.ownerDisabled) << seen.caption << ": not modal to its owner";
            boxes.push_back({seen.caption, seen.text});
        }
        return boxes;
    }

    DeviceKeysRemoved m_clean;
    HWND m_owner = NULL;
};

TEST_F(PatchTest, FirstDeviceKeyThatExistsTakesTheValue) {
    struct Case {
        const char* label;
        bool first, second;
        std::vector<Box> boxes;
    } cases[] = {
        {"both keys", true, true, {}},
        {"second key only", false, true, {}},
        {"neither key", false, false, {kPatchFailed}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        DeviceKeysRemoved::RemoveAll();
        if (c.first) {
            CreateDeviceKey(kFirstDeviceKey);
        }
        if (c.second) {
            CreateDeviceKey(kSecondDeviceKey);
        }
        EXPECT_EQ(c.boxes, Patch());
        EXPECT_EQ(c.first, IsPatched(ReadPatchValue(kFirstDeviceKey)));
        EXPECT_EQ(c.second && !c.first, IsPatched(ReadPatchValue(kSecondDeviceKey)));
    }
}

TEST_F(PatchTest, ValueOfAnyTypeIsReplacedByTheDword) {
    struct Case {
        const char* label;
        DWORD type; // REG_NONE: no value before
        std::string bytes;
    } cases[] = {
        {"missing", REG_NONE, ""},
        {"string", REG_SZ, std::string("abc", 4)},
        {"binary of 8 bytes", REG_BINARY, std::string("\1\2\3\4\5\6\7\10", 8)},
        {"dword 0", REG_DWORD, std::string(4, '\0')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        DeviceKeysRemoved::RemoveAll();
        CreateDeviceKey(kFirstDeviceKey);
        if (c.type != REG_NONE) {
            RegSetKeyValueA(HKEY_LOCAL_MACHINE, kFirstDeviceKey, kPatchValueName, c.type,
                            c.bytes.data(), static_cast<DWORD>(c.bytes.size()));
        }
        EXPECT_EQ(std::vector<Box>{}, Patch());
        PatchValue after = ReadPatchValue(kFirstDeviceKey);
        EXPECT_TRUE(IsPatched(after))
            << "type " << after.type << ", " << after.bytes.size() << " bytes";
    }
}

// Registry calls standing in for the system's, failing one chosen step with a chosen code, and
// counting opens and closes so that a key left open is seen.
struct FailingRegistry {
    static inline int failingStep = 0; // 1 delete, 2 set, 3 flush, 4 close
    static inline LONG code = 0;
    static inline const char* onlyKey = nullptr; // fail on this device key alone, or on every one
    static inline HKEY failingKey = NULL;
    static inline int opened = 0;
    static inline int closed = 0;

    static LONG Fail(int step, HKEY key) {
        return step == failingStep && (!onlyKey || key == failingKey) ? code : ERROR_SUCCESS;
    }
    static LSTATUS WINAPI Open(HKEY root, LPCSTR name, DWORD options, REGSAM access, PHKEY key) {
        LSTATUS status = RegOpenKeyExA(root, name, options, access, key);
        if (status == ERROR_SUCCESS) {
            ++opened;
            if (onlyKey && strcmp(name, onlyKey) == 0) {
                failingKey = *key;
            }
        }
        return status;
    }
    static LSTATUS WINAPI Delete(HKEY key, LPCSTR name) {
        LONG status = Fail(1, key);
        return status ? status : RegDeleteValueA(key, name);
    }
    static LSTATUS WINAPI Set(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data,
                              DWORD size) {
        LONG status = Fail(2, key);
        return status ? status : RegSetValueExA(key, name, reserved, type, data, size);
    }
    static LSTATUS WINAPI Flush(HKEY key) {
        LONG status = Fail(3, key);
        return status ? status : RegFlushKey(key);
    }
    static LSTATUS WINAPI Close(HKEY key) {
        LONG status = Fail(4, key);
        ++closed;
        RegCloseKey(key);
        return status;
    }

    FailingRegistry(int step, LONG failure, const char* key = nullptr) {
        failingStep = step;
        code = failure;
        onlyKey = key;
        failingKey = NULL;
        opened = closed = 0;
        m_saved = g_RegistryCalls;
        g_RegistryCalls = {Open, Delete, Set, Flush, Close};
    }
    ~FailingRegistry() { g_RegistryCalls = m_saved; }
    RegistryCalls m_saved;
};

TEST_F(PatchTest, FailedStepShowsTheSystemsTextAndClosesTheKey) {
    struct Case {
        int step;
        const char* caption;
    } cases[] = {
        {1, kDeleteFailedCaption},
        {2, kSetFailedCaption},
        {3, kFlushFailedCaption},
        {4, kCloseFailedCaption},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caption);
        CreateDeviceKey(kFirstDeviceKey);
        CreateDeviceKey(kSecondDeviceKey);
        FailingRegistry registry(c.step, ERROR_ACCESS_DENIED);
        const Box step = {c.caption, SystemText(ERROR_ACCESS_DENIED)};
        EXPECT_EQ((std::vector<Box>{step, step, kPatchFailed}), Patch());
        EXPECT_EQ(2, FailingRegistry::opened);
        EXPECT_EQ(2, FailingRegistry::closed) << "a key left open";
    }
}

TEST_F(PatchTest, FailureOnTheFirstKeyGoesOnToTheSecond) {
    CreateDeviceKey(kFirstDeviceKey);
    CreateDeviceKey(kSecondDeviceKey);
    FailingRegistry registry(2, ERROR_ACCESS_DENIED, kFirstDeviceKey);
    EXPECT_EQ((std::vector<Box>{{kSetFailedCaption, SystemText(ERROR_ACCESS_DENIED)}}), Patch());
    EXPECT_FALSE(ReadPatchValue(kFirstDeviceKey).exists);
    EXPECT_TRUE(IsPatched(ReadPatchValue(kSecondDeviceKey)));
    EXPECT_EQ(FailingRegistry::opened, FailingRegistry::closed);
}

// A menu closed while one of the boxes was open is hidden: the patch goes on, but shows no more.
TEST_F(PatchTest, AHiddenOwnerGetsNoBox) {
    CreateDeviceKey(kFirstDeviceKey);
    CreateDeviceKey(kSecondDeviceKey);
    FailingRegistry registry(2, ERROR_ACCESS_DENIED);
    ShowWindow(m_owner, SW_HIDE);
    EXPECT_EQ(std::vector<Box>{}, Patch());
    EXPECT_EQ(2, FailingRegistry::closed) << "a key left open";
}

TEST_F(PatchTest, BoxTextForCodesWithInsertsOrWithoutText) {
    struct Case {
        LONG code;
        std::string text;
    } cases[] = {
        // Its system text holds an insert, "%1", shown as it stands.
        {182, SystemText(182)},
        {0x12345, "No system text for error 74565 (0x00012345)."},
    };
    ASSERT_NE(std::string::npos, SystemText(182).find("%1"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        BoxWatcher watcher;
        ShowSystemError(m_owner, static_cast<DWORD>(c.code), kFlushFailedCaption);
        std::vector<SeenBox> boxes = watcher.Boxes();
        ASSERT_EQ(1u, boxes.size());
        EXPECT_EQ(kFlushFailedCaption, boxes[0].caption);
        EXPECT_EQ(c.text, boxes[0].text);
    }
}

} // namespace

// The display driver's device keys in the test prefix's registry: made for a test, read back, and
// removed with their service keys afterwards.
#pragma once

#include "display_patch.h"

#include <string>

// The service key above a device key ("...\Services\ViDURavO" for "...\ViDURavO\Device0").
inline std::string ServiceKeyOf(const char* deviceKey) {
    std::string key = deviceKey;
    return key.substr(0, key.rfind('\\'));
}

inline void CreateDeviceKey(const char* deviceKey) {
    HKEY key = NULL;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, deviceKey, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL);
    RegCloseKey(key);
}

inline void RemoveDeviceKey(const char* deviceKey) {
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, deviceKey);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, ServiceKeyOf(deviceKey).c_str());
}

struct PatchValue {
    bool exists;
    DWORD type;
    std::string bytes;
};

inline PatchValue ReadPatchValue(const char* deviceKey) {
    char data[64] = {};
    DWORD type = REG_NONE;
    DWORD size = sizeof data;
    LONG status = RegGetValueA(HKEY_LOCAL_MACHINE, deviceKey, kPatchValueName,
                               RRF_RT_ANY | RRF_NOEXPAND, &type, data, &size);
    if (status != ERROR_SUCCESS) {
        return {false, REG_NONE, ""};
    }
    return {true, type, std::string(data, size)};
}

// The value as the patch leaves it: a 4-byte REG_DWORD 1.
inline bool IsPatched(const PatchValue& value) {
    return value.exists && value.type == REG_DWORD && value.bytes == std::string("\1\0\0\0", 4);
}

// Both device keys gone before and after a test.
struct DeviceKeysRemoved {
    DeviceKeysRemoved() { RemoveAll(); }
    ~DeviceKeysRemoved() { RemoveAll(); }
    static void RemoveAll() {
        RemoveDeviceKey(kFirstDeviceKey);
        RemoveDeviceKey(kSecondDeviceKey);
    }
};

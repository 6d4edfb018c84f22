#include "display_patch.h"

#include "duzar.h"

RegistryCalls g_RegistryCalls = {RegOpenKeyExA, RegDeleteValueA, RegSetValueExA, RegFlushKey,
                                 RegCloseKey};

namespace {

constexpr size_t kMessageSize = 1024;

// A box owned by the menu, shown only while the menu is: a menu closed while a box was open (its
// WM_CLOSE handled in the box's loop) is hidden, and a box after it would stand alone.
void ShowBox(HWND owner, const char* text, const char* caption) {
    if (!owner || IsWindowVisible(owner)) {
        MessageBoxA(owner, text, caption, MB_OK);
    }
}

// A step after the open failed: the key is closed before the user is told.
bool FailStep(HWND owner, HKEY key, LONG status, const char* caption) {
    g_RegistryCalls.closeKey(key);
    ShowSystemError(owner, static_cast<DWORD>(status), caption);
    return false;
}

} // namespace

void ShowSystemError(HWND owner, DWORD code, const char* caption) {
    char text[kMessageSize];
    if (!duzar::SystemText(code, text, sizeof text)) {
        duzar::FormatText(text, sizeof text, duzar::kNoSystemTextFormat, code, code);
    }
    ShowBox(owner, text, caption);
}

bool PatchDriverKey(HWND owner, const char* deviceKey) {
    HKEY key = NULL;
    if (g_RegistryCalls.openKey(HKEY_LOCAL_MACHINE, deviceKey, 0, KEY_SET_VALUE, &key) !=
        ERROR_SUCCESS) {
        return false;
    }
    // Deleted first, so that a value of another type or size is replaced whole.
    LONG status = g_RegistryCalls.deleteValue(key, kPatchValueName);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
        return FailStep(owner, key, status, kDeleteFailedCaption);
    }
    status =
        g_RegistryCalls.setValue(key, kPatchValueName, 0, REG_DWORD,
                                 reinterpret_cast<const BYTE*>(&kPatchValue), sizeof kPatchValue);
    if (status != ERROR_SUCCESS) {
        return FailStep(owner, key, status, kSetFailedCaption);
    }
    status = g_RegistryCalls.flushKey(key);
    if (status != ERROR_SUCCESS) {
        return FailStep(owner, key, status, kFlushFailedCaption);
    }
    status = g_RegistryCalls.closeKey(key);
    if (status != ERROR_SUCCESS) {
        ShowSystemError(owner, static_cast<DWORD>(status), kCloseFailedCaption);
        return false;
    }
    return true;
}

void PatchDisplayDriver(HWND owner) {
    if (PatchDriverKey(owner, kFirstDeviceKey) || PatchDriverKey(owner, kSecondDeviceKey)) {
        return;
    }
    ShowBox(owner, kPatchFailedText, kPatchFailedCaption);
}

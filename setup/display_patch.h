// The display-driver patch: before the Fendra Processing installer starts, the Morrik-II board's
// VGA driver gets "Do Not Allocate Temporary Bitmaps" = 1 under the first of two device keys that
// takes it. Registry failures are shown in boxes owned by the menu.
#pragma once

#include <windows.h>

constexpr char kFirstDeviceKey[] = "System\\CurrentControlSet\\Services\\ViDURavO\\Device0";
constexpr char kSecondDeviceKey[] = "System\\CurrentControlSet\\Services\\DiRORuzEV\\Device0";
constexpr char kPatchValueName[] = "Do Not Allocate Temporary Bitmaps";
constexpr DWORD kPatchValue = 1;

constexpr char kPatchFailedText[] = "Unable to patch registry.";
constexpr char kPatchFailedCaption[] = "Registry Patch";
constexpr char kDeleteFailedCaption[] = "Error occurred in RegDeleteValue";
constexpr char kSetFailedCaption[] = "Error occurred in RegSetValueEx";
constexpr char kFlushFailedCaption[] = "Error occurred in RegFlushKey";
constexpr char kCloseFailedCaption[] = "Error occurred in RegCloseKey";

// The registry calls of the patch. The program uses the system's; a test puts its own in place to
// produce failures that a real registry will not give on demand.
struct RegistryCalls {
    decltype(&RegOpenKeyExA) openKey;
    decltype(&RegDeleteValueA) deleteValue;
    decltype(&RegSetValueExA) setValue;
    decltype(&RegFlushKey) flushKey;
    decltype(&RegCloseKey) closeKey;
};
extern RegistryCalls g_RegistryCalls;

// Tries the first device key, then the second; when neither takes the value, says so in a box.
void PatchDisplayDriver(HWND owner);

// True when the value was written, the key flushed and closed. A failed open is silent; a later
// failure shows the system's text under a caption naming the step.
bool PatchDriverKey(HWND owner, const char* deviceKey);

// A box with the system's text for code, or, where the system has none, the caption and the code.
void ShowSystemError(HWND owner, DWORD code, const char* caption);

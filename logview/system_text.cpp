#include "system_text.h"

#include "duzar.h"

#include <stdio.h>

bool WriteText(HANDLE handle, const std::string& text) {
    if (text.empty() || !handle || handle == INVALID_HANDLE_VALUE) {
        return true;
    }
    DWORD written = 0;
    return WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, NULL) &&
           written == text.size();
}

std::string SystemReason(DWORD code) {
    char reason[256];
    if (!duzar::SystemText(code, reason, sizeof reason)) {
        snprintf(reason, sizeof reason, duzar::kNoSystemTextFormat, code, code);
    }
    reason[strcspn(reason, "\r\n")] = '\0';
    return reason;
}

std::string Narrow(const std::wstring& name) {
    int size = WideCharToMultiByte(CP_ACP, 0, name.c_str(), -1, NULL, 0, NULL, NULL);
    std::string text(size > 0 ? static_cast<size_t>(size) : 1, '\0');
    WideCharToMultiByte(CP_ACP, 0, name.c_str(), -1, &text[0], size, NULL, NULL);
    return text.c_str();
}

void ShowError(HWND owner, const std::string& text) {
    MessageBoxA(owner, text.c_str(), kBoxCaption, MB_OK | MB_ICONERROR);
}

#include "settings.h"

#include "owned.h"

#include <limits.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>

namespace {

// A value's name (ASCII) for the wide registry calls.
std::wstring Wide(const char* name) {
    return std::wstring(name, name + strlen(name));
}

class Key {
  public:
    explicit Key(bool write) {
        m_status = write ? RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, NULL, 0,
                                           KEY_SET_VALUE, NULL, m_key.Receive(), NULL)
                         : RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_QUERY_VALUE,
                                         m_key.Receive());
        if (m_status != ERROR_SUCCESS) {
            m_key.Release();
        }
    }

    bool Open() const { return static_cast<bool>(m_key); }
    LONG Status() const { return m_status; }

    void Read(const char* name, std::string* text) const {
        std::string data(kListSize, '\0');
        DWORD type = REG_NONE;
        DWORD size = static_cast<DWORD>(data.size());
        // Whole, terminator included, or not at all.
        if (RegQueryValueExA(m_key.Get(), name, NULL, &type, reinterpret_cast<BYTE*>(&data[0]),
                             &size) == ERROR_SUCCESS &&
            type == REG_SZ && memchr(data.data(), '\0', size) != NULL) {
            *text = data.c_str();
        }
    }
    // A file's name, kept as the system gives it (UTF-16).
    void Read(const char* name, std::wstring* text) const {
        std::wstring data(MAX_PATH, L'\0');
        DWORD type = REG_NONE;
        DWORD size = static_cast<DWORD>(data.size() * sizeof(wchar_t));
        if (RegQueryValueExW(m_key.Get(), Wide(name).c_str(), NULL, &type,
                             reinterpret_cast<BYTE*>(&data[0]), &size) == ERROR_SUCCESS &&
            type == REG_SZ && wmemchr(data.data(), L'\0', size / sizeof(wchar_t)) != NULL) {
            *text = data.c_str();
        }
    }
    void Read(const char* name, DWORD* number) const {
        DWORD data = 0;
        DWORD type = REG_NONE;
        DWORD size = sizeof data;
        if (RegQueryValueExA(m_key.Get(), name, NULL, &type, reinterpret_cast<BYTE*>(&data),
                             &size) == ERROR_SUCCESS &&
            type == REG_DWORD) {
            *number = data;
        }
    }
    // A record kept as REG_BINARY, read only when it is of its size.
    template <typename T> bool ReadBinary(const char* name, T* record) const {
        T data = {};
        DWORD type = REG_NONE;
        DWORD size = sizeof data;
        if (RegQueryValueExA(m_key.Get(), name, NULL, &type, reinterpret_cast<BYTE*>(&data),
                             &size) != ERROR_SUCCESS ||
            type != REG_BINARY || size != sizeof data) {
            return false;
        }
        *record = data;
        return true;
    }

    // A list is refused, never cut, where it would not fit kListSize when read again.
    LONG Write(const char* name, const std::string& text) const {
        if (text.size() >= kListSize) {
            return ERROR_INVALID_DATA;
        }
        return RegSetValueExA(m_key.Get(), name, 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(text.c_str()),
                              static_cast<DWORD>(text.size() + 1));
    }
    LONG Write(const char* name, const std::wstring& text) const {
        return RegSetValueExW(m_key.Get(), Wide(name).c_str(), 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(text.c_str()),
                              static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
    LONG Write(const char* name, DWORD number) const {
        return RegSetValueExA(m_key.Get(), name, 0, REG_DWORD,
                              reinterpret_cast<const BYTE*>(&number), sizeof number);
    }
    template <typename T> LONG WriteBinary(const char* name, const T& record) const {
        return RegSetValueExA(m_key.Get(), name, 0, REG_BINARY,
                              reinterpret_cast<const BYTE*>(&record), sizeof record);
    }

  private:
    OwnedKey m_key;
    LONG m_status = ERROR_SUCCESS;
};

// "Highlight1", "HighlightColour1", ...
std::string RuleValue(const char* name, int rule) {
    char value[32];
    snprintf(value, sizeof value, "%s%d", name, rule + 1);
    return value;
}

} // namespace

ViewerSettings LoadSettings() {
    ViewerSettings settings;
    Key key(false);
    if (!key.Open()) {
        return settings;
    }
    key.Read("Include", &settings.filter.include);
    key.Read("Exclude", &settings.filter.exclude);
    key.Read("Process", &settings.filter.process);
    key.Read("ExcludeProcess", &settings.filter.excludeProcess);
    // Before the count was kept there were three rules, some of them empty.
    DWORD count = 3;
    key.Read("HighlightCount", &count);
    for (DWORD i = 0; i < count && i < kMaxHighlightRules; ++i) {
        HighlightRule rule;
        DWORD colour = 0, regex = 0;
        key.Read(RuleValue("Highlight", i).c_str(), &rule.list);
        key.Read(RuleValue("HighlightColour", i).c_str(), &colour);
        key.Read(RuleValue("HighlightRegex", i).c_str(), &regex);
        rule.colour =
            colour < static_cast<DWORD>(kHighlightColourCount) ? static_cast<int>(colour) : 0;
        rule.regex = regex != 0;
        if (!rule.list.empty()) {
            settings.highlights.push_back(rule);
        }
    }
    DWORD sinceFirst = 0;
    DWORD onTop = 0;
    DWORD capture = 0;
    DWORD regex = 0;
    key.Read("FilterRegex", &regex);
    settings.filter.regex = regex != 0;
    key.Read("TimeSinceFirstLine", &sinceFirst);
    key.Read("AlwaysOnTop", &onTop);
    key.Read("CaptureDebugOutput", &capture);
    DWORD captureGlobal = 0;
    key.Read("CaptureGlobalDebugOutput", &captureGlobal);
    settings.captureGlobalDebugOutput = captureGlobal != 0;
    key.Read("LogFile", &settings.logFile);
    DWORD megabytes = 0, keep = settings.logRotation.keep, daily = 0;
    key.Read("LogFileMegabytes", &megabytes);
    key.Read("LogFileKeep", &keep);
    key.Read("LogFileDaily", &daily);
    settings.logRotation.limit = megabytes <= kMaxRotateMegabytes ? megabytes << 20 : 0;
    settings.logRotation.keep = keep >= 1 && keep <= RotatingFile::kMaxKeep
                                    ? static_cast<unsigned>(keep)
                                    : settings.logRotation.keep;
    settings.logRotation.daily = daily != 0;
    // A URL or priority that would be refused is not kept: forwarding starts from the settings.
    SyslogTarget target;
    int priority = 0;
    std::string url, priorityName, refused;
    key.Read("SyslogUrl", &url);
    key.Read("SyslogPriority", &priorityName);
    if (ParseSyslogUrl(url, &target, &refused)) {
        settings.syslogUrl = url;
    }
    if (ParseSyslogPriority(priorityName, &priority, &refused)) {
        settings.syslogPriority = priorityName;
    }
    settings.timeMode = sinceFirst ? TimeMode::kSinceFirstLine : TimeMode::kClock;
    settings.alwaysOnTop = onTop != 0;
    settings.captureDebugOutput = capture != 0;
    settings.hasPlacement = key.ReadBinary("Placement", &settings.placement) &&
                            settings.placement.length == sizeof settings.placement &&
                            PlacementIsUsable(settings.placement);
    LOGFONTA font = {};
    settings.hasFont = key.ReadBinary("Font", &font) && FontIsUsable(font);
    if (settings.hasFont) {
        settings.font = font;
    }
    DWORD maxLines = 0, maxBytes = 0;
    key.Read("MaxLines", &maxLines);
    key.Read("MaxBytes", &maxBytes);
    if (maxLines >= 1 && maxLines <= kMaxLines && maxBytes >= kMinBytes && maxBytes <= kMaxBytes) {
        settings.maxLines = maxLines;
        settings.maxBytes = maxBytes;
    }
    std::array<int, kColumnCount> widths = {};
    if (key.ReadBinary("ColumnWidths", &widths) &&
        std::all_of(widths.begin(), widths.end(), [](int width) {
            return width >= kMinColumnWidth && width <= kMaxColumnWidth;
        })) {
        settings.columnWidths = widths;
    }
    return settings;
}

bool FontIsUsable(const LOGFONTA& font) {
    return memchr(font.lfFaceName, '\0', sizeof font.lfFaceName) != NULL &&
           font.lfFaceName[0] != '\0' && font.lfHeight != 0 && font.lfHeight >= -kMaxFontHeight &&
           font.lfHeight <= kMaxFontHeight;
}

bool PlacementIsUsable(const WINDOWPLACEMENT& placement) {
    const RECT& place = placement.rcNormalPosition;
    LONGLONG width = static_cast<LONGLONG>(place.right) - place.left;
    LONGLONG height = static_cast<LONGLONG>(place.bottom) - place.top;
    return width >= kMinWindowWidth && height >= kMinWindowHeight && width <= SHRT_MAX &&
           height <= SHRT_MAX && MonitorFromRect(&place, MONITOR_DEFAULTTONULL) != NULL;
}

LONG SaveSettings(const ViewerSettings& settings, const ViewerSettings& stored) {
    Key key(true);
    if (!key.Open()) {
        return key.Status();
    }
    LONG status = ERROR_SUCCESS;
    // Each value only where it changed; the first failure is the one said.
    auto note = [&](LONG written) { status = status != ERROR_SUCCESS ? status : written; };
    auto keep = [&](const char* name, const auto& now, const auto& before) {
        if (now != before) {
            note(key.Write(name, now));
        }
    };
    keep("Include", settings.filter.include, stored.filter.include);
    keep("Exclude", settings.filter.exclude, stored.filter.exclude);
    keep("Process", settings.filter.process, stored.filter.process);
    keep("ExcludeProcess", settings.filter.excludeProcess, stored.filter.excludeProcess);
    keep("FilterRegex", static_cast<DWORD>(settings.filter.regex),
         static_cast<DWORD>(stored.filter.regex));
    // The rules are one list: where it changed, it is written whole, with the count that says where
    // it ends (values past it are left, and not read).
    if (settings.highlights != stored.highlights) {
        const size_t count = std::min(settings.highlights.size(), kMaxHighlightRules);
        for (size_t i = 0; i < count; ++i) {
            const HighlightRule& rule = settings.highlights[i];
            const int place = static_cast<int>(i);
            note(key.Write(RuleValue("Highlight", place).c_str(), rule.list));
            note(key.Write(RuleValue("HighlightColour", place).c_str(),
                           static_cast<DWORD>(rule.colour)));
            note(key.Write(RuleValue("HighlightRegex", place).c_str(),
                           static_cast<DWORD>(rule.regex)));
        }
        note(key.Write("HighlightCount", static_cast<DWORD>(count)));
    }
    keep("TimeSinceFirstLine", static_cast<DWORD>(settings.timeMode == TimeMode::kSinceFirstLine),
         static_cast<DWORD>(stored.timeMode == TimeMode::kSinceFirstLine));
    keep("AlwaysOnTop", static_cast<DWORD>(settings.alwaysOnTop),
         static_cast<DWORD>(stored.alwaysOnTop));
    keep("CaptureDebugOutput", static_cast<DWORD>(settings.captureDebugOutput),
         static_cast<DWORD>(stored.captureDebugOutput));
    keep("CaptureGlobalDebugOutput", static_cast<DWORD>(settings.captureGlobalDebugOutput),
         static_cast<DWORD>(stored.captureGlobalDebugOutput));
    keep("LogFile", settings.logFile, stored.logFile);
    keep("LogFileMegabytes", static_cast<DWORD>(settings.logRotation.limit >> 20),
         static_cast<DWORD>(stored.logRotation.limit >> 20));
    keep("LogFileKeep", static_cast<DWORD>(settings.logRotation.keep),
         static_cast<DWORD>(stored.logRotation.keep));
    keep("LogFileDaily", static_cast<DWORD>(settings.logRotation.daily),
         static_cast<DWORD>(stored.logRotation.daily));
    keep("SyslogUrl", settings.syslogUrl, stored.syslogUrl);
    keep("SyslogPriority", settings.syslogPriority, stored.syslogPriority);
    if (settings.hasFont &&
        (!stored.hasFont || memcmp(&settings.font, &stored.font, sizeof settings.font) != 0)) {
        note(key.WriteBinary("Font", settings.font));
    }
    keep("MaxLines", static_cast<DWORD>(settings.maxLines), static_cast<DWORD>(stored.maxLines));
    keep("MaxBytes", static_cast<DWORD>(settings.maxBytes), static_cast<DWORD>(stored.maxBytes));
    if (settings.columnWidths != stored.columnWidths) {
        note(key.WriteBinary("ColumnWidths", settings.columnWidths));
    }
    if (settings.hasPlacement &&
        (!stored.hasPlacement ||
         memcmp(&settings.placement, &stored.placement, sizeof settings.placement) != 0)) {
        note(key.WriteBinary("Placement", settings.placement));
    }
    return status;
}

LONG UserSettings::Save() {
    if (!KeepsSettings(m_mode)) {
        return ERROR_SUCCESS;
    }
    LONG status = SaveSettings(*this, m_stored);
    if (status == ERROR_SUCCESS) {
        m_stored = *this;
    }
    return status;
}

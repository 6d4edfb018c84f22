#include "launch.h"

#include "bounded_text.h"
#include "duzar.h"
#include "owned.h"

namespace {

constexpr size_t kMessageSize = 512;

// WinExec; a failed start leaves a line with the command and the system's text for its code.
void StartCommand(const char* caller, const char* command, UINT showCommand) {
    UINT result = WinExec(command, showCommand);
    if (result > 31) {
        return;
    }
    char text[kMessageSize];
    // 0 is WinExec's own code for "out of memory or resources".
    duzar::SystemText(result != 0 ? result : ERROR_NOT_ENOUGH_MEMORY, text, sizeof text);
    // The line ends where the system's text breaks (CR LF).
    for (char* c = text; *c != '\0'; ++c) {
        if (*c < ' ') {
            *c = '\0';
            break;
        }
    }
    g_LogClient.Logf("%s: Unable to start %s: %s (%u)", caller, command, text, result);
}

} // namespace

bool ToCodePage(UINT codePage, const wchar_t* text, char* out, size_t size) {
    // UTF-8 holds every character, and takes neither the flag nor the question.
    UINT actual = codePage == CP_ACP ? GetACP() : codePage;
    BOOL usedDefault = FALSE;
    BOOL* ask = actual == CP_UTF8 ? NULL : &usedDefault;
    return WideCharToMultiByte(actual, ask ? WC_NO_BEST_FIT_CHARS : 0, text, -1, out,
                               static_cast<int>(size), NULL, ask) != 0 &&
           !usedDefault;
}

bool RepresentablePath(UINT codePage, const wchar_t* path, char* out, size_t size) {
    if (ToCodePage(codePage, path, out, size)) {
        return true;
    }
    // The short form is plain ASCII where the volume keeps short names.
    wchar_t shortPath[kPathSize];
    DWORD length = GetShortPathNameW(path, shortPath, kPathSize);
    return length != 0 && length < kPathSize && ToCodePage(codePage, shortPath, out, size);
}

bool GetProgramPath(char* out, DWORD size) {
    wchar_t path[kPathSize];
    DWORD length = GetModuleFileNameW(NULL, path, kPathSize);
    // A name that fills the buffer was cut.
    return length != 0 && length < kPathSize && RepresentablePath(CP_ACP, path, out, size);
}

bool BuildInstallerPath(UINT codePage, const char* programPath, const char* relativePath, char* out,
                        size_t size) {
    PathParts program;
    PathParts relative;
    if (!SplitPath(codePage, programPath, &program) ||
        !SplitPath(codePage, relativePath, &relative)) {
        return false;
    }
    // The relative path takes this program's drive and folder; its own drive is dropped.
    char dir[kPartSize];
    BoundedText joined(dir, kPartSize);
    joined.Append(program.dir);
    joined.Append(relative.dir);
    memcpy(relative.drive, program.drive, kDriveSize);
    memcpy(relative.dir, dir, kPartSize);
    return joined.Fits() && ComposePath(codePage, relative, out, size);
}

bool QuoteIfSpaced(const char* path, char* out, size_t size) {
    // Quoted, so that CreateProcess cannot run C:\My.exe for C:\My Install\...
    size_t length = strlen(path);
    bool quote = memchr(path, ' ', length) != NULL;
    if (length + (quote ? 2 : 0) >= size) {
        out[0] = '\0';
        return false;
    }
    duzar::FormatText(out, size, quote ? "\"%s\"" : "%s", path);
    return true;
}

void MyWinExec(const char* relativePath, UINT showCommand) {
    g_LogClient.Logf("MyWinExec: %s", relativePath);
    char program[kPathSize];
    if (!GetProgramPath(program, kPathSize)) {
        g_LogClient.Logf("MyWinExec: This program's path is not to be had whole in the ANSI code "
                         "page, not started: %s",
                         relativePath);
        return;
    }
    char path[kPathSize];
    char command[kCommandSize];
    if (!BuildInstallerPath(CP_ACP, program, relativePath, path, kPathSize) ||
        !QuoteIfSpaced(path, command, kCommandSize)) {
        g_LogClient.Logf("MyWinExec: Path too long, not started: %s beside %s", relativePath,
                         program);
        return;
    }
    g_LogClient.Logf("MyWinExec: %s", path);
    StartCommand("MyWinExec", command, showCommand);
}

void ViewerCommandFromValue(LONG status, DWORD type, const char* data, DWORD length, char* command,
                            size_t size) {
    duzar::FormatText(command, size, "%s", kDefaultViewer);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return;
    }
    // A value that fills the buffer without its terminator is cut, not a command.
    char text[kPathSize];
    size_t textLength = duzar::BoundedLength(data, length < kPathSize ? length : kPathSize);
    if (textLength >= kPathSize || textLength >= size) {
        return;
    }
    memcpy(text, data, textLength);
    text[textLength] = '\0';
    // An empty command would start nothing.
    const char* first = text;
    while (*first == ' ' || *first == '\t') {
        ++first;
    }
    if (*first == '\0') {
        return;
    }
    if (type == REG_SZ) {
        memcpy(command, text, textLength + 1);
        return;
    }
    char expanded[kPathSize];
    DWORD needed = ExpandEnvironmentStringsA(text, expanded, kPathSize);
    if (needed != 0 && needed <= kPathSize && strlen(expanded) < size) {
        duzar::FormatText(command, size, "%s", expanded);
    }
}

bool BuildViewerCommandLine(const char* viewer, const char* document, char* out, size_t size) {
    char quoted[kCommandSize];
    if (!QuoteIfSpaced(document, quoted, kCommandSize)) {
        return false;
    }
    BoundedText line(out, size);
    const char* placeholder = strstr(viewer, "%1");
    if (!placeholder) {
        line.Append(viewer);
        line.Append(" ");
        line.Append(quoted);
        return line.Fits();
    }
    const char* rest = viewer;
    for (; placeholder; placeholder = strstr(rest, "%1")) {
        line.Append(rest, static_cast<size_t>(placeholder - rest));
        // A "%1" that stands in quotes already takes the bare path.
        bool inQuotes = placeholder > viewer && placeholder[-1] == '"' && placeholder[2] == '"';
        line.Append(inQuotes ? document : quoted);
        rest = placeholder + 2;
    }
    line.Append(rest);
    return line.Fits();
}

namespace {

void ReadViewerCommand(char* command, size_t size) {
    char data[kPathSize] = {};
    DWORD type = REG_NONE;
    DWORD length = sizeof data;
    OwnedKey key;
    LONG status =
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, kHtmlOpenCommandKey, 0, KEY_QUERY_VALUE, key.Receive());
    if (status == ERROR_SUCCESS) {
        status =
            RegQueryValueExA(key.Get(), NULL, NULL, &type, reinterpret_cast<BYTE*>(data), &length);
    } else {
        key.Release(); // what a failed open left there is no key
    }
    ViewerCommandFromValue(status, type, data, length, command, size);
}

// The document's full path when the search finds it, else the name as given; false when the one to
// use has no form in the ANSI code page.
bool FindDocument(const wchar_t* file, char* out, size_t size) {
    wchar_t found[kPathSize];
    DWORD length = SearchPathW(L".\\", file, NULL, kPathSize, found, NULL);
    return RepresentablePath(CP_ACP, length != 0 && length < kPathSize ? found : file, out, size);
}

} // namespace

void OpenReadme(const wchar_t* file) {
    char viewer[kPathSize];
    ReadViewerCommand(viewer, kPathSize);
    char document[kPathSize];
    if (!FindDocument(file, document, kPathSize)) {
        g_LogClient.Logf(
            "OpenReadme: The notes' path is not to be had whole in the ANSI code page, "
            "not started: %ls",
            file);
        return;
    }
    char command[kCommandSize];
    if (!BuildViewerCommandLine(viewer, document, command, kCommandSize)) {
        g_LogClient.Logf("OpenReadme: Command line too long, not started: %s", document);
        return;
    }
    StartCommand("OpenReadme", command, SW_SHOWNORMAL);
}

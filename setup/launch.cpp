#include "launch.h"

#include "bounded_text.h"
#include "duzar.h"

bool GetProgramPath(char* out, DWORD size) {
    DWORD length = GetModuleFileNameA(NULL, out, size);
    // A name that fills the buffer was cut.
    return length != 0 && length < size;
}

bool BuildInstallerPath(UINT codePage, const char* programPath, const char* relativePath, char* out,
                        size_t size) {
    PathParts program;
    PathParts relative;
    if (!SplitPath(codePage, programPath, &program) ||
        !SplitPath(codePage, relativePath, &relative)) {
        return false;
    }
    PathParts joined = relative;
    memcpy(joined.drive, program.drive, kDriveSize);
    BoundedText dir(joined.dir, kPartSize);
    dir.Append(program.dir);
    dir.Append(relative.dir);
    return dir.Fits() && ComposePath(codePage, joined, out, size);
}

bool QuoteIfSpaced(const char* path, char* out, size_t size) {
    BoundedText text(out, size);
    // Quoted, so that CreateProcess cannot run C:\My.exe for C:\My Install\...
    bool quote = strchr(path, ' ') != NULL;
    if (quote) {
        text.Append('"');
    }
    text.Append(path);
    if (quote) {
        text.Append('"');
    }
    return text.Fits();
}

void MyWinExec(const char* relativePath, UINT showCommand) {
    g_LogClient.Logf("MyWinExec: %s", relativePath);
    char program[kPathSize];
    if (!GetProgramPath(program, kPathSize)) {
        g_LogClient.Logf("MyWinExec: Unable to get this program's path, not started: %s",
                         relativePath);
        return;
    }
    char path[kPathSize];
    char command[kPathSize];
    if (!BuildInstallerPath(CP_ACP, program, relativePath, path, kPathSize) ||
        !QuoteIfSpaced(path, command, kPathSize)) {
        g_LogClient.Logf("MyWinExec: Path too long, not started: %s beside %s", relativePath,
                         program);
        return;
    }
    g_LogClient.Logf("MyWinExec: %s", path);
    WinExec(command, showCommand);
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
    if (text[strspn(text, " \t")] == '\0') {
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
    char quoted[kPathSize];
    if (!QuoteIfSpaced(document, quoted, kPathSize)) {
        return false;
    }
    BoundedText line(out, size);
    const char* placeholder = strstr(viewer, "%1");
    if (!placeholder) {
        line.Append(viewer);
        line.Append(' ');
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
    HKEY key = NULL;
    LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kHtmlOpenCommandKey, 0, KEY_QUERY_VALUE, &key);
    if (status == ERROR_SUCCESS) {
        status = RegQueryValueExA(key, NULL, NULL, &type, reinterpret_cast<BYTE*>(data), &length);
        RegCloseKey(key);
    }
    ViewerCommandFromValue(status, type, data, length, command, size);
}

// The document's full path when the search finds it, else the name as given.
void FindDocument(const char* file, char* out, size_t size) {
    char found[kPathSize];
    DWORD length = SearchPathA(".\\", file, NULL, kPathSize, found, NULL);
    duzar::FormatText(out, size, "%s", length != 0 && length < kPathSize ? found : file);
}

} // namespace

void OpenReadme(const char* file) {
    char viewer[kPathSize];
    ReadViewerCommand(viewer, kPathSize);
    char document[kPathSize];
    FindDocument(file, document, kPathSize);
    char command[kPathSize];
    if (!BuildViewerCommandLine(viewer, document, command, kPathSize)) {
        g_LogClient.Logf("OpenReadme: Command line too long, not started: %s", document);
        return;
    }
    WinExec(command, SW_SHOWNORMAL);
}

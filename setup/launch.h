// Starting other programs from the menu: an installer in a folder beside this program, or the
// installation notes with the viewer registered for HTML files. Neither waits for the program or
// reports whether it started.
#pragma once

#include "path_parts.h"

constexpr char kHtmlOpenCommandKey[] = "SOFTWARE\\Classes\\htmlfile\\shell\\open\\command";
constexpr char kDefaultViewer[] = "notepad";

// Starts relativePath, taken from this program's folder, with WinExec. Logs the relative and the
// full path.
void MyWinExec(const char* relativePath, UINT showCommand);

// Opens file, taken from the current directory, with the registered HTML viewer or Notepad.
void OpenReadme(const char* file);

// The pieces, each testable on its own.

// This program's full file name; false when it cannot be had whole.
bool GetProgramPath(char* out, DWORD size);

// This program's drive and folder joined with relativePath; false when the folder or the path would
// not fit its buffer.
bool BuildInstallerPath(UINT codePage, const char* programPath, const char* relativePath, char* out,
                        size_t size);

// The viewer command from the registry value as RegQueryValueExA gave it: status, type, data and
// its length in bytes (data may lack its terminator). Anything unusable gives kDefaultViewer.
void ViewerCommandFromValue(LONG status, DWORD type, const char* data, DWORD length, char* command,
                            size_t size);

// The command line that opens document with viewer: the path replaces a %1 placeholder, or follows
// a space. False when it would not fit.
bool BuildViewerCommandLine(const char* viewer, const char* document, char* out, size_t size);

// path as one command-line argument: quoted when it holds a space, else unchanged.
bool QuoteIfSpaced(const char* path, char* out, size_t size);

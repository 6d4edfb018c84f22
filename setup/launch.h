// Starting other programs from the menu: an installer in a folder beside this program, or the
// installation notes with the viewer registered for HTML files. Neither waits for the program; a
// start that fails leaves a log line. Paths are taken in the ANSI code page exactly as the system
// has them, or in their short form where the code page cannot hold them, never with look-alikes.
#pragma once

#include "path_parts.h"

constexpr char kHtmlOpenCommandKey[] = "SOFTWARE\\Classes\\htmlfile\\shell\\open\\command";
constexpr char kDefaultViewer[] = "notepad";
constexpr size_t kCommandSize = kPathSize + 2; // a path and the quotes around it

// Starts relativePath, taken from this program's folder, with WinExec. Logs the relative and the
// full path, and a start that failed.
void MyWinExec(const char* relativePath, UINT showCommand);

// Opens file, taken from the current directory, with the registered HTML viewer or Notepad.
void OpenReadme(const wchar_t* file);

// The pieces, each testable on its own.

// text in codePage (CP_ACP for the system's), exactly: no best-fit look-alike, no default
// character. False when a character has no exact form there or the text does not fit.
bool ToCodePage(UINT codePage, const wchar_t* text, char* out, size_t size);

// path in codePage: exactly, else its short form; false when neither has an exact form there that
// fits.
bool RepresentablePath(UINT codePage, const wchar_t* path, char* out, size_t size);

// This program's full file name in the ANSI code page; false when it cannot be had whole.
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

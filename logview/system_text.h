// What the viewer says of the system and to the user, in one place for every part: the system's
// reason for an error code, text written whole to a handle (standard output, a file), and the
// error box of a window.
#pragma once

#include <windows.h>

#include <string>

// The program's name, as boxes are captioned and a saved log's window titled: never the viewer's
// title, since clients send to the first top-level window that bears it.
constexpr char kBoxCaption[] = "duzar log viewer";

// The system's text for an error code, on one line.
std::string SystemReason(DWORD code);

// Writes text to handle, which may be missing; false when it was not written whole.
bool WriteText(HANDLE handle, const std::string& text);

// A file name as the system gives it (UTF-16), in the ANSI code page for the viewer's messages:
// what the code page cannot show becomes '?'. Files are always opened by the name itself.
std::string Narrow(const std::wstring& name);

// text in a box owned by owner (NULL: none), with the program's caption.
void ShowError(HWND owner, const std::string& text);

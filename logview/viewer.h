// The viewer's state, shared by its entry, its window and its commands: every line kept, numbered
// in arrival order; the rows of the list, which are the kept lines that the filter shows; the
// user's settings; and the channel and output that feed and carry the lines.
#pragma once

#include "channel_reader.h"
#include "line_filter.h"
#include "options.h"
#include "output_writer.h"
#include "logview_resource.h"
#include "settings.h"

#include <deque>
#include <string>

// Clients send to the first top-level window titled as the viewer: no other window of ours may be.
constexpr char kBoxCaption[] = "duzar log viewer";
constexpr size_t kRowSize = duzar::kBufferSize + 64; // a line with its number and time

struct KeptLine {
    unsigned long number;
    SYSTEMTIME clock;  // local time of arrival
    ULONGLONG arrival; // the same, as a count of 100 ns, for the time since the first line
    std::string text;
};

struct Viewer {
    Options options;
    ViewerSettings settings;
    LineFilter filter;
    Highlighter highlighter;
    ChannelReader channel;
    OutputWriter output;   // headless lines, and faults
    HANDLE outFile = NULL; // --out FILE
    HWND window = NULL;
    HWND lines = NULL; // the rows: kept lines that the filter shows, oldest first
    HWND status = NULL;
    HWND findBox = NULL;
    std::deque<KeptLine> kept;
    ULONGLONG firstArrival = 0; // of the first line since the start or Clear
    unsigned long number = 0;
    unsigned long dropped = 0;
    unsigned long flushed = 0; // lines that clients flushed to the window with a full buffer
    // While the rows are rebuilt, slice by slice: the number of the next kept line to consider.
    unsigned long rebuildNext = 0;
    bool rebuilding = false;
    std::string lastFault;
    std::string notice; // the last command's outcome, such as a find that missed
    std::string findText;
    bool findMatchCase = false;
};

extern Viewer g_viewer;

// viewer_window.cpp: the window, its rows and its status bar.
// Lines that fell behind a queue: the window's (a stalled window) or the output's (a paused pipe).
unsigned long Lost();
bool CreateViewerWindow(HINSTANCE instance);
// Shown where the user left it, and on top if so chosen.
void ShowViewerWindow(int show);
// The reader thread wakes the window whenever it queued something.
void StartReading(size_t capacity);
void CloseAfter(int seconds);
void TakeQueued();
void UpdateStatus();
// Fills the rows again from the kept lines, after the filter or the time column changed; a slice
// at a time, so that the window answers meanwhile.
void ShowKeptLines();
// The kept line behind a row, or NULL.
const KeptLine* LineOfRow(LRESULT row);
void ScrollToEnd();
void ApplyAlwaysOnTop();

// commands.cpp: the menu's commands.
void OnCommand(WORD command);
// The filter and highlighter take the settings' lists.
void ApplySettings();
void UpdateMenuChecks();
// The find box takes its own keys (Tab, Enter, Esc) first.
bool FindBoxMessage(MSG* msg);

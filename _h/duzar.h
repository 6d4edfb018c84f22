// The client side of the duzar log channel: diagnostic lines go to a separate log viewer through a
// window found by its title, a 4096-byte shared text buffer, a mutex that guards the buffer and an
// event that wakes the viewer. When no viewer runs, a line costs its formatting and one window
// lookup. Faults of the channel itself are appended to \duzar.err on the current drive, never
// shown.
//
// The one process-wide client is g_LogClient, used from the program's one thread; its destructor
// releases the handles at exit.
#pragma once

#include <windows.h>
#include <share.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

// printf-style checking where the compiler offers it, by msvcrt's rules, which format the texts
// with mingw-w64; the arguments are the positions of the format and of the first variadic argument.
#if defined(__MINGW32__)
#define DUZAR_PRINTF(fmt, args) __attribute__((format(ms_printf, fmt, args)))
#else
#define DUZAR_PRINTF(fmt, args)
#endif

namespace duzar {

inline constexpr char kViewerTitle[] = "DUZar Window";
inline constexpr char kMapName[] = "duzar_map_001";
inline constexpr char kLockName[] = "duzar_lock";
inline constexpr char kEventName[] = "DUZAR_EVENT";
inline constexpr char kErrorFile[] = "\\duzar.err";

// The shared buffer holds one NUL-terminated text: at most kBufferSize - 1 characters.
constexpr size_t kBufferSize = 4096;
// A formatted error-file text, terminator included.
constexpr size_t kErrorTextSize = 512;

// A diagnostic line never stops its program for long: the lock is waited for at most as long as the
// system's own debug-output channel waits for its buffer, a viewer gets about a second to take each
// flushed line, and a whole flush ends after two seconds, however slowly the viewer answers.
constexpr DWORD kLockTimeoutMs = 10000;
constexpr DWORD kSendTimeoutMs = 1000;
constexpr DWORD kFlushDeadlineMs = 2000;
// A whole Log, the texts of Logs called while it waits included: one lock wait and one flush.
constexpr DWORD kLogDeadlineMs = kLockTimeoutMs + kFlushDeadlineMs;

// Every record names the header it comes from; the build maps the source root away, so this is a
// project-relative path.
inline constexpr char kSourceTag[] = __FILE__;

// Length of a text that may lack its terminator within max bytes, as a buffer written by another
// process may.
inline size_t BoundedLength(const char* text, size_t max) {
    const void* end = memchr(text, '\0', max);
    return end ? static_cast<size_t>(static_cast<const char*>(end) - text) : max;
}

// One line of the buffer's text: text[start, start + length), and whether a line feed ends it.
struct Line {
    size_t start;
    size_t length;
    bool complete;
};

// The next line of text[0, length) at or after *pos, runs of line feeds skipped, so that empty
// lines yield none; *pos moves past it and its line feed. False when no line is left. Every reader
// of the buffer (the client's flush, the viewer's drain) splits it with this.
inline bool NextLine(const char* text, size_t length, size_t* pos, Line* line) {
    size_t start = *pos;
    while (start < length && text[start] == '\n') {
        ++start;
    }
    if (start >= length) {
        *pos = length;
        return false;
    }
    const char* end = static_cast<const char*>(memchr(text + start, '\n', length - start));
    line->start = start;
    line->length = end ? static_cast<size_t>(end - text) - start : length - start;
    line->complete = end != NULL;
    *pos = start + line->length + (end ? 1 : 0);
    return true;
}

// vsnprintf that cuts an over-long text at the buffer's end and always terminates it. With
// mingw-w64 it is msvcrt's own _vsnprintf: the C99 formatter that mingw-w64 would link in instead
// adds some 27 KB to a program this small.
inline void FormatBounded(char* out, size_t size, const char* format, va_list args) {
#if defined(__MINGW32__)
    // It writes at most size - 1 characters and no terminator when it cuts.
    _vsnprintf(out, size - 1, format, args);
    out[size - 1] = '\0';
#else
    if (vsnprintf(out, size, format, args) < 0) {
        out[0] = '\0';
    }
#endif
}

// FormatBounded with its arguments in line.
inline void FormatText(char* out, size_t size, const char* format, ...) DUZAR_PRINTF(3, 4);
inline void FormatText(char* out, size_t size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    FormatBounded(out, size, format, args);
    va_end(args);
}

// What stands for the system's text where it has none: the code, in decimal and hexadecimal.
inline constexpr char kNoSystemTextFormat[] = "No system text for error %lu (0x%08lX).";

// The system's text for code, line break included, in out; false, with out empty, when the system
// has none or it does not fit size bytes. Inserts ("%1") stand as they are.
inline bool SystemText(DWORD code, char* out, size_t size) {
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL,
                                  code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), out,
                                  static_cast<DWORD>(size), NULL);
    if (length == 0) {
        out[0] = '\0';
    }
    return length != 0;
}

class LogClient {
  public:
    LogClient() = default;
    ~LogClient() { Close(); }
    LogClient(const LogClient&) = delete;
    LogClient& operator=(const LogClient&) = delete;

    // Formats one line and sends it with a line feed appended. A text longer than the buffer
    // allows (kBufferSize - 2 characters) is cut there, so that its start still reaches the viewer.
    int Logf(const char* format, ...) DUZAR_PRINTF(2, 3) {
        char line[kBufferSize];
        va_list args;
        va_start(args, format);
        FormatBounded(line, sizeof line - 1, format, args);
        va_end(args);
        size_t length = strlen(line);
        line[length] = '\n';
        line[length + 1] = '\0';
        return Log(line);
    }

    // 1: no viewer runs; 0: appended; -1: the text does not fit the buffer; else an error code.
    // While it waits (for the lock, or for the viewer during a flush) the calling thread, the one
    // that this client serves, answers messages sent to it; a Log that one of them calls is not run
    // inside this one: its text follows this one's, whole and in call order, and it returns 0.
    int Log(const char* text) {
        if (m_inLog) {
            return Defer(text);
        }
        m_inLog = true;
        m_logStart = GetTickCount();
        int result = Deliver(text);
        char deferred[kBufferSize];
        while (m_deferredLength != 0) {
            memcpy(deferred, m_deferred, m_deferredLength + 1);
            m_deferredLength = 0;
            Deliver(deferred);
        }
        m_inLog = false;
        return result;
    }

  private:
    int Deliver(const char* text) {
        HWND viewer = FindWindowA(NULL, kViewerTitle);
        if (!viewer) {
            return 1;
        }
        // After Close the old view still points at a buffer that no viewer may read any more, and a
        // mapping whose view failed stays held: either is mended before any use.
        if (!m_map || !m_view) {
            int code = GetMap();
            if (code != 0) {
                WriteSystemError(kSourceTag, static_cast<DWORD>(code),
                                 "Log: Unable to get map: %d.", code);
                return code;
            }
        }
        size_t needed = strlen(text) + 1;
        if (needed > kBufferSize) {
            WriteError(kSourceTag, "Log received large string: %d", static_cast<int>(needed));
            return -1;
        }

        DWORD lockError = 0;
        LockState state = TakeLock(TimeLeft(kLockTimeoutMs), &lockError);
        if (state == kLockNotOwned) {
            // Without the lock another process may be using the buffer, or holds it far too long:
            // the line is dropped.
            WriteError(kSourceTag, "Log: Line dropped, lock not held: %d.",
                       static_cast<int>(lockError));
            return static_cast<int>(lockError);
        }
        size_t used = BoundedLength(m_view, kBufferSize);
        if (state == kLockAbandoned && used > 0 && used < kBufferSize && m_view[used - 1] != '\n') {
            // Its writer died in the middle of that line: it stays a line of its own.
            m_view[used++] = '\n';
            if (used < kBufferSize) {
                m_view[used] = '\0';
            }
        }
        if (used + needed > kBufferSize) {
            FlushToViewer(viewer, m_view);
            used = 0;
        }
        memcpy(m_view + used, text, needed);
        bool hasLineFeed = memchr(m_view, '\n', used + needed) != NULL;
        FreeLock();

        if (hasLineFeed) {
            SignalViewer();
        }
        return 0;
    }

    // Keeps the text of a Log called while this thread's Log waits; one that no longer fits is
    // dropped with a record.
    int Defer(const char* text) {
        size_t length = strlen(text);
        if (m_deferredLength + length >= kBufferSize) {
            WriteError(kSourceTag, "Log: Nested line dropped, %d bytes waiting.",
                       static_cast<int>(m_deferredLength));
            return -1;
        }
        memcpy(m_deferred + m_deferredLength, text, length + 1);
        m_deferredLength += length;
        return 0;
    }

  public:
    // 0 when the view is mapped, else the error code of the call that failed.
    int GetMap() {
        if (!m_map) {
            if (m_view) {
                UnmapViewOfFile(m_view);
                m_view = NULL;
            }
            m_map = OpenFileMappingA(FILE_MAP_READ | FILE_MAP_WRITE, TRUE, kMapName);
            if (!m_map) {
                DWORD code = GetLastError();
                WriteSystemError(kSourceTag, code, "OpenFileMapping");
                return static_cast<int>(code);
            }
        }
        if (!m_view) {
            m_view = static_cast<char*>(
                MapViewOfFile(m_map, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, kBufferSize));
            if (!m_view) {
                DWORD code = GetLastError();
                WriteSystemError(kSourceTag, code, "MapViewOfFile");
                return static_cast<int>(code);
            }
        }
        return 0;
    }

    // 1 when a normal wait acquired the lock, 0 otherwise (an abandoned wait owns it all the same).
    int GetLock(DWORD timeout) {
        DWORD error = 0;
        return TakeLock(timeout, &error) == kLockAcquired ? 1 : 0;
    }

    void FreeLock() {
        if (!ReleaseMutex(m_mutex)) {
            WriteError(kSourceTag, "FreeLock: Unable to release mutex: %d.",
                       static_cast<int>(GetLastError()));
        }
    }

    void SignalViewer() {
        if (!m_event) {
            m_event = CreateEventA(NULL, FALSE, FALSE, kEventName);
            if (!m_event) {
                WriteError(kSourceTag, "Unable to CreateEvent1: %d.",
                           static_cast<int>(GetLastError()));
                return;
            }
        }
        if (!SetEvent(m_event)) {
            WriteError(kSourceTag, "Close: Unable to SetEvent: %d.",
                       static_cast<int>(GetLastError()));
        }
    }

    // Runs with the lock held. The buffer comes from another process and may lack its terminator,
    // so it is read within its bounds. Each line is blanked (its bytes made line feeds, which every
    // reader skips) before it is sent, so that a flush cut short by its writer's death is never
    // repeated by the next lock owner: at most the line in flight is lost. A viewer that does not
    // take a line in time, or that makes the whole flush outlast kFlushDeadlineMs, loses the rest
    // of the buffer, with one record that counts it.
    void FlushToViewer(HWND viewer, char* buffer) {
        char token[kBufferSize + 1];
        size_t length = BoundedLength(buffer, kBufferSize);
        size_t pos = 0;
        Line line;
        bool answering = true;
        int dropped = 0;
        DWORD error = 0;
        const DWORD start = GetTickCount();
        while (NextLine(buffer, length, &pos, &line)) {
            if (answering && FlushTimeLeft(start) == 0) {
                answering = false;
                error = ERROR_TIMEOUT;
            }
            if (!answering) {
                ++dropped;
                continue;
            }
            memcpy(token, buffer + line.start, line.length);
            token[line.length] = '\0';
            memset(buffer + line.start, '\n', line.length);
            DWORD_PTR index = 0;
            bool added = SendToViewer(viewer, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(token),
                                      SendTimeout(start), &index);
            if (!added ||
                !SendToViewer(viewer, LB_SETTOPINDEX, index, 0, SendTimeout(start), &index)) {
                error = GetLastError();
                answering = false;
                dropped = added ? 0 : 1;
            }
        }
        // Emptied whole: a writer that dies part-way through its append must not leave its cut
        // text glued to the tail of an old line.
        memset(buffer, 0, kBufferSize);
        if (!answering) {
            WriteError(kSourceTag, "FlushToViewer: Viewer not answering, %d lines dropped: %d.",
                       dropped, static_cast<int>(error));
        }
    }

    // Each handle is forgotten only once it closed; the view goes away with the process. Text
    // accepted and still waiting in the buffer when no viewer runs goes with the last handle to it:
    // it is taken out and its bytes counted in a record, never lost without a trace.
    void Close() {
        DropUntaken();
        CloseOne(&m_mutex, "mutex");
        CloseOne(&m_event, "event");
        CloseOne(&m_map, "map");
    }

    // Appends one record, "\n<tag>\t<text>", to the error file; the text is cut at
    // kErrorTextSize - 1 characters. A file that cannot be opened loses the record.
    static void WriteError(const char* tag, const char* format, ...) DUZAR_PRINTF(2, 3) {
        va_list args;
        va_start(args, format);
        WriteRecordV(tag, format, args);
        va_end(args);
    }

    // As WriteError, followed by a second record with the system's text for a nonzero code.
    static int WriteSystemError(const char* tag, DWORD code, const char* format, ...)
        DUZAR_PRINTF(3, 4) {
        va_list args;
        va_start(args, format);
        WriteRecordV(tag, format, args);
        va_end(args);
        if (code == 0) {
            return 0;
        }
        char text[kErrorTextSize];
        if (SystemText(code, text, sizeof text)) {
            // The text-mode stream makes each line feed CR LF: the system's own CR before one
            // would be doubled. Its last line break is left out: the next record begins with one.
            size_t length = 0;
            for (const char* c = text; *c != '\0'; ++c) {
                if (!(c[0] == '\r' && c[1] == '\n')) {
                    text[length++] = *c;
                }
            }
            while (length > 0 && text[length - 1] == '\n') {
                --length;
            }
            text[length] = '\0';
            WriteRecord(tag, text);
        } else {
            WriteError(tag, kNoSystemTextFormat, code, code);
        }
        return 0;
    }

  private:
    enum LockState { kLockAcquired, kLockAbandoned, kLockNotOwned };

    // GetLock's wait, telling an abandoned wait (lock owned) from a failure (not owned); error
    // receives a failure's nonzero code: the system's, WAIT_TIMEOUT or an unknown wait result.
    LockState TakeLock(DWORD timeout, DWORD* error) {
        if (!m_mutex) {
            m_mutex = CreateMutexA(NULL, FALSE, kLockName);
            if (!m_mutex) {
                *error = GetLastError();
                WriteError(kSourceTag, "CreateLock: Unable to CreateMutex: %d.",
                           static_cast<int>(*error));
                return kLockNotOwned;
            }
        }
        DWORD result = WaitAnsweringSentMessages(m_mutex, timeout);
        *error = GetLastError();
        switch (result) {
        case WAIT_OBJECT_0: return kLockAcquired;
        case WAIT_ABANDONED:
            WriteError(kSourceTag, "GetLock: Fatal development error - Abandoned mutex detected.");
            return kLockAbandoned;
        case WAIT_TIMEOUT: *error = WAIT_TIMEOUT; break;
        case WAIT_FAILED:
            WriteError(kSourceTag, "GetLock: WaitForSingleObject failure: %d",
                       static_cast<int>(*error));
            break;
        default:
            WriteError(kSourceTag,
                       "GetLock: Unknown return from WaitForSingleObject: %d, error: %d",
                       static_cast<int>(result), static_cast<int>(*error));
            *error = result;
            break;
        }
        return kLockNotOwned;
    }

    // Waits for handle at most timeout milliseconds while messages that other threads send to this
    // one are answered, as SendMessage does while it waits: a window's thread that waits for the
    // lock is not hung. Posted messages wait in the queue. The bound is the time elapsed, however
    // many messages cut the wait short; but the system answers every message waiting before it
    // returns, so programs that keep sending without pause hold this thread as long as they would
    // hold its message loop.
    static DWORD WaitAnsweringSentMessages(HANDLE handle, DWORD timeout) {
        // A free lock is taken without the message queue's cost.
        DWORD result = WaitForSingleObject(handle, 0);
        const DWORD start = GetTickCount();
        for (DWORD waited = 0; result == WAIT_TIMEOUT && waited < timeout;
             waited = GetTickCount() - start) {
            result = MsgWaitForMultipleObjects(1, &handle, FALSE, timeout - waited, QS_SENDMESSAGE);
            if (result == WAIT_OBJECT_0 + 1) {
                MSG msg;
                PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
                result = WAIT_TIMEOUT;
            }
        }
        return result;
    }

    // A wait's own bound, or less when the Log under way has less than that left of
    // kLogDeadlineMs.
    DWORD TimeLeft(DWORD bound) const {
        if (!m_inLog) {
            return bound;
        }
        DWORD elapsed = GetTickCount() - m_logStart;
        DWORD left = elapsed < kLogDeadlineMs ? kLogDeadlineMs - elapsed : 0;
        return left < bound ? left : bound;
    }

    // What is left of the flush that began at start.
    DWORD FlushTimeLeft(DWORD start) const {
        DWORD elapsed = GetTickCount() - start;
        return TimeLeft(elapsed < kFlushDeadlineMs ? kFlushDeadlineMs - elapsed : 0);
    }

    // How long a message of that flush may wait: kSendTimeoutMs, or what is left of it (a
    // millisecond at least, so that the send is still tried).
    DWORD SendTimeout(DWORD start) const {
        DWORD left = FlushTimeLeft(start);
        return left == 0 ? 1 : left < kSendTimeoutMs ? left : kSendTimeoutMs;
    }

    // SendMessageTimeout to the viewer; false when it failed or the viewer did not answer in time.
    static bool SendToViewer(HWND viewer, UINT message, WPARAM wParam, LPARAM lParam, DWORD timeout,
                             DWORD_PTR* result) {
        return SendMessageTimeoutA(viewer, message, wParam, lParam, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                                   timeout, result) != 0;
    }

    // Text is what is not a line feed: the blanked remains of lines already sent are none. A lock
    // that another process keeps past kSendTimeoutMs leaves the text to it, said all the same with
    // the wait's code (258); the buffer is only read then, within its bounds.
    void DropUntaken() {
        if (!m_view || FindWindowA(NULL, kViewerTitle)) {
            return;
        }
        DWORD error = 0;
        bool owned = TakeLock(kSendTimeoutMs, &error) != kLockNotOwned;
        int bytes = 0;
        for (size_t i = 0, length = BoundedLength(m_view, kBufferSize); i < length; ++i) {
            bytes += m_view[i] != '\n';
        }
        if (owned) {
            error = 0;
            memset(m_view, 0, kBufferSize);
            FreeLock();
        }
        if (bytes != 0) {
            WriteError(kSourceTag, "Close: No viewer, %d bytes dropped: %d.", bytes,
                       static_cast<int>(error));
        }
    }

    static void CloseOne(HANDLE* handle, const char* what) {
        if (*handle && !CloseHandle(*handle)) {
            WriteError(kSourceTag, "Close: Unable to CloseHandle %s: %d.", what,
                       static_cast<int>(GetLastError()));
            return;
        }
        *handle = NULL;
    }

    static void WriteRecordV(const char* tag, const char* format, va_list args) {
        char text[kErrorTextSize];
        FormatBounded(text, sizeof text, format, args);
        WriteRecord(tag, text);
    }

    // Opened per record in text mode, so every line feed reaches the file as CR LF, and shared, so
    // that other programs of the channel can append to it too.
    static void WriteRecord(const char* tag, const char* text) {
        FILE* file = _fsopen(kErrorFile, "at", _SH_DENYNO);
        if (!file) {
            return;
        }
        fputc('\n', file);
        fputs(tag, file);
        fputc('\t', file);
        fputs(text, file);
        fclose(file);
    }

    HANDLE m_mutex = NULL;
    HANDLE m_event = NULL;
    HANDLE m_map = NULL;
    char* m_view = NULL;
    // Whether Log is under way, and the texts of the Logs called meanwhile.
    bool m_inLog = false;
    DWORD m_logStart = 0;
    size_t m_deferredLength = 0;
    char m_deferred[kBufferSize] = {};
};

inline LogClient g_LogClient;

} // namespace duzar

using duzar::g_LogClient;
using duzar::LogClient;

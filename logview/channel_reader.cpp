#include "channel_reader.h"

#include "system_text.h"

#include <stdio.h>

namespace {

bool Fail(const char* call, const char* name, std::string* error) {
    char message[256];
    snprintf(message, sizeof message, "%s(\"%s\") failed: %s", call, name,
             SystemReason(GetLastError()).c_str());
    *error = message;
    return false;
}

} // namespace

bool ChannelReader::Create(std::string* error) {
    m_map.Reset(CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0,
                                   static_cast<DWORD>(duzar::kBufferSize), duzar::kMapName));
    if (!m_map) {
        return Fail("CreateFileMapping", duzar::kMapName, error);
    }
    // A mapping that clients still hold from an earlier viewer is the one they write to: it is
    // taken as it is, and what it holds is drained first.
    m_mapped.Reset(
        MapViewOfFile(m_map.Get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, duzar::kBufferSize));
    m_view = static_cast<char*>(m_mapped.Get());
    if (!m_view) {
        return Fail("MapViewOfFile", duzar::kMapName, error);
    }
    m_lock.Reset(CreateMutexA(NULL, FALSE, duzar::kLockName));
    if (!m_lock) {
        return Fail("CreateMutex", duzar::kLockName, error);
    }
    m_event.Reset(CreateEventA(NULL, FALSE, FALSE, duzar::kEventName));
    if (!m_event) {
        return Fail("CreateEvent", duzar::kEventName, error);
    }
    return true;
}

bool ChannelReader::Start(Arrivals* arrivals) {
    m_arrivals = arrivals;
    InterlockedExchange(&m_started, 1);
    return m_worker.Start<ChannelReader, &ChannelReader::Run>(this);
}

void ChannelReader::TakeWaiting() {
    if (InterlockedCompareExchange(&m_started, 0, 0) != 0) {
        Drain(DrainFor::kEarlier);
    }
}

void ChannelReader::Stop() {
    m_worker.Stop(INFINITE);
}

// A writer's event set after the line that the drain before already took wakes the reader once
// for nothing: that is normal at full speed and is not paused for. Wake-ups that keep finding
// nothing come from a program that keeps the event set (or created it manual-reset and left it
// so): from the second on, the event is reset and the reader pauses, longer each time, so that
// it costs next to nothing.
DWORD ChannelReader::EmptyWakePause(int emptyWakesInARow) {
    if (emptyWakesInARow < 2) {
        return 0;
    }
    int doublings =
        emptyWakesInARow - 2 < kEmptyWakeDoublings ? emptyWakesInARow - 2 : kEmptyWakeDoublings;
    return kEmptyWakePauseMs << doublings;
}

void ChannelReader::Run() {
    HANDLE waits[] = {m_worker.StopEvent(), m_event.Get()};
    Drain();
    int emptyWakes = 0;
    for (;;) {
        DWORD woke = WaitForMultipleObjects(2, waits, FALSE, kDrainPeriodMs);
        if (woke == WAIT_OBJECT_0) {
            break;
        }
        // Reset before the drain, not after: a writer's signal that comes while it runs is kept.
        if (woke == WAIT_OBJECT_0 + 1 && emptyWakes > 0) {
            ResetEvent(m_event.Get());
        }
        if (Drain() || woke != WAIT_OBJECT_0 + 1) {
            emptyWakes = 0;
            continue;
        }
        // Counted no further than the longest pause needs.
        emptyWakes = emptyWakes < kEmptyWakeDoublings + 2 ? emptyWakes + 1 : emptyWakes;
        DWORD pause = EmptyWakePause(emptyWakes);
        if (pause != 0 && WaitForSingleObject(m_worker.StopEvent(), pause) == WAIT_OBJECT_0) {
            break;
        }
    }
    Drain(DrainFor::kLast);
}

size_t TailRule::LinesToTake(const char* text, size_t length, DWORD now) {
    size_t pos = 0;
    duzar::Line line = {0, 0, true};
    while (duzar::NextLine(text, length, &pos, &line) && line.complete) {
        // Only the last line can lack its line feed.
    }
    if (line.complete) {
        m_tail.clear();
        return length;
    }
    std::string tail(text + line.start, line.length);
    if (tail != m_tail) {
        m_tail = tail;
        m_since = now;
        return line.start;
    }
    if (now - m_since < kStaleMs) {
        return line.start;
    }
    m_tail.clear();
    return length;
}

// Never run on the window's thread: a client flushes to the window while it holds the lock. The
// reader's thread and the debug-output reader's may both drain: the lock, owned by one thread at a
// time, keeps them apart. True when it queued something.
bool ChannelReader::Drain(DrainFor why) {
    HANDLE waits[] = {m_lock.Get(), m_worker.StopEvent()};
    // The debug output's thread waits for a lock that another program keeps once, not for each
    // of its lines: after a wait that timed out it only tries, until it has the lock again.
    const DWORD earlierWait =
        InterlockedCompareExchange(&m_earlierTimedOut, 0, 0) ? 0 : kEarlierLockTimeoutMs;
    DWORD result =
        why == DrainFor::kReader
            ? WaitForMultipleObjects(2, waits, FALSE, kLockTimeoutMs)
            : WaitForSingleObject(m_lock.Get(),
                                  why == DrainFor::kLast ? kLastLockTimeoutMs : earlierWait);
    if (why == DrainFor::kEarlier) {
        bool owned = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
        InterlockedExchange(&m_earlierTimedOut, owned ? 0 : 1);
        if (!owned) {
            return false;
        }
    }
    char message[128];
    switch (result) {
    case WAIT_OBJECT_0: break;
    case WAIT_OBJECT_0 + 1: return false; // asked to stop: the last drain follows
    case WAIT_ABANDONED:
        Queue(true, "A writer died holding the lock; the buffer is read all the same.");
        break;
    case WAIT_TIMEOUT:
        Queue(true, "Lock wait timed out; the buffer was left alone and is tried again.");
        m_arrivals->Wake();
        return true;
    default:
        snprintf(message, sizeof message, "Lock wait failed: %s",
                 SystemReason(GetLastError()).c_str());
        Queue(true, message);
        m_arrivals->Wake();
        return true;
    }
    // Other processes write the buffer: its length is found within its bounds. It is copied and
    // emptied at once, whole, so that a writer that later dies part-way through an append leaves
    // no old text behind its own, and a viewer killed now loses, rather than repeats, what it took.
    char text[duzar::kBufferSize];
    size_t length = duzar::BoundedLength(m_view, duzar::kBufferSize);
    memcpy(text, m_view, length);
    // A writer that died holding the lock wrote its last line no further: it is taken as it is, so
    // that the next writer's line is not glued to it.
    size_t take = length;
    if (result == WAIT_ABANDONED) {
        m_tail.Forget();
    } else {
        take = m_tail.LinesToTake(text, length, GetTickCount());
    }
    memset(m_view, 0, duzar::kBufferSize);
    memcpy(m_view, text + take, length - take);
    // Queued before the lock is released: a client that flushes next has the window take this
    // queue before its own lines.
    bool found = result == WAIT_ABANDONED;
    size_t pos = 0;
    duzar::Line line;
    while (duzar::NextLine(text, take, &pos, &line)) {
        Queue(false, std::string(text + line.start, line.length));
        found = true;
    }
    ReleaseMutex(m_lock.Get());
    if (found) {
        m_arrivals->Wake();
    }
    return found;
}

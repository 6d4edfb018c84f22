// The one way tests and benchmarks wait for something another process does: polling for the thing
// itself, under a generous ceiling.
#pragma once

#include <windows.h>

// Polls until done() holds, or a generous ceiling has passed; done()'s last answer. What a test
// waits for is the thing itself (a line in a file, a record, a count), never a span of time.
template <typename Done> bool WaitUntil(Done done, DWORD ceilingMs = 30000) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > ceilingMs) {
            return done();
        }
        Sleep(20);
    }
    return true;
}

// A minimal listener on the system's debug-output protocol (DBWIN_BUFFER), the yardstick that the
// benchmarks set the channel beside: it takes each string and counts it, on a thread of its own.
#pragma once

#include <windows.h>

#include <initializer_list>

struct DebugListener {
    HANDLE mutex = CreateMutexA(NULL, FALSE, "DBWinMutex");
    HANDLE map =
        CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, 4096, "DBWIN_BUFFER");
    HANDLE bufferReady = CreateEventA(NULL, FALSE, TRUE, "DBWIN_BUFFER_READY");
    HANDLE dataReady = CreateEventA(NULL, FALSE, FALSE, "DBWIN_DATA_READY");
    HANDLE thread = NULL;
    volatile LONG received = 0;
    volatile LONG stop = 0;

    DebugListener() { thread = CreateThread(NULL, 0, Run, this, 0, NULL); }
    // The objects go with it: a viewer measured next listens there itself.
    ~DebugListener() {
        stop = 1;
        WaitForSingleObject(thread, INFINITE);
        for (HANDLE handle : {thread, mutex, map, bufferReady, dataReady}) {
            CloseHandle(handle);
        }
    }
    DebugListener(const DebugListener&) = delete;
    DebugListener& operator=(const DebugListener&) = delete;

    static DWORD WINAPI Run(LPVOID self) {
        auto* listener = static_cast<DebugListener*>(self);
        while (!listener->stop) {
            if (WaitForSingleObject(listener->dataReady, 100) == WAIT_OBJECT_0) {
                InterlockedIncrement(&listener->received);
                SetEvent(listener->bufferReady);
            }
        }
        return 0;
    }
};

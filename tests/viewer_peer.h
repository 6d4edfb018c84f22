// Stand-ins for the channel's other ends. A stand-in for the log viewer: a top-level window titled
// as the viewer's, answering LB_ADDSTRING and LB_SETTOPINDEX as a list box does and recording
// them, and the shared log buffer it owns; and another program that keeps the lock.
// Built on the calling thread; a client on another thread or process needs that thread to pump
// messages.
#pragma once

#include "duzar.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class ViewerPeer {
  public:
    // The index that the first LB_ADDSTRING returns, as if the list already held lines, so that a
    // client that sends its own count instead of the returned index is caught.
    static constexpr LRESULT kFirstIndex = 7;

    explicit ViewerPeer(bool withMap = true) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = WndProc;
        wc.hInstance = GetModuleHandleA(NULL);
        wc.lpszClassName = "DuzarViewerPeer";
        RegisterClassA(&wc); // a second registration fails harmlessly
        m_window = CreateWindowExA(0, wc.lpszClassName, duzar::kViewerTitle, WS_OVERLAPPEDWINDOW, 0,
                                   0, 200, 100, NULL, NULL, wc.hInstance, this);
        if (withMap) {
            m_map = CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0,
                                       static_cast<DWORD>(duzar::kBufferSize), duzar::kMapName);
            m_view = static_cast<char*>(
                MapViewOfFile(m_map, FILE_MAP_ALL_ACCESS, 0, 0, duzar::kBufferSize));
        }
    }
    ~ViewerPeer() {
        if (m_view) {
            UnmapViewOfFile(m_view);
        }
        if (m_map) {
            CloseHandle(m_map);
        }
        DestroyWindow(m_window);
    }
    ViewerPeer(const ViewerPeer&) = delete;
    ViewerPeer& operator=(const ViewerPeer&) = delete;

    HWND Window() const { return m_window; }
    char* Buffer() const { return m_view; }

    // The lines in arrival order, whether flushed to the window or added by a draining reader.
    std::vector<std::string> Lines() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_lines;
    }
    std::vector<WPARAM> TopIndexes() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_topIndexes;
    }
    // Called on the window's thread with the count of lines so far, after each LB_ADDSTRING.
    std::function<void(size_t)> onLine;
    // How long the window takes to answer each list-box message, as a slow viewer does.
    DWORD answerDelayMs = 0;

    void AddLine(const std::string& line) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_lines.push_back(line);
    }

  private:
    static LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
            SetWindowLongPtrA(window, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* self = reinterpret_cast<ViewerPeer*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self && self->answerDelayMs && (message == LB_ADDSTRING || message == LB_SETTOPINDEX)) {
            Sleep(self->answerDelayMs);
        }
        if (self && message == LB_ADDSTRING) {
            LRESULT index = 0;
            size_t count = 0;
            {
                std::lock_guard<std::mutex> guard(self->m_lock);
                self->m_lines.push_back(reinterpret_cast<const char*>(lParam));
                index = kFirstIndex + self->m_added++;
                count = self->m_lines.size();
            }
            if (self->onLine) {
                self->onLine(count);
            }
            return index;
        }
        if (self && message == LB_SETTOPINDEX) {
            std::lock_guard<std::mutex> guard(self->m_lock);
            self->m_topIndexes.push_back(wParam);
            return 0;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }

    HWND m_window = NULL;
    HANDLE m_map = NULL;
    char* m_view = NULL;
    std::mutex m_lock;
    std::vector<std::string> m_lines;
    std::vector<WPARAM> m_topIndexes;
    LRESULT m_added = 0;
};

// A viewer on its own threads, as a real one works: the window thread answers the flushes, and a
// reader wakes on the event (or every few milliseconds), takes the lock, copies and empties the
// buffer.
class DrainingViewer {
  public:
    DrainingViewer() {
        m_event = CreateEventA(NULL, FALSE, FALSE, duzar::kEventName);
        m_lock = CreateMutexA(NULL, FALSE, duzar::kLockName);
        HANDLE ready = CreateEventA(NULL, TRUE, FALSE, NULL);
        m_windowThread = std::thread([this, ready] {
            ViewerPeer peer;
            m_peer = &peer;
            SetEvent(ready);
            MSG msg;
            while (GetMessageA(&msg, NULL, 0, 0) > 0) {
                DispatchMessageA(&msg);
            }
            m_lines = peer.Lines();
        });
        WaitForSingleObject(ready, INFINITE);
        CloseHandle(ready);
        m_readerThread = std::thread([this] {
            while (!m_stop) {
                WaitForSingleObject(m_event, 20);
                Drain();
            }
            Drain();
        });
    }
    // Every line so far, in arrival order.
    std::vector<std::string> Lines() { return m_peer->Lines(); }

    // Waits until at least count lines have arrived, or a generous guard against a hang has passed.
    std::vector<std::string> WaitForLines(size_t count) {
        for (int i = 0; i < 600 && m_peer->Lines().size() < count; ++i) {
            Sleep(50);
        }
        return m_peer->Lines();
    }

    // Stops both threads and returns every line that arrived, in arrival order.
    std::vector<std::string> Finish() {
        if (m_windowThread.joinable()) {
            m_stop = true;
            m_readerThread.join();
            PostMessageA(m_peer->Window(), WM_QUIT, 0, 0);
            m_windowThread.join();
            CloseHandle(m_event);
            CloseHandle(m_lock);
        }
        return m_lines;
    }
    ~DrainingViewer() { Finish(); }
    DrainingViewer(const DrainingViewer&) = delete;
    DrainingViewer& operator=(const DrainingViewer&) = delete;

  private:
    void Drain() {
        if (WaitForSingleObject(m_lock, 1000) != WAIT_OBJECT_0) {
            return;
        }
        char* buffer = m_peer->Buffer();
        size_t length = duzar::BoundedLength(buffer, duzar::kBufferSize);
        size_t pos = 0;
        duzar::Line line;
        while (duzar::NextLine(buffer, length, &pos, &line)) {
            m_peer->AddLine(std::string(buffer + line.start, line.length));
        }
        memset(buffer, 0, duzar::kBufferSize);
        ReleaseMutex(m_lock);
    }

    HANDLE m_event = NULL;
    HANDLE m_lock = NULL;
    ViewerPeer* m_peer = nullptr;
    std::atomic<bool> m_stop{false};
    std::thread m_windowThread;
    std::thread m_readerThread;
    std::vector<std::string> m_lines;
};

// A viewer whose window thread has stopped answering, as a hung one does, or answers each
// list-box message only after answerDelayMs: its window and its buffer, which holds held, stay
// until it is destroyed, and nothing is drained meanwhile.
class StalledViewer {
  public:
    explicit StalledViewer(const std::string& held, DWORD answerDelayMs = INFINITE) {
        HANDLE ready = CreateEventA(NULL, TRUE, FALSE, NULL);
        m_release = CreateEventA(NULL, TRUE, FALSE, NULL);
        m_thread = std::thread([this, ready, held, answerDelayMs] {
            ViewerPeer peer;
            m_buffer = peer.Buffer();
            memcpy(peer.Buffer(), held.c_str(), held.size() + 1);
            SetEvent(ready);
            if (answerDelayMs == INFINITE) {
                WaitForSingleObject(m_release, INFINITE);
                return;
            }
            peer.answerDelayMs = answerDelayMs;
            while (MsgWaitForMultipleObjects(1, &m_release, FALSE, INFINITE, QS_ALLINPUT) !=
                   WAIT_OBJECT_0) {
                MSG msg;
                while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
                    DispatchMessageA(&msg);
                }
            }
        });
        WaitForSingleObject(ready, INFINITE);
        CloseHandle(ready);
    }
    // What the buffer holds now.
    std::string Buffer() const {
        return std::string(m_buffer, duzar::BoundedLength(m_buffer, duzar::kBufferSize));
    }
    ~StalledViewer() {
        SetEvent(m_release);
        m_thread.join();
        CloseHandle(m_release);
    }
    StalledViewer(const StalledViewer&) = delete;
    StalledViewer& operator=(const StalledViewer&) = delete;

  private:
    HANDLE m_release = NULL;
    char* m_buffer = nullptr;
    std::thread m_thread;
};

// Takes the log channel's lock on a thread of its own and keeps it for holdMs, or until destroyed.
class LockHolder {
  public:
    explicit LockHolder(DWORD holdMs) {
        HANDLE taken = CreateEventA(NULL, TRUE, FALSE, NULL);
        m_release = CreateEventA(NULL, TRUE, FALSE, NULL);
        m_thread = std::thread([this, taken, holdMs] {
            HANDLE lock = CreateMutexA(NULL, FALSE, duzar::kLockName);
            WaitForSingleObject(lock, INFINITE);
            SetEvent(taken);
            WaitForSingleObject(m_release, holdMs);
            ReleaseMutex(lock);
            CloseHandle(lock);
        });
        WaitForSingleObject(taken, INFINITE);
        CloseHandle(taken);
    }
    ~LockHolder() {
        SetEvent(m_release);
        m_thread.join();
        CloseHandle(m_release);
    }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

  private:
    HANDLE m_release = NULL;
    std::thread m_thread;
};

// Stand-ins for the channel's other ends. A stand-in for the log viewer: a top-level window titled
// as the viewer's, answering LB_ADDSTRING and LB_SETTOPINDEX as a list box does and recording
// them, and the shared log buffer it owns; and another program that keeps the lock.
// Built on the calling thread; a client on another thread or process needs that thread to pump
// messages.
#pragma once

#include "duzar.h"
#include "owned.h"

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
            m_map.Reset(CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0,
                                           static_cast<DWORD>(duzar::kBufferSize),
                                           duzar::kMapName));
            m_mapped.Reset(
                MapViewOfFile(m_map.Get(), FILE_MAP_ALL_ACCESS, 0, 0, duzar::kBufferSize));
            m_view = static_cast<char*>(m_mapped.Get());
        }
    }
    ~ViewerPeer() { DestroyWindow(m_window); }
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
    OwnedHandle m_map;
    OwnedView m_mapped;
    char* m_view = NULL; // m_mapped's bytes
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
        m_event.Reset(CreateEventA(NULL, FALSE, FALSE, duzar::kEventName));
        m_lock.Reset(CreateMutexA(NULL, FALSE, duzar::kLockName));
        OwnedHandle ready(CreateEventA(NULL, TRUE, FALSE, NULL));
        m_windowThread = std::thread([this, ready = ready.Get()] {
            ViewerPeer peer;
            m_peer = &peer;
            SetEvent(ready);
            MSG msg;
            while (GetMessageA(&msg, NULL, 0, 0) > 0) {
                DispatchMessageA(&msg);
            }
            m_lines = peer.Lines();
        });
        WaitForSingleObject(ready.Get(), INFINITE);
        m_readerThread = std::thread([this] {
            while (!m_stop) {
                WaitForSingleObject(m_event.Get(), 20);
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
        }
        return m_lines;
    }
    ~DrainingViewer() { Finish(); }
    DrainingViewer(const DrainingViewer&) = delete;
    DrainingViewer& operator=(const DrainingViewer&) = delete;

  private:
    void Drain() {
        if (WaitForSingleObject(m_lock.Get(), 1000) != WAIT_OBJECT_0) {
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
        ReleaseMutex(m_lock.Get());
    }

    OwnedHandle m_event;
    OwnedHandle m_lock;
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
        OwnedHandle ready(CreateEventA(NULL, TRUE, FALSE, NULL));
        m_release.Reset(CreateEventA(NULL, TRUE, FALSE, NULL));
        m_thread = std::thread([this, ready = ready.Get(), held, answerDelayMs] {
            ViewerPeer peer;
            m_buffer = peer.Buffer();
            memcpy(peer.Buffer(), held.c_str(), held.size() + 1);
            SetEvent(ready);
            HANDLE release = m_release.Get();
            if (answerDelayMs == INFINITE) {
                WaitForSingleObject(release, INFINITE);
                return;
            }
            peer.answerDelayMs = answerDelayMs;
            while (MsgWaitForMultipleObjects(1, &release, FALSE, INFINITE, QS_ALLINPUT) !=
                   WAIT_OBJECT_0) {
                MSG msg;
                while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
                    DispatchMessageA(&msg);
                }
            }
        });
        WaitForSingleObject(ready.Get(), INFINITE);
    }
    // What the buffer holds now.
    std::string Buffer() const {
        return std::string(m_buffer, duzar::BoundedLength(m_buffer, duzar::kBufferSize));
    }
    ~StalledViewer() {
        SetEvent(m_release.Get());
        m_thread.join();
    }
    StalledViewer(const StalledViewer&) = delete;
    StalledViewer& operator=(const StalledViewer&) = delete;

  private:
    OwnedHandle m_release;
    char* m_buffer = nullptr;
    std::thread m_thread;
};

// Takes the log channel's lock on a thread of its own and keeps it for holdMs, or until destroyed.
class LockHolder {
  public:
    explicit LockHolder(DWORD holdMs) {
        OwnedHandle taken(CreateEventA(NULL, TRUE, FALSE, NULL));
        m_release.Reset(CreateEventA(NULL, TRUE, FALSE, NULL));
        m_thread = std::thread([this, taken = taken.Get(), holdMs] {
            OwnedHandle lock(CreateMutexA(NULL, FALSE, duzar::kLockName));
            WaitForSingleObject(lock.Get(), INFINITE);
            SetEvent(taken);
            WaitForSingleObject(m_release.Get(), holdMs);
            ReleaseMutex(lock.Get());
        });
        WaitForSingleObject(taken.Get(), INFINITE);
    }
    ~LockHolder() {
        SetEvent(m_release.Get());
        m_thread.join();
    }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

  private:
    OwnedHandle m_release;
    std::thread m_thread;
};

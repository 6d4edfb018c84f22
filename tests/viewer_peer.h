// A stand-in for the log viewer: a top-level window titled as the viewer's, answering LB_ADDSTRING
// and LB_SETTOPINDEX as a list box does and recording them, and the shared log buffer it owns.
// Built on the calling thread; a client on another thread or process needs that thread to pump
// messages.
#pragma once

#include "duzar.h"

#include <mutex>
#include <string>
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
        if (self && message == LB_ADDSTRING) {
            std::lock_guard<std::mutex> guard(self->m_lock);
            self->m_lines.push_back(reinterpret_cast<const char*>(lParam));
            return kFirstIndex + self->m_added++;
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

// Reads message boxes from outside, as a user sees them, and closes each with its OK button: a
// thread that watches one process's top-level dialogs other than those it is told to ignore.
#pragma once

#include "find_dialog.h"

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct SeenBox {
    std::string caption;
    std::string text;
    HWND owner;
    bool ownerDisabled; // while the box was open
};

class BoxWatcher {
  public:
    // Watches process (this one when 0); ignore is a dialog of that process that is no box.
    explicit BoxWatcher(DWORD process = 0, HWND ignore = NULL)
        : m_process(process ? process : GetCurrentProcessId()), m_ignore(ignore),
          m_thread([this] { Watch(); }) {}
    ~BoxWatcher() {
        m_stop = true;
        m_thread.join();
    }
    BoxWatcher(const BoxWatcher&) = delete;
    BoxWatcher& operator=(const BoxWatcher&) = delete;

    std::vector<SeenBox> Boxes() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_boxes;
    }

    // Waits until count boxes have been seen and closed, or a generous guard against a hang.
    std::vector<SeenBox> WaitForBoxes(size_t count) {
        for (int i = 0; i < 600 && Boxes().size() < count; ++i) {
            Sleep(50);
        }
        return Boxes();
    }

    // Holds the next boxes open until Release, so that a test can look at the world meanwhile.
    void Hold() { m_hold = true; }
    void Release() { m_hold = false; }
    // True while a box is open and held.
    bool Holding() const { return m_holding; }

  private:
    static std::string Text(HWND window) {
        char text[1024] = {};
        GetWindowTextA(window, text, sizeof text);
        return text;
    }

    void Watch() {
        while (!m_stop) {
            m_found = FindDialogOf(m_process, m_ignore);
            if (!m_found) {
                Sleep(20);
                continue;
            }
            // The box's text stands in its static control, ID 0xFFFF.
            SeenBox box;
            box.caption = Text(m_found);
            box.text = Text(GetDlgItem(m_found, 0xFFFF));
            box.owner = GetWindow(m_found, GW_OWNER);
            box.ownerDisabled = box.owner && !IsWindowEnabled(box.owner);
            m_holding = m_hold.load();
            while (m_hold && !m_stop) {
                Sleep(20);
            }
            m_holding = false;
            {
                std::lock_guard<std::mutex> guard(m_lock);
                m_boxes.push_back(box);
            }
            PostMessageA(m_found, WM_COMMAND, IDOK, 0);
            for (int i = 0; i < 500 && IsWindow(m_found) && IsWindowVisible(m_found); ++i) {
                Sleep(10);
            }
        }
    }

    DWORD m_process;
    HWND m_ignore;
    HWND m_found = NULL;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_hold{false};
    std::atomic<bool> m_holding{false};
    std::mutex m_lock;
    std::vector<SeenBox> m_boxes;
    std::thread m_thread;
};

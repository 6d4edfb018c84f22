// The menu's rule that each command runs to its end before the next starts. A command can arrive
// while another runs, since the log channel answers messages that other programs send to the menu
// while it waits for the lock or for the viewer: such a command is kept and run after the running
// one, in arrival order, never inside it. Once the menu is closed, none is kept or started.
#pragma once

#include <windows.h>

class CommandQueue {
  public:
    // More than a user can click during the longest wait of a command.
    static constexpr size_t kCapacity = 64;

    // Runs command with run(command), then every command submitted meanwhile. While one runs, a
    // command is only kept; false when it is not kept, the queue being full or closed.
    template <typename Run> bool Submit(WPARAM command, Run run) {
        if (m_closed) {
            return false;
        }
        if (m_running) {
            return Keep(command);
        }
        m_running = true;
        run(command);
        while (m_count != 0) {
            WPARAM next = m_kept[m_first];
            m_first = (m_first + 1) % kCapacity;
            --m_count;
            run(next);
        }
        m_running = false;
        return true;
    }

    // The menu is closed: the commands kept are forgotten, and none submitted from now on runs.
    void Close() {
        m_closed = true;
        m_count = 0;
    }
    bool Closed() const { return m_closed; }

  private:
    bool Keep(WPARAM command) {
        if (m_count == kCapacity) {
            return false;
        }
        m_kept[(m_first + m_count) % kCapacity] = command;
        ++m_count;
        return true;
    }

    bool m_running = false;
    bool m_closed = false;
    size_t m_first = 0;
    size_t m_count = 0;
    WPARAM m_kept[kCapacity] = {};
};

#include "output_writer.h"

namespace {

void WriteAll(HANDLE handle, const std::string& text) {
    if (text.empty() || !handle || handle == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, NULL);
}

} // namespace

bool OutputWriter::Start(HANDLE out, HANDLE file, HANDLE error, size_t capacity) {
    m_out = out;
    m_file = file;
    m_error = error;
    m_queue.SetCapacity(capacity);
    m_wake = CreateEventA(NULL, FALSE, FALSE, NULL);
    m_stop = CreateEventA(NULL, TRUE, FALSE, NULL);
    if (m_wake && m_stop) {
        m_thread = CreateThread(NULL, 0, ThreadMain, this, 0, NULL);
    }
    return m_thread != NULL;
}

void OutputWriter::Queue(bool fault, const std::string& text) {
    if (m_queue.Push({fault, text + "\n"}) && m_wake) {
        SetEvent(m_wake);
    }
}

DWORD WINAPI OutputWriter::ThreadMain(LPVOID self) {
    static_cast<OutputWriter*>(self)->Run();
    return 0;
}

void OutputWriter::Run() {
    HANDLE waits[] = {m_stop, m_wake};
    for (;;) {
        DWORD woken = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        // One write per target for all that came meanwhile.
        std::string lines;
        std::string faults;
        for (const Item& item : m_queue.TakeAll()) {
            (item.fault ? faults : lines) += item.text;
        }
        WriteAll(m_out, lines);
        WriteAll(m_file, lines);
        WriteAll(m_error, faults);
        // Stop wins over wake, and whatever was queued before it has just been written.
        if (woken != WAIT_OBJECT_0 + 1) {
            return;
        }
    }
}

bool OutputWriter::Finish(DWORD timeout) {
    bool finished = true;
    if (m_thread) {
        SetEvent(m_stop);
        finished = WaitForSingleObject(m_thread, timeout) == WAIT_OBJECT_0;
        if (finished) {
            CloseHandle(m_thread);
            m_thread = NULL;
        }
    }
    if (finished) {
        for (HANDLE* handle : {&m_wake, &m_stop}) {
            if (*handle) {
                CloseHandle(*handle);
                *handle = NULL;
            }
        }
    }
    return finished;
}

#include "output_writer.h"

void WriteText(HANDLE handle, const std::string& text) {
    if (text.empty() || !handle || handle == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, NULL);
}

bool OutputWriter::Start(HANDLE out, HANDLE file, HANDLE error, size_t capacity) {
    m_out = out;
    m_file = file;
    m_error = error;
    m_queue.SetCapacity(capacity);
    m_stop = CreateEventA(NULL, TRUE, FALSE, NULL);
    if (m_stop) {
        m_thread = CreateThread(NULL, 0, ThreadMain, this, 0, NULL);
    }
    return m_thread != NULL;
}

DWORD WINAPI OutputWriter::ThreadMain(LPVOID self) {
    static_cast<OutputWriter*>(self)->Run();
    return 0;
}

void OutputWriter::Run() {
    for (;;) {
        DWORD woken = WaitForSingleObject(m_stop, kWritePeriodMs);
        std::string lines;
        std::string faults;
        for (const Item& item : m_queue.TakeAll()) {
            (item.fault ? faults : lines) += item.text;
        }
        WriteText(m_out, lines);
        WriteText(m_file, lines);
        WriteText(m_error, faults);
        // Whatever was queued before the stop has just been written.
        if (woken != WAIT_TIMEOUT) {
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
    if (finished && m_stop) {
        CloseHandle(m_stop);
        m_stop = NULL;
    }
    return finished;
}

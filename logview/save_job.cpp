#include "save_job.h"

#include "system_text.h"

bool SaveJob::Start(HWND window, const std::wstring& path, std::string text) {
    if (Busy()) {
        return false;
    }
    m_window = window;
    m_path = path;
    m_text = std::move(text);
    m_outcome.clear();
    return m_worker.Start<SaveJob, &SaveJob::Run>(this);
}

void SaveJob::Run() {
    OwnedHandle file(CreateFileW(m_path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
    if (!file || !WriteText(file.Get(), m_text)) {
        m_outcome = "Cannot write " + Narrow(m_path) + ": " + SystemReason(GetLastError());
    }
    m_text = std::string();
    PostMessageA(m_window, kDoneMessage, 0, 0);
}

std::string SaveJob::TakeOutcome() {
    // The thread ends right after it posts.
    m_worker.Stop(INFINITE);
    return m_outcome;
}

#include "worker_thread.h"

bool WorkerThread::Launch() {
    m_stop.Reset(CreateEventA(NULL, TRUE, FALSE, NULL));
    if (m_stop) {
        m_thread.Reset(CreateThread(NULL, 0, Main, this, 0, NULL));
    }
    return Running();
}

DWORD WINAPI WorkerThread::Main(LPVOID self) {
    auto* worker = static_cast<WorkerThread*>(self);
    worker->m_body(worker->m_owner);
    return 0;
}

bool WorkerThread::Stop(DWORD timeout) {
    if (!m_thread) {
        return true;
    }
    SetEvent(m_stop.Get());
    if (WaitForSingleObject(m_thread.Get(), timeout) != WAIT_OBJECT_0) {
        return false;
    }
    m_thread.Reset();
    m_stop.Reset();
    return true;
}

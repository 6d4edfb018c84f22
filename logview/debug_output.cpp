#include "debug_output.h"

#include "system_text.h"

#include "duzar.h"

#include <stdio.h>
#include <string.h>

namespace {

constexpr char kMapName[] = "DBWIN_BUFFER";
constexpr char kBufferReadyName[] = "DBWIN_BUFFER_READY";
constexpr char kDataReadyName[] = "DBWIN_DATA_READY";

} // namespace

bool DebugOutputReader::Start(Arrivals* arrivals, std::string* error) {
    if (Running()) {
        return true;
    }
    m_arrivals = arrivals;
    // Whoever created the events first is the listener: another program, if they exist already.
    // Each call's code is taken at once: a later call changes it.
    DWORD createError = 0;
    auto create = [&](const char* name, bool* existed) {
        HANDLE event = CreateEventA(NULL, FALSE, FALSE, Name(name).c_str());
        DWORD code = GetLastError();
        *existed = *existed || code == ERROR_ALREADY_EXISTS;
        if (!event && createError == 0) {
            createError = code;
        }
        return event;
    };
    bool taken = false;
    m_bufferReady.Reset(create(kBufferReadyName, &taken));
    m_dataReady.Reset(create(kDataReadyName, &taken));
    if (taken) {
        *error = "another program listens to the debug output; only the channel is read";
    } else if (!m_bufferReady || !m_dataReady) {
        *error = "cannot create the debug output's events: " + SystemReason(createError);
    } else {
        m_map.Reset(CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0,
                                       static_cast<DWORD>(kBufferSize), Name(kMapName).c_str()));
        m_mapped.Reset(m_map ? MapViewOfFile(m_map.Get(), FILE_MAP_READ, 0, 0, kBufferSize) : NULL);
        DWORD code = GetLastError();
        if (m_mapped && !m_worker.Start<DebugOutputReader, &DebugOutputReader::Run>(this)) {
            code = GetLastError();
        }
        if (!m_worker.Running()) {
            *error = "cannot read the debug output: " + SystemReason(code);
        }
    }
    if (!m_worker.Running()) {
        Stop();
        return false;
    }
    return true;
}

void DebugOutputReader::Stop() {
    m_worker.Stop(INFINITE);
    m_mapped.Reset();
    m_map.Reset();
    m_bufferReady.Reset();
    m_dataReady.Reset();
}

void DebugOutputReader::Run() {
    const char* buffer = static_cast<const char*>(m_mapped.Get());
    HANDLE waits[] = {m_worker.StopEvent(), m_dataReady.Get()};
    // Ready once for each message taken: a second signal would let the next writer overwrite a
    // message not yet read.
    SetEvent(m_bufferReady.Get());
    while (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
        // First, before its writer goes on to write more: what waits in the channel's buffer
        // was written before this message.
        if (m_channel) {
            m_channel->TakeWaiting();
        }
        // Copied out, within the buffer whatever a writer left there, before the next may write.
        DWORD id = 0;
        memcpy(&id, buffer, sizeof id);
        const char* text = buffer + sizeof id;
        std::string message(text, strnlen(text, kBufferSize - sizeof id));
        SetEvent(m_bufferReady.Get());
        const std::string& process = ProcessOf(id);
        bool queued = false;
        duzar::Line line;
        for (size_t at = 0; duzar::NextLine(message.data(), message.size(), &at, &line);) {
            // Many programs end their lines with CR LF.
            size_t length = line.length - (message[line.start + line.length - 1] == '\r' ? 1 : 0);
            if (length > 0) {
                std::string text = message.substr(line.start, length);
                m_arrivals->Push(
                    {text == kClearMessage ? Arrival::Kind::kClear : Arrival::Kind::kLine,
                     std::move(text), process});
                queued = true;
            }
        }
        if (queued) {
            m_arrivals->Wake();
        }
    }
}

const std::string& DebugOutputReader::ProcessOf(DWORD id) {
    auto known = m_processes.find(id);
    if (known != m_processes.end()) {
        return known->second;
    }
    if (m_processes.size() >= kNamesKept) {
        m_processes.clear();
    }
    char path[MAX_PATH] = "?";
    OwnedHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
    DWORD size = sizeof path;
    if (!process || !QueryFullProcessImageNameA(process.Get(), 0, path, &size)) {
        strcpy(path, "?");
    }
    const char* name = strrchr(path, '\\');
    return m_processes[id] = std::to_string(id) + " " + (name ? name + 1 : path);
}

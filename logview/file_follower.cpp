#include "file_follower.h"

#include "owned.h"

bool FileFollower::Start(const std::wstring& path, Arrivals* arrivals) {
    m_path = path;
    m_arrivals = arrivals;
    return m_worker.Start<FileFollower, &FileFollower::Run>(this);
}

void FileFollower::Run() {
    do {
        Poll();
    } while (WaitForSingleObject(m_worker.StopEvent(), kPollMs) == WAIT_TIMEOUT);
}

void FileFollower::Restart(const char* why) {
    m_position = 0;
    m_pending.clear();
    m_arrivals->Fault(Arrival::Kind::kFault,
                      std::string("The file was ") + why + ": it is read again from its start.");
}

// A file that cannot be opened now (between a rotation's rename and the new file) is looked at
// again at the next poll.
void FileFollower::Poll() {
    OwnedHandle file(CreateFileW(m_path.c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                 OPEN_EXISTING, 0, NULL));
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!file || !GetFileInformationByHandle(file.Get(), &info)) {
        return;
    }
    const ULONGLONG index =
        (static_cast<ULONGLONG>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    const ULONGLONG size = (static_cast<ULONGLONG>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    if (m_known && (index != m_index || info.dwVolumeSerialNumber != m_volume)) {
        Restart("replaced");
    } else if (size < m_position) {
        Restart("truncated");
    }
    m_known = true;
    m_index = index;
    m_volume = info.dwVolumeSerialNumber;
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(m_position);
    if (size == m_position || !SetFilePointerEx(file.Get(), at, NULL, FILE_BEGIN)) {
        return;
    }
    char chunk[16384];
    DWORD got = 0;
    bool queued = false;
    while (ReadFile(file.Get(), chunk, sizeof chunk, &got, NULL) && got > 0) {
        m_position += got;
        for (const char *next = chunk, *end = chunk + got; next < end;) {
            const char* feed = static_cast<const char*>(memchr(next, '\n', end - next));
            const char* stop = feed ? feed : end;
            size_t room = kLongestLine - m_pending.size();
            m_pending.append(next, static_cast<size_t>(stop - next) < room
                                       ? static_cast<size_t>(stop - next)
                                       : room);
            if (feed) {
                m_arrivals->Push({Arrival::Kind::kFileLine, m_pending, std::string()});
                m_pending.clear();
                queued = true;
            }
            next = stop + (feed ? 1 : 0);
        }
    }
    if (queued) {
        m_arrivals->Wake();
    }
}

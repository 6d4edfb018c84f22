#include "syslog_sender.h"

#include "system_text.h"

#include <ws2tcpip.h>

namespace {

int SocketInt(SOCKET socket, int option) {
    int value = 0;
    int size = sizeof value;
    return getsockopt(socket, SOL_SOCKET, option, reinterpret_cast<char*>(&value), &size) == 0
               ? value
               : 0;
}

// A blocking socket's connect, bounded: the socket waits without blocking meanwhile.
// The sockets' failures a user meets, said plainly (Wine has no text for them); others in the
// system's words.
std::string NetReason(int code) {
    const struct {
        int code;
        const char* said;
    } plain[] = {{WSAETIMEDOUT, "no answer in time"},
                 {WSAECONNREFUSED, "refused: nothing listens there"},
                 {WSAECONNRESET, "reset by the collector"},
                 {WSAECONNABORTED, "the connection was given up"},
                 {WSAHOST_NOT_FOUND, "no such host"},
                 {WSATRY_AGAIN, "the host's name cannot be looked up now"},
                 {WSAENETUNREACH, "its network cannot be reached"},
                 {WSAEHOSTUNREACH, "the host cannot be reached"}};
    for (const auto& known : plain) {
        if (known.code == code) {
            return known.said;
        }
    }
    std::string reason = SystemReason(static_cast<DWORD>(code));
    return !reason.empty() && reason.back() == '.' ? reason.substr(0, reason.size() - 1) : reason;
}

bool ConnectWithin(SOCKET socket, const sockaddr* address, int length, DWORD timeout) {
    u_long nonBlocking = 1;
    ioctlsocket(socket, FIONBIO, &nonBlocking);
    bool connected = connect(socket, address, length) == 0;
    if (!connected && WSAGetLastError() == WSAEWOULDBLOCK) {
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(socket, &writable);
        FD_SET(socket, &failed);
        timeval wait = {static_cast<long>(timeout / 1000),
                        static_cast<long>(timeout % 1000) * 1000};
        int ready = select(0, NULL, &writable, &failed, &wait);
        int error = SocketInt(socket, SO_ERROR);
        connected = ready > 0 && FD_ISSET(socket, &writable) && error == 0;
        WSASetLastError(ready == 0 ? WSAETIMEDOUT : error);
    }
    int saved = WSAGetLastError();
    nonBlocking = 0;
    ioctlsocket(socket, FIONBIO, &nonBlocking);
    WSASetLastError(saved);
    return connected;
}

} // namespace

SyslogSender::SyslogSender(const SyslogTarget& target, const SyslogOrigin& origin,
                           FaultSink* faults)
    : m_target(target), m_origin(origin), m_faults(faults) {}

SyslogSender::~SyslogSender() {
    m_worker.Stop(INFINITE); // before the sockets' library goes
    m_socket.Reset();
    if (m_winsock) {
        WSACleanup();
    }
}

bool SyslogSender::Start(size_t items, ByteBudget& budget, std::string* error) {
    WSADATA data;
    int started = WSAStartup(MAKEWORD(2, 2), &data);
    m_winsock = started == 0;
    m_queue.SetCapacity(items, budget);
    m_wake.Reset(CreateEventA(NULL, FALSE, FALSE, NULL));
    DWORD code = started != 0 ? static_cast<DWORD>(started) : 0;
    if (!code && (!m_wake || !m_worker.Start<SyslogSender, &SyslogSender::Run>(this))) {
        code = GetLastError();
    }
    if (code) {
        *error = "cannot start forwarding to " + m_target.url + ": " + SystemReason(code);
    }
    return code == 0;
}

void SyslogSender::Line(const KeptLine& line, bool shown) {
    if (shown && m_worker.Running()) {
        std::string message = SyslogMessage(line, m_origin);
        m_queue.Push(
            {m_target.transport == SyslogTransport::kUdp ? message : SyslogFrame(message)});
    }
}

void SyslogSender::EndOfBatch() {
    if (m_wake && InterlockedExchange(&m_wakePending, 1) == 0) {
        SetEvent(m_wake.Get());
    }
}

void SyslogSender::Run() {
    HANDLE waits[] = {m_worker.StopEvent(), m_wake.Get()};
    DWORD pause = kFirstPauseMs;
    bool stopping = false, triedAtStop = false;
    for (;;) {
        if (!m_socket) {
            // Once stopping, one more connection is tried, without a pause.
            if (triedAtStop) {
                break;
            }
            triedAtStop = stopping;
            if (!Connect()) {
                stopping = stopping || Pause(&pause);
                continue;
            }
        }
        size_t held = 0;
        for (Item& item : m_queue.TakeAll(&held)) {
            m_unsent.push_back(std::move(item));
        }
        m_unsentHeld += held;
        InterlockedExchange(&m_unsentCount, static_cast<LONG>(m_unsent.size()));
        if (!m_unsent.empty()) {
            std::string closed;
            if (PeerClosed(&closed) || !SendUnsent()) {
                Broke(!closed.empty() ? closed : NetReason(WSAGetLastError()));
                bool brief = GetTickCount() - m_connectedAt < kLongestPauseMs;
                pause = brief ? pause : kFirstPauseMs;
                stopping = stopping || (brief && Pause(&pause));
                continue;
            }
            // Back once lines went out again: a collector that takes connections and closes
            // them at once is still away.
            if (m_away) {
                Say("forwarding to " + m_target.url + " again");
            }
            m_away = false;
        }
        if (stopping) {
            break;
        }
        DWORD woken = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        InterlockedExchange(&m_wakePending, 0);
        stopping = woken != WAIT_OBJECT_0 + 1;
    }
    m_leftAtFinish = static_cast<unsigned long>(m_unsent.size() + m_queue.Size());
    if (m_socket && m_target.transport == SyslogTransport::kTls) {
        m_tls.Close(m_socket.Get());
    }
}

bool SyslogSender::Connect() {
    bool udp = m_target.transport == SyslogTransport::kUdp;
    addrinfo hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = udp ? SOCK_DGRAM : SOCK_STREAM;
    hints.ai_protocol = udp ? IPPROTO_UDP : IPPROTO_TCP;
    addrinfo* found = NULL;
    int code =
        getaddrinfo(m_target.host.c_str(), std::to_string(m_target.port).c_str(), &hints, &found);
    std::string reason = NetReason(code);
    for (addrinfo* address = found; address && !m_socket; address = address->ai_next) {
        OwnedSocket socket(
            ::socket(address->ai_family, address->ai_socktype, address->ai_protocol));
        if (!socket || !ConnectWithin(socket.Get(), address->ai_addr,
                                      static_cast<int>(address->ai_addrlen), kConnectWaitMs)) {
            reason = NetReason(WSAGetLastError());
            continue;
        }
        DWORD sendWait = kSendWaitMs, handshakeWait = kConnectWaitMs;
        setsockopt(socket.Get(), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<char*>(&sendWait),
                   sizeof sendWait);
        setsockopt(socket.Get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<char*>(&handshakeWait),
                   sizeof handshakeWait);
        if (m_target.transport != SyslogTransport::kTls ||
            m_tls.Open(socket.Get(), m_target.host, &reason)) {
            m_socket = std::move(socket);
        }
    }
    if (found) {
        freeaddrinfo(found);
    }
    if (!m_socket) {
        if (!m_away) {
            Say("cannot reach " + m_target.url + ": " + reason + "; trying again");
        }
        m_away = true;
        return false;
    }
    m_connectedAt = GetTickCount();
    InterlockedExchange(&m_connected, 1);
    return true;
}

bool SyslogSender::Transmit(const std::string& text) {
    if (m_target.transport == SyslogTransport::kTls) {
        return m_tls.Send(m_socket.Get(), text.data(), text.size());
    }
    return SendAll(m_socket.Get(), text.data(), text.size());
}

bool SyslogSender::SendUnsent() {
    while (!m_unsent.empty()) {
        const std::string& text = m_unsent.front().text;
        if (Transmit(text)) {
            InterlockedIncrement(&m_sent);
            m_recent.push_back(text.size());
            m_recentBytes += text.size();
            while (m_recentBytes > kInFlightBytes) {
                m_recentBytes -= m_recent.front();
                m_recent.pop_front();
            }
        } else if (m_target.transport == SyslogTransport::kUdp) {
            // Best effort: a datagram refused (nothing listens there now) is not tried again.
            InterlockedIncrement(&m_refused);
        } else {
            // A line cut short goes again whole: the collector drops the broken frame.
            return false;
        }
        m_unsent.pop_front();
        InterlockedDecrement(&m_unsentCount);
    }
    m_queue.GiveBack(m_unsentHeld);
    m_unsentHeld = 0;
    return true;
}

bool SyslogSender::PeerClosed(std::string* how) {
    if (m_target.transport == SyslogTransport::kUdp) {
        return false;
    }
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(m_socket.Get(), &readable);
    timeval now = {0, 0};
    if (select(0, &readable, NULL, NULL, &now) <= 0) {
        return false;
    }
    // A collector says nothing on this protocol: what is readable is its end, or its reset.
    char discard[256];
    int got = recv(m_socket.Get(), discard, sizeof discard, 0);
    if (got > 0) {
        return false;
    }
    *how = got == 0 ? "the collector closed the connection" : NetReason(WSAGetLastError());
    return true;
}

void SyslogSender::Broke(const std::string& reason) {
    m_tls.Reset();
    m_socket.Reset();
    InterlockedExchange(&m_connected, 0);
    size_t uncertain = m_recent.size();
    m_recent.clear();
    m_recentBytes = 0;
    InterlockedExchangeAdd(&m_uncertain, static_cast<LONG>(uncertain));
    // Said once a time the collector goes away, and whenever lines may have gone with it.
    if (!m_away || uncertain > 0) {
        Say("the connection to " + m_target.url + " broke (" + reason + "): up to " +
            Lines(uncertain) + " sent just before may not have arrived");
    }
    m_away = true;
}

bool SyslogSender::Pause(DWORD* pause) {
    bool stop = WaitForSingleObject(m_worker.StopEvent(), *pause) == WAIT_OBJECT_0;
    *pause = *pause * 2 < kLongestPauseMs ? *pause * 2 : kLongestPauseMs;
    return stop;
}

void SyslogSender::Say(const std::string& text) {
    FaultSink* faults = static_cast<FaultSink*>(InterlockedCompareExchangePointer(
        reinterpret_cast<void* volatile*>(&m_faults), NULL, NULL));
    if (faults) {
        faults->WriteFailed(text);
    }
}

bool SyslogSender::Finish(DWORD timeout) {
    if (!m_worker.Running()) {
        return true;
    }
    if (m_worker.Stop(timeout)) {
        return true;
    }
    // Still blocked on the collector: what it holds and what waits for it will not be sent.
    m_leftAtFinish = static_cast<unsigned long>(m_unsentCount) + m_queue.Size();
    return false;
}

unsigned long SyslogSender::Lost() {
    return m_queue.Dropped() + static_cast<unsigned long>(m_refused) + m_leftAtFinish;
}

bool SyslogForwarding::Start(const SyslogTarget& target, int priority, std::string* error) {
    Stop();
    m_sender.reset(new SyslogSender(target, {priority, SyslogHostName()}, this));
    if (!m_sender->Start(m_items, *m_budget, error)) {
        m_sender.reset();
        return false;
    }
    return true;
}

void SyslogForwarding::Stop() {
    if (!m_sender) {
        return;
    }
    bool ended = m_sender->Finish(kEndWaitMs);
    m_lostBefore += m_sender->Lost();
    // A sender still blocked on the network is left to the process's exit, never freed under its
    // thread.
    if (!ended) {
        m_sender->Detach();
        m_sender.release();
    }
    m_sender.reset();
}

std::string SyslogForwarding::State() const {
    if (!m_sender) {
        return std::string();
    }
    std::string state =
        "forwarding to " + m_sender->Url() + (m_sender->Connected() ? "" : " (not reached)");
    unsigned long uncertain = m_sender->Uncertain();
    return uncertain == 0 ? state
                          : state + ", up to " + Lines(uncertain) +
                                " sent before a connection broke may not have arrived";
}

void SyslogForwarding::Line(const KeptLine& line, bool shown) {
    if (m_sender) {
        m_sender->Line(line, shown);
    }
}

void SyslogForwarding::EndOfBatch() {
    if (m_sender) {
        m_sender->EndOfBatch();
    }
}

void SyslogForwarding::WriteFailed(const std::string& text) {
    m_arrivals->Fault(Arrival::Kind::kFault, text);
}

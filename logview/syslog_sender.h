// Forwarding to a syslog collector: each line that the filter passes, as an RFC 5424 message
// (syslog_message.h), sent by a thread of its own so that neither the window's thread nor the
// readers ever wait on the network. Lines wait in a bounded queue, in order and within the
// viewer's byte budget, while the collector is away; it is tried again with growing pauses, and
// a full queue drops its oldest, counted as lost. On a stream, a line that was handed to a
// connection is not sent again on the next one, so that none arrives twice (tls://: over the
// system's TLS, tls_session.h); what the broken
// connection held in its buffers (ours and the collector's) may not have arrived, and is counted
// and said. On UDP a message is sent once, best effort: a send refused is counted as lost.
#pragma once

#include "arrivals.h"
#include "line_store.h"
#include "owned.h"
#include "syslog_message.h"
#include "tls_session.h"
#include "worker_thread.h"

#include <winsock2.h>

#include <deque>
#include <memory>
#include <string>

struct SocketTraits {
    static SOCKET None() { return INVALID_SOCKET; }
    static bool Valid(SOCKET value) { return value != INVALID_SOCKET; }
    static void Close(SOCKET value) { closesocket(value); }
};
using OwnedSocket = Owned<SOCKET, SocketTraits>;

class SyslogSender : public LineSink {
  public:
    // A collector that takes longer to accept, or to take anything of what was sent, is taken
    // for away (a slow one takes some at least).
    static constexpr DWORD kConnectWaitMs = 3000;
    static constexpr DWORD kSendWaitMs = 30000;
    // The pauses between tries double from the first to the longest; a connection that broke
    // sooner than the longest after it was made counts as a failed try (a collector that accepts
    // and closes at once), one that lasted longer is made again at once.
    static constexpr DWORD kFirstPauseMs = 250;
    static constexpr DWORD kLongestPauseMs = 4000;
    // What a broken connection may have swallowed: both ends' buffers, which the system grows with
    // the traffic beyond what it says of them (Linux to 4 MiB sent and 6 MiB received, Windows'
    // receive window to 16 MiB).
    static constexpr size_t kInFlightBytes = 16UL << 20;

    // What goes wrong (and right again) is said to faults, with the URL.
    SyslogSender(const SyslogTarget& target, const SyslogOrigin& origin, FaultSink* faults);
    ~SyslogSender();
    SyslogSender(const SyslogSender&) = delete;
    SyslogSender& operator=(const SyslogSender&) = delete;

    // Starts the thread with a queue of at most items within budget; false with the reason.
    bool Start(size_t items, ByteBudget& budget, std::string* error);
    void Line(const KeptLine& line, bool shown) override;
    void EndOfBatch() override;

    // Sends what is queued (connecting once more if it must) and ends the thread, waiting at most
    // timeout; what is still unsent then counts as lost. False when the thread still runs.
    // RequestFinish starts that without waiting, so that several senders finish side by side.
    void RequestFinish() { m_worker.RequestStop(); }
    bool Finish(DWORD timeout);
    // Says nothing more: for a sender left blocked to the process's exit, whose sink goes first.
    void Detach() {
        InterlockedExchangePointer(reinterpret_cast<void* volatile*>(&m_faults), NULL);
    }

    // Dropped by a full queue, refused (UDP), or unsent at Finish.
    unsigned long Lost() override;
    // Handed to connections that broke afterwards, within their buffers: perhaps never arrived.
    unsigned long Uncertain() const { return static_cast<unsigned long>(m_uncertain); }
    unsigned long Sent() const { return static_cast<unsigned long>(m_sent); }
    bool Connected() const { return m_connected != 0; }
    const std::string& Url() const { return m_target.url; }

  private:
    struct Item {
        std::string text;
    };

    void Run();
    // A connection, or false with the failure said once for each time the collector goes away.
    bool Connect();
    // One message whole on the connection, or false.
    bool Transmit(const std::string& text);
    // Sends m_unsent from its front, each item as it goes; false when the connection broke.
    bool SendUnsent();
    // Whether a stream's collector closed its end (or reset it) since the last send; how, said.
    bool PeerClosed(std::string* how);
    void Broke(const std::string& reason);
    // Waits out a pause between tries, doubled for the next; true when asked to stop meanwhile.
    bool Pause(DWORD* pause);
    void Say(const std::string& text);

    SyslogTarget m_target;
    SyslogOrigin m_origin;
    FaultSink* volatile m_faults; // NULL once Detach: the sink may go before a blocked thread
    bool m_winsock = false;
    OwnedHandle m_wake;
    BoundedQueue<Item> m_queue;
    // The sender's thread alone: the connection, what it took and has not sent, and the sizes of
    // what it sent lately, newest last, within what the sockets' buffers may hold.
    OwnedSocket m_socket;
    TlsSession m_tls; // over m_socket, for tls://
    std::deque<Item> m_unsent;
    size_t m_unsentHeld = 0; // bytes the unsent lines hold in the budget
    std::deque<size_t> m_recent;
    size_t m_recentBytes = 0;
    DWORD m_connectedAt = 0;
    bool m_away = false; // the collector's going away was said, its return not yet
    // Set by the thread, read by others.
    volatile LONG m_refused = 0;
    volatile LONG m_uncertain = 0;
    volatile LONG m_sent = 0;
    volatile LONG m_connected = 0;
    volatile LONG m_unsentCount = 0;
    volatile LONG m_wakePending = 0;
    unsigned long m_leftAtFinish = 0;
    WorkerThread m_worker; // last: its thread ends before the rest goes
};

// Forwarding from the window (File > Forward to Syslog...): one collector at a time, started,
// changed or stopped while the viewer runs; a sink of the store from the start, idle while off.
// What the sender says goes to the status bar as a notice.
class SyslogForwarding : public LineSink, public FaultSink {
  public:
    // How long a sender is given to send what it holds when forwarding stops.
    static constexpr DWORD kEndWaitMs = 1000;

    SyslogForwarding(Arrivals* arrivals, ByteBudget* budget, size_t items)
        : m_arrivals(arrivals), m_budget(budget), m_items(items) {}
    ~SyslogForwarding() { Stop(); }
    SyslogForwarding(const SyslogForwarding&) = delete;
    SyslogForwarding& operator=(const SyslogForwarding&) = delete;

    // Stops what ran and forwards to target; false with the reason.
    bool Start(const SyslogTarget& target, int priority, std::string* error);
    void Stop();
    bool Running() const { return static_cast<bool>(m_sender); }
    // "forwarding to URL", and "(not reached)" while the collector is away; empty while off.
    std::string State() const;

    void Line(const KeptLine& line, bool shown) override;
    void EndOfBatch() override;
    unsigned long Lost() override { return m_lostBefore + (m_sender ? m_sender->Lost() : 0); }
    void WriteFailed(const std::string& text) override;

  private:
    Arrivals* m_arrivals;
    ByteBudget* m_budget;
    size_t m_items;
    std::unique_ptr<SyslogSender> m_sender;
    unsigned long m_lostBefore = 0; // by the senders stopped
};

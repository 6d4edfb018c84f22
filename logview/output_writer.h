// The headless viewer's output: standard output, the --out file and standard error, each written
// by a thread of its own, so that the window's thread never waits for them and a reader that
// paused one pipe holds up neither the file nor the others. A writer wakes for each batch of
// lines and writes it at once, in one write; under load the batches grow by themselves. What
// cannot be written yet waits in a bounded queue; a line dropped from it, or not written because
// the target failed or never finished, is counted as lost, and the first failure is said on
// standard error with the system's reason.
#pragma once

#include "arrivals.h"
#include "line_store.h"
#include "owned.h"
#include "rotating_file.h"
#include "syslog_sender.h"
#include "system_text.h"
#include "worker_thread.h"

#include <memory>
#include <string>
#include <vector>

class OutputWriter {
  public:
    // How long a writer is given to finish when its owner does not say (Log to File's Close).
    static constexpr DWORD kEndWaitMs = 1000;

    OutputWriter() = default;
    OutputWriter(const OutputWriter&) = delete;
    OutputWriter& operator=(const OutputWriter&) = delete;

    // Starts the thread that writes to target, called name in a fault said to faults (which may be
    // NULL), with a queue of at most items within budget. A missing target starts nothing and
    // takes nothing.
    bool Start(HANDLE target, const std::string& name, FaultSink* faults, size_t items,
               ByteBudget& budget);
    // The same for a file that switches past a size; one that is not open starts nothing.
    bool Start(RotatingFile* file, const std::string& name, FaultSink* faults, size_t items,
               ByteBudget& budget);

    // Queues text and a line feed; Wake has the thread write what is queued.
    void Push(const std::string& text);
    void Wake();

    // Writes what is queued and ends the thread, waiting at most timeout; false when the thread
    // is still blocked then: what it holds counts as lost, and it is left to the process's exit,
    // which must come before this writer goes.
    bool Finish(DWORD timeout);

    unsigned long Lost();

  private:
    static constexpr size_t kWriteChunk = 1UL << 20;

    struct Item {
        std::string text;
    };

    void Run();
    void Write(const std::deque<Item>& items);

    HANDLE m_target = NULL;      // not ours: a standard handle, or Log to File's file
    RotatingFile* m_file = NULL; // not ours either: the --out file, written instead of m_target
    std::string m_name;
    FaultSink* m_faults = NULL;
    OwnedHandle m_wake;
    BoundedQueue<Item> m_queue;
    // Set by the writer's thread, read by others: whole longs, changed with Interlocked calls.
    volatile LONG m_failedLines = 0; // not written: the target failed
    volatile LONG m_inFlight = 0;    // taken from the queue, not yet written
    volatile LONG m_finished = 0;
    volatile LONG m_wakePending = 0; // set by Wake, cleared by the thread before it takes
    unsigned long m_leftAtFinish = 0;
    WorkerThread m_worker; // last: its thread ends before the rest goes
};

// The headless viewer's sink: each line the filter passes to standard output and the --out file
// (its text, or with --time as a log file's line), faults and the closing count to standard error.
class HeadlessOutput : public FaultSink {
  public:
    explicit HeadlessOutput(bool timed) : m_out(timed), m_file(timed) {}
    // The file is created (emptied) here, to switch as rotation says; false with the reason in
    // error when it cannot be.
    bool Open(const std::wstring& outPath, const Rotation& rotation, std::string* error);
    bool Start(size_t items, ByteBudget& budget);
    // Forwarding to each collector (--syslog), each with a queue of at most items; false with the
    // reason.
    bool Forward(const std::vector<SyslogTarget>& targets, int priority, size_t items,
                 ByteBudget& budget, std::string* error);
    // Standard output, the file and the collectors, each a sink of the store.
    void Attach(LineStore* store);
    void Fault(const std::string& text);
    void WriteFailed(const std::string& text) override { Fault(text); }
    // Writes what is left, at most timeout for each target, and says on standard error how many
    // lines each output lost, and how many were lost before them (lost, counted by the caller).
    // Returns the sum.
    // *ended is false when a target is still blocked: the process must then exit at once.
    unsigned long Finish(unsigned long lost, DWORD timeout, bool* ended);

  private:
    // One output as a sink of the store: each line the filter passes, as its text or, timed
    // (--time), as a log file's line, to its writer.
    class OutputSink : public LineSink {
      public:
        explicit OutputSink(bool timed) : m_timed(timed) {}
        OutputWriter& Writer() { return m_writer; }
        void Line(const KeptLine& line, bool shown) override;
        void EndOfBatch() override { m_writer.Wake(); }
        unsigned long Lost() override { return m_writer.Lost(); }

      private:
        bool m_timed;
        OutputWriter m_writer;
    };

    std::string m_outPath;
    RotatingFile m_outFile;
    OutputSink m_out;
    OutputSink m_file;
    std::vector<std::unique_ptr<SyslogSender>> m_senders;
    OutputWriter m_error;
};

// Log to File: every line that arrives, appended to a file as a log file's line, by a writer
// thread; a write that fails is said to faults, and the window then turns it off.
class LogFile : public LineSink {
  public:
    // What may wait for the file, in lines; in bytes, the viewer's budget bounds it.
    static constexpr size_t kQueueLines = 16384;

    LogFile(FaultSink* faults, ByteBudget* budget) : m_faults(faults), m_budget(budget) {}
    ~LogFile() { Close(); }
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Opens path for appending (created when missing), to switch as rotation says; false with the
    // reason.
    bool Open(const std::wstring& path, const Rotation& rotation, std::string* error);
    void Close();
    bool IsOpen() const { return static_cast<bool>(m_writer); }
    void Line(const KeptLine& line, bool shown) override;
    void EndOfBatch() override;
    // Every file's since the start, a writer given up at Close counted with all it held.
    unsigned long Lost() override { return m_lostBefore + (m_writer ? m_writer->Lost() : 0); }

  private:
    FaultSink* m_faults;
    ByteBudget* m_budget;
    std::unique_ptr<RotatingFile> m_file;
    std::unique_ptr<OutputWriter> m_writer;
    unsigned long m_lostBefore = 0; // by the files closed
};

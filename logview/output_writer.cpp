#include "output_writer.h"

#include "log_format.h"

#include "duzar.h"

bool OutputWriter::Start(HANDLE target, const std::string& name, FaultSink* faults, size_t items,
                         ByteBudget& budget) {
    if (!target || target == INVALID_HANDLE_VALUE) {
        return true;
    }
    m_target = target;
    m_name = name;
    m_faults = faults;
    m_queue.SetCapacity(items, budget);
    m_wake.Reset(CreateEventA(NULL, FALSE, FALSE, NULL));
    return m_wake && m_worker.Start<OutputWriter, &OutputWriter::Run>(this);
}

bool OutputWriter::Start(RotatingFile* file, const std::string& name, FaultSink* faults,
                         size_t items, ByteBudget& budget) {
    if (!file->IsOpen()) {
        return true;
    }
    m_file = file;
    m_target = INVALID_HANDLE_VALUE; // written through m_file
    m_name = name;
    m_faults = faults;
    m_queue.SetCapacity(items, budget);
    m_wake.Reset(CreateEventA(NULL, FALSE, FALSE, NULL));
    return m_wake && m_worker.Start<OutputWriter, &OutputWriter::Run>(this);
}

void OutputWriter::Push(const std::string& text) {
    if (m_worker.Running()) {
        // Built to its size: text + "\n" would hold twice the text.
        std::string line;
        line.reserve(text.size() + 1);
        line.append(text).push_back('\n');
        m_queue.Push({std::move(line)});
    }
}

// A writer already woken and not yet taking is not woken again: under load most batches cost
// no system call.
void OutputWriter::Wake() {
    if (m_wake && InterlockedExchange(&m_wakePending, 1) == 0) {
        SetEvent(m_wake.Get());
    }
}

void OutputWriter::Run() {
    HANDLE waits[] = {m_worker.StopEvent(), m_wake.Get()};
    for (;;) {
        DWORD woken = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        InterlockedExchange(&m_wakePending, 0);
        // Whatever was queued before the stop is written before the thread ends. A batch stays in
        // the budget until written: a writer blocked on it still holds it.
        size_t held = 0;
        Write(m_queue.TakeAll(&held));
        m_queue.GiveBack(held);
        if (woken != WAIT_OBJECT_0 + 1) {
            return;
        }
    }
}

// In pieces of at most kWriteChunk: one write a batch under load, and no second copy of a batch
// that a stalled target let grow.
void OutputWriter::Write(const std::deque<Item>& items) {
    for (auto next = items.begin(); next != items.end();) {
        LONG left = static_cast<LONG>(items.end() - next);
        // A target that failed once is given up: its later lines are counted, not tried.
        if (m_failedLines > 0) {
            InterlockedExchangeAdd(&m_failedLines, left);
            return;
        }
        std::string text;
        for (; next != items.end() &&
               (text.empty() || text.size() + next->text.size() <= kWriteChunk);
             ++next) {
            text += next->text;
        }
        InterlockedExchange(&m_inFlight, left);
        DWORD error = 0;
        bool written = m_file ? m_file->Write(text, &error) : WriteText(m_target, text);
        error = m_file ? error : GetLastError();
        InterlockedExchange(&m_inFlight, 0);
        if (!written) {
            InterlockedExchangeAdd(&m_failedLines, left);
            if (m_faults) {
                m_faults->WriteFailed("cannot write " + m_name + ": " + SystemReason(error));
            }
            return;
        }
    }
}

bool OutputWriter::Finish(DWORD timeout) {
    if (!m_worker.Running() || m_finished) {
        return !m_worker.Running();
    }
    m_finished = 1;
    if (m_worker.Stop(timeout)) {
        return true;
    }
    // Still blocked: what it holds and what waits for it will not be written.
    m_leftAtFinish = static_cast<unsigned long>(m_inFlight) + m_queue.Size();
    return false;
}

unsigned long OutputWriter::Lost() {
    return m_queue.Dropped() + static_cast<unsigned long>(m_failedLines) + m_leftAtFinish;
}

bool HeadlessOutput::Open(const std::wstring& outPath, const Rotation& rotation,
                          std::string* error) {
    if (outPath.empty()) {
        return true;
    }
    m_outPath = Narrow(outPath);
    return m_outFile.Open(outPath, rotation, false, error);
}

bool HeadlessOutput::Start(size_t items, ByteBudget& budget) {
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    return m_error.Start(error, "standard error", NULL, items, budget) &&
           m_out.Writer().Start(GetStdHandle(STD_OUTPUT_HANDLE), "standard output", this, items,
                                budget) &&
           m_file.Writer().Start(&m_outFile, m_outPath, this, items, budget);
}

bool HeadlessOutput::Forward(const std::vector<SyslogTarget>& targets, int priority, size_t items,
                             ByteBudget& budget, std::string* error) {
    SyslogOrigin origin = {priority, SyslogHostName()};
    for (const SyslogTarget& target : targets) {
        m_senders.emplace_back(new SyslogSender(target, origin, this));
        if (!m_senders.back()->Start(items, budget, error)) {
            return false;
        }
    }
    return true;
}

void HeadlessOutput::Attach(LineStore* store) {
    store->AddSink(&m_out);
    store->AddSink(&m_file);
    for (auto& sender : m_senders) {
        store->AddSink(sender.get());
    }
}

void HeadlessOutput::OutputSink::Line(const KeptLine& line, bool shown) {
    if (shown) {
        m_writer.Push(m_timed ? LogFileLine(line) : ShownText(line));
    }
}

void HeadlessOutput::Fault(const std::string& text) {
    m_error.Push("logview: " + text);
    m_error.Wake();
}

unsigned long HeadlessOutput::Finish(unsigned long lost, DWORD timeout, bool* ended) {
    // The collectors finish side by side, within one timeout however many there are.
    const DWORD start = GetTickCount();
    for (auto& sender : m_senders) {
        sender->RequestFinish();
    }
    *ended = m_file.Writer().Finish(timeout);
    *ended = m_out.Writer().Finish(timeout) && *ended;
    for (auto& sender : m_senders) {
        DWORD spent = GetTickCount() - start;
        *ended = sender->Finish(spent < timeout ? timeout - spent : 0) && *ended;
    }
    // Each output apart: a line lost to a stalled standard output may be whole in the file.
    unsigned long out = m_out.Writer().Lost(), file = m_file.Writer().Lost();
    std::string said = "lines lost: " + std::to_string(lost) + " behind the window, " +
                       std::to_string(out) + " on standard output";
    said += m_outPath.empty() ? "" : ", " + std::to_string(file) + " in " + m_outPath;
    lost += out + file;
    std::string uncertain;
    for (auto& sender : m_senders) {
        said += ", " + std::to_string(sender->Lost()) + " to " + sender->Url();
        lost += sender->Lost();
        if (sender->Uncertain() > 0) {
            Fault(Lines(sender->Uncertain()) + " sent to " + sender->Url() +
                  " just before a connection broke may not have arrived");
        }
    }
    if (lost > 0) {
        Fault(said);
    }
    *ended = m_error.Finish(timeout) && *ended;
    return lost;
}

bool LogFile::Open(const std::wstring& path, const Rotation& rotation, std::string* error) {
    Close();
    m_file.reset(new RotatingFile);
    if (!m_file->Open(path, rotation, true, error)) {
        m_file.reset();
        return false;
    }
    m_writer.reset(new OutputWriter);
    if (!m_writer->Start(m_file.get(), Narrow(path), m_faults, kQueueLines, *m_budget)) {
        *error = "Cannot start the log file's thread: " + SystemReason(GetLastError());
        Close();
        return false;
    }
    return true;
}

void LogFile::Close() {
    // A writer still blocked on the file is left with the file, to the process's exit: neither is
    // freed under its thread, nor the handle closed while it may write to it (the number could
    // name another file by then).
    bool ended = !m_writer || m_writer->Finish(OutputWriter::kEndWaitMs);
    m_lostBefore += m_writer ? m_writer->Lost() : 0;
    if (!ended) {
        m_writer.release();
        m_file.release();
    }
    m_writer.reset();
    m_file.reset();
}

void LogFile::Line(const KeptLine& line, bool) {
    if (m_writer) {
        m_writer->Push(LogFileLine(line) + "\r"); // CR LF, as Save As writes
    }
}

void LogFile::EndOfBatch() {
    if (m_writer) {
        m_writer->Wake();
    }
}

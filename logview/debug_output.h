// The system's debug-output channel, read beside the duzar channel: the programs that the setup
// menu starts write their diagnostics with OutputDebugString, which puts the writer's process id
// and the text into the shared buffer "DBWIN_BUFFER" once "DBWIN_BUFFER_READY" is set, then sets
// "DBWIN_DATA_READY". One program at a time can listen there. The reader copies each message out
// and sets the buffer ready again at once, so that a writer never waits on the viewer (it waits at
// most 10 s for the buffer); its lines join the window's arrivals with the writer's process id and
// name, looked up once per process.
#pragma once

#include "arrivals.h"
#include "owned.h"
#include "worker_thread.h"

#include <map>
#include <string>

// Where a reader listens: the session's objects, or the machine's ("Global\\"), where services (the
// system's installer service among them) write theirs. The machine's need the right to create
// global objects.
enum class DebugScope { kSession, kGlobal };

class DebugOutputReader {
  public:
    static constexpr size_t kBufferSize = 4096;
    // The names of this many processes are kept; past that the list starts again.
    static constexpr size_t kNamesKept = 256;
    // A message that, alone on its line, clears the view instead of joining it, as debug-output
    // viewers have long done: programs send it to start a clean run.
    static constexpr char kClearMessage[] = "DBGVIEWCLEAR";

    explicit DebugOutputReader(DebugScope scope)
        : m_prefix(scope == DebugScope::kGlobal ? "Global\\" : "") {}
    ~DebugOutputReader() { Stop(); }
    DebugOutputReader(const DebugOutputReader&) = delete;
    DebugOutputReader& operator=(const DebugOutputReader&) = delete;

    // Creates the objects and starts the reader; false with the reason when they cannot be had,
    // another program listening there included.
    bool Start(Arrivals* arrivals, std::string* error);
    // Whose waiting lines come before each debug-output line; set before Start.
    void FollowChannel(EarlierLines* channel) { m_channel = channel; }
    void Stop();
    bool Running() const { return m_worker.Running(); }

  private:
    void Run();
    const std::string& ProcessOf(DWORD id);
    std::string Name(const char* name) const { return m_prefix + name; }

    const std::string m_prefix;
    OwnedHandle m_map;
    OwnedView m_mapped;
    OwnedHandle m_bufferReady;
    OwnedHandle m_dataReady;
    Arrivals* m_arrivals = NULL;
    EarlierLines* m_channel = NULL;
    std::map<DWORD, std::string> m_processes; // "1234 name.exe" by process id
    WorkerThread m_worker;                    // last: its thread ends before the rest goes
};

// The viewer's two readers of the debug output, each on and off of its own.
struct DebugCaptures {
    DebugOutputReader session{DebugScope::kSession};
    DebugOutputReader global{DebugScope::kGlobal};
};

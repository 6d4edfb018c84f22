// A real syslog collector for the forwarding tests: the distribution's rsyslogd, in the foreground
// on a free loopback port (TCP and UDP) with the lab's configuration (scripts/rsyslog-lab.conf,
// which writes HOSTNAME.log in this folder), each message it takes also written as one line of its
// fields, "HOST|APP|PROCID|MSGID|SD|TIME|PRI|MSG", to a file that lives across its restarts. It is
// a Linux program, which Wine starts without giving a process handle: it is known by its pid file
// (gone once it has ended) and by its port; a kill that never comes still ends it after
// kLifeSeconds.
#pragma once

#include "child_process.h"
#include "syslog_sender.h"

#include <string>
#include <vector>

class Collector {
  public:
    static constexpr int kLifeSeconds = 300;

    // unixDir: a folder of its own, as Linux names it.
    explicit Collector(const std::string& unixDir) : m_dir(unixDir) {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        CreateDirectoryA(WinePath(m_dir).c_str(), NULL);
        DeleteFileA(WinePath(m_dir + "/messages").c_str());
        DeleteFileA(MachineFile().c_str());
        OwnedSocket probe(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        sockaddr_in address = Loopback(0);
        int size = sizeof address;
        bind(probe.Get(), reinterpret_cast<sockaddr*>(&address), size);
        getsockname(probe.Get(), reinterpret_cast<sockaddr*>(&address), &size);
        m_port = ntohs(address.sin_port);
        // The lab's configuration, on this port and in this folder, and the fields of each message.
        std::string lab = ReadFileText(WinePath(LAB_CONF));
        for (const char* from : {"port=\"601\"", "port=\"514\"", "/var/log/duzar"}) {
            std::string to = from[0] == '/' ? m_dir : "port=\"" + std::to_string(m_port) + "\"";
            for (size_t at; (at = lab.find(from)) != std::string::npos;) {
                lab.replace(at, strlen(from), to);
            }
        }
        std::ofstream(WinePath(m_dir + "/rsyslog.conf"))
            << lab << "global(workDirectory=\"" << m_dir << "\")\n"
            << "template(name=\"fields\" type=\"string\" string=\"%hostname%|%app-name%|%procid%|"
               "%msgid%|%structured-data%|%timereported:::date-rfc3339%|%pri-text%|%msg%\\n\")\n"
            << "action(type=\"omfile\" file=\"" << m_dir << "/messages\" template=\"fields\")\n";
    }
    ~Collector() { Stop(); }
    Collector(const Collector&) = delete;
    Collector& operator=(const Collector&) = delete;

    unsigned short Port() const { return m_port; }

    // True once it takes connections.
    bool Start() {
        Unix("exec timeout " + std::to_string(kLifeSeconds) + " /usr/sbin/rsyslogd -n -f " + m_dir +
             "/rsyslog.conf -i " + m_dir + "/pid >>" + m_dir + "/rsyslogd.out 2>&1 </dev/null");
        return WaitUntil([&] { return Accepts(); });
    }

    // Ends it as a service manager does, and waits until it has gone.
    void Stop() {
        std::string pid = ReadFileText(PidFile());
        if (!pid.empty()) {
            Unix("kill " + pid.substr(0, pid.find('\n')));
            EXPECT_TRUE(WaitUntil(
                [&] { return GetFileAttributesA(PidFile().c_str()) == INVALID_FILE_ATTRIBUTES; }));
        }
    }

    // The lab's file for this machine's lines.
    std::string MachineFile() const { return WinePath(m_dir + "/" + SyslogHostName() + ".log"); }

    std::vector<std::string> Messages() const { return ReadLines(WinePath(m_dir + "/messages")); }

  private:
    static sockaddr_in Loopback(unsigned short port) {
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        return address;
    }

    std::string PidFile() const { return WinePath(m_dir + "/pid"); }

    bool Accepts() const {
        OwnedSocket probe(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        sockaddr_in address = Loopback(m_port);
        return GetFileAttributesA(PidFile().c_str()) != INVALID_FILE_ATTRIBUTES &&
               connect(probe.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }

    // A shell command, run by Linux's shell.
    static void Unix(const std::string& command) {
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started = {};
        std::string line = "Z:\\bin\\sh -c \"" + command + "\"";
        EXPECT_TRUE(
            CreateProcessA(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &started))
            << line;
        OwnedHandle process(started.hProcess), thread(started.hThread);
    }

    std::string m_dir;
    unsigned short m_port = 0;
};

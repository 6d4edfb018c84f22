// A real syslog collector for the forwarding tests: the distribution's rsyslogd, in the foreground
// on a free loopback port (TCP and UDP) with the lab's configuration (scripts/rsyslog-lab.conf,
// which writes HOSTNAME.log in this folder), each message it takes also written as one line of its
// fields, "HOST|APP|PROCID|MSGID|SD|TIME|PRI|MSG", to a file that lives across its restarts. It is
// a Linux program, which Wine starts without giving a process handle: it is known by its pid file
// (gone once it has ended) and by its port; a kill that never comes still ends it after
// kLifeSeconds. With TLS, it also takes RFC 5425's TLS on a second port, with a certificate for
// "localhost" from a test CA that it makes, which the prefix then trusts.
#pragma once

#include "child_process.h"
#include "syslog_sender.h"

#include <wincrypt.h>

#include <string>
#include <vector>

class Collector {
  public:
    static constexpr int kLifeSeconds = 300;

    // unixDir: a folder of its own, as Linux names it.
    explicit Collector(const std::string& unixDir, bool tls = false) : m_dir(unixDir) {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        CreateDirectoryA(WinePath(m_dir).c_str(), NULL);
        DeleteFileA(WinePath(m_dir + "/messages").c_str());
        DeleteFileA(MachineFile().c_str());
        // Two free ports: bound at once, they differ.
        OwnedSocket probes[2] = {OwnedSocket(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)),
                                 OwnedSocket(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP))};
        unsigned short* ports[2] = {&m_port, &m_tlsPort};
        for (int i = 0; i < 2; ++i) {
            sockaddr_in address = Loopback(0);
            int size = sizeof address;
            bind(probes[i].Get(), reinterpret_cast<sockaddr*>(&address), size);
            getsockname(probes[i].Get(), reinterpret_cast<sockaddr*>(&address), &size);
            *ports[i] = ntohs(address.sin_port);
        }
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
            << "action(type=\"omfile\" file=\"" << m_dir << "/messages\" template=\"fields\")\n"
            << (tls ? TlsInput() : std::string());
    }
    ~Collector() { Stop(); }
    Collector(const Collector&) = delete;
    Collector& operator=(const Collector&) = delete;

    unsigned short Port() const { return m_port; }
    unsigned short TlsPort() const { return m_tlsPort; }

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

    // The test CA, the collector's key and certificate, made by openssl; the CA then trusted.
    std::string TlsInput() {
        const std::string made = WinePath(m_dir + "/ca.der");
        DeleteFileA(made.c_str());
        Unix(
            "cd " + m_dir + " && " + kOpenssl +
            " -x509 -subj /CN=duzar-test-CA -keyout ca.key "
            "-out ca.pem && " +
            kOpenssl +
            " -subj /CN=localhost -keyout server.key -out "
            "server.csr && printf 'subjectAltName=DNS:localhost\\nextendedKeyUsage=serverAuth\\n' "
            ">ext "
            "&& openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 "
            "-extfile ext -out server.pem && openssl x509 -in ca.pem -outform DER -out ca.der.part "
            "&& mv ca.der.part ca.der");
        EXPECT_TRUE(WaitUntil([&] { return !ReadFileText(made).empty(); }));
        std::string der = ReadFileText(made);
        EXPECT_TRUE(CertAddEncodedCertificateToSystemStoreA(
            "Root", reinterpret_cast<const BYTE*>(der.data()), static_cast<DWORD>(der.size())));
        return "global(DefaultNetstreamDriverCAFile=\"" + m_dir +
               "/ca.pem\" DefaultNetstreamDriverCertFile=\"" + m_dir +
               "/server.pem\" DefaultNetstreamDriverKeyFile=\"" + m_dir + "/server.key\")\n" +
               "input(type=\"imtcp\" address=\"127.0.0.1\" port=\"" + std::to_string(m_tlsPort) +
               "\" streamDriver.name=\"gtls\" streamDriver.mode=\"1\" "
               "streamDriver.authMode=\"anon\")\n";
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

    static constexpr char kOpenssl[] = "openssl req -newkey rsa:2048 -nodes -days 2";
    std::string m_dir;
    unsigned short m_port = 0;
    unsigned short m_tlsPort = 0;
};

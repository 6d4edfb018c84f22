// TLS on a connected socket, for forwarding to syslog over tls:// (RFC 5425): the system's own
// TLS (Schannel), the handshake as a client, and the server's certificate checked by the
// system's chain policy for TLS servers against the trusted roots, host name included. A
// certificate that fails is refused with the system's reason, never accepted.
#pragma once

#include <winsock2.h>

#define SECURITY_WIN32
#include <security.h>

#include <string>

// The whole of size bytes on a stream socket, or false with the system's code for
// WSAGetLastError.
bool SendAll(SOCKET socket, const char* data, size_t size);

class TlsSession {
  public:
    // A handshake that has not ended by then fails, however its pieces trickle in.
    static constexpr DWORD kHandshakeMs = 10000;

    TlsSession() = default;
    ~TlsSession() { Reset(); }
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    // The handshake with host on socket (whose reads have a time limit), and the check of its
    // certificate; false with the reason.
    bool Open(SOCKET socket, const std::string& host, std::string* error);
    // Sends size bytes as records; false, with the system's code for WSAGetLastError, when the
    // connection fails.
    bool Send(SOCKET socket, const char* data, size_t size);
    // Ends the session as TLS asks (close_notify), so that the collector sees an end, not a
    // failure; then Reset.
    void Close(SOCKET socket);
    void Reset();

  private:
    bool Handshake(SOCKET socket, const std::string& host, std::string* error);
    bool CheckCertificate(const std::string& host, std::string* error);

    CredHandle m_credentials = {};
    CtxtHandle m_context = {};
    bool m_hasCredentials = false;
    bool m_hasContext = false;
    SecPkgContext_StreamSizes m_sizes = {};
};

#include "tls_session.h"

#include "system_text.h"

#include <schannel.h>
#include <wincrypt.h>

#include <stdio.h>

#include <vector>

namespace {

constexpr ULONG kContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                                ISC_REQ_CONFIDENTIALITY | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                                ISC_REQ_MANUAL_CRED_VALIDATION;
// A handshake message is read a piece at a time.
constexpr int kReadPiece = 16384;

// The system's handles that the checks take, freed once done.
struct ChainCheck {
    PCCERT_CONTEXT certificate = NULL;
    PCCERT_CHAIN_CONTEXT chain = NULL;
    ~ChainCheck() {
        if (chain) {
            CertFreeCertificateChain(chain);
        }
        if (certificate) {
            CertFreeCertificateContext(certificate);
        }
    }
};

// What a chain's status refuses, as the policy's codes; 0 for nothing.
DWORD ChainRefusal(const CERT_TRUST_STATUS& status) {
    const DWORD error = status.dwErrorStatus;
    return error == CERT_TRUST_NO_ERROR                ? 0
           : error & CERT_TRUST_IS_UNTRUSTED_ROOT      ? static_cast<DWORD>(CERT_E_UNTRUSTEDROOT)
           : error & CERT_TRUST_IS_PARTIAL_CHAIN       ? static_cast<DWORD>(CERT_E_CHAINING)
           : error & CERT_TRUST_IS_NOT_TIME_VALID      ? static_cast<DWORD>(CERT_E_EXPIRED)
           : error & CERT_TRUST_IS_NOT_VALID_FOR_USAGE ? static_cast<DWORD>(CERT_E_WRONG_USAGE)
           : error & CERT_TRUST_IS_REVOKED             ? static_cast<DWORD>(CRYPT_E_REVOKED)
                                                       : static_cast<DWORD>(TRUST_E_FAIL);
}

// The refusals a user meets, said plainly with their code; others in the system's words.
std::string RefusalReason(DWORD code, const std::string& host) {
    const struct {
        HRESULT code;
        const char* said;
    } plain[] = {{CERT_E_CN_NO_MATCH, "it is not for the host name "},
                 {CERT_E_UNTRUSTEDROOT, "its root is not among the trusted roots"},
                 {CERT_E_CHAINING, "it does not lead to a trusted root"},
                 {CERT_E_EXPIRED, "it has expired, or is not valid yet"},
                 {CERT_E_WRONG_USAGE, "it is not for a TLS server"}};
    for (const auto& known : plain) {
        if (static_cast<DWORD>(known.code) == code) {
            char hex[16];
            snprintf(hex, sizeof hex, " (0x%08lX)", code);
            return known.said + (known.code == CERT_E_CN_NO_MATCH ? host : std::string()) + hex;
        }
    }
    return SystemReason(code);
}

} // namespace

bool SendAll(SOCKET socket, const char* data, size_t size) {
    while (size > 0) {
        int sent = send(socket, data, static_cast<int>(size), 0);
        if (sent == SOCKET_ERROR) {
            return false;
        }
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

bool TlsSession::Open(SOCKET socket, const std::string& host, std::string* error) {
    Reset();
    SCHANNEL_CRED settings = {};
    settings.dwVersion = SCHANNEL_CRED_VERSION;
    // The certificate is checked here, by the chain policy, so that a refusal says why.
    settings.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
    char package[] = UNISP_NAME_A;
    SECURITY_STATUS status = AcquireCredentialsHandleA(NULL, package, SECPKG_CRED_OUTBOUND, NULL,
                                                       &settings, NULL, NULL, &m_credentials, NULL);
    if (status != SEC_E_OK) {
        *error = "TLS: " + SystemReason(static_cast<DWORD>(status));
        return false;
    }
    m_hasCredentials = true;
    if (!Handshake(socket, host, error) || !CheckCertificate(host, error)) {
        return false;
    }
    status = QueryContextAttributesA(&m_context, SECPKG_ATTR_STREAM_SIZES, &m_sizes);
    if (status != SEC_E_OK) {
        *error = "TLS: " + SystemReason(static_cast<DWORD>(status));
        return false;
    }
    return true;
}

bool TlsSession::Handshake(SOCKET socket, const std::string& host, std::string* error) {
    std::string received;
    std::vector<char> target(host.begin(), host.end());
    target.push_back('\0');
    SECURITY_STATUS status = SEC_I_CONTINUE_NEEDED;
    const DWORD start = GetTickCount();
    for (bool first = true;; first = false) {
        if (GetTickCount() - start > kHandshakeMs) {
            *error = "TLS handshake: not done within " + std::to_string(kHandshakeMs / 1000) + " s";
            return false;
        }
        if (!first && (status == SEC_E_INCOMPLETE_MESSAGE || received.empty())) {
            char piece[kReadPiece];
            int got = recv(socket, piece, sizeof piece, 0);
            if (got <= 0) {
                *error = "TLS handshake: " +
                         (got == 0 ? std::string("the collector closed the connection")
                                   : SystemReason(static_cast<DWORD>(WSAGetLastError())));
                return false;
            }
            received.append(piece, static_cast<size_t>(got));
        }
        SecBuffer in[2] = {{static_cast<ULONG>(received.size()), SECBUFFER_TOKEN, &received[0]},
                           {0, SECBUFFER_EMPTY, NULL}};
        SecBuffer out[1] = {{0, SECBUFFER_TOKEN, NULL}};
        SecBufferDesc inDesc = {SECBUFFER_VERSION, 2, in};
        SecBufferDesc outDesc = {SECBUFFER_VERSION, 1, out};
        ULONG attributes = 0;
        status = InitializeSecurityContextA(&m_credentials, first ? NULL : &m_context, &target[0],
                                            kContextFlags, 0, 0, first ? NULL : &inDesc, 0,
                                            &m_context, &outDesc, &attributes, NULL);
        m_hasContext = m_hasContext || status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED;
        bool sent = true;
        if (out[0].cbBuffer > 0 && out[0].pvBuffer) {
            sent = SendAll(socket, static_cast<const char*>(out[0].pvBuffer), out[0].cbBuffer);
            FreeContextBuffer(out[0].pvBuffer);
        }
        if (!sent) {
            *error = "TLS handshake: " + SystemReason(static_cast<DWORD>(WSAGetLastError()));
            return false;
        }
        if (status == SEC_E_OK) {
            return true;
        }
        if (status != SEC_I_CONTINUE_NEEDED && status != SEC_E_INCOMPLETE_MESSAGE) {
            *error = "TLS handshake: " + SystemReason(static_cast<DWORD>(status));
            return false;
        }
        if (status == SEC_I_CONTINUE_NEEDED) {
            received = in[1].BufferType == SECBUFFER_EXTRA
                           ? received.substr(received.size() - in[1].cbBuffer)
                           : std::string();
        }
    }
}

bool TlsSession::CheckCertificate(const std::string& host, std::string* error) {
    ChainCheck check;
    SECURITY_STATUS status =
        QueryContextAttributesA(&m_context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &check.certificate);
    if (status != SEC_E_OK || !check.certificate) {
        *error = "TLS: the collector sent no certificate";
        return false;
    }
    char serverUse[] = szOID_PKIX_KP_SERVER_AUTH;
    LPSTR uses[] = {serverUse};
    CERT_CHAIN_PARA chainWanted = {};
    chainWanted.cbSize = sizeof chainWanted;
    chainWanted.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
    chainWanted.RequestedUsage.Usage.cUsageIdentifier = 1;
    chainWanted.RequestedUsage.Usage.rgpszUsageIdentifier = uses;
    if (!CertGetCertificateChain(NULL, check.certificate, NULL, check.certificate->hCertStore,
                                 &chainWanted, 0, NULL, &check.chain)) {
        *error = "TLS: the certificate's chain: " + SystemReason(GetLastError());
        return false;
    }
    std::wstring name(host.begin(), host.end());
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA server = {};
    server.cbSize = sizeof server;
    server.dwAuthType = AUTHTYPE_SERVER;
    server.pwszServerName = &name[0];
    CERT_CHAIN_POLICY_PARA policy = {};
    policy.cbSize = sizeof policy;
    policy.pvExtraPolicyPara = &server;
    CERT_CHAIN_POLICY_STATUS verdict = {};
    verdict.cbSize = sizeof verdict;
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, check.chain, &policy, &verdict)) {
        *error = "TLS: the certificate cannot be checked: " + SystemReason(GetLastError());
        return false;
    }
    // The chain's own status as well: a chain that reaches no root must fail whatever the policy
    // says of it (Wine's policy lets an incomplete chain pass).
    DWORD refusal = verdict.dwError ? verdict.dwError : ChainRefusal(check.chain->TrustStatus);
    if (refusal != 0) {
        *error = "the certificate is refused: " + RefusalReason(refusal, host);
        return false;
    }
    return true;
}

bool TlsSession::Send(SOCKET socket, const char* data, size_t size) {
    std::vector<char> record(m_sizes.cbHeader + m_sizes.cbMaximumMessage + m_sizes.cbTrailer);
    while (size > 0) {
        ULONG piece =
            size < m_sizes.cbMaximumMessage ? static_cast<ULONG>(size) : m_sizes.cbMaximumMessage;
        memcpy(&record[m_sizes.cbHeader], data, piece);
        SecBuffer buffers[4] = {
            {m_sizes.cbHeader, SECBUFFER_STREAM_HEADER, &record[0]},
            {piece, SECBUFFER_DATA, &record[m_sizes.cbHeader]},
            {m_sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, &record[m_sizes.cbHeader + piece]},
            {0, SECBUFFER_EMPTY, NULL}};
        SecBufferDesc description = {SECBUFFER_VERSION, 4, buffers};
        SECURITY_STATUS status = EncryptMessage(&m_context, 0, &description, 0);
        if (status != SEC_E_OK) {
            WSASetLastError(static_cast<int>(status));
            return false;
        }
        if (!SendAll(socket, &record[0],
                     buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer)) {
            return false;
        }
        data += piece;
        size -= piece;
    }
    return true;
}

void TlsSession::Close(SOCKET socket) {
    DWORD type = SCHANNEL_SHUTDOWN;
    SecBuffer control[1] = {{sizeof type, SECBUFFER_TOKEN, &type}};
    SecBufferDesc controlDesc = {SECBUFFER_VERSION, 1, control};
    if (m_hasContext && ApplyControlToken(&m_context, &controlDesc) == SEC_E_OK) {
        SecBuffer out[1] = {{0, SECBUFFER_TOKEN, NULL}};
        SecBufferDesc outDesc = {SECBUFFER_VERSION, 1, out};
        ULONG attributes = 0;
        SECURITY_STATUS status =
            InitializeSecurityContextA(&m_credentials, &m_context, NULL, kContextFlags, 0, 0, NULL,
                                       0, &m_context, &outDesc, &attributes, NULL);
        if ((status == SEC_E_OK || status == SEC_I_CONTEXT_EXPIRED) && out[0].pvBuffer) {
            SendAll(socket, static_cast<const char*>(out[0].pvBuffer), out[0].cbBuffer);
        }
        if (out[0].pvBuffer) {
            FreeContextBuffer(out[0].pvBuffer);
        }
    }
    Reset();
}

void TlsSession::Reset() {
    if (m_hasContext) {
        DeleteSecurityContext(&m_context);
    }
    if (m_hasCredentials) {
        FreeCredentialsHandle(&m_credentials);
    }
    m_hasContext = m_hasCredentials = false;
}

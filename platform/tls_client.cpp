#include "platform/tls_client.h"

#include <gnutls/gnutls.h>
#include <gnutls/x509.h>

#include <chrono>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;

int msLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

std::string secondsText(int ms)
{
    return std::to_string((ms + 999) / 1000) + " s";
}

bool cancelledNow(const TlsExchangeRequest& request)
{
    return request.cancelled && request.cancelled->load();
}

struct Fd {
    int fd = -1;
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// A non-blocking connect waited for by poll, in slices so a cancel is seen; -1 with `error` on failure.
int connectTo(const SocketAddress& address, Clock::time_point deadline, const TlsExchangeRequest& request,
              std::string& error)
{
    const int fd = ::socket(address.family(), SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return -1;
    }
    if (::connect(fd, address.get(), address.length) != 0 && errno != EINPROGRESS) {
        error = std::strerror(errno);
        ::close(fd);
        return -1;
    }
    while (true) {
        if (cancelledNow(request)) {
            error = "stopped";
            ::close(fd);
            return -1;
        }
        pollfd waiting{fd, POLLOUT, 0};
        const int left = msLeft(deadline);
        const int ready = ::poll(&waiting, 1, std::min(left, 200));
        if (ready > 0)
            break;
        if (ready < 0 && errno != EINTR) {
            error = std::strerror(errno);
            ::close(fd);
            return -1;
        }
        if (left == 0) {
            error = "no connection within " + secondsText(request.timeOutMs);
            ::close(fd);
            return -1;
        }
    }
    int soError = 0;
    socklen_t length = sizeof soError;
    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &length);
    if (soError != 0) {
        error = std::strerror(soError);
        ::close(fd);
        return -1;
    }
    // GnuTLS waits with its own time-outs on a blocking socket.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

// The library's message without its closing full stop, for our own sentences.
std::string libraryText(int code)
{
    std::string text = gnutls_strerror(code);
    while (!text.empty() && text.back() == '.')
        text.pop_back();
    return text;
}

std::string certificateProblem(gnutls_session_t session, const std::string& host)
{
    const unsigned status = gnutls_session_get_verify_cert_status(session);
    if (status & GNUTLS_CERT_UNEXPECTED_OWNER)
        return "The server's certificate does not name " + host + " (wrong host name)";
    gnutls_datum_t text{};
    std::string why = "it could not be verified";
    if (gnutls_certificate_verification_status_print(status, GNUTLS_CRT_X509, &text, 0) == 0) {
        why.assign(reinterpret_cast<const char*>(text.data), text.size);
        gnutls_free(text.data);
    }
    // The library's text opens with what our sentence already says and ends in stray stops.
    const std::string opening = "The certificate is NOT trusted. ";
    if (why.rfind(opening, 0) == 0)
        why.erase(0, opening.size());
    while (!why.empty() && (why.back() == ' ' || why.back() == '.'))
        why.pop_back();
    if (!why.empty() && why[0] >= 'A' && why[0] <= 'Z')
        why[0] = static_cast<char>(why[0] - 'A' + 'a');
    return "The server's certificate is not trusted: " + why;
}

std::string handshakeProblem(int code, gnutls_session_t session, const TlsExchangeRequest& request,
                             const std::string& address)
{
    switch (code) {
    case GNUTLS_E_CERTIFICATE_VERIFICATION_ERROR:
    case GNUTLS_E_CERTIFICATE_ERROR:
        return certificateProblem(session, request.host);
    case GNUTLS_E_TIMEDOUT:
    case GNUTLS_E_AGAIN:
        return "No TLS answer from " + address + " within " + secondsText(request.timeOutMs) +
               " (is a key exchange server listening there?)";
    case GNUTLS_E_UNSUPPORTED_VERSION_PACKET:
    case GNUTLS_E_NO_PRIORITIES_WERE_SET:
    case GNUTLS_E_INSUFFICIENT_SECURITY:
        return "The server at " + address + " does not speak TLS 1.3";
    case GNUTLS_E_NO_APPLICATION_PROTOCOL:
        return "The server at " + address + " does not agree to the protocol " + request.alpn;
    case GNUTLS_E_FATAL_ALERT_RECEIVED: {
        const gnutls_alert_description_t alert = gnutls_alert_get(session);
        if (alert == GNUTLS_A_PROTOCOL_VERSION)
            return "The server at " + address + " does not speak TLS 1.3";
        if (alert == GNUTLS_A_NO_APPLICATION_PROTOCOL)
            return "The server at " + address + " does not agree to the protocol " + request.alpn;
        return std::string("The server at ") + address + " broke off the TLS handshake: " +
               gnutls_alert_get_name(alert);
    }
    case GNUTLS_E_UNEXPECTED_PACKET_LENGTH:
    case GNUTLS_E_UNEXPECTED_PACKET:
        return "The server at " + address + " does not speak TLS (" + libraryText(code) + ")";
    case GNUTLS_E_PREMATURE_TERMINATION:
    case GNUTLS_E_PUSH_ERROR:
    case GNUTLS_E_PULL_ERROR:
        return "The server at " + address + " closed the connection during the TLS handshake";
    default:
        return "The TLS handshake with " + address + " failed: " + libraryText(code);
    }
}

// The socket as GnuTLS reads it: every wait in slices, so a cancel ends a
// stalled handshake or read within a fifth of a second, not at its time-out.
struct Wire {
    int fd = -1;
    const std::atomic<bool>* cancelled = nullptr;
    gnutls_session_t session = nullptr;
};

ssize_t wirePush(gnutls_transport_ptr_t ptr, const void* data, std::size_t size)
{
    const auto* wire = static_cast<const Wire*>(ptr);
    return ::send(wire->fd, data, size, MSG_NOSIGNAL);
}

ssize_t wirePull(gnutls_transport_ptr_t ptr, void* data, std::size_t size)
{
    const auto* wire = static_cast<const Wire*>(ptr);
    return ::recv(wire->fd, data, size, 0);
}

int wireWait(gnutls_transport_ptr_t ptr, unsigned int ms)
{
    const auto* wire = static_cast<const Wire*>(ptr);
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(ms);
    while (true) {
        if (wire->cancelled && wire->cancelled->load()) {
            gnutls_transport_set_errno(wire->session, EINTR);
            return -1;
        }
        pollfd readable{wire->fd, POLLIN, 0};
        const int ready = ::poll(&readable, 1, std::min(msLeft(end), 200));
        if (ready != 0)
            return ready;   // readable, or an error GnuTLS reads from the pull
        if (ms != GNUTLS_INDEFINITE_TIMEOUT && msLeft(end) == 0)
            return 0;
    }
}

struct SessionDeleter {
    void operator()(gnutls_session_t session) const { gnutls_deinit(session); }
};
struct CredentialsDeleter {
    void operator()(gnutls_certificate_credentials_t credentials) const
    {
        gnutls_certificate_free_credentials(credentials);
    }
};

} // namespace

TlsExchangeResult RunTlsExchange(const TlsExchangeRequest& request)
{
    TlsExchangeResult result;
    auto say = [&](const std::string& line) {
        if (request.progress)
            request.progress(line);
    };

    gnutls_certificate_credentials_t rawCredentials = nullptr;
    if (gnutls_certificate_allocate_credentials(&rawCredentials) < 0) {
        result.error = "TLS could not be set up (out of memory)";
        return result;
    }
    std::unique_ptr<gnutls_certificate_credentials_st, CredentialsDeleter> credentials(rawCredentials);
    if (request.caFile.empty()) {
        if (gnutls_certificate_set_x509_system_trust(credentials.get()) <= 0) {
            result.error = "The system's trusted certificates could not be read (is ca-certificates installed?)";
            return result;
        }
    } else {
        const int count = gnutls_certificate_set_x509_trust_file(credentials.get(), request.caFile.c_str(),
                                                                 GNUTLS_X509_FMT_PEM);
        if (count <= 0) {
            result.error = "No certificate could be read from " + request.caFile +
                           (count < 0 ? std::string(" (") + libraryText(count) + ")" : std::string());
            return result;
        }
    }

    std::string lastError = "the name has no address";
    for (const SocketAddress& address : request.addresses) {
        if (cancelledNow(request)) {
            result.error = "Stopped";
            return result;
        }
        const std::string shown = address.family() == AF_INET6 ? "[" + address.numeric() + "]" : address.numeric();
        say("Connecting to " + shown + "...");
        Fd socket;
        std::string error;
        socket.fd = connectTo(address, Clock::now() + std::chrono::milliseconds(request.timeOutMs), request, error);
        if (socket.fd < 0) {
            lastError = "No connection to " + shown + ": " + error;
            // The last one is the check's closing line.
            if (&address != &request.addresses.back())
                say(lastError);
            continue;
        }
        result.address = address.numeric();
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(request.timeOutMs);

        // Outlives the session that reads through it.
        Wire wire{socket.fd, request.cancelled, nullptr};
        gnutls_session_t rawSession = nullptr;
        // A peer that hangs up mid-send must not kill the program with SIGPIPE.
        if (gnutls_init(&rawSession, GNUTLS_CLIENT | GNUTLS_NO_SIGNAL) < 0) {
            result.error = "TLS could not be set up (out of memory)";
            return result;
        }
        std::unique_ptr<gnutls_session_int, SessionDeleter> session(rawSession);
        const char* failedAt = nullptr;
        // TLS 1.3 only: earlier versions cannot carry the key exchange safely.
        gnutls_priority_set_direct(session.get(), "NORMAL:-VERS-ALL:+VERS-TLS1.3", &failedAt);
        gnutls_credentials_set(session.get(), GNUTLS_CRD_CERTIFICATE, credentials.get());
        // A numeric host goes unsent as SNI (names only) but is still checked against the certificate.
        const HostText hostText = ParseHost(request.host);
        if (!hostText.numeric)
            gnutls_server_name_set(session.get(), GNUTLS_NAME_DNS, hostText.host.data(), hostText.host.size());
        gnutls_session_set_verify_cert(session.get(), hostText.host.c_str(), 0);
        gnutls_datum_t protocol{reinterpret_cast<unsigned char*>(const_cast<char*>(request.alpn.data())),
                                static_cast<unsigned>(request.alpn.size())};
        gnutls_alpn_set_protocols(session.get(), &protocol, 1, 0);
        wire.session = session.get();
        gnutls_transport_set_ptr(session.get(), &wire);
        gnutls_transport_set_push_function(session.get(), wirePush);
        gnutls_transport_set_pull_function(session.get(), wirePull);
        gnutls_transport_set_pull_timeout_function(session.get(), wireWait);
        gnutls_handshake_set_timeout(session.get(), std::max(1, msLeft(deadline)));

        int code;
        do {
            code = gnutls_handshake(session.get());
        } while (code < 0 && !gnutls_error_is_fatal(code) && code != GNUTLS_E_AGAIN && msLeft(deadline) > 0 &&
                 !cancelledNow(request));
        if (cancelledNow(request)) {
            result.error = "Stopped";
            return result;
        }
        if (code < 0) {
            result.error = handshakeProblem(code, session.get(), request, shown);
            return result;
        }
        const gnutls_protocol_t version = gnutls_protocol_get_version(session.get());
        result.tlsVersion = gnutls_protocol_get_name(version) ? gnutls_protocol_get_name(version) : "?";
        if (version != GNUTLS_TLS1_3) {
            result.error = "The server at " + shown + " does not speak TLS 1.3";
            return result;
        }
        gnutls_datum_t chosen{};
        if (gnutls_alpn_get_selected_protocol(session.get(), &chosen) < 0 ||
            std::string(reinterpret_cast<const char*>(chosen.data), chosen.size) != request.alpn) {
            result.error = "The server at " + shown + " does not agree to the protocol " + request.alpn;
            return result;
        }
        say("TLS handshake done (" + result.tlsVersion + ", " + request.alpn + ")");

        for (const std::string& context : request.exporterContexts) {
            std::string secret(request.exporterBytes, '\0');
            if (gnutls_prf_rfc5705(session.get(), request.exporterLabel.size(), request.exporterLabel.data(),
                                   context.size(), context.data(), secret.size(), secret.data()) < 0) {
                result.error = "The TLS session gave no keys";
                return result;
            }
            result.exported.push_back(std::move(secret));
        }

        std::size_t sent = 0;
        while (sent < request.request.size()) {
            const ssize_t wrote =
                gnutls_record_send(session.get(), request.request.data() + sent, request.request.size() - sent);
            if (wrote < 0 && gnutls_error_is_fatal(wrote)) {
                result.error = std::string("The request could not be sent: ") + libraryText(static_cast<int>(wrote));
                return result;
            }
            if (wrote > 0)
                sent += static_cast<std::size_t>(wrote);
        }

        char buffer[4096];
        while (!request.complete(result.answer)) {
            if (cancelledNow(request)) {
                result.error = "Stopped";
                return result;
            }
            const int left = msLeft(deadline);
            if (left == 0) {
                result.error = "No whole answer from " + shown + " within " + secondsText(request.timeOutMs);
                return result;
            }
            gnutls_record_set_timeout(session.get(), std::min(left, 200));
            const ssize_t got = gnutls_record_recv(session.get(), buffer, sizeof buffer);
            if (got == GNUTLS_E_TIMEDOUT || got == GNUTLS_E_AGAIN || got == GNUTLS_E_INTERRUPTED)
                continue;
            if (got == 0 || got == GNUTLS_E_PREMATURE_TERMINATION) {
                result.error = "The server at " + shown + " closed the connection before its answer was whole";
                return result;
            }
            if (got < 0 && gnutls_error_is_fatal(got)) {
                result.error = std::string("Reading the answer failed: ") + libraryText(static_cast<int>(got));
                return result;
            }
            if (got > 0)
                result.answer.append(buffer, static_cast<std::size_t>(got));
            if (result.answer.size() > request.maxAnswerBytes)
                break;   // the caller's parser names it
        }
        gnutls_bye(session.get(), GNUTLS_SHUT_WR);
        return result;
    }
    result.error = lastError;
    return result;
}

} // namespace platform

// A TLS client on raw sockets for hostile-HTTP tests and benchmarks on loopback: it sends exactly the
// bytes it is given (no client library tidies them up), from a chosen 127.x source address, and every
// wait is bounded. Certificates are not checked: the peer is the test's own server.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>

#include <openssl/ssl.h>

#include <algorithm>
#include <climits>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

// A blocking TCP connection from the loopback address `source` to 127.0.0.1:`port`, or -1.
inline int loopbackConnect(const QByteArray& source, int port) {
    const int sock = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in from{};
    from.sin_family = AF_INET;
    ::inet_pton(AF_INET, source.constData(), &from.sin_addr);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(uint16_t(port));
    ::inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    if (sock >= 0 && (::bind(sock, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0 ||
                      ::connect(sock, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0)) {
        ::close(sock);
        return -1;
    }
    return sock;
}

class RawTlsClient {
public:
    // Connects from `source` to 127.0.0.1:`port` and finishes the handshake within `ms`.
    RawTlsClient(const QByteArray& source, int port, int ms = 20000) {
        m_ctx = SSL_CTX_new(TLS_client_method());
        m_sock = loopbackConnect(source, port);
        if (m_sock < 0)
            return;
        ::fcntl(m_sock, F_SETFL, ::fcntl(m_sock, F_GETFL) | O_NONBLOCK);
        m_ssl = SSL_new(m_ctx);
        SSL_set_fd(m_ssl, m_sock);
        QElapsedTimer t;
        t.start();
        for (;;) {
            const int r = SSL_connect(m_ssl);
            if (r == 1) {
                m_ok = true;
                return;
            }
            if (!waitAfter(r, ms - int(t.elapsed())))
                return;
        }
    }
    ~RawTlsClient() {
        if (m_ssl)
            SSL_free(m_ssl);
        if (m_sock >= 0)
            ::close(m_sock);
        SSL_CTX_free(m_ctx);
    }
    RawTlsClient(const RawTlsClient&) = delete;
    RawTlsClient& operator=(const RawTlsClient&) = delete;

    bool ok() const { return m_ok; }

    // Sends `data` in pieces of `piece` bytes, reading what the server answers between them; stops early
    // once an answer has come or the server no longer takes bytes. Returns how many bytes were sent.
    qint64 send(const QByteArray& data, int piece = 16384, int ms = 20000) {
        qint64 sent = 0;
        QElapsedTimer t;
        t.start();
        while (m_ok && sent < data.size() && !answered() && t.elapsed() < ms) {
            const int n =
                SSL_write(m_ssl, data.constData() + sent, int(std::min<qint64>(piece, data.size() - sent)));
            if (n > 0) {
                sent += n;
                pump(0);
                continue;
            }
            const int e = SSL_get_error(m_ssl, n);
            if (e != SSL_ERROR_WANT_READ && e != SSL_ERROR_WANT_WRITE) {
                pump(0); // what came before the connection broke
                break;
            }
            waitAfter(n, std::min(100, ms - int(t.elapsed())));
            if (!pump(0))
                break;
        }
        return sent;
    }
    // Reads until the server has given a whole answer (head and counted body) or `ms` pass.
    QByteArray answer(int ms = 20000) {
        QElapsedTimer t;
        t.start();
        while (!answered() && !m_closed && t.elapsed() < ms)
            pump(std::max(1, ms - int(t.elapsed())));
        return m_in;
    }
    // Reads until the server ends the connection or `ms` pass; true when it ended it.
    bool closedByServer(int ms = 20000) {
        QElapsedTimer t;
        t.start();
        while (!m_closed && t.elapsed() < ms)
            pump(std::max(1, ms - int(t.elapsed())));
        return m_closed;
    }
    const QByteArray& received() const { return m_in; }
    // The TLS connection, for a caller that reads the rest itself (received() holds what came so far).
    SSL* handle() const { return m_ssl; }
    // The status of the first answer, or 0.
    int status() const {
        return m_in.startsWith("HTTP/1.1 ") && m_in.size() >= 12 ? m_in.mid(9, 3).toInt() : 0;
    }
    // How many whole answers have come so far.
    int answers() const { return m_in.count("\r\n\r\n"); }

private:
    bool answered() const {
        const int end = m_in.indexOf("\r\n\r\n");
        if (end < 0)
            return false;
        const QByteArray head = m_in.left(end).toLower();
        const int at = head.indexOf("content-length: ");
        const int length = at < 0 ? 0 : head.mid(at + 16, head.indexOf('\r', at) - at - 16).toInt();
        return m_in.size() >= end + 4 + length;
    }
    // Takes what has arrived, waiting up to `ms` for something; false once nothing more can come.
    bool pump(int ms) {
        char buf[16384];
        for (;;) {
            const int n = SSL_read(m_ssl, buf, sizeof buf);
            if (n > 0) {
                m_in.append(buf, n);
                ms = 0;
                continue;
            }
            const int e = SSL_get_error(m_ssl, n);
            if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) {
                if (ms <= 0)
                    return true;
                if (!waitAfter(n, ms))
                    return true;
                ms = 0;
                continue;
            }
            m_closed = true;
            return false;
        }
    }
    bool waitAfter(int result, int ms) {
        if (ms <= 0)
            return false;
        short events = 0;
        switch (SSL_get_error(m_ssl, result)) {
        case SSL_ERROR_WANT_READ:
            events = POLLIN;
            break;
        case SSL_ERROR_WANT_WRITE:
            events = POLLOUT;
            break;
        default:
            return false;
        }
        pollfd p{m_sock, events, 0};
        return ::poll(&p, 1, ms) > 0;
    }

    SSL_CTX* m_ctx = nullptr;
    SSL* m_ssl = nullptr;
    int m_sock = -1;
    bool m_ok = false;
    bool m_closed = false;
    QByteArray m_in;
};

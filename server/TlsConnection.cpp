#include "TlsConnection.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>

#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

TlsConnection::TlsConnection(SSL_CTX* context, int fd)
    : m_fd(fd) {
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    m_ssl = context ? SSL_new(context) : nullptr;
    if (!m_ssl)
        return;
    SSL_set_fd(m_ssl, fd);
    SSL_set_accept_state(m_ssl);
    SSL_set_mode(m_ssl, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
}

TlsConnection::~TlsConnection() {
    SSL_free(m_ssl);
    ::close(m_fd);
}

int TlsConnection::handshake() {
    ERR_clear_error();
    return SSL_accept(m_ssl);
}

int TlsConnection::read(char* buffer, int size) {
    ERR_clear_error();
    return SSL_read(m_ssl, buffer, size);
}

int TlsConnection::write(const char* data, int size) {
    ERR_clear_error();
    return SSL_write(m_ssl, data, size);
}

TlsConnection::Wait TlsConnection::wait(int result) const {
    switch (SSL_get_error(m_ssl, result)) {
    case SSL_ERROR_WANT_READ:
        return Wait::readable;
    case SSL_ERROR_WANT_WRITE:
        return Wait::writable;
    default:
        return Wait::failed;
    }
}

bool TlsConnection::hasPending() const {
    return SSL_pending(m_ssl) > 0;
}

uint64_t TlsConnection::acknowledged() const {
    int queued = 0;
    if (::ioctl(m_fd, SIOCOUTQ, &queued) != 0)
        queued = 0;
    const uint64_t written = BIO_number_written(SSL_get_wbio(m_ssl));
    return written - std::min<uint64_t>(written, uint64_t(std::max(queued, 0)));
}

void TlsConnection::closeWrite() {
    SSL_shutdown(m_ssl);
    ::shutdown(m_fd, SHUT_WR);
}

ssize_t TlsConnection::readPlain(char* buffer, size_t size) {
    return ::read(m_fd, buffer, size);
}

void TlsConnection::resetOnClose() {
    const ::linger now{1, 0};
    ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &now, sizeof now);
}

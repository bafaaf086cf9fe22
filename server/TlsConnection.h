// One accepted connection's socket and its TLS session, owned together: made when the connection is
// accepted and let go (session freed, socket closed) when it is dropped. Every call is non-blocking; what
// a call that did not finish waits for (the socket readable or writable) is told apart from a failure.
#pragma once

#include <cstddef>
#include <cstdint>

#include <sys/types.h>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

class TlsConnection {
public:
    // What a TLS call that returned `result` waits for.
    enum class Wait { readable, writable, failed };

    // Takes the accepted, non-blocking socket `fd` (closed with this object) and prepares the server
    // side of a session under `context` on it; valid() tells whether that could be made.
    TlsConnection(SSL_CTX* context, int fd);
    ~TlsConnection();
    TlsConnection(const TlsConnection&) = delete;
    TlsConnection& operator=(const TlsConnection&) = delete;

    bool valid() const { return m_ssl != nullptr; }
    int fd() const { return m_fd; }

    // One step of the handshake: 1 once it is complete.
    int handshake();
    // Bytes of the request (> 0), or a result for wait().
    int read(char* buffer, int size);
    // Bytes taken of `size` (> 0), or a result for wait(); a partial write counts.
    int write(const char* data, int size);
    Wait wait(int result) const;
    // Whether the session holds bytes already decrypted that no read has taken yet.
    bool hasPending() const;
    // What the client's side has acknowledged of the bytes sent: all written to the socket less what
    // still waits in its send queue.
    uint64_t acknowledged() const;
    // Sends the session's end (a courtesy; a client that does not read it is not waited for) and ends
    // our direction of the socket; what the client still sends can be read with readPlain().
    void closeWrite();
    // Reads the socket itself, under the session: for bytes that are only thrown away.
    ssize_t readPlain(char* buffer, size_t size);
    // Makes the coming close reset the connection: a plain close would leave the unsent rest in the
    // system's buffers, and the client none the wiser, until it read all it holds.
    void resetOnClose();

private:
    const int m_fd;
    SSL* m_ssl = nullptr;
};

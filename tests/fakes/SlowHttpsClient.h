// A hostile HTTPS client for loopback tests and benchmarks: it finishes the TLS handshake, then sends a
// request head one byte every 250 ms, forever, connecting again whenever the server cuts it off.
#pragma once

#include "fakes/RawTlsClient.h"

#include <QByteArray>

#include <openssl/ssl.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// Counts how often the server cut it off mid-head, and how often it turned it away before the handshake
// could finish. The test ignores SIGPIPE: writes go to connections the server has cut.
class SlowHttpsClient {
public:
    SlowHttpsClient(const QByteArray& source, int port)
        : m_source(source)
        , m_port(port) {}
    ~SlowHttpsClient() { stop(); }

    void start() {
        m_thread = std::thread([this] { run(); });
    }
    void stop() {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    int cutOff() const { return m_cut; }
    int turnedAway() const { return m_away; }
    int holding() const { return m_holding; }

private:
    void run() {
        SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
        const QByteArray head =
            "GET /version.json HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: " + QByteArray(400, 's') + "\r\n\r\n";
        while (!m_stop) {
            const int sock = connectFrom();
            if (sock < 0) {
                pause(100);
                continue;
            }
            SSL* ssl = SSL_new(ctx);
            SSL_set_fd(ssl, sock);
            timeval tv{10, 0};
            ::setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
            if (SSL_connect(ssl) != 1) {
                ++m_away;
                SSL_free(ssl);
                ::close(sock);
                pause(100);
                continue;
            }
            m_holding = 1;
            // Non-blocking from here, so that looking for the server's close never waits.
            ::fcntl(sock, F_SETFL, ::fcntl(sock, F_GETFL) | O_NONBLOCK);
            for (int i = 0; i < head.size() && !m_stop; ++i) {
                if (closedByServer(ssl) || SSL_write(ssl, head.constData() + i, 1) != 1) {
                    ++m_cut;
                    break;
                }
                pause(250); // the point of this client: a byte now and then, each renewing any read wait
            }
            m_holding = 0;
            SSL_free(ssl);
            ::close(sock);
        }
        SSL_CTX_free(ctx);
    }
    int connectFrom() { return loopbackConnect(m_source, m_port); }
    // Reads what the server sent (session tickets after the handshake are fine); an end of the stream,
    // an error or an answer (the head is never complete) means it gave up on this connection.
    static bool closedByServer(SSL* ssl) {
        char byte;
        const int n = SSL_read(ssl, &byte, 1);
        return n > 0 || SSL_get_error(ssl, n) != SSL_ERROR_WANT_READ;
    }
    void pause(int ms) {
        for (int waited = 0; waited < ms && !m_stop; waited += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10)); // the client's slowness is the input
    }

    const QByteArray m_source;
    const int m_port;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_cut{0};
    std::atomic<int> m_away{0};
    std::atomic<int> m_holding{0};
};

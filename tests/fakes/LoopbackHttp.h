// A small HTTP/1.1 server on loopback for tests: fixed answers per path, a count of requests per path,
// and answers that never come (a stalled server).
#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

class LoopbackHttp : public QObject {
    Q_OBJECT
public:
    struct Answer {
        int status = 200;
        QByteArray body;
        QByteArray contentType = "application/xml";
        QByteArray location; // for redirects
        bool stall = false;  // accept the request and never answer
    };

    explicit LoopbackHttp(const QHostAddress& address = QHostAddress::LocalHost, QObject* parent = nullptr)
        : QObject(parent) {
        connect(&m_server, &QTcpServer::newConnection, this, &LoopbackHttp::accept);
        m_server.listen(address, 0);
    }

    bool listening() const { return m_server.isListening(); }
    QUrl url(const QString& path) const {
        return QUrl(QStringLiteral("http://%1:%2%3")
                        .arg(m_server.serverAddress().toString())
                        .arg(m_server.serverPort())
                        .arg(path));
    }
    void set(const QString& path, Answer answer) { m_answers.insert(path, std::move(answer)); }
    void set(const QString& path, int status, const QByteArray& body,
             const QByteArray& type = "application/xml") {
        set(path, Answer{status, body, type, {}, false});
    }
    int hits(const QString& path) const { return m_hits.value(path); }
    int totalHits() const {
        int n = 0;
        for (int h : m_hits)
            n += h;
        return n;
    }
    QByteArray lastUserAgent() const { return m_lastAgent; }

    // A request as it arrived: method, headers (names lower-cased) and body.
    struct Request {
        QByteArray method;
        QHash<QByteArray, QByteArray> headers;
        QByteArray body;
    };
    QList<Request> requests(const QString& path) const { return m_requests.value(path); }

private:
    void accept() {
        while (QTcpSocket* s = m_server.nextPendingConnection()) {
            s->setParent(this);
            connect(s, &QTcpSocket::readyRead, this, [this, s] { read(s); });
            connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
        }
    }
    void read(QTcpSocket* s) {
        QByteArray& buf = m_buffers[s];
        buf += s->readAll();
        const qsizetype end = buf.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QByteArray head = buf.left(end);
        const QList<QByteArray> lines = head.split('\n');
        qsizetype length = 0;
        for (const QByteArray& l : lines)
            if (l.toLower().startsWith("content-length:"))
                length = l.mid(15).trimmed().toLongLong();
        if (buf.size() - end - 4 < length)
            return; // the body is still on its way
        Request request;
        request.body = buf.mid(end + 4, length);
        buf.remove(0, end + 4 + length);
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        const QString path = QString::fromUtf8(first.value(1));
        request.method = first.value(0);
        for (const QByteArray& l : lines) {
            const qsizetype colon = l.indexOf(':');
            if (colon > 0)
                request.headers.insert(l.left(colon).trimmed().toLower(), l.mid(colon + 1).trimmed());
        }
        m_lastAgent = request.headers.value("user-agent", m_lastAgent);
        m_requests[path].append(request);
        m_hits[path] += 1;
        const Answer a = m_answers.value(path, Answer{404, "not here", "text/plain", {}, false});
        if (a.stall)
            return;
        QByteArray out = "HTTP/1.1 " + QByteArray::number(a.status) + " X\r\nContent-Type: " + a.contentType +
                         "\r\nContent-Length: " + QByteArray::number(a.body.size()) +
                         "\r\nConnection: close\r\n";
        if (!a.location.isEmpty())
            out += "Location: " + a.location + "\r\n";
        out += "\r\n" + a.body;
        s->write(out);
        s->disconnectFromHost();
    }

    QTcpServer m_server;
    QHash<QString, Answer> m_answers;
    QHash<QString, int> m_hits;
    QHash<QTcpSocket*, QByteArray> m_buffers;
    QByteArray m_lastAgent;
    QHash<QString, QList<Request>> m_requests;
};

// The worker owns its QNetworkAccessManager, so the reply's signals are handled on the download thread.
// It is freed there once the thread's loop has stopped, whether the transfer ended or was abandoned.
#include "services/UpdateDownloader.h"

#include "services/Sha256.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {
// What the reply may hold unread: small enough to keep memory flat, large enough that the transfer is
// not held back by every hand-over between Qt's network thread and ours.
constexpr qint64 kReplyBufferBytes = 1 << 20;
constexpr qsizetype kReadBytes = 256 * 1024;

// Writes all of `data` to `fd`; on failure returns the error number. A disk that fills takes a short
// write first and says why only at the next one, so writing goes on until all is written or it fails.
int writeAll(int fd, const char* data, qint64 size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return EIO;
        data += n;
        size -= n;
    }
    return 0;
}
} // namespace

class UpdateDownloader::Worker : public QObject {
public:
    Worker(UpdateDownloader* owner, const QNetworkRequest& request, std::unique_ptr<QFile> file,
           qint64 maxBytes, RedirectCheck allowRedirect)
        : m_owner(owner)
        , m_request(request)
        , m_file(std::move(file))
        , m_maxBytes(maxBytes)
        , m_allowRedirect(std::move(allowRedirect)) {}

    ~Worker() override {
        if (m_reply)
            m_reply->disconnect(this);
        delete m_network; // aborts a transfer still under way
        // Until the outcome is handed over, nobody else knows of the file.
        if (!m_reported && m_file) {
            m_file->close();
            m_file->remove();
        }
    }

    void start() {
        m_buffer.resize(kReadBytes);
        m_network = new QNetworkAccessManager;
        if (m_allowRedirect)
            m_request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                                   QNetworkRequest::UserVerifiedRedirectPolicy);
        m_reply = m_network->get(m_request);
        m_reply->setReadBufferSize(kReplyBufferBytes);
        if (m_allowRedirect)
            connect(m_reply, &QNetworkReply::redirected, this, &Worker::redirected);
        connect(m_reply, &QNetworkReply::readyRead, this, &Worker::drain);
        connect(m_reply, &QNetworkReply::finished, this, &Worker::end);
    }

private:
    void redirected(const QUrl& to) {
        const QUrl next = m_reply->url().resolved(to);
        if (m_allowRedirect(next)) {
            emit m_reply->redirectAllowed();
            return;
        }
        m_refusedRedirect = next;
        stop();
    }
    void drain() {
        while (!m_stopped) {
            const qint64 n = m_reply->read(m_buffer.data(), m_buffer.size());
            if (n <= 0)
                return;
            m_bytes += n;
            if (m_bytes > m_maxBytes) {
                m_tooLarge = true;
                return stop();
            }
            m_hash.addData(QByteArrayView(m_buffer.constData(), n));
            // The file is unbuffered: its descriptor is written directly, so the system's reason is kept.
            if (const int error = writeAll(m_file->handle(), m_buffer.constData(), n); error != 0) {
                m_writeErrno = error;
                m_writeError = QString::fromLocal8Bit(std::strerror(error));
                return stop();
            }
        }
    }
    // The rest is dropped; aborting ends the reply, which calls `end`.
    void stop() {
        m_stopped = true;
        m_reply->abort();
    }
    void end() {
        if (m_done)
            return;
        drain();
        m_done = true;
        UpdateDownloader::Outcome o;
        o.answered = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
        const QNetworkReply::NetworkError error = m_reply->error();
        o.error = error != QNetworkReply::NoError ? m_reply->errorString() : QString();
        // Codes below 100 are the connection's; redirects that went wrong are not a cut transfer.
        o.interrupted = o.answered && !m_stopped && error != QNetworkReply::NoError &&
                        error < QNetworkReply::ProxyConnectionRefusedError &&
                        error != QNetworkReply::TooManyRedirectsError &&
                        error != QNetworkReply::InsecureRedirectError;
        o.finalUrl = m_reply->url();
        o.tooLarge = m_tooLarge;
        o.refusedRedirect = m_refusedRedirect;
        o.writeError = m_writeError;
        o.writeErrno = m_writeErrno;
        m_file->close();
        o.digest = QString::fromLatin1(m_hash.hexResult());
        // The connection is closed here, before the outcome goes out, so that the owner's wait for the
        // thread is short.
        QTimer::singleShot(0, this, [this, o] {
            delete m_network;
            m_network = nullptr;
            m_reply = nullptr;
            m_reported = true;
            UpdateDownloader* owner = m_owner;
            QMetaObject::invokeMethod(
                owner, [owner, o] { emit owner->finished(o); }, Qt::QueuedConnection);
            thread()->quit();
        });
    }

    UpdateDownloader* m_owner; // outlives this: its destructor waits for the thread
    QNetworkRequest m_request;
    std::unique_ptr<QFile> m_file;
    const qint64 m_maxBytes;
    const RedirectCheck m_allowRedirect;
    QUrl m_refusedRedirect;
    QNetworkAccessManager* m_network = nullptr;
    QNetworkReply* m_reply = nullptr;
    QByteArray m_buffer;
    Sha256 m_hash;
    qint64 m_bytes = 0;
    QString m_writeError;
    int m_writeErrno = 0;
    bool m_tooLarge = false;
    bool m_stopped = false;
    bool m_done = false;
    bool m_reported = false;
};

UpdateDownloader::UpdateDownloader(const QNetworkRequest& request, std::unique_ptr<QFile> file,
                                   qint64 maxBytes, RedirectCheck allowRedirect, QObject* parent)
    : QObject(parent) {
    m_thread.setObjectName(QStringLiteral("update download"));
    file->moveToThread(&m_thread);
    auto* worker = new Worker(this, request, std::move(file), maxBytes, std::move(allowRedirect));
    worker->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, worker, &QObject::deleteLater);
    QMetaObject::invokeMethod(worker, &Worker::start, Qt::QueuedConnection);
    m_thread.start();
}

UpdateDownloader::~UpdateDownloader() {
    m_thread.quit();
    m_thread.wait();
}

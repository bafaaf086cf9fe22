// One update archive fetched on a thread of its own, so that neither the TLS work nor the hashing and
// writing reach the main thread: each piece is hashed (SHA-256) and appended to the file as it arrives.
// The reply's capped buffer holds the transfer back while the disk is behind, so memory does not grow
// with the archive.
#pragma once

#include <QNetworkRequest>
#include <QObject>
#include <QString>
#include <QThread>
#include <QUrl>

#include <functional>
#include <memory>

class QFile;

class UpdateDownloader : public QObject {
    Q_OBJECT
public:
    struct Outcome {
        bool answered = false; // an HTTP status came back, whatever it was
        QString error;         // the reply's error text, when it ended with one
        QUrl finalUrl;         // after redirects
        QString digest;        // SHA-256 of the bytes written, 64 lower-case hexadecimal digits
        QString writeError;    // writing failed: the transfer was stopped there; the system's words
        int writeErrno = 0;    // and its error number, when the system gave one
        bool tooLarge = false; // more than the cap arrived: the transfer was stopped there
        // The server answered but the connection ended before the body did (closed, reset, timed out),
        // rather than the server refusing or the transfer being stopped here.
        bool interrupted = false;
        // A redirect to this address was refused: the transfer ended before anything was asked of it.
        QUrl refusedRedirect;
    };
    // Whether a redirect may lead to an address; called on the download's thread.
    using RedirectCheck = std::function<bool(const QUrl&)>;

    // Starts fetching `request` into `file`, which is open for writing, unbuffered, and taken over; more than
    // `maxBytes` stops the transfer. Redirects are followed only where `allowRedirect` accepts them (all,
    // when it is empty).
    UpdateDownloader(const QNetworkRequest& request, std::unique_ptr<QFile> file, qint64 maxBytes,
                     RedirectCheck allowRedirect = {}, QObject* parent = nullptr);
    // A transfer still under way is stopped and its partial file removed; returns once the thread ended.
    ~UpdateDownloader() override;
    Q_DISABLE_COPY_MOVE(UpdateDownloader)

signals:
    // Sent once, on this object's thread, after the file is closed.
    void finished(const UpdateDownloader::Outcome& outcome);

private:
    class Worker;
    QThread m_thread;
};

// Sending a file to the user's own paired phone, where the desktop offers a way to.
#pragma once

#include <QString>
#include <QTimer>

#include <functional>

class FileSender {
public:
    FileSender() = default;
    virtual ~FileSender() = default;
    Q_DISABLE_COPY_MOVE(FileSender)

    // Offers the file at `path` to a reachable paired device. Returns at once; `done`, when given, is
    // called later on the calling thread with whether a device accepted the request. Without such a
    // device nothing is sent and `done` gets false.
    virtual void send(const QString& path, std::function<void(bool sent)> done = {}) = 0;
};

// A desktop without a paired device: nothing is ever sent.
class NoFileSender final : public FileSender {
public:
    void send(const QString&, std::function<void(bool sent)> done = {}) override {
        if (done)
            QTimer::singleShot(0, [done = std::move(done)] { done(false); });
    }
};

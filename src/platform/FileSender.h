// Sending a file to the user's own paired phone, where the desktop offers a way to.
#pragma once

#include <QString>

#include <functional>

class FileSender {
public:
    FileSender() = default;
    virtual ~FileSender() = default;
    FileSender(const FileSender&) = delete;
    FileSender& operator=(const FileSender&) = delete;

    // Offers the file at `path` to a reachable paired device. Returns at once; `done`, when given, is
    // called later on the calling thread with whether a device accepted the request. Without such a
    // device nothing is sent and `done` gets false.
    virtual void send(const QString& path, std::function<void(bool sent)> done = {}) = 0;
};

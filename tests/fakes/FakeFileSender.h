// A phone link that remembers what it was asked to send and answers as the test says.
#pragma once

#include "platform/FileSender.h"

#include <QStringList>

class FakeFileSender final : public FileSender {
public:
    void send(const QString& path, std::function<void(bool sent)> done = {}) override {
        sent.append(path);
        if (done)
            done(deviceReachable);
    }
    QStringList sent;
    bool deviceReachable = true;
};

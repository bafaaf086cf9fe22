// A file manager that only notes which files it was asked to show.
#pragma once

#include "platform/FileRevealer.h"

#include <QList>

class FakeFileRevealer final : public FileRevealer {
public:
    void reveal(const QStringList& paths) override {
        calls.append(paths);
        revealed += paths;
    }
    QList<QStringList> calls; // one entry per request
    QStringList revealed;     // every path, in order
};

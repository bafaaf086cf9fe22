// A file manager that only remembers what it was asked to show.
#pragma once

#include "platform/FileRevealer.h"

#include <QStringList>

class FakeFileRevealer final : public FileRevealer {
public:
    void reveal(const QString& path) override { revealed.append(path); }
    QStringList revealed;
};

// A text recogniser that gives a set answer and notes what it was handed.
#pragma once

#include "platform/TextRecognizer.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMutex>

class FakeTextRecognizer final : public TextRecognizer {
public:
    std::optional<QString> recognize(const QString& path, const CancelSignal* = nullptr) override {
        QMutexLocker lock(&mutex);
        seenPath = path;
        seenImage = QImage(path);
        seenPermissions = QFileInfo(path).permissions();
        seenFolderPermissions = QFileInfo(QFileInfo(path).path()).permissions();
        return answer;
    }
    QMutex mutex;
    std::optional<QString> answer;
    QString seenPath;
    QImage seenImage;
    QFile::Permissions seenPermissions;
    QFile::Permissions seenFolderPermissions;
};

#include "services/Log.h"

#include "platform/SystemLog.h"

#include <QMutex>

namespace {

QMutex& captureMutex() {
    static QMutex m;
    return m;
}

std::function<void(const QString&)>& captureFn() {
    static std::function<void(const QString&)> fn;
    return fn;
}

} // namespace

namespace Log {

void line(const QString& message) {
    const QString whole = QStringLiteral("[Quillbay] ") + message;
    {
        QMutexLocker lock(&captureMutex());
        if (captureFn()) {
            captureFn()(whole);
            return;
        }
    }
    SystemLog::write(whole.toUtf8().constData());
}

void setCapture(std::function<void(const QString&)> capture) {
    QMutexLocker lock(&captureMutex());
    captureFn() = std::move(capture);
}

} // namespace Log

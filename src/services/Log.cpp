#include "services/Log.h"

#include <QMutex>

#include <cstdio>
#include <syslog.h>

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
    const QByteArray utf8 = whole.toUtf8();
    static const bool opened = [] {
        openlog("Quillbay", LOG_PID, LOG_USER);
        return true;
    }();
    (void)opened;
    syslog(LOG_NOTICE, "%s", utf8.constData());
    std::fprintf(stderr, "%s\n", utf8.constData());
    std::fflush(stderr);
}

void setCapture(std::function<void(const QString&)> capture) {
    QMutexLocker lock(&captureMutex());
    captureFn() = std::move(capture);
}

} // namespace Log

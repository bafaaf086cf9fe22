#include "services/Log.h"

#include "platform/SystemLog.h"

#include <QDebug>

#include <cstdio>
#include <cstring>

namespace Log {

namespace {

int priorityOf(QtMsgType type) {
    switch (type) {
    case QtDebugMsg:
        return LOG_DEBUG;
    case QtInfoMsg:
        return LOG_NOTICE;
    case QtWarningMsg:
        return LOG_WARNING;
    case QtCriticalMsg:
        return LOG_ERR;
    case QtFatalMsg:
        return LOG_CRIT;
    }
    return LOG_NOTICE;
}

// Holds no state, so that it may run on any thread at any point of the process's life.
void writeToSystem(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (const std::optional<QString> ours = format(context, message)) {
        SystemLog::write(ours->toUtf8().constData(), priorityOf(type));
        return;
    }
    const QString theirs = qFormatLogMessage(type, context, message);
    if (theirs.isEmpty()) // a message pattern may leave nothing to print
        return;
    std::fprintf(stderr, "%s\n", theirs.toLocal8Bit().constData());
    std::fflush(stderr);
}

} // namespace

void line(const QString& message) {
    // Built on a logger of its own rather than a QLoggingCategory: these lines are always written.
    QMessageLogger(nullptr, 0, nullptr, kCategory).info().noquote() << message;
}

std::optional<QString> format(const QMessageLogContext& context, const QString& message) {
    static constexpr std::size_t kLength = sizeof(kCategory) - 1;
    const char* category = context.category;
    if (!category || std::strncmp(category, kCategory, kLength) != 0)
        return std::nullopt;
    const char* rest = category + kLength;
    if (*rest == '\0')
        return QStringLiteral("[Quillbay] ") + message;
    if (*rest != '.' || rest[1] == '\0')
        return std::nullopt;
    return QStringLiteral("[Quillbay] ") + QLatin1String(rest + 1) + QStringLiteral(": ") + message;
}

void useSystemOutput() {
    qInstallMessageHandler(&writeToSystem);
}

} // namespace Log

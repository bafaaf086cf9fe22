#include "services/CommandLogs.h"

#include "platform/LogCap.h"
#include "platform/ServiceLauncher.h"
#include "platform/Ticker.h"
#include "services/AppPaths.h"
#include "services/Log.h"
#include "services/LogTail.h"
#include "services/Published.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

constexpr int kLogTailBytes = 32768;
constexpr int kRefreshMs = 1000;

} // namespace

CommandLogs::CommandLogs(TickerFactory& tickers, QString logsDir, ServiceLauncher* launcher, QString keeper,
                         QObject* parent)
    : QObject(parent)
    , m_logsDir(std::move(logsDir))
    , m_launcher(launcher)
    , m_keeper(std::move(keeper))
    , m_refresh(tickers.make(kRefreshMs, [this] { refresh(); })) {}

CommandLogs::~CommandLogs() = default;

QString CommandLogs::logPath(const QString& commandName) const {
    QString file = commandName;
    file.replace(u'/', u'-');
    return m_logsDir + u'/' + file + QStringLiteral(".log");
}

UniqueFd CommandLogs::openFresh(const QString& commandName) const {
    AppPaths::makePrivateFolders(m_logsDir);
    const QByteArray file = QFile::encodeName(logPath(commandName));
    // O_APPEND: a same-named service still writing from its old offset would otherwise punch a hole
    // of NUL bytes into the emptied file. O_NOFOLLOW: emptying must never reach a file a link points
    // to; the link is replaced by a log of our own. O_NONBLOCK: a FIFO there must not hold the start.
    const int flags =
        O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
    UniqueFd fd(::open(file.constData(), flags, 0600));
    if (!fd && errno == ELOOP && ::unlink(file.constData()) == 0)
        fd.reset(::open(file.constData(), flags, 0600));
    struct stat st;
    if (fd && (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)))
        fd.reset(); // a FIFO or device stays as it is; the service runs without a log
    if (!fd)
        return fd;
    ::fcntl(fd.get(), F_SETFL, O_APPEND);
    ::fchmod(fd.get(), 0600);
    if (m_launcher && !m_keeper.isEmpty()) {
        UniqueFd pipe(m_launcher->startLogKeeper(m_keeper, logPath(commandName), LogCap::kDefaultCapBytes));
        if (pipe)
            return pipe;
        Log::line(
            QStringLiteral("no log keeper (%1); the log of '%2' is not capped").arg(m_keeper, commandName));
    }
    return fd;
}

void CommandLogs::show(const SavedCommand& cmd) {
    assignPublished(this, m_viewingLog, std::optional<SavedCommand>(cmd), &CommandLogs::viewingLogChanged);
    refresh();
    m_refresh->start();
}

void CommandLogs::hide() {
    m_refresh->stop();
    assignPublished(this, m_viewingLog, std::optional<SavedCommand>(), &CommandLogs::viewingLogChanged);
    assignPublished(this, m_logText, QString(), &CommandLogs::logTextChanged);
}

void CommandLogs::refresh() {
    if (!m_viewingLog)
        return;
    // The tail is read by seeking, with its first cut line dropped; undecodable bytes come back
    // replaced, so a log with a stray byte or a cut character still shows as text.
    const std::optional<QString> text = LogTail::read(logPath(m_viewingLog->name), kLogTailBytes);
    QString shown;
    if (!text) {
        shown = QCoreApplication::translate("CommandsService", "(sem log ainda — inicie o serviço)");
    } else {
        const bool blank = std::all_of(text->cbegin(), text->cend(), [](QChar c) { return c.isSpace(); });
        shown = blank ? QCoreApplication::translate("CommandsService", "(log vazio)") : *text;
    }
    assignPublished(this, m_logText, shown, &CommandLogs::logTextChanged);
}

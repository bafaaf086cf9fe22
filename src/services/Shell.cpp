// The child processes' search path and the runner of short command lines, which start through the
// launcher seam.
#include "services/Shell.h"

#include "platform/CancelSignal.h"
#include "platform/ServiceLauncher.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

extern char** environ;

namespace Shell {

namespace {

using SteadyClock = std::chrono::steady_clock;

bool isAsciiDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

bool isExecutableFile(const QString& path) {
    if (!path.startsWith(QLatin1Char('/')))
        return false;
    // An account's "no shell" entries are executables too, ones that refuse every command.
    const QString base = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    if (base == QLatin1String("nologin") || base == QLatin1String("false"))
        return false;
    const QByteArray name = QFile::encodeName(path);
    struct stat st {};
    return ::stat(name.constData(), &st) == 0 && S_ISREG(st.st_mode) && ::access(name.constData(), X_OK) == 0;
}

QString loginShell() {
    // getpwuid_r: other threads may ask the password database at the same time.
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    QByteArray buffer(size > 0 ? int(size) : 16384, Qt::Uninitialized);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), size_t(buffer.size()), &found) != 0 || !found ||
        !found->pw_shell)
        return QString();
    return QFile::decodeName(found->pw_shell);
}

} // namespace

QString pickShell(const QString& zsh, const QString& loginShell, const QString& shellVariable) {
    // The command lines are written for zsh; a user without it gets the shell they log in with.
    for (const QString& candidate : {zsh, loginShell, shellVariable}) {
        if (isExecutableFile(candidate))
            return candidate;
    }
    return QStringLiteral("/bin/sh");
}

QStringList shellArguments(const QString& shell, const QString& command, bool login) {
    // csh and its kin refuse "-l" beside other options; they run the command without a profile.
    static const QStringList takesLogin = {
        QStringLiteral("zsh"), QStringLiteral("bash"), QStringLiteral("sh"),   QStringLiteral("dash"),
        QStringLiteral("ksh"), QStringLiteral("mksh"), QStringLiteral("fish"), QStringLiteral("yash")};
    const QString name = shell.mid(shell.lastIndexOf(QLatin1Char('/')) + 1);
    if (login && takesLogin.contains(name))
        return {QStringLiteral("-lc"), command};
    return {QStringLiteral("-c"), command};
}

QByteArrayList childEnvironment(const QList<QPair<QByteArray, QByteArray>>& replaced) {
    // Read from environ itself: QProcessEnvironment decodes values and turns bytes that are not UTF-8
    // into U+FFFD.
    QByteArrayList env;
    for (char** e = environ; e && *e; ++e) {
        const QByteArray entry(*e);
        const qsizetype equals = entry.indexOf('=');
        const QByteArray name = equals < 0 ? entry : entry.left(equals);
        const bool isReplaced =
            std::any_of(replaced.cbegin(), replaced.cend(),
                        [&](const QPair<QByteArray, QByteArray>& r) { return r.first == name; });
        if (!isReplaced)
            env.append(entry);
    }
    for (const QPair<QByteArray, QByteArray>& r : replaced)
        env.append(r.first + '=' + r.second);
    return env;
}

QByteArrayList childEnvironment() {
    return childEnvironment({{QByteArrayLiteral("PATH"), path().toUtf8()}});
}

QString pathFor(const QString& home) {
    QString base = home;
    while (base.size() > 1 && base.endsWith(QLatin1Char('/')))
        base.chop(1);
    if (base == QLatin1String("/"))
        base.clear();

    QStringList dirs;
    const QString nvm = base + QLatin1String("/.nvm/versions/node");
    const QStringList versions = QDir(nvm).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    if (!versions.isEmpty()) {
        // The newest version wins; on a tie the first listed stays.
        QString newest = versions.first();
        for (const QString& v : versions) {
            if (naturalCompare(v, newest) > 0)
                newest = v;
        }
        dirs << nvm + QLatin1Char('/') + newest + QLatin1String("/bin");
    }
    dirs << QStringLiteral("/opt/homebrew/bin") << QStringLiteral("/usr/local/bin")
         << QStringLiteral("/usr/bin") << QStringLiteral("/bin") << QStringLiteral("/usr/sbin")
         << QStringLiteral("/sbin") << base + QLatin1String("/.local/bin")
         << base + QLatin1String("/.bun/bin") << base + QLatin1String("/.cargo/bin")
         << base + QLatin1String("/.pyenv/shims");
    return dirs.join(QLatin1Char(':'));
}

const QString& path() {
    static const QString value = pathFor(QDir::homePath());
    return value;
}

const QString& shellProgram() {
    static const QString shell =
        pickShell(QStringLiteral("/bin/zsh"), loginShell(), QFile::decodeName(qgetenv("SHELL")));
    return shell;
}

std::optional<QString> run(ServiceLauncher& launcher, const QString& command, double timeoutSeconds,
                           const CancelSignal* cancel) {
    return run(launcher, shellProgram(), command, timeoutSeconds, cancel);
}

std::optional<QString> run(ServiceLauncher& launcher, const QString& shell, const QString& command,
                           double timeoutSeconds, const CancelSignal* cancel) {
    // A NUL would silently cut the command short in the argument vector.
    if (command.contains(QChar(0)) || shell.isEmpty())
        return std::nullopt;
    if (cancel && cancel->isRaised())
        return std::nullopt;
    if (!(timeoutSeconds > 0)) // also NaN
        timeoutSeconds = 0;
    timeoutSeconds = std::min(timeoutSeconds, 365.0 * 24 * 3600);
    const auto deadline = SteadyClock::now() + std::chrono::duration_cast<SteadyClock::duration>(
                                                   std::chrono::duration<double>(timeoutSeconds));

    ServiceLauncher::Request request;
    request.program = shell;
    request.arguments = shellArguments(shell, command, false);
    request.environment = childEnvironment();
    request.cancelFd = cancel ? cancel->fd() : -1;
    const std::optional<QByteArray> output = launcher.collectOutput(request, deadline);
    if (!output || (cancel && cancel->isRaised()))
        return std::nullopt;

    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(*output);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

QString quote(const QString& text) {
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

int naturalCompare(QStringView a, QStringView b) {
    qsizetype i = 0, j = 0;
    int tieBreak = 0; // equal numbers written differently ("01" vs "1"): fewer digits first
    while (i < a.size() && j < b.size()) {
        if (isAsciiDigit(a[i]) && isAsciiDigit(b[j])) {
            qsizetype ai = i, bj = j;
            while (ai < a.size() && isAsciiDigit(a[ai]))
                ++ai;
            while (bj < b.size() && isAsciiDigit(b[bj]))
                ++bj;
            qsizetype as = i, bs = j;
            while (as < ai - 1 && a[as] == QLatin1Char('0'))
                ++as;
            while (bs < bj - 1 && b[bs] == QLatin1Char('0'))
                ++bs;
            // Digit runs of any length: more significant digits is larger, else the first differing digit.
            if (ai - as != bj - bs)
                return ai - as < bj - bs ? -1 : 1;
            for (qsizetype k = 0; k < ai - as; ++k) {
                if (a[as + k] != b[bs + k])
                    return a[as + k] < b[bs + k] ? -1 : 1;
            }
            if (tieBreak == 0 && ai - i != bj - j)
                tieBreak = ai - i < bj - j ? -1 : 1;
            i = ai;
            j = bj;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j] ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size())
        return 1;
    if (j < b.size())
        return -1;
    return tieBreak;
}

} // namespace Shell

// Two passes over a log text: written web addresses, then bare local server addresses.
#include "services/Linkify.h"

#include <QRegularExpression>

#include <algorithm>

namespace {

// What a browser's address bar would take: a scheme or "www." and then no space, quote or angle bracket.
const QRegularExpression& webPattern() {
    static const QRegularExpression re(
        QStringLiteral(R"((?<![\w.+-])(?:https?://|www\.)[^\s<>"'`\x{0}-\x{1f}]+)"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
    return re;
}

const QRegularExpression& localPattern() {
    static const QRegularExpression re(
        QStringLiteral(R"((?<![/\w])(localhost|127\.0\.0\.1|0\.0\.0\.0):(\d{2,5})\b)"),
        QRegularExpression::UseUnicodePropertiesOption);
    return re;
}

// Sentence punctuation after an address is not part of it; a closing bracket is, when the address opened it.
qsizetype trimmedLength(QStringView s) {
    qsizetype n = s.size();
    while (n > 0) {
        const QChar c = s[n - 1];
        if (QStringLiteral(".,;:!?*").contains(c)) {
            --n;
            continue;
        }
        const QChar open = c == u')' ? u'(' : c == u']' ? u'[' : c == u'}' ? u'{' : QChar();
        if (!open.isNull() && s.left(n).count(open) < s.left(n).count(c)) {
            --n;
            continue;
        }
        break;
    }
    return n;
}

bool overlaps(const QList<Linkify::Link>& sorted, qsizetype start, qsizetype length) {
    auto it =
        std::lower_bound(sorted.begin(), sorted.end(), start,
                         [](const Linkify::Link& l, qsizetype pos) { return l.start + l.length <= pos; });
    return it != sorted.end() && it->start < start + length;
}

} // namespace

namespace Linkify {

bool canOpen(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == u"http" || scheme == u"https") && !url.host().isEmpty();
}

QList<Link> links(const QString& text) {
    QList<Link> web;
    for (auto it = webPattern().globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        const qsizetype length = trimmedLength(m.capturedView());
        const QStringView written = m.capturedView().left(length);
        const bool bare = written.startsWith(u"www.", Qt::CaseInsensitive);
        const QUrl url(bare ? QStringLiteral("http://") + written.toString() : written.toString(),
                       QUrl::TolerantMode);
        if (length > 0 && canOpen(url))
            web.append({m.capturedStart(), length, url});
    }

    QList<Link> all = web;
    for (auto it = localPattern().globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        if (overlaps(web, m.capturedStart(), m.capturedLength()))
            continue;
        // Whatever host was written, the service is reached on this machine as localhost.
        const QUrl url(QStringLiteral("http://localhost:") + m.captured(2), QUrl::StrictMode);
        if (url.isValid() && url.port() > 0)
            all.append({m.capturedStart(), m.capturedLength(), url});
    }
    std::sort(all.begin(), all.end(), [](const Link& a, const Link& b) { return a.start < b.start; });
    return all;
}

} // namespace Linkify

// The clipboard history service; see ClipboardService.h.
#include "services/ClipboardService.h"

#include "platform/Clock.h"
#include "platform/Pasteboard.h"
#include "services/AppPaths.h"
#include "services/Published.h"

#include <QRegularExpression>
#include <QTextBoundaryFinder>
#include <QtConcurrent>

#include <algorithm>

namespace {

bool sameText(const QString& a, const QString& aNfc, const QString& b) {
    if (a == b)
        return true;
    return aNfc == b.normalized(QString::NormalizationForm_C);
}

// Age in milliseconds of an entry recorded at `date`, as of `now`.
qint64 ageMs(const QDateTime& date, const QDateTime& now) {
    return date.msecsTo(now);
}

} // namespace

ClipboardService::ClipboardService(Pasteboard& pasteboard, Clock& clock, QString storePath, QObject* parent,
                                   StoreLoad load)
    : QObject(parent)
    , m_pasteboard(pasteboard)
    , m_clock(clock)
    , m_storePath(std::move(storePath)) {
    m_changeCount = m_pasteboard.changeCount();

    if (load == StoreLoad::atOnce)
        applyStore(AppPaths::loadStore(m_storePath, ClipItemCodec::decode));

    m_nextLook.setSingleShot(true);
    connect(&m_nextLook, &QTimer::timeout, this, &ClipboardService::poll);
    m_pasteboard.setChangeHandler([this] { onChangeNotice(); });

    connect(&m_savingWatch, &QFutureWatcher<void>::finished, this, &ClipboardService::saveFinished);
    m_copiedTimer.setSingleShot(true);
    connect(&m_copiedTimer, &QTimer::timeout, this, &ClipboardService::expireCopied);
}

ClipboardService::~ClipboardService() {
    m_pasteboard.setChangeHandler({});
    flush();
}

void ClipboardService::loadStore() {
    if (m_loaded)
        return;
    m_load.start([path = m_storePath] { return AppPaths::loadStore(path, ClipItemCodec::decode); }, this,
                 [this] {
                     if (auto stored = m_load.take())
                         applyStore(*stored);
                 });
}

void ClipboardService::applyStore(const std::optional<QList<ClipItem>>& stored) {
    m_loaded = true;
    // What was copied before the store was read is newer than all of it, and comes first.
    const qsizetype recent = m_items.size();
    QList<ClipItem> items = m_items;
    QStringList recentNfc;
    for (qsizetype i = 0; i < recent; ++i)
        recentNfc << items.at(i).text.normalized(QString::NormalizationForm_C);
    if (stored) {
        const QDateTime now = m_clock.now();
        for (const ClipItem& item : *stored) {
            if (!item.pinned && ageMs(item.date, now) > maxAgeSeconds * 1000)
                continue;
            // A stored text copied again meanwhile is that newer entry now, with the stored one's pin.
            qsizetype same = -1;
            for (qsizetype i = 0; i < recent && same < 0; ++i)
                if (sameText(items.at(i).text, recentNfc.at(i), item.text))
                    same = i;
            if (same < 0)
                items.append(item);
            else if (item.pinned)
                items[same].pinned = true;
        }
    }
    setItems(std::move(items));
    if (recent > 0)
        trim();
    emit storeLoaded();
    if (m_saveWaitsForLoad) {
        m_saveWaitsForLoad = false;
        save();
    }
}

void ClipboardService::onChangeNotice() {
    if (m_nextLook.isActive())
        return; // that look will see this content, or a newer one
    const qint64 sinceLook = m_lastLookMs ? m_clock.monotonicMs() - *m_lastLookMs : qint64(lookIntervalMs);
    if (sinceLook >= lookIntervalMs || sinceLook < 0)
        poll();
    else
        m_nextLook.start(int(lookIntervalMs - sinceLook));
}

bool ClipboardService::isConcealedOrTransient(const QStringList& types) {
    static const QStringList markers = {
        QStringLiteral("org.nspasteboard.ConcealedType"),
        QStringLiteral("application/x-nspasteboard-concealed-type"),
        QStringLiteral("x-kde-passwordManagerHint"),
        QStringLiteral("text/x-kde-passwordManagerHint"),
        QStringLiteral("org.nspasteboard.TransientType"),
        QStringLiteral("application/x-nspasteboard-transient-type"),
    };
    for (const QString& type : types) {
        for (const QString& marker : markers) {
            if (type.compare(marker, Qt::CaseInsensitive) == 0)
                return true;
        }
    }
    return false;
}

QString ClipboardService::firstGraphemes(const QString& text, int count) {
    if (count <= 0)
        return QString();
    if (text.size() <= count)
        return text; // never more graphemes than code units
    // Look at a window of the text that grows until it holds `count` boundaries that cannot change with
    // what follows the window, so a copy of megabytes costs only its first part.
    qsizetype window = qsizetype(count) * 4;
    while (true) {
        const bool whole = window >= text.size();
        const qsizetype length = whole ? text.size() : window;
        QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text.constData(), length);
        int seen = 0;
        qsizetype pos = 0;
        while ((pos = finder.toNextBoundary()) != -1) {
            if (!whole && pos >= length)
                break; // the window's own end is no boundary of the text
            if (++seen == count)
                return text.left(pos);
        }
        if (whole)
            return text;
        window *= 2;
    }
}

bool ClipboardService::looksSensitive(const QString& text) {
    static const char* const prefixes[] = {"-----BEGIN ", "ghp_",  "github_pat_", "sk-",
                                           "xoxb-",       "xoxp-", "AKIA"};
    static const QRegularExpression token(
        QStringLiteral("^[A-Za-z0-9_-]{8,}\\.[A-Za-z0-9_-]{8,}\\.[A-Za-z0-9_-]{8,}$"));
    const QString t = text.trimmed();
    for (const char* prefix : prefixes) {
        if (t.startsWith(QLatin1String(prefix)))
            return true;
    }
    // Trimmed first, so "$" cannot match before a final line break: the anchors bind to the whole text.
    return token.match(t).hasMatch();
}

void ClipboardService::poll() {
    m_nextLook.stop();
    const quint64 count = m_pasteboard.changeCount();
    if (count == m_changeCount)
        return;
    m_changeCount = count; // a skipped change is not examined again
    m_lastLookMs = m_clock.monotonicMs();

    if (isConcealedOrTransient(m_pasteboard.types()))
        return;
    std::optional<QString> read = m_pasteboard.text();
    if (!read)
        return;
    QString whole = std::move(*read);
    read.reset();
    record(std::move(whole));
}

void ClipboardService::record(QString copied) {
    const QString text = firstGraphemes(copied, maxLength);
    copied = QString(); // a copy of megabytes is not held a moment longer than needed
    if (text.trimmed().isEmpty() || looksSensitive(text))
        return;

    QList<ClipItem> items = m_items;
    bool pinned = false;
    const QString nfc = text.normalized(QString::NormalizationForm_C);
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (sameText(text, nfc, items.at(i).text)) {
            pinned = items.at(i).pinned;
            items.removeAt(i);
            break;
        }
    }
    items.prepend(ClipItem{QUuid::createUuid(), text, m_clock.now(), pinned});
    setItems(std::move(items));
    trim();
    save();
}

void ClipboardService::trim() {
    const QDateTime now = m_clock.now();
    QList<ClipItem> items = m_items;
    items.removeIf(
        [&](const ClipItem& item) { return !item.pinned && ageMs(item.date, now) > maxAgeSeconds * 1000; });
    qsizetype unpinned =
        std::count_if(items.cbegin(), items.cend(), [](const ClipItem& i) { return !i.pinned; });
    for (qsizetype i = items.size() - 1; i >= 0 && unpinned > maxItems; --i) {
        if (!items.at(i).pinned) {
            items.removeAt(i);
            --unpinned;
        }
    }
    setItems(std::move(items));
}

void ClipboardService::copy(const ClipItem& item) {
    m_pasteboard.writeText(item.text);
    m_changeCount = m_pasteboard.changeCount();
    m_copiedUntilMs = m_clock.monotonicMs() + copiedMarkMs;
    setCopiedID(item.id);
    m_copiedTimer.start(copiedMarkMs);
}

void ClipboardService::copyText(const QString& text) {
    m_pasteboard.writeText(text);
    m_changeCount = m_pasteboard.changeCount();
    record(text);
}

void ClipboardService::copyToPrimary(const ClipItem& item) {
    m_pasteboard.writePrimary(item.text);
}

bool ClipboardService::copying() const {
    return m_pasteboard.writing();
}

void ClipboardService::expireCopied() {
    const qint64 left = m_copiedUntilMs - m_clock.monotonicMs();
    if (left > 0) {
        m_copiedTimer.start(int(std::min<qint64>(left, copiedMarkMs)));
        return;
    }
    setCopiedID(QUuid());
}

void ClipboardService::togglePin(const ClipItem& item) {
    for (qsizetype i = 0; i < m_items.size(); ++i) {
        if (m_items.at(i).id == item.id) {
            QList<ClipItem> items = m_items;
            items[i].pinned = !items[i].pinned;
            setItems(std::move(items));
            save();
            return;
        }
    }
}

void ClipboardService::clearUnpinned() {
    QList<ClipItem> items = m_items;
    items.removeIf([](const ClipItem& i) { return !i.pinned; });
    setItems(std::move(items));
    save();
}

void ClipboardService::remove(const ClipItem& item) {
    QList<ClipItem> items = m_items;
    items.removeIf([&](const ClipItem& i) { return i.id == item.id; });
    setItems(std::move(items));
    save();
}

void ClipboardService::setItems(QList<ClipItem> items) {
    assignPublished(this, m_items, std::move(items), &ClipboardService::itemsChanged);
}

void ClipboardService::setCopiedID(const QUuid& id) {
    assignPublished(this, m_copiedID, id, &ClipboardService::copiedIDChanged);
}

void ClipboardService::save() {
    if (!m_loaded) {
        m_saveWaitsForLoad = true;
        return;
    }
    if (m_saving.isRunning()) {
        m_saveAgain = true;
        return;
    }
    m_saveAgain = false;
    // The list is shared, not copied: the worker encodes the state of this moment while the history
    // moves on.
    const QList<ClipItem> items = m_items;
    const QString path = m_storePath;
    m_saving = QtConcurrent::run(&m_pool.threads(), [items, path] {
        // A failed write keeps the history in memory; the next change tries again.
        AppPaths::writePrivate(ClipItemCodec::encode(items), path);
    });
    m_savingWatch.setFuture(m_saving);
}

void ClipboardService::saveFinished() {
    if (m_saveAgain)
        save();
}

void ClipboardService::flush() {
    // A change made before the store was read is saved only together with what the store held.
    if (!m_loaded && m_load.started())
        if (auto stored = m_load.take(true))
            applyStore(*stored);
    if (!m_loaded)
        return;
    m_saving.waitForFinished();
    if (m_saveAgain) {
        m_saveAgain = false;
        AppPaths::writePrivate(ClipItemCodec::encode(m_items), m_storePath);
    }
}

// Antigravity credits through the SQLite C interface, opened when the first state database is read.
#include "services/AntigravityCreditsReader.h"

#include "platform/RegularFile.h"
#include "services/AntigravityDecoder.h"
#include "services/Libsqlite.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QUrl>

namespace {

constexpr qint64 kDeadlineMs = 8000;
constexpr int kMaxValueBytes = 16 * 1024 * 1024;

AIProviderUsage noData() {
    return AIProviderUsage{
        QStringLiteral("Antigravity"), QString(), {}, QStringLiteral("Sem dados de créditos no Antigravity")};
}

int pastDeadline(void* timer) {
    return static_cast<QElapsedTimer*>(timer)->hasExpired(kDeadlineMs) ? 1 : 0;
}

} // namespace

QString AntigravityCreditsReader::databasePath() const {
    return m_configHome + QStringLiteral("/Antigravity/User/globalStorage/state.vscdb");
}

std::optional<QByteArray> AntigravityCreditsReader::storedValue(const QString& path) {
    // SQLite's own open would wait for a FIFO's writer.
    if (!RegularFile::isRegular(path))
        return std::nullopt;
    // A file: URI with the path escaped, so "?", "#" or "%" in a folder name stay part of the path.
    const QByteArray uri = "file:" + QUrl::toPercentEncoding(path, "/") + "?immutable=1";
    const Libsqlite sqlite;
    if (!sqlite.ok())
        return std::nullopt;
    sqlite3* db = nullptr;
    if (sqlite.open_v2(uri.constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr) != SQLITE_OK) {
        sqlite.close(db);
        return std::nullopt;
    }
    QElapsedTimer timer;
    timer.start();
    sqlite.progress_handler(db, 1000, pastDeadline, &timer);
    sqlite.limit(db, SQLITE_LIMIT_LENGTH, kMaxValueBytes);
    std::optional<QByteArray> value;
    sqlite3_stmt* statement = nullptr;
    const char* sql = "SELECT value FROM ItemTable WHERE key='antigravityUnifiedStateSync.modelCredits'";
    if (sqlite.prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK &&
        sqlite.step(statement) == SQLITE_ROW) {
        const void* bytes = sqlite.column_blob(statement, 0);
        const int size = sqlite.column_bytes(statement, 0);
        if (bytes && size > 0 && size <= kMaxValueBytes)
            value = QByteArray(static_cast<const char*>(bytes), size).trimmed();
        else
            value = QByteArray();
    }
    sqlite.finalize(statement);
    sqlite.close(db);
    return value;
}

AIProviderUsage AntigravityCreditsReader::cardFromValue(const std::optional<QByteArray>& value) {
    if (!value || value->isEmpty())
        return noData();
    const std::optional<QByteArray> decoded = AntigravityDecoder::strictBase64(*value);
    if (!decoded)
        return noData();
    const QMap<QString, qint64> credits = AntigravityDecoder::credits(*decoded);
    AIProviderUsage card{QStringLiteral("Antigravity"), QString(), {}, std::nullopt};
    const auto it = credits.constFind(QStringLiteral("availableCreditsSentinelKey"));
    if (it == credits.constEnd()) {
        card.note = QStringLiteral("Formato de créditos não reconhecido");
        return card;
    }
    card.metrics.append(
        {QStringLiteral("Créditos"), std::nullopt, QString::number(*it) + QStringLiteral(" disponíveis")});
    return card;
}

std::optional<AIProviderUsage> AntigravityCreditsReader::read() const {
    const QString path = databasePath();
    if (!QFileInfo::exists(path))
        return std::nullopt;
    return cardFromValue(storedValue(path));
}

// The Codex card: the newest rate-limit record in the Codex command-line tool's session logs.
#pragma once

#include "model/AIProviderUsage.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

class CodexUsageReader {
public:
    // `home` is the folder holding ".codex".
    explicit CodexUsageReader(QString home)
        : m_home(std::move(home)) {}

    // Nothing when there is no "~/.codex/sessions" folder; the card with a note when no log of the last
    // three days holds a usable record. Blocks; reads each log backwards from its end.
    std::optional<AIProviderUsage> read(const QDateTime& now) const;

    // The card of one log line, when the line holds at least one usable window.
    static std::optional<AIProviderUsage> cardFromLine(const QByteArray& line, const QDateTime& now);
    // The card of a whole log, walking its lines from the last (the reader's own path, or a whole read).
    static std::optional<AIProviderUsage> cardFromFile(const QString& path, const QDateTime& now,
                                                       qint64 blockSize = 64 * 1024);

private:
    QString m_home;
};

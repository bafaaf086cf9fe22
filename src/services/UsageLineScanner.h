// A fast reading of Claude Code's log lines: walks one line of strict JSON without building it, and takes
// the few members the token estimate needs. Whatever it cannot judge with certainty (escapes in the
// members it takes, exponents, undecodable bytes, duplicate members, anything outside strict JSON) it
// leaves to a full parse, so that its answers always equal that parse's.
#pragma once

#include <QByteArrayView>

#include <optional>

struct UsageLineFields {
    std::optional<QByteArrayView> timestamp; // the top-level "timestamp" when a string
    bool messageIsObject = false;
    bool usageIsObject = false;              // "message"."usage"
    std::optional<QByteArrayView> messageId; // "message"."id" when a string
    std::optional<QByteArrayView> requestId; // the top-level "requestId" when a string
    // The counters of "message"."usage", 0 where missing or not an integer.
    qint64 inputTokens = 0;
    qint64 outputTokens = 0;
    qint64 cacheCreationTokens = 0;
};

namespace UsageLineScanner {

enum class Verdict {
    fields, // the line is a JSON object and `fields` holds its members
    unsure, // ask the full parse (also for most lines that are not JSON at all)
};

// The views in `fields` point into `line`.
Verdict scan(QByteArrayView line, UsageLineFields* fields);

} // namespace UsageLineScanner

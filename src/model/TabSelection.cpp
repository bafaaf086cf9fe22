// String forms of a tab selection.
#include "model/TabSelection.h"

namespace {
const QString customPrefix = QStringLiteral("custom-");
}

TabSelection TabSelection::custom(const QUuid& uuid) {
    TabSelection s;
    s.m_kind = Kind::custom;
    s.m_uuid = uuid;
    return s;
}

QString TabSelection::id() const {
    return isBuiltin() ? m_tab.id() : customPrefix + uuidString(m_uuid);
}

QString TabSelection::telemetryID() const {
    return isBuiltin() ? m_tab.id() : QStringLiteral("custom");
}

std::optional<TabSelection> TabSelection::fromStorageID(const QString& storageID) {
    if (storageID.startsWith(customPrefix)) {
        if (const auto uuid = parseStrictUuid(storageID.mid(customPrefix.size())))
            return custom(*uuid);
    }
    if (const auto tab = DashboardTab::fromID(storageID))
        return TabSelection(*tab);
    return std::nullopt;
}

std::optional<QUuid> parseStrictUuid(const QString& text) {
    // QUuid::fromString alone would accept braces and cannot tell the nil UUID from a failure.
    if (text.size() != 36)
        return std::nullopt;
    for (int i = 0; i < 36; ++i) {
        const QChar c = text.at(i);
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (c != u'-')
                return std::nullopt;
        } else if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'))) {
            return std::nullopt;
        }
    }
    return QUuid::fromString(text);
}

QString uuidString(const QUuid& uuid) {
    return uuid.toString(QUuid::WithoutBraces).toUpper();
}

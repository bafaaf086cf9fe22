// A selectable dashboard tab: one of the built-in tabs or a custom tab named by its UUID.
#pragma once

#include "model/DashboardTab.h"

#include <QHashFunctions>
#include <QString>
#include <QUuid>

#include <optional>

class TabSelection {
public:
    enum class Kind : quint8 { builtin, custom };

    // The Terminal tab.
    TabSelection() = default;
    TabSelection(DashboardTab tab)
        : m_tab(tab) {}
    TabSelection(DashboardTab::Case tab)
        : m_tab(tab) {}

    static TabSelection builtin(DashboardTab tab) { return TabSelection(tab); }
    static TabSelection custom(const QUuid& uuid);
    static TabSelection shelf() { return TabSelection(DashboardTab::shelf); }
    static TabSelection kit() { return TabSelection(DashboardTab::kit); }

    Kind kind() const { return m_kind; }
    bool isBuiltin() const { return m_kind == Kind::builtin; }
    bool isCustom() const { return m_kind == Kind::custom; }
    // Meaningful only for the matching kind.
    DashboardTab tab() const { return m_tab; }
    QUuid uuid() const { return m_uuid; }

    // Storage and identity form: the tab's id, or "custom-" + the UUID in upper case.
    QString id() const;
    // The tab's id, or "custom" for every custom tab.
    QString telemetryID() const;

    // Inverse of `id`; also accepts a lower-case UUID. Nothing for any other text.
    static std::optional<TabSelection> fromStorageID(const QString& storageID);

    friend bool operator==(const TabSelection& a, const TabSelection& b) {
        if (a.m_kind != b.m_kind)
            return false;
        return a.isBuiltin() ? a.m_tab == b.m_tab : a.m_uuid == b.m_uuid;
    }

private:
    Kind m_kind = Kind::builtin;
    DashboardTab m_tab;
    QUuid m_uuid;
};

inline size_t qHash(const TabSelection& s, size_t seed = 0) noexcept {
    return s.isBuiltin() ? qHashMulti(seed, 0, s.tab()) : qHashMulti(seed, 1, s.uuid());
}

// A UUID in the standard 36-character form 8-4-4-4-12, hexadecimal digits of either case, no braces.
std::optional<QUuid> parseStrictUuid(const QString& text);
// The standard form in upper case.
QString uuidString(const QUuid& uuid);

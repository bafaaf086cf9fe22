// The 11 built-in dashboard tabs: a fixed order, a stable id, a title and a symbol name each.
#pragma once

#include <QHashFunctions>
#include <QString>

#include <array>
#include <compare>
#include <optional>

class DashboardTab {
public:
    // Declaration order is the default tab order.
    enum Case : quint8 { terminal, ai, kit, clip, camera, media, pomodoro, kanban, shelf, news, profiles };
    static constexpr int count = 11;

    constexpr DashboardTab() = default;
    constexpr DashboardTab(Case c)
        : m_case(c) {}

    constexpr Case value() const { return m_case; }
    // Position in the built-in order, 0 ..< count.
    constexpr int index() const { return int(m_case); }

    // Stable lower-case identifier used in storage ("terminal", "ai", …).
    QString id() const;
    // The title as stored and compared, which is also the raw value ("Terminal", "IA", "Câmera", …).
    QString rawValue() const;
    // The title as the interface shows it: the raw value in the interface's language ("AI", "Camera" in
    // English).
    QString title() const;
    // Symbol name of the tab's icon.
    QString icon() const;

    // Exactly one of the 11 titles, case-sensitively.
    static std::optional<DashboardTab> fromRawValue(const QString& title);
    // Exactly one of the 11 ids, case-sensitively.
    static std::optional<DashboardTab> fromID(const QString& id);
    static const std::array<DashboardTab, count>& allCases();

    friend constexpr bool operator==(DashboardTab, DashboardTab) = default;
    friend constexpr auto operator<=>(DashboardTab a, DashboardTab b) { return a.index() <=> b.index(); }

private:
    Case m_case = terminal;
};

inline size_t qHash(DashboardTab tab, size_t seed = 0) noexcept {
    return qHash(tab.index(), seed);
}

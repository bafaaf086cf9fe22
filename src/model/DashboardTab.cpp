// Names of the built-in tabs.
#include "model/DashboardTab.h"

namespace {

struct Names {
    const char16_t* id;
    const char16_t* title;
    const char16_t* icon;
};

constexpr std::array<Names, DashboardTab::count> names{{
    {u"terminal", u"Terminal", u"terminal"},
    {u"ai", u"IA", u"sparkles"},
    {u"kit", u"Kit", u"wrench.and.screwdriver"},
    {u"clip", u"Clip", u"doc.on.clipboard"},
    {u"camera", u"Câmera", u"web.camera"},
    {u"media", u"Media", u"play.rectangle"},
    {u"pomodoro", u"Pomodoro", u"timer"},
    {u"kanban", u"Kanban", u"rectangle.3.group"},
    {u"shelf", u"Shelf", u"tray.and.arrow.down"},
    {u"news", u"Notícias", u"newspaper"},
    {u"profiles", u"X", u"at"},
}};

} // namespace

QString DashboardTab::id() const {
    return QString::fromUtf16(names[index()].id);
}
QString DashboardTab::rawValue() const {
    return QString::fromUtf16(names[index()].title);
}
QString DashboardTab::icon() const {
    return QString::fromUtf16(names[index()].icon);
}

std::optional<DashboardTab> DashboardTab::fromRawValue(const QString& title) {
    for (DashboardTab tab : allCases())
        if (title == QStringView(names[tab.index()].title))
            return tab;
    return std::nullopt;
}

std::optional<DashboardTab> DashboardTab::fromID(const QString& id) {
    for (DashboardTab tab : allCases())
        if (id == QStringView(names[tab.index()].id))
            return tab;
    return std::nullopt;
}

const std::array<DashboardTab, DashboardTab::count>& DashboardTab::allCases() {
    static constexpr std::array<DashboardTab, count> cases{terminal, ai,     kit,   clip, camera,  media,
                                                           pomodoro, kanban, shelf, news, profiles};
    return cases;
}

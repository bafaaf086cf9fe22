// Names of the built-in tabs.
#include "model/DashboardTab.h"

#include <QCoreApplication>

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

// The titles again, as keys of the interface's translations (the raw values stay as they are).
constexpr std::array<const char*, DashboardTab::count> shownTitles{
    QT_TRANSLATE_NOOP("DashboardTab", "Terminal"), QT_TRANSLATE_NOOP("DashboardTab", "IA"),
    QT_TRANSLATE_NOOP("DashboardTab", "Kit"),      QT_TRANSLATE_NOOP("DashboardTab", "Clip"),
    QT_TRANSLATE_NOOP("DashboardTab", "Câmera"),   QT_TRANSLATE_NOOP("DashboardTab", "Media"),
    QT_TRANSLATE_NOOP("DashboardTab", "Pomodoro"), QT_TRANSLATE_NOOP("DashboardTab", "Kanban"),
    QT_TRANSLATE_NOOP("DashboardTab", "Shelf"),    QT_TRANSLATE_NOOP("DashboardTab", "Notícias"),
    QT_TRANSLATE_NOOP("DashboardTab", "X"),
};

} // namespace

QString DashboardTab::title() const {
    return QCoreApplication::translate("DashboardTab", shownTitles[index()]);
}

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

// The News and X tabs: a field to follow a source, refresh / mark-read / sources buttons, the last follow
// error, and the posts or sources list of one news service.
#pragma once

#include "services/NewsService.h"

#include <QDateTime>
#include <QUrl>
#include <QWidget>

#include <functional>

class DarkField;
class EmptyHint;
class IconButton;
class LazyRows;
class QLabel;
class QScrollArea;

class NewsTab : public QWidget {
    Q_OBJECT
public:
    enum class Estilo { site, perfil };

    NewsTab(NewsService& service, Estilo estilo, QWidget* parent = nullptr);
    ~NewsTab() override;

    // The text a post row leads with: in the X style the trimmed post text, else the title, else the
    // trimmed summary.
    static QString textoPrincipal(const NewsItem& item, Estilo estilo);
    // "3 hours ago" and the like, for the meta line.
    static QString relativeTime(const QDateTime& date, const QDateTime& now);
    // Only web addresses are handed to the browser.
    static bool opensInBrowser(const QUrl& url);

    // Opens an entry: marks it read, then opens its link when it is a web address.
    void abrir(const NewsItem& item);
    // Follows what the field holds and clears it.
    void adicionar();
    // Where links go; the browser unless a test says otherwise.
    void setLinkOpener(std::function<void(const QUrl&)> opener) { m_open = std::move(opener); }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void updateButtons();
    void rebuildList();

    NewsService& m_service;
    Estilo m_estilo;
    bool m_mostrandoFontes = false;
    std::function<void(const QUrl&)> m_open;
    DarkField* m_field = nullptr;
    IconButton* m_add = nullptr;
    QLabel* m_addSpinner = nullptr;
    IconButton* m_refresh = nullptr;
    QLabel* m_refreshSpinner = nullptr;
    IconButton* m_markAll = nullptr;
    IconButton* m_toggle = nullptr;
    QLabel* m_error = nullptr;
    QWidget* m_emptyBox = nullptr;
    QLabel* m_emptySymbol = nullptr; // its "symbol" property names the symbol shown
    EmptyHint* m_empty = nullptr;
    QScrollArea* m_scroll = nullptr;
    LazyRows* m_rows = nullptr;
    QList<NewsItem> m_shownItems;
    QList<Feed> m_shownFeeds;
};

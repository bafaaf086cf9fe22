// A web tab: one page with a reload button. The page exists only while the tab is on screen.
#pragma once

#include "model/CustomTab.h"
#include "views/WebPageFactory.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

class IconButton;
class QLabel;
class QVBoxLayout;

class WebTabView : public QWidget {
    Q_OBJECT
public:
    // How long a hidden tab keeps its page: hiding for a moment (the island's content hides while it
    // animates) must not reload it, a collapse that lasts ends it.
    static constexpr int kKeepHiddenMs = 1500;

    WebTabView(const CustomTab& tab, WebPageFactory factory, QWidget* parent = nullptr);

    const CustomTab& tab() const { return m_tab; }
    // A new value of the same tab; a new address makes a new page.
    void setTab(const CustomTab& tab);

    // The address loaded: the tab's resolved address when it is an http or https one.
    std::optional<QUrl> pageURL() const;
    QWidget* page() const { return m_page; }
    int reloadToken() const { return m_reloadToken; }
    // The page's identity: the tab's id and the reload count.
    QString pageIdentity() const;
    bool showsInvalidText() const;
    IconButton* reloadButton() const { return m_reload; }
    void reload();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void syncBody();
    void createPage();
    void dropPage();

    CustomTab m_tab;
    WebPageFactory m_factory;
    int m_reloadToken = 0;
    QPointer<QWidget> m_page;
    QWidget* m_pageArea = nullptr;
    QVBoxLayout* m_pageLayout = nullptr;
    QLabel* m_invalid = nullptr;
    IconButton* m_reload = nullptr;
    QTimer m_dropTimer;
};

// Custom tab view: picks the script or web view and hands it each new value of its tab.
#include "views/CustomTabView.h"

#include "services/CustomTabsService.h"
#include "views/ScriptTabView.h"
#include "views/WebTabView.h"

#include <QVBoxLayout>

CustomTabView::CustomTabView(CustomTabsService& service, const CustomTab& tab, WebPageFactory web,
                             QWidget* parent)
    : QWidget(parent)
    , m_service(service)
    , m_tab(tab)
    , m_web(std::move(web)) {
    m_layout = new QVBoxLayout(this);
    m_layout->setContentsMargins(0, 0, 0, 0);
    build();
    connect(&service, &CustomTabsService::tabsChanged, this, &CustomTabView::follow);
}

void CustomTabView::follow() {
    // A removed tab keeps its last value here; the dashboard replaces this view.
    const std::optional<CustomTab> current = m_service.tab(m_tab.id);
    if (!current || *current == m_tab)
        return;
    const bool sameKind = current->kind == m_tab.kind;
    m_tab = *current;
    if (!sameKind) {
        build();
        return;
    }
    if (auto* script = qobject_cast<ScriptTabView*>(m_content))
        script->setTab(m_tab);
    else if (auto* web = qobject_cast<WebTabView*>(m_content))
        web->setTab(m_tab);
}

void CustomTabView::build() {
    delete m_content;
    if (m_tab.kind == CustomTab::Kind::web)
        m_content = new WebTabView(m_tab, m_web, this);
    else
        m_content = new ScriptTabView(m_service, m_tab, this);
    m_layout->addWidget(m_content);
    m_content->show();
}

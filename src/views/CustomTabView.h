// The view of a custom tab: a script or a web tab by its kind, kept up to date with the tab's stored value.
#pragma once

#include "model/CustomTab.h"
#include "views/WebPageFactory.h"

#include <QWidget>

class CustomTabsService;
class QVBoxLayout;

class CustomTabView : public QWidget {
    Q_OBJECT
public:
    CustomTabView(CustomTabsService& service, const CustomTab& tab, WebPageFactory web = webPageFactory(),
                  QWidget* parent = nullptr);

    // The script or web view now shown.
    QWidget* content() const { return m_content; }

private:
    void follow();
    void build();

    CustomTabsService& m_service;
    CustomTab m_tab;
    WebPageFactory m_web;
    QVBoxLayout* m_layout = nullptr;
    QWidget* m_content = nullptr;
};

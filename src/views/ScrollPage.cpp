// The see-through scroll page shared by the island's lists.
#include "views/ScrollPage.h"

#include <QScrollArea>

namespace ScrollPage {

QScrollArea* create(QWidget* parent, Clear clear, Qt::ScrollBarPolicy vertical) {
    auto* page = new QScrollArea(parent);
    page->setWidgetResizable(true);
    page->setFrameShape(QFrame::NoFrame);
    page->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    page->setVerticalScrollBarPolicy(vertical);
    // Never a bare sheet: a tooltip takes its style sheet from the widget it is shown for, and a
    // transparent tooltip cannot be read. Type selectors and ":!window" leave tooltips out.
    page->setStyleSheet(clear == Clear::everything
                            ? QStringLiteral("*:!window { background: transparent; }")
                            : QStringLiteral("QScrollArea { background: transparent; }"));
    return page;
}

void setContent(QScrollArea* page, QWidget* content) {
    content->setAttribute(Qt::WA_TranslucentBackground);
    page->setWidget(content);
    content->setAutoFillBackground(false);
}

} // namespace ScrollPage

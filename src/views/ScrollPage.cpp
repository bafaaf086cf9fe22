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
    // A sheet that reaches the scroll bar takes it out of the platform style's hands: it is then drawn
    // from these rules alone, a thin handle on nothing, rather than as empty outlined boxes.
    page->setStyleSheet(
        clear == Clear::everything
            ? QStringLiteral("*:!window { background: transparent; }"
                             "QScrollBar:vertical { width: 6px; margin: 0; border: none; }"
                             "QScrollBar::handle:vertical { background: rgba(255, 255, 255, 56);"
                             " border-radius: 3px; min-height: 20px; }"
                             "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical"
                             " { height: 0; border: none; background: none; }"
                             "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical"
                             " { background: none; }")
            : QStringLiteral("QScrollArea { background: transparent; }"));
    return page;
}

void setContent(QScrollArea* page, QWidget* content) {
    content->setAttribute(Qt::WA_TranslucentBackground);
    page->setWidget(content);
    content->setAutoFillBackground(false);
}

} // namespace ScrollPage

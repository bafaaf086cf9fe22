// A switch with its texts; see SwitchRow.h.
#include "views/settings/SwitchRow.h"

#include "views/Switch.h"
#include "views/settings/SettingsLook.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {
class ClickLabel : public QLabel {
public:
    ClickLabel(const QString& text, QAbstractButton* target, QWidget* parent)
        : QLabel(text, parent)
        , m_target(target) {}

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        QLabel::mouseReleaseEvent(event);
        if (m_target->isEnabled())
            m_target->click();
    }

private:
    QAbstractButton* m_target;
};
} // namespace

QHBoxLayout* SwitchRow::make(Switch* toggle, const QString& title, const QString& detail, QWidget* parent,
                             int titlePixels) {
    auto* line = new QHBoxLayout;
    line->setSpacing(10);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(3);
    auto* head = new ClickLabel(title, toggle, parent);
    head->setFont(SettingsLook::font(titlePixels, QFont::Medium));
    head->setWordWrap(true);
    auto* body = new ClickLabel(detail, toggle, parent);
    body->setFont(SettingsLook::font(11));
    body->setWordWrap(true);
    SettingsLook::setTextColor(body, SettingsLook::secondary(body->palette()));
    texts->addWidget(head);
    if (detail.isEmpty())
        body->hide();
    texts->addWidget(body);
    line->addLayout(texts, 1);
    line->addWidget(toggle, 0, Qt::AlignVCenter);
    return line;
}

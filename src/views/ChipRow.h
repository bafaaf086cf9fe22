// A row of capsule chips, one per choice; the current one is filled. Shared by the tabs that offer
// a small set of modes.
#pragma once

#include <QList>
#include <QString>
#include <QWidget>

class QAbstractButton;
class QHBoxLayout;

class ChipRow : public QWidget {
    Q_OBJECT
public:
    struct Chip {
        QString title;
        QString symbol;
        int value = 0;
    };

    explicit ChipRow(QWidget* parent = nullptr);

    void setChips(const QList<Chip>& chips);
    void setCurrent(int value);
    int current() const { return m_current; }
    // The button of the chip with `value`, or null.
    QAbstractButton* button(int value) const;

signals:
    void chosen(int value);

private:
    void restyle();

    QHBoxLayout* m_layout;
    QList<Chip> m_chips;
    QList<QAbstractButton*> m_buttons;
    int m_current = -1;
};

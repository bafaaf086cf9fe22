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
    // The room left and right of a chip's content, and between chips (11 and 6 unless set).
    void setSpacing(int padding, int spacing);
    void setCurrent(int value);
    int current() const { return m_current; }
    // The button of the chip with `value`, or null.
    QAbstractButton* button(int value) const;
    // True while the row is too narrow for its chips' symbols: the chips then show their titles alone,
    // which are never cut.
    bool compact() const { return m_compact; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

signals:
    void chosen(int value);

private:
    void restyle();
    void setCompact(bool compact);
    // The row's width with or without the symbols.
    int widthFor(bool compact) const;

    QHBoxLayout* m_layout;
    QList<Chip> m_chips;
    QList<QAbstractButton*> m_buttons;
    int m_current = -1;
    bool m_compact = false;
    int m_padding = 11;
};

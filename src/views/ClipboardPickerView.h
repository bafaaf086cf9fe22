// The quick-paste picker's content: the clipboard history in two sections, Recent and Pinned, driven
// from the keyboard. Choosing an entry copies it, shows a short confirmation on its row, then hands over.
#pragma once

#include "model/ClipItem.h"

#include <QList>
#include <QUuid>
#include <QWidget>

#include <functional>
#include <memory>

class AccessibilityAuth;
class ClipboardService;
class Ticker;
class TickerFactory;
class QLabel;
class QPropertyAnimation;
class QScrollArea;
class QVBoxLayout;

class ClipboardPickerView : public QWidget {
    Q_OBJECT
public:
    enum class Section { recent, pinned };

    static constexpr int kWidth = 340;
    static constexpr int kHeight = 380;
    static constexpr int kCornerRadius = 16;
    static constexpr int kTrustedDelayMs = 160;
    static constexpr int kUntrustedDelayMs = 550;

    // `tickers` times the hand-over after a choice.
    ClipboardPickerView(ClipboardService& service, AccessibilityAuth& accessibility, TickerFactory& tickers,
                        std::function<void()> onSelect, std::function<void()> onClose,
                        QWidget* parent = nullptr);
    ~ClipboardPickerView() override;

    Section section() const { return m_section; }
    int selectedIndex() const { return m_selectedIndex; }
    QUuid confirmedID() const { return m_confirmedID; }
    // The entries of the shown section, in history order.
    QList<ClipItem> items() const;

    void select(Section section);
    void move(int delta);
    void choose(int index);
    void togglePin(int index);

    QSize sizeHint() const override { return QSize(kWidth, kHeight); }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void rebuild();
    void updateHeader();
    void scrollToSelection();
    QString confirmedLabel() const;

    ClipboardService& m_service;
    AccessibilityAuth& m_accessibility;
    TickerFactory& m_tickers;
    std::unique_ptr<Ticker> m_handOver; // from a choice to onSelect
    std::function<void()> m_onSelect;
    std::function<void()> m_onClose;
    Section m_section = Section::recent;
    int m_selectedIndex = 0;
    QUuid m_confirmedID;

    QWidget* m_chips[2] = {nullptr, nullptr};
    QLabel* m_hint = nullptr;
    QLabel* m_empty = nullptr;
    QScrollArea* m_scroll = nullptr;
    QWidget* m_rows = nullptr;
    QVBoxLayout* m_rowsLayout = nullptr;
    QList<QWidget*> m_rowWidgets;
    QPropertyAnimation* m_scrollAnimation = nullptr;
};

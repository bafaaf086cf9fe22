// The dashboard's Clip tab: the clipboard history, pinned entries first, where a click copies an entry
// back and each row can be pinned, unpinned or removed.
#pragma once

#include "model/ClipItem.h"

#include <QHash>
#include <QList>
#include <QUuid>
#include <QWidget>

class ClipEntryButton;
class ClipboardService;
class EmptyHint;
class QVBoxLayout;

class ClipTab : public QWidget {
    Q_OBJECT
public:
    explicit ClipTab(ClipboardService& service, QWidget* parent = nullptr);

    // The history as the tab lists it: every pinned entry before every unpinned one, each group in
    // recording order.
    static QList<ClipItem> shownOrder(const QList<ClipItem>& items);

private:
    void rebuildRows();
    void updateCopiedMark();

    ClipboardService& m_service;
    EmptyHint* m_hint = nullptr;
    QWidget* m_rows = nullptr;
    QVBoxLayout* m_rowsLayout = nullptr;
    QHash<QUuid, ClipEntryButton*> m_entries;
};

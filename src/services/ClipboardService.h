// The clipboard history.
#pragma once

#include <QObject>

class ClipboardService : public QObject {
    Q_OBJECT
public:
    explicit ClipboardService(QObject* parent = nullptr);
};

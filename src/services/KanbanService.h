// The dashboard's task board.
#pragma once

#include <QObject>

class Defaults;

class KanbanService : public QObject {
    Q_OBJECT
public:
    explicit KanbanService(Defaults& defaults, QObject* parent = nullptr);

private:
    Defaults& m_defaults;
};

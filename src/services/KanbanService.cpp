// The task board's service; its cards are kept in the user defaults.
#include "services/KanbanService.h"

KanbanService::KanbanService(Defaults& defaults, QObject* parent)
    : QObject(parent)
    , m_defaults(defaults) {}

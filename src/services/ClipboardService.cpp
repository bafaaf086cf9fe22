// The clipboard history service.
#include "services/ClipboardService.h"

ClipboardService::ClipboardService(QObject* parent)
    : QObject(parent) {}

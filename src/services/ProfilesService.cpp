// The X profiles service.
#include "services/ProfilesService.h"

ProfilesService::ProfilesService(Clock& clock, QObject* parent)
    : NewsService(clock, QStringLiteral("profiles"), parent) {}

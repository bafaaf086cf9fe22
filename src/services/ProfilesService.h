// The news service for followed X profiles, with its own files ("profiles-...").
#pragma once

#include "services/NewsService.h"

#include <QDateTime>

class ProfilesService : public NewsService {
    Q_OBJECT
public:
    explicit ProfilesService(Clock& clock, QObject* parent = nullptr);

private:
    // When the timeline page was last asked for; nothing before the first request.
    std::optional<QDateTime> ultimaChamadaX;
};

// The camera mirror service.
#include "services/CameraService.h"

CameraService::CameraService(QObject* parent)
    : QObject(parent) {}

void CameraService::start() {}

void CameraService::stop() {}

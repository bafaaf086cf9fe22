#include "services/CameraService.h"

#include "services/CameraGeometry.h"
#include "services/Defaults.h"
#include "services/Log.h"
#include "services/Published.h"

#include <QJsonObject>

#include <algorithm>
#include <limits>
#include <utility>

CameraService::CameraService(CameraSource& source, Defaults& defaults, QObject* parent)
    : QObject(parent)
    , m_source(source)
    , m_defaults(defaults) {
    m_defaults.registerDefaults({
        {kShapeKey, CameraShapes::rawValue(CameraShape::widescreen)},
        {kBorderOnKey, false},
        {kBorderColorKey, 0},
        {kBorderWidthKey, 3.0},
        {kMirroredKey, true},
    });
    m_shape = CameraShapes::fromRawValue(m_defaults.string(kShapeKey).value_or(QString()));
    m_borderOn = m_defaults.boolValue(kBorderOnKey);
    // A hand-edited index far outside int is read as the nearest end; drawing clamps it into the list.
    const qint64 index = m_defaults.integer(kBorderColorKey);
    m_borderColorIndex =
        int(std::clamp<qint64>(index, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
    m_borderWidth = m_defaults.doubleValue(kBorderWidthKey);
    m_mirrored = m_defaults.boolValue(kMirroredKey);
}

CameraService::~CameraService() {
    m_source.stop();
}

const QList<QColor>& CameraService::borderColors() {
    static const QList<QColor> colors{QColor(Qt::white),    QColor(48, 209, 88),  QColor(64, 200, 224),
                                      QColor(191, 90, 242), QColor(255, 159, 10), QColor(255, 69, 58)};
    return colors;
}

QColor CameraService::borderColor() const {
    return borderColors().at(CameraGeometry::clampedIndex(m_borderColorIndex, int(borderColors().size())));
}

void CameraService::setShape(CameraShape shape) {
    assignPublished(this, m_shape, shape, &CameraService::shapeChanged);
    m_defaults.set(kShapeKey, CameraShapes::rawValue(shape));
}

void CameraService::setBorderOn(bool on) {
    assignPublished(this, m_borderOn, on, &CameraService::borderOnChanged);
    m_defaults.set(kBorderOnKey, on);
}

void CameraService::setBorderColorIndex(int index) {
    assignPublished(this, m_borderColorIndex, index, &CameraService::borderColorIndexChanged);
    m_defaults.set(kBorderColorKey, index);
}

void CameraService::setBorderWidth(double width) {
    assignPublished(this, m_borderWidth, width, &CameraService::borderWidthChanged);
    m_defaults.set(kBorderWidthKey, width);
}

void CameraService::setMirrored(bool mirrored) {
    assignPublished(this, m_mirrored, mirrored, &CameraService::mirroredChanged);
    m_defaults.set(kMirroredKey, mirrored);
}

void CameraService::toggle() {
    if (m_isActive)
        stop();
    else
        start();
}

void CameraService::start() {
    // A second press while the camera is still opening would otherwise open it twice and leave the
    // first capture running where stop() cannot reach it.
    if (m_isActive || m_starting)
        return;
    m_starting = true;
    setStatus(tr("Starting the camera…"));
    m_source.start(this); // may answer before it returns
}

void CameraService::stop() {
    m_starting = false;
    m_source.stop();
    m_frame = QImage();
    setActive(false);
    setStatus(QString());
}

void CameraService::cameraStarted() {
    if (!m_starting)
        return;
    m_starting = false;
    setActive(true);
    setStatus(QString());
}

void CameraService::cameraFailed(CameraSource::Failure failure, const QString& detail) {
    m_starting = false;
    m_frame = QImage();
    setActive(false);
    switch (failure) {
    case CameraSource::Failure::noCamera:
        setStatus(tr("No camera found"));
        break;
    case CameraSource::Failure::busy:
        setStatus(tr("The camera is in use by another program"));
        break;
    case CameraSource::Failure::lost:
        setStatus(tr("The camera was disconnected"));
        break;
    case CameraSource::Failure::failed:
        setStatus(detail.isEmpty() ? tr("The camera could not be started")
                                   : tr("The camera could not be started: %1").arg(detail));
        break;
    }
    // The tab shows the reason only while it is open; the log keeps it for a report.
    Log::line(QStringLiteral("camera not started: %1").arg(m_status));
}

void CameraService::cameraFrameReady() {
    QImage frame = m_source.latestFrame(); // read even when unwanted: it lets the next notice through
    if (!m_isActive)
        return;
    m_frame = std::move(frame);
    emit frameChanged();
}

void CameraService::setActive(bool active) {
    assignPublished(this, m_isActive, active, &CameraService::isActiveChanged);
}

void CameraService::setStatus(const QString& status) {
    assignPublished(this, m_status, status, &CameraService::statusChanged);
}

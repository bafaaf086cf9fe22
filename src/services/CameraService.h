// The floating camera mirror: whether it runs, why it could not, its style settings (kept in the user
// defaults) and the newest picture for the window that shows it. The window itself belongs to the
// application, which opens it while `isActive` holds.
#pragma once

#include "model/CameraShape.h"
#include "platform/CameraSource.h"

#include <QColor>
#include <QImage>
#include <QList>
#include <QObject>
#include <QString>

class Defaults;

class CameraService : public QObject, private CameraSource::Listener {
    Q_OBJECT
    Q_PROPERTY(bool isActive READ isActive NOTIFY isActiveChanged)
    Q_PROPERTY(QString status READ status NOTIFY statusChanged)
    Q_PROPERTY(bool borderOn READ borderOn WRITE setBorderOn NOTIFY borderOnChanged)
    Q_PROPERTY(
        int borderColorIndex READ borderColorIndex WRITE setBorderColorIndex NOTIFY borderColorIndexChanged)
    Q_PROPERTY(double borderWidth READ borderWidth WRITE setBorderWidth NOTIFY borderWidthChanged)
    Q_PROPERTY(bool mirrored READ mirrored WRITE setMirrored NOTIFY mirroredChanged)
public:
    static inline const QString kShapeKey = QStringLiteral("camShape");
    static inline const QString kBorderOnKey = QStringLiteral("camBorderOn");
    static inline const QString kBorderColorKey = QStringLiteral("camBorderColor");
    static inline const QString kBorderWidthKey = QStringLiteral("camBorderWidth");
    static inline const QString kMirroredKey = QStringLiteral("camMirrored");

    // Registers the defaults of the five settings and reads them; the camera stays off.
    CameraService(CameraSource& source, Defaults& defaults, QObject* parent = nullptr);
    ~CameraService() override;

    // White, green, teal, purple, orange, red.
    static const QList<QColor>& borderColors();

    bool isActive() const { return m_isActive; }
    QString status() const { return m_status; }
    // A start was asked for and the camera has not answered yet.
    bool isStarting() const { return m_starting; }

    CameraShape shape() const { return m_shape; }
    bool borderOn() const { return m_borderOn; }
    int borderColorIndex() const { return m_borderColorIndex; }
    double borderWidth() const { return m_borderWidth; }
    bool mirrored() const { return m_mirrored; }
    // The entry of borderColors() the index names, clamped into the list.
    QColor borderColor() const;

    // Each assignment is stored under its key at once.
    void setShape(CameraShape shape);
    void setBorderOn(bool on);
    void setBorderColorIndex(int index);
    void setBorderWidth(double width);
    void setMirrored(bool mirrored);

    void toggle();
    // Starts the camera off the main thread; a start while one is pending or running does nothing.
    void start();
    // Turns the mirror off from any state and forgets the last problem.
    void stop();

    // The newest picture (shared, not copied); null while off or before the first.
    QImage frame() const { return m_frame; }

signals:
    void isActiveChanged();
    void statusChanged();
    void shapeChanged();
    void borderOnChanged();
    void borderColorIndexChanged();
    void borderWidthChanged();
    void mirroredChanged();
    void frameChanged();

private:
    void cameraStarted() override;
    void cameraFailed(CameraSource::Failure failure, const QString& detail) override;
    void cameraFrameReady() override;

    void setActive(bool active);
    void setStatus(const QString& status);

    CameraSource& m_source;
    Defaults& m_defaults;
    bool m_isActive = false;
    bool m_starting = false;
    QString m_status;
    CameraShape m_shape = CameraShape::widescreen;
    bool m_borderOn = false;
    int m_borderColorIndex = 0;
    double m_borderWidth = 3.0;
    bool m_mirrored = true;
    QImage m_frame;
};

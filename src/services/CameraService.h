// The floating camera mirror.
#pragma once

#include <QObject>

class CameraService : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isActive READ isActive NOTIFY isActiveChanged)
public:
    explicit CameraService(QObject* parent = nullptr);

    bool isActive() const { return m_isActive; }
    void start();
    void stop();

signals:
    void isActiveChanged();

private:
    bool m_isActive = false;
};

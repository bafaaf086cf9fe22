// The dashboard's Camera tab: turns the camera mirror on and off and sets its shape, border and
// mirroring. Every control writes straight into the service, which keeps and applies the choice.
#pragma once

#include <QList>
#include <QWidget>

class CameraService;
class IconButton;
class QAbstractButton;
class QLabel;
class QPushButton;

class CameraTab : public QWidget {
    Q_OBJECT
public:
    // The border widths offered, in points.
    static constexpr double kBorderWidths[] = {2, 4, 7};

    explicit CameraTab(CameraService& service, QWidget* parent = nullptr);

private:
    void refresh();

    CameraService& m_service;
    IconButton* m_cameraButton;
    QLabel* m_status;
    QPushButton* m_mainButton;
    QList<QAbstractButton*> m_shapeChips;
    QAbstractButton* m_borderSwitch;
    QList<QAbstractButton*> m_swatches;
    QList<QAbstractButton*> m_widths;
    QWidget* m_borderChoices;
    QAbstractButton* m_mirrorSwitch;
};

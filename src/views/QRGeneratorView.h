// The kit's QR panel: an address field and the QR code a phone scans.
#pragma once

#include <QWidget>

class IconButton;
class QLabel;
class QLineEdit;
class QStackedWidget;
class UtilsState;

class QRGeneratorView : public QWidget {
    Q_OBJECT
public:
    explicit QRGeneratorView(UtilsState& utils, QWidget* parent = nullptr);

private:
    void refresh();

    UtilsState& m_utils;
    QLineEdit* m_field;
    IconButton* m_clear;
    QStackedWidget* m_body;
    QLabel* m_image;
    QLabel* m_address;
    QLabel* m_message;
};

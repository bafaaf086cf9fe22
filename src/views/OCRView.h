// The kit's screen-text panel: the capture button and the recognised text.
#pragma once

#include <QWidget>

class KitOutputText;
class UtilsState;
namespace KitPanelStyle {
class CapsuleButton;
}

class OCRView : public QWidget {
    Q_OBJECT
public:
    explicit OCRView(UtilsState& utils, QWidget* parent = nullptr);

private:
    void refresh();

    UtilsState& m_utils;
    KitPanelStyle::CapsuleButton* m_capture;
    KitOutputText* m_text;
};

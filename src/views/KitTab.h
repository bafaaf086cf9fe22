// The dashboard's developer kit: tool chips, then the text tools' editor and result, or a tool's panel.
#pragma once

#include <QWidget>

class ChipRow;
class IconButton;
class KitOutputText;
class QLabel;
class QPlainTextEdit;
class QStackedWidget;
class QToolButton;
class UtilsState;
namespace KitPanelStyle {
class CapsuleButton;
}

class KitTab : public QWidget {
    Q_OBJECT
public:
    explicit KitTab(UtilsState& utils, QWidget* parent = nullptr);

private:
    QWidget* buildTextPage();
    void refreshTool();
    void refreshInput();
    void refreshOutput();
    void refreshSwatch();
    void chooseColor();

    UtilsState& m_utils;
    ChipRow* m_chips;
    KitPanelStyle::CapsuleButton* m_generate;
    QStackedWidget* m_pages;
    QWidget* m_textPage;
    QWidget* m_colorRow;
    QToolButton* m_well;
    QLabel* m_colorInput;
    QPlainTextEdit* m_editor;
    KitOutputText* m_result;
    QWidget* m_swatch;
    IconButton* m_copy;
};

// The kit's image panel: the target format chips, the drop zone and the conversion summary.
#pragma once

#include <QWidget>

class ChipRow;
class KitOutputText;
class UtilsState;

class ImageConvertView : public QWidget {
    Q_OBJECT
public:
    explicit ImageConvertView(UtilsState& utils, QWidget* parent = nullptr);

    // True while a drag of files hovers over the drop zone.
    bool targeted() const { return m_targeted; }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void refresh();
    void setTargeted(bool targeted);
    bool overZone(const QPoint& pos) const;

    UtilsState& m_utils;
    ChipRow* m_formats;
    QWidget* m_zone;
    KitOutputText* m_text;
    bool m_targeted = false;
};

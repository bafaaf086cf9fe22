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

    // The dashed zone that takes the dropped files.
    QWidget* dropZone() const { return m_zone; }

    // A drop of `paths` on the zone: converts them. Called by the zone.
    void dropFiles(const QStringList& paths);
    void setTargeted(bool targeted);

private:
    void refresh();

    UtilsState& m_utils;
    ChipRow* m_formats;
    QWidget* m_zone;
    KitOutputText* m_text;
    bool m_targeted = false;
};

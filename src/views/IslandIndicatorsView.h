// The collapsed island's two wings of small indicators, either side of the notch.
#pragma once

#include "views/IslandLayout.h"

#include <QList>
#include <QWidget>

class WindowPixels;

class IslandIndicatorsView : public QWidget {
    Q_OBJECT
public:
    explicit IslandIndicatorsView(QWidget* parent = nullptr);

    // `notchWidth` is the part covered by the notch itself; the wings take what is left either side.
    void setInputs(const IslandInputs& inputs, double notchWidth);
    // The pulse frames and the changed seconds go straight onto the window through `pixels` (may be null).
    void setWindowPixels(WindowPixels* pixels);
    const IslandLayout& layout() const { return m_layout; }
    // The widget showing each item, left wing first, in display order.
    QList<QWidget*> itemWidgets() const { return m_left + m_right; }

signals:
    void pomodoroToggleRequested();
    void playPauseRequested();
    void openSourceRequested();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* createItem(IslandItem item);
    void updateItem(IslandItem item, QWidget* widget);
    void placeItems();

    IslandInputs m_inputs;
    IslandLayout m_layout;
    double m_notchWidth = 196;
    QList<QWidget*> m_left;
    QList<QWidget*> m_right;
    WindowPixels* m_pixels = nullptr;
};

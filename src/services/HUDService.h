// The volume or brightness level shown briefly on the island after it changed.
#pragma once

#include "model/HUDLevel.h"

#include <QObject>

#include <optional>

class HUDService : public QObject {
    Q_OBJECT
public:
    using Kind = HUDKind;
    using Level = HUDLevel;

    explicit HUDService(QObject* parent = nullptr);

    const std::optional<Level>& current() const { return m_current; }
    void setCurrent(std::optional<Level> level);

signals:
    // Sent after any of the published values changed.
    void changed();
    void currentChanged();

private:
    std::optional<Level> m_current;
};

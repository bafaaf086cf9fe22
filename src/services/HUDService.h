// The volume or brightness level shown briefly on the island after it changed.
#pragma once

#include <QObject>

#include <optional>

class HUDService : public QObject {
    Q_OBJECT
public:
    enum class Kind { volume, brightness };
    struct Level {
        Kind kind = Kind::volume;
        double value = 0.0; // 0 to 1
        bool operator==(const Level&) const = default;
    };

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

// The island: one black shape hanging from the top edge, with its indicator wings when collapsed
// and the dashboard when expanded, animated between the two with springs.
#pragma once

#include "views/IslandLayout.h"
#include "views/Spring.h"

#include <QElapsedTimer>
#include <QImage>
#include <QPainterPath>
#include <QPixmap>
#include <QSizeF>
#include <QTimer>
#include <QWidget>

class DashboardModel;
class IslandIndicatorsView;
class WindowPixels;

// The island's own state as the panel keeps it.
struct IslandMetrics {
    bool isExpanded = false;
    QSizeF collapsedSize{196, 32};
    bool hasPhysicalNotch = false;
    QSizeF expandedSize{640, 320};

    bool operator==(const IslandMetrics&) const = default;
};

class NotchView : public QWidget {
    Q_OBJECT
public:
    explicit NotchView(QWidget* parent = nullptr);
    ~NotchView() override;

    // Follows the model and the services it owns, and sends the wing buttons' presses to them.
    void observe(DashboardModel& model);
    // What the island shows for the model's current state.
    static IslandInputs inputsFrom(const DashboardModel& model);

    void setMetrics(const IslandMetrics& metrics);
    const IslandMetrics& metrics() const { return m_metrics; }
    void setInputs(const IslandInputs& inputs);
    const IslandInputs& inputs() const { return m_inputs; }

    // The view shown inside the expanded island; the island takes ownership. Until one is given a
    // placeholder is shown.
    void setContent(QWidget* content);
    // Small repaints of the collapsed island (a pulse frame, the elapsed second) go straight onto the
    // window through `pixels`, which outlives the view; null takes the usual path.
    void setWindowPixels(WindowPixels* pixels);
    QWidget* content() const { return m_content; }
    // Blurs the open island's shadow, and styles, lays out and draws the hidden dashboard once off
    // screen, so that the first opening finds them as warm as every later one does.
    void prepareContent();
    IslandIndicatorsView* indicators() const { return m_indicators; }

    // The island's outline in `rect`: square top corners, the bottom ones rounded by `radius`. The
    // window's shape follows the same outline, so that the two meet without a seam.
    static QPainterPath islandPath(const QRectF& rect, double radius);

    // The island's width when collapsed: the notch plus both wings.
    double collapsedWidth() const;
    // The rectangle the shape occupies right now (it moves while a spring runs).
    QRectF islandRect() const;
    // True while any spring is still moving.
    bool isAnimating() const;

    QSize sizeHint() const override;

signals:
    // The springs and transitions started (true) or have all come to rest (false).
    void animatingChanged(bool animating);
    // What the island shows changed (see setInputs).
    void inputsChanged();
    void pomodoroToggleRequested();
    void playPauseRequested();
    void openSourceRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    double now() const;
    void advanceClock();
    double expansion(double t) const;
    void retargetFrame(double response, double damping);
    void startContentTransition(bool entering, bool delayed);
    void frame();
    void layoutChildren();
    void ensureAnimating();
    void setFramesRunning(bool running);
    // The collapsed island is drawn opaque (otherwise all but invisible).
    bool solid() const;
    const QImage& shadowImage();

    IslandMetrics m_metrics;
    IslandInputs m_inputs;
    int m_wing = 0;

    Spring m_width{196};
    Spring m_height{32};
    Spring m_contentProgress{0.0, 0.001};
    Spring m_indicatorOpacity{0.0, 0.001};

    // The springs' time: it follows the wall clock, but one late frame moves it by at most a frame's
    // worth, so a stall (a first layout, a busy main thread) slows the motion instead of skipping it.
    QElapsedTimer m_clock;
    qint64 m_lastFrameNs = 0;
    double m_animTime = 0.0;
    QTimer m_frames;
    QTimer m_contentDelay;

    QWidget* m_content = nullptr;
    QPixmap m_contentSnapshot;
    IslandIndicatorsView* m_indicators = nullptr;
    QImage m_shadow;
    QSizeF m_shadowFor;
};

// Each ticker is one coarse QTimer that lives on the thread that made it.
#include "platform/qt/QtTickerFactory.h"

#include <QTimer>

namespace {

class QtTicker final : public Ticker {
public:
    QtTicker(int intervalMs, std::function<void()> onTick) {
        m_timer.setInterval(intervalMs);
        m_timer.setTimerType(Qt::CoarseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [tick = std::move(onTick)] { tick(); });
    }
    void start() override {
        if (!m_timer.isActive())
            m_timer.start();
    }
    void stop() override { m_timer.stop(); }
    bool isActive() const override { return m_timer.isActive(); }

private:
    QTimer m_timer;
};

} // namespace

std::unique_ptr<Ticker> QtTickerFactory::make(int intervalMs, std::function<void()> onTick) {
    return std::make_unique<QtTicker>(intervalMs, std::move(onTick));
}

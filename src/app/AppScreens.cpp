// Screen identifiers and the island's screen; see AppScreens.h.
#include "app/AppScreens.h"

#include <QGuiApplication>
#include <QScreen>
#include <QUuid>

namespace {

// Our own namespace for name-based screen UUIDs; changing it would orphan every stored choice.
const QUuid kScreenNamespace("{3d84aa23-648a-4301-a6d2-48d618dff26f}");

} // namespace

QList<ScreenInfo> QtScreenList::screens() const {
    QList<ScreenInfo> out;
    for (const QScreen* s : QGuiApplication::screens())
        out.append(info(*s));
    return out;
}

int QtScreenList::mainIndex() const {
    return QGuiApplication::screens().indexOf(QGuiApplication::primaryScreen());
}

QScreen* QtScreenList::screenAt(int index) const {
    const auto all = QGuiApplication::screens();
    return index >= 0 && index < all.size() ? all.at(index) : nullptr;
}

ScreenInfo QtScreenList::info(const QScreen& screen) {
    ScreenInfo i;
    i.name = screen.name();
    i.manufacturer = screen.manufacturer();
    i.model = screen.model();
    i.serialNumber = screen.serialNumber();
    // X11 has no notch or safe-area report, so every real screen is notch-free.
    i.metrics.frame = QRectF(screen.geometry());
    return i;
}

namespace AppScreens {

QString identifier(const ScreenInfo& screen) {
    QString key;
    if (!screen.serialNumber.isEmpty()) {
        // Unit separators keep ("ab", "c") and ("a", "bc") apart.
        key = QStringLiteral("edid\x1f%1\x1f%2\x1f%3")
                  .arg(screen.manufacturer, screen.model, screen.serialNumber);
    } else if (!screen.name.isEmpty()) {
        key = QStringLiteral("connector\x1f%1").arg(screen.name);
    } else {
        return {};
    }
    return QUuid::createUuidV5(kScreenNamespace, key.toUtf8()).toString(QUuid::WithoutBraces).toUpper();
}

std::optional<int> screenFor(const ScreenList& list, const QString& id) {
    if (id.isEmpty())
        return std::nullopt;
    const auto all = list.screens();
    for (int i = 0; i < all.size(); ++i) {
        if (identifier(all.at(i)) == id)
            return i;
    }
    return std::nullopt;
}

std::optional<int> notchScreen(const ScreenList& list) {
    const auto all = list.screens();
    for (int i = 0; i < all.size(); ++i) {
        if (all.at(i).hasNotch())
            return i;
    }
    return std::nullopt;
}

std::optional<int> resolve(const ScreenList& list, const QString& preferred) {
    if (preferred != QLatin1String(kAuto)) {
        if (auto i = screenFor(list, preferred))
            return i;
    }
    if (auto i = notchScreen(list))
        return i;
    const int count = int(list.screens().size());
    const int main = list.mainIndex();
    if (main >= 0 && main < count)
        return main;
    if (count > 0)
        return 0;
    return std::nullopt;
}

} // namespace AppScreens

// Screen identifiers and the island's screen; see AppScreens.h.
#include "app/AppScreens.h"

#include <QUuid>

namespace {

// Our own namespace for name-based screen UUIDs; changing it would orphan every stored choice.
const QUuid kScreenNamespace("{3d84aa23-648a-4301-a6d2-48d618dff26f}");

} // namespace

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

// Qt's screens as the island's screen choice reads them.
#include "platform/qt/QtScreenList.h"

#include <QGuiApplication>
#include <QScreen>

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

// A screen list that tests fill by hand, including screens with a camera notch.
#pragma once

#include "platform/ScreenList.h"

class FakeScreenList final : public ScreenList {
public:
    QList<ScreenInfo> screens() const override { return list; }
    int mainIndex() const override { return main; }

    static ScreenInfo screen(const QString& name, const QRectF& frame, const QString& serial = {}) {
        ScreenInfo s;
        s.name = name;
        s.metrics.frame = frame;
        if (!serial.isEmpty()) {
            s.manufacturer = QStringLiteral("ACME");
            s.model = QStringLiteral("View 27");
            s.serialNumber = serial;
        }
        return s;
    }

    // A 1512-wide laptop panel with a 37-high camera housing between two 700-wide menu-bar areas.
    static ScreenInfo notched(const QString& name, qreal x = 0) {
        ScreenInfo s = screen(name, QRectF(x, 0, 1512, 982));
        s.metrics.safeAreaTop = 37;
        s.metrics.auxiliaryTopLeftWidth = 700;
        s.metrics.auxiliaryTopRightWidth = 700;
        return s;
    }

    QList<ScreenInfo> list;
    int main = 0;
};

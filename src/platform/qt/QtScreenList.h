// The screens Qt knows about.
#pragma once

#include "platform/ScreenList.h"

class QScreen;

class QtScreenList final : public ScreenList {
public:
    QList<ScreenInfo> screens() const override;
    int mainIndex() const override;
    // The QScreen behind an index of screens(); null when the list changed since.
    QScreen* screenAt(int index) const;

    static ScreenInfo info(const QScreen& screen);
};

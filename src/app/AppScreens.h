// Stable screen identifiers and the choice of the island's screen.
#pragma once

#include "platform/ScreenList.h"

#include <QList>
#include <QString>

#include <optional>

namespace AppScreens {

inline constexpr auto kAuto = "auto";

// A UUID-shaped, upper-case identifier that stays the same for the same monitor: from its EDID
// when the serial number is known, else from its connector name. Empty when neither is known.
QString identifier(const ScreenInfo& screen);

std::optional<int> screenFor(const ScreenList& list, const QString& identifier);
std::optional<int> notchScreen(const ScreenList& list);

// The preferred screen if connected, else the notched one, else the main one, else the first.
std::optional<int> resolve(const ScreenList& list, const QString& preferred);

} // namespace AppScreens

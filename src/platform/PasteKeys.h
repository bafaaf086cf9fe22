// Which keys paste in a window: Control+V almost everywhere, but a terminal takes Control+V as a
// character of its own and pastes with Control+Shift+V, or, in the older ones, with Shift+Insert from the
// primary selection. Told from the window's class (WM_CLASS), which names the program.
#pragma once

#include <QString>

enum class PasteKeys {
    controlV,      // Control+V: the clipboard
    controlShiftV, // Control+Shift+V: the clipboard, in most terminals
    shiftInsert,   // Shift+Insert: the primary selection, in xterm and the rxvt family
};

namespace PasteKeysFor {

// The keys for a window of class `className` and instance `instance` (either may be empty).
PasteKeys window(const QString& instance, const QString& className);

} // namespace PasteKeysFor

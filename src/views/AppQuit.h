// Quitting always asks first: the island goes away while the user's saved services keep running.
#pragma once

#include <QString>

class QWidget;

namespace AppQuit {

// Asks the question; the program uses a message box, tests answer on their own.
class Prompt {
public:
    virtual ~Prompt() = default;
    // True when the user chose "Quit".
    virtual bool confirm(const QString& message, const QString& informativeText) = 0;
};

// The alert's body: what quitting does, with the number of saved services that stay up.
QString informativeText(int runningServices);

// Asks through `prompt` and ends the event loop on "Quit"; returns whether it did. Saved services
// are never stopped here: they run in sessions of their own and are taken back at the next start.
bool confirmAndTerminate(int runningServices, Prompt& prompt);

// The same with the message box, kept above every window and placed on `island`'s screen just
// below its panel, so the island never hides it. Without `island`, the primary screen's centre.
bool confirmAndTerminate(int runningServices, QWidget* island = nullptr);

} // namespace AppQuit

// The program's way to the browser engine: the process settings it needs before the application
// object exists, and a page factory that loads the engine's module only when a web tab is first shown.
#pragma once

#include "views/WebPageFactory.h"

#include <QString>

namespace WebEngineLoader {

// The file name of the page module, beside the program.
inline constexpr auto kModuleName = "quillbay-webpage.so";

// Call before QApplication: the engine's sandbox cannot start for the root user, so it is turned off
// for that case only (unless the environment decides already). The shared OpenGL context the engine
// needs is made by the module before its first page, not at start.
void prepareProcess();

// Loads the module at `modulePath` on first use; without it a web tab shows an empty page and the
// reason goes to the log, once.
WebPageFactory factory(const QString& modulePath);

} // namespace WebEngineLoader

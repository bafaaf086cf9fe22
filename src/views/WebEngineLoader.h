// The program's way to the browser engine: the process settings it needs before the application
// object exists, and a page factory that loads the engine's module only when a web tab is first shown.
#pragma once

#include "views/WebPageFactory.h"

#include <QString>

namespace WebEngineLoader {

// The file name of the page module, beside the program.
inline constexpr auto kModuleName = "quillbay-webpage.so";

// Call before QApplication: the engine's sandbox cannot start for the root user, so it is turned off
// for that case only (unless the environment decides already). The engine wants OpenGL contexts shared
// from the start, which brings the OpenGL driver into memory at once; so that is asked for only when the
// settings in `defaultsFile` keep an enabled web tab. Otherwise the module makes the shared context
// before its first page.
void prepareProcess(const QString& defaultsFile = QString());

// Whether the stored settings in `defaultsFile` hold an enabled web tab. A missing, unreadable, oversized
// or undecodable file holds none.
bool keepsWebTab(const QString& defaultsFile);

// Loads the module at `modulePath` on first use; without it a web tab shows an empty page and the
// reason goes to the log, once.
WebPageFactory factory(const QString& modulePath);

} // namespace WebEngineLoader
